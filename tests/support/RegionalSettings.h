#pragma once
// Runs a test under chosen regional settings and puts the previous ones back.

#include <gtest/gtest.h>

#include "runtime/Runtime.h"

class RegionalSettingsTest : public ::testing::Test {
protected:
    void SetUp() override { saved = formatSettings(); }
    void TearDown() override { setFormatSettings(saved); }
    void russian() { setFormatSettings(FormatSettings::russian()); }
    void english() { setFormatSettings(FormatSettings::english()); }

private:
    FormatSettings saved;
};
