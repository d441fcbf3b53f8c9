#include "job/settingstext.h"
#include "job/stampsettings.h"

#include <gtest/gtest.h>

#include <climits>
#include <cstdlib>
#include <functional>

namespace {

TEST(TextToInteger, FollowsTheLeadingNumberRule) {
    const struct {
        const char* text;
        int expected;
    } cases[] = {
        {"", 77}, // empty takes the fallback
        {"abc", 0},
        {"150", 150},
        {" 42", 42},
        {"\t\n-7", -7},
        {"+13", 13},
        {"-", 0},
        {"12abc", 12},
        {"0x10", 0},
        {"1 2", 1},
        {"- 5", 0},
        {"2147483647", INT_MAX},
        {"2147483648", INT_MAX},
        {"-2147483648", INT_MIN},
        {"-2147483649", INT_MIN},
        {"99999999999999999999999999", INT_MAX},
        {"-99999999999999999999999999", INT_MIN},
        {"000000000000000000000000042", 42},
    };
    for (const auto& c : cases)
        EXPECT_EQ(TextToInteger(c.text, 77), c.expected) << '"' << c.text << '"';
}

TEST(TextToFlags, OnlyExactTextsCount) {
    const struct {
        const char* text;
        int outputType;
        bool preview;
        bool flag;
    } cases[] = {
        {"", 0, true, false},   {"0", 0, false, false},  {"1", 1, true, true},
        {"2", 2, true, false},  {" 2", 0, true, false},  {"2 ", 0, true, false},
        {"01", 0, true, false}, {"3", 3, true, false},   {"true", 0, true, false},
        {"4", 4, true, false},  {"5", 0, true, false},   {"00", 0, true, false},
        {"-1", 0, true, false}, {"1\n", 0, true, false},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(TextToOutputType(c.text), c.outputType) << '"' << c.text << '"';
        EXPECT_EQ(TextToPreviewFlag(c.text), c.preview) << '"' << c.text << '"';
        EXPECT_EQ(TextToFlag(c.text), c.flag) << '"' << c.text << '"';
    }
}

TEST(CutTextToBytes, NeverSplitsACharacter) {
    const struct {
        std::string text;
        std::size_t max;
        std::string expected;
    } cases[] = {
        {"abcdef", 6, "abcdef"},
        {"abcdef", 4, "abcd"},
        {"ab\xC3\xA9", 3, "ab"}, // é split after its lead byte
        {"a\xE2\x82\xAC"
         "b",
         3, "a"}, // € split after two of three bytes
        {"a\xE2\x82\xAC"
         "b",
         4, "a\xE2\x82\xAC"},
        {"\xF0\x9F\x98\x80x", 3, ""}, // a four-byte character does not fit at all
        {"\xF0\x9F\x98\x80x", 4, "\xF0\x9F\x98\x80"},
        {"a\x80\x80\x80\x80\x80", 5, "a\x80\x80\x80\x80"}, // not UTF-8: bytes decide
    };
    for (const auto& c : cases)
        EXPECT_EQ(CutTextToBytes(c.text, c.max), c.expected) << c.text << " / " << c.max;
}

TEST(FallbackFolder, IsHomeWithOneTrailingSlash) {
    const char* saved = std::getenv("HOME");
    const std::string restore = saved ? saved : "";
    setenv("HOME", "/home/someone", 1);
    EXPECT_EQ(FallbackFolder(), "/home/someone/");
    setenv("HOME", "/home/someone/", 1);
    EXPECT_EQ(FallbackFolder(), "/home/someone/");
    setenv("HOME", "", 1);
    EXPECT_EQ(FallbackFolder().back(), '/'); // from the user database, or the root
    if (saved)
        setenv("HOME", restore.c_str(), 1);
    else
        unsetenv("HOME");
}

// One field set outside (or at the edge of) its range, and what validation leaves.
struct RepairCase {
    const char* what;
    std::function<void(CStampSettingsValues&)> set;
    std::function<int(const CStampSettingsValues&)> get;
    int expected;
    bool repaired;
};

TEST(ValidateSettings, RepairsEachFieldToItsDefaultAndBoundsAreInclusive) {
    using V = CStampSettingsValues;
    auto field = [](int32_t V::*member, int32_t value, int32_t expected, bool repaired,
                    const char* what) {
        return RepairCase{what, [=](V& v) { v.*member = value; },
                          [=](const V& v) { return v.*member; }, expected, repaired};
    };
    const RepairCase cases[] = {
        field(&V::jpgquality, 0, 0, false, "jpgquality 0"),
        field(&V::jpgquality, 100, 100, false, "jpgquality 100"),
        field(&V::jpgquality, 101, 90, true, "jpgquality 101"),
        field(&V::jpgquality, -1, 90, true, "jpgquality -1"),
        field(&V::outputtype, 2, 2, false, "outputtype 2"),
        field(&V::outputtype, 4, 4, false, "outputtype 4"),
        field(&V::outputtype, 5, 0, true, "outputtype 5"),
        field(&V::outputtype, -1, 0, true, "outputtype -1"),
        field(&V::feather, 0, 0, false, "feather 0"),
        field(&V::feather, 20, 20, false, "feather 20"),
        field(&V::feather, 21, 10, true, "feather 21"),
        field(&V::feather, 25, 10, true, "feather 25"),
        field(&V::tptolerance, 255, 255, false, "tptolerance 255"),
        field(&V::tptolerance, 256, 0, true, "tptolerance 256"),
        field(&V::halign, 3, 1, true, "halign 3"),
        field(&V::valign, -1, 1, true, "valign -1"),
        field(&V::opacity, 0, 0, false, "opacity 0"),
        field(&V::opacity, 256, 255, true, "opacity 256"),
        field(&V::opacity, -1, 255, true, "opacity -1"),
        field(&V::colorb, 256, 0, true, "colorb 256"),
        field(&V::colorg, -1, 0, true, "colorg -1"),
        field(&V::colorr, 255, 255, false, "colorr 255"),
        field(&V::offsetx, 99999, 99999, false, "offsetx 99999"),
        field(&V::offsetx, 100000, 0, true, "offsetx 100000"),
        field(&V::offsetx, -9999, -9999, false, "offsetx -9999"),
        field(&V::offsetx, -10000, 0, true, "offsetx -10000"),
        field(&V::offsety, INT_MIN, 0, true, "offsety INT_MIN"),
        field(&V::offsety, INT_MAX, 0, true, "offsety INT_MAX"),
        field(&V::colora, 7, 7, false, "colora has no range"),
        field(&V::sizemode, 2, 2, false, "sizemode 2"),
        field(&V::sizemode, 3, 0, true, "sizemode 3"),
        field(&V::sizemode, -1, 0, true, "sizemode -1"),
        field(&V::sizepercent, 1, 1, false, "sizepercent 1"),
        field(&V::sizepercent, 100, 100, false, "sizepercent 100"),
        field(&V::sizepercent, 0, 20, true, "sizepercent 0"),
        field(&V::sizepercent, 101, 20, true, "sizepercent 101"),
    };
    for (const RepairCase& c : cases) {
        V values;
        values.inputdir = "/in/";
        c.set(values);
        EXPECT_EQ(values.ValidateSettings(), !c.repaired) << c.what;
        EXPECT_EQ(c.get(values), c.expected) << c.what;
    }
}

TEST(ValidateSettings, EmptyFoldersBecomeTheFallbackAndAllChecksRun) {
    CStampSettingsValues values;
    values.inputdir.clear();
    values.outputdir.clear();
    values.jpgquality = 500;
    values.offsety = -10000;
    const CStampSettingsValues before = values;
    EXPECT_FALSE(values.ValidateSettings());
    EXPECT_EQ(values.inputdir, FallbackFolder());
    EXPECT_EQ(values.outputdir, FallbackFolder());
    EXPECT_EQ(values.jpgquality, 90);
    EXPECT_EQ(values.offsety, 0);
    EXPECT_EQ(values.opacity, before.opacity);
    EXPECT_TRUE(values.ValidateSettings()); // repaired values are valid
}

} // namespace
