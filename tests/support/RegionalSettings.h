#pragma once
// Tests under chosen regional settings, with the previous ones put back afterwards.

#include <gtest/gtest.h>

#include "runtime/Runtime.h"

// The process's regional settings as they were when the object was made, put back when
// it goes.
class SavedRegionalSettings {
public:
    SavedRegionalSettings() : saved(formatSettings()) {}
    SavedRegionalSettings(const SavedRegionalSettings&) = delete;
    SavedRegionalSettings& operator=(const SavedRegionalSettings&) = delete;
    ~SavedRegionalSettings() { setFormatSettings(saved); }

private:
    FormatSettings saved;
};

class RegionalSettingsTest : public ::testing::Test {
protected:
    void russian() { setFormatSettings(FormatSettings::russian()); }
    void english() { setFormatSettings(FormatSettings::english()); }

private:
    SavedRegionalSettings saved;
};
