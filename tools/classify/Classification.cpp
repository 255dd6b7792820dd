#include "tools/classify/Classification.h"

#include <cstdio>

#include "models/fast/Sentinels.h"
#include "runtime/Runtime.h"
#include "tools/common/Json.h"
#include "tools/common/UnreachedRows.h"

namespace {

std::string csvField(const std::string& text)
{
    if (text.find_first_of(",\"\n\r") == std::string::npos)
        return text;
    return "\"" + AnsiReplaceStr(text, "\"", "\"\"") + "\"";
}

std::string shareText(double share)
{
    char buffer[32];
    std::snprintf(buffer, sizeof buffer, "%.2f", share);
    return buffer;
}

}  // namespace

Classification Classification::of(FittedSample& fitted, const ObjectFile& file, const std::vector<std::string>& labels,
                                  int key)
{
    if (!fitted.found())
        throw Exception("the search of task " + std::to_string(key) +
                        " has no result, so dodoz classifies nothing with it (\"" + noResultMessage() + "\"); "
                        "dodoz-explain " + std::to_string(key) + " says why");
    Classification result;
    for (int k = 0; k < fitted.classCount(); ++k)
        result.classCodes.push_back(fitted.classCode(k));
    result.labels = labels;
    for (std::size_t i = 0; i < file.objects.size(); ++i) {
        const FittedSample::Verdict verdict = fitted.classify(*file.objects[i]);
        result.objects.push_back({file.lines[i], verdict.classCode, verdict.shares});
    }
    return result;
}

std::string Classification::classInWords(int code) const
{
    if (code == NOT_DEFINED)
        return "no class (" + std::to_string(NOT_DEFINED) + ")";
    std::string out = "class " + std::to_string(code);
    for (std::size_t k = 0; k < classCodes.size() && k < labels.size(); ++k) {
        if (classCodes[k] == code)
            out += " (" + labels[k] + ")";
    }
    return out;
}

std::string Classification::inWords() const
{
    std::string out;
    for (std::size_t i = 0; i < objects.size(); ++i) {
        const ClassifiedObject& o = objects[i];
        out += "Object " + std::to_string(i + 1) + " (line " + std::to_string(o.line) + "): " + classInWords(o.classCode) +
               "; shares of the summed class densities:";
        for (std::size_t k = 0; k < classCodes.size(); ++k)
            out += std::string(k ? "," : "") + " " + classInWords(classCodes[k]) + " " + shareText(o.shares[k]) + " %";
        out += "\n";
    }
    return out;
}

std::string Classification::asCsv() const
{
    std::string out = "object,line,class,label";
    for (int code : classCodes)
        out += ",share_" + std::to_string(code);
    out += "\n";
    for (std::size_t i = 0; i < objects.size(); ++i) {
        const ClassifiedObject& o = objects[i];
        std::string label;
        for (std::size_t k = 0; k < classCodes.size() && k < labels.size(); ++k)
            label = classCodes[k] == o.classCode ? labels[k] : label;
        out += std::to_string(i + 1) + "," + std::to_string(o.line) + "," + std::to_string(o.classCode) + "," +
               csvField(label);
        for (double share : o.shares)
            out += "," + jsonNumber(share);
        out += "\n";
    }
    return out;
}

std::string Classification::asJsonLines() const
{
    auto label = [&](int code) {
        for (std::size_t k = 0; k < classCodes.size() && k < labels.size(); ++k) {
            if (classCodes[k] == code)
                return jsonString(labels[k]);
        }
        return std::string("null");
    };
    std::string out;
    for (std::size_t i = 0; i < objects.size(); ++i) {
        const ClassifiedObject& o = objects[i];
        out += "{\"object\": " + std::to_string(i + 1) + ", \"line\": " + std::to_string(o.line) +
               ", \"class\": " + std::to_string(o.classCode) + ", \"label\": " + label(o.classCode) + ", \"shares\": [";
        for (std::size_t k = 0; k < classCodes.size(); ++k)
            out += std::string(k ? ", " : "") + "{\"class\": " + std::to_string(classCodes[k]) +
                   ", \"label\": " + label(classCodes[k]) + ", \"share\": " + jsonNumber(o.shares[k]) + "}";
        out += "]}\n";
    }
    return out;
}
