#pragma once
// The base of every error the program shows: one text.

#include <exception>
#include <string>

class Exception : public std::exception {
public:
    explicit Exception(std::string text) : text_(std::move(text)) {}
    const std::string& text() const { return text_; }
    const char* what() const noexcept override { return text_.c_str(); }

private:
    std::string text_;
};
