#pragma once
// The built-in language texts for tests of the operation texts; the table is emptied again after.

#include "shell/Language.h"
#include "shell/LanguageLoader.h"

#include <gtest/gtest.h>

class BuiltInTexts : public testing::Test {
protected:
    void SetUp() override { InitLanguageForView(); }
    void TearDown() override { g_Language.Reset(); }
};
