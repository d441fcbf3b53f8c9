#include "cli/batchoptions.h"
#include "job/stampsettings.h"

#include <gtest/gtest.h>

#include <sstream>

namespace {

std::vector<std::string> Split(const std::string& line) {
    std::istringstream in(line);
    std::vector<std::string> words;
    for (std::string word; in >> word;)
        words.push_back(word);
    return words;
}

// The settings a command line makes of the defaults.
CStampSettingsValues Applied(const std::string& line) {
    CBatchOptions options;
    std::string error;
    EXPECT_TRUE(ParseBatchOptions(Split(line), options, error)) << line << ": " << error;
    CStampSettingsValues settings;
    ApplyBatchOptions(options, settings);
    return settings;
}

TEST(BatchOptions, EveryOptionReachesItsSetting) {
    const CStampSettingsValues s =
        Applied("-s st.png -o /out -f png -q 0 --overwrite --no-preserve-headers "
                "--align right,top --offset -9999,99999 --opacity 128 --key 1,2,3 "
                "--tolerance 255 --feather 10 --size 35%short --no-orientation --lossless a.jpg b");
    EXPECT_EQ(s.pathstamp, "st.png");
    EXPECT_EQ(s.outputdir, "/out/"); // the separator the output path needs
    EXPECT_EQ(s.outputtype, 2);
    EXPECT_EQ(s.jpgquality, 0);
    EXPECT_TRUE(s.overwritefiles);
    EXPECT_FALSE(s.biptc);
    EXPECT_EQ(s.halign, 2);
    EXPECT_EQ(s.valign, 0);
    EXPECT_EQ(s.offsetx, -9999);
    EXPECT_EQ(s.offsety, 99999);
    EXPECT_EQ(s.opacity, 128);
    EXPECT_EQ(s.colorr, 1);
    EXPECT_EQ(s.colorg, 2);
    EXPECT_EQ(s.colorb, 3);
    EXPECT_EQ(s.colora, 1);
    EXPECT_TRUE(s.usetrans);
    EXPECT_EQ(s.tptolerance, 255);
    EXPECT_EQ(s.feather, 20);
    EXPECT_EQ(s.sizemode, kSizePercentOfShorterSide);
    EXPECT_EQ(s.sizepercent, 35);
    EXPECT_FALSE(s.followexif);
    EXPECT_TRUE(s.losslessjpeg);
    CStampSettingsValues copy = s;
    copy.inputdir = "/";                  // the one field no option sets
    EXPECT_TRUE(copy.ValidateSettings()); // every range the options allow is valid
}

TEST(BatchOptions, SpellingsAndOrder) {
    const int kQuality = CStampSettingsValues().jpgquality; // no -q: the default stays
    struct Case {
        const char* line;
        int halign, valign, outputtype, quality;
        bool biptc, overwrite;
        int sizemode = 0, sizepercent = 20;
        bool followexif = true;
    };
    const Case cases[] = {
        {"--align=0,2 -fbmp -q55 x", 0, 2, 1, 55, false, false},
        {"--align center,middle --format=JPG --quality=7 x", 1, 1, 0, 7, false, false},
        {"--align 2,bottom --preserve-headers --no-preserve-headers --preserve-headers x", 2, 2, 0,
         kQuality, true, false},
        {"--no-overwrite --overwrite x", 1, 1, 0, kQuality, false, true},
        {"--size=1%WIDTH --no-orientation --orientation x", 1, 1, 0, kQuality, false, false, 1, 1},
        {"--size 100%short --size original --no-orientation x", 1, 1, 0, kQuality, false, false, 0,
         100, false},
    };
    for (const Case& c : cases) {
        const CStampSettingsValues s = Applied(c.line);
        EXPECT_EQ(s.halign, c.halign) << c.line;
        EXPECT_EQ(s.valign, c.valign) << c.line;
        EXPECT_EQ(s.outputtype, c.outputtype) << c.line;
        EXPECT_EQ(s.jpgquality, c.quality) << c.line;
        EXPECT_EQ(s.biptc, c.biptc) << c.line;
        EXPECT_EQ(s.overwritefiles, c.overwrite) << c.line;
        EXPECT_EQ(s.sizemode, c.sizemode) << c.line;
        EXPECT_EQ(s.sizepercent, c.sizepercent) << c.line;
        EXPECT_EQ(s.followexif, c.followexif) << c.line;
    }
}

// The window's units (opacity in per cent, feather -10..10 around 0 for none) and grouped
// short options, each line against what it must set.
TEST(BatchOptions, WindowUnitsAndGroupedShortOptions) {
    struct Case {
        const char* line;
        int opacity, feather, quality = CStampSettingsValues().jpgquality;
        bool recursive = false, nul = false, version = false, help = false;
    };
    const Case cases[] = {
        {"--opacity 50% --feather 0 x", 128, 10},
        {"--opacity=100% --feather=-10 x", 255, 0},
        {"--opacity 0% --feather +10 x", 0, 20},
        {"--opacity 49.8% --feather -3 x", 127, 7},
        {"--opacity 1% x", 3, 10},
        {"--opacity 0.1% x", 0, 10},
        {"--opacity 77 x", 77, 10},
        {"-r0 --files-from l", 255, 10, CStampSettingsValues().jpgquality, true, true},
        {"-0r --files-from=l -q7", 255, 10, 7, true, true},
        {"-rq90 x", 255, 10, 90, true},
        {"-r -q 90 x", 255, 10, 90, true},
        {"-Vh", 255, 10, CStampSettingsValues().jpgquality, false, false, true, true},
    };
    for (const Case& c : cases) {
        CBatchOptions o;
        std::string error;
        ASSERT_TRUE(ParseBatchOptions(Split(c.line), o, error)) << c.line << ": " << error;
        CStampSettingsValues s;
        ApplyBatchOptions(o, s);
        EXPECT_EQ(s.opacity, c.opacity) << c.line;
        EXPECT_EQ(s.feather, c.feather) << c.line;
        EXPECT_EQ(s.jpgquality, c.quality) << c.line;
        EXPECT_EQ(o.recursive, c.recursive) << c.line;
        EXPECT_EQ(o.nullSeparated, c.nul) << c.line;
        EXPECT_EQ(o.version, c.version) << c.line;
        EXPECT_EQ(o.help, c.help) << c.line;
    }
}

TEST(BatchOptions, InputsBaseAndModes) {
    CBatchOptions o;
    std::string error;
    ASSERT_TRUE(ParseBatchOptions(Split("a -c my.qmc b -- --stamp -"), o, error));
    EXPECT_EQ(o.inputs, (std::vector<std::string>{"a", "b", "--stamp", "-"}));
    EXPECT_EQ(o.base, CBatchOptions::Base::Config);
    EXPECT_EQ(o.configPath, "my.qmc");

    ASSERT_TRUE(ParseBatchOptions(Split("--defaults -h --version"), o, error));
    EXPECT_EQ(o.base, CBatchOptions::Base::Defaults);
    EXPECT_TRUE(o.help);
    EXPECT_TRUE(o.version);
    EXPECT_TRUE(o.inputs.empty());

    ASSERT_TRUE(ParseBatchOptions(Split("--save-config out.qmc"), o, error));
    EXPECT_EQ(o.saveConfig, "out.qmc");
    EXPECT_EQ(o.base, CBatchOptions::Base::Store);
    EXPECT_FALSE(o.jobs); // the engine's default: one per core

    for (const char* line : {"-j 64 x", "-j64 x", "--jobs=64 x", "--jobs 1 -j 64 x"}) {
        ASSERT_TRUE(ParseBatchOptions(Split(line), o, error)) << line;
        EXPECT_EQ(o.jobs, 64) << line;
    }

    EXPECT_FALSE(o.filesFrom);
    EXPECT_EQ(o.logFormat, CBatchOptions::LogFormat::Text);

    ASSERT_TRUE(ParseBatchOptions(Split("--files-from - -0 -r --log-format jsonl a"), o, error));
    EXPECT_EQ(o.filesFrom, "-");
    EXPECT_TRUE(o.nullSeparated);
    EXPECT_TRUE(o.recursive);
    EXPECT_EQ(o.logFormat, CBatchOptions::LogFormat::Jsonl);
    EXPECT_EQ(o.inputs, (std::vector<std::string>{"a"}));
    ASSERT_TRUE(ParseBatchOptions(Split("--files-from=list --null --recursive"), o, error));
    EXPECT_EQ(o.filesFrom, "list");
    EXPECT_TRUE(o.nullSeparated && o.recursive);
}

TEST(BatchOptions, UsageErrorsNameTheProblem) {
    struct Case {
        const char* line;
        const char* message;
    };
    const Case cases[] = {
        {"--bogus x", "unknown option --bogus"},
        {"--bogus=1 x", "unknown option --bogus"},
        {"--output= x", "--output: the folder must not be empty"},
        {"-z x", "unknown option -z"},
        {"x --quality", "--quality needs a value"},
        {"--overwrite=1 x", "--overwrite takes no value"},
        {"-q 101 x", "--quality: 101 is out of range (0..100)"},
        {"-q -1 x", "--quality: -1 is out of range (0..100)"},
        {"-q 9x x", "--quality: '9x' is not a whole number"},
        {"-q 99999999999 x", "--quality: '99999999999' is not a whole number"},
        {"--opacity 256 x", "--opacity: 256 is out of range (0..255)"},
        {"--tolerance 300 x", "--tolerance: 300 is out of range (0..255)"},
        {"--feather 11 x", "--feather: 11 is out of range (-10..10)"},
        {"--feather 20 x", "--feather: 20 is out of range (-10..10)"},
        {"--opacity 100.1% x", "--opacity: 100.1% is out of range (0%..100%)"},
        {"--opacity 50.25% x", "--opacity: '50.25%' is not 0..255 or N% (0..100)"},
        {"--opacity % x", "--opacity: '%' is not 0..255 or N% (0..100)"},
        {"--opacity -1% x", "--opacity: '-1%' is not 0..255 or N% (0..100)"},
        {"-rz x", "unknown option -z"},
        {"x -rq", "--quality needs a value"},
        {"--offset -10000,0 x", "--offset: -10000 is out of range (-9999..99999)"},
        {"--offset 0,100000 x", "--offset: 100000 is out of range (-9999..99999)"},
        {"--offset 5 x", "--offset: '5' is not X,Y"},
        {"--align 3,0 x", "--align: '3' is not one of left, center, right or 0..2"},
        {"--align left,center x", "--align: 'center' is not one of top, middle, bottom or 0..2"},
        {"--align 1,1,1 x", "--align: '1,1,1' is not H,V"},
        {"--key 1,2 x", "--key: '1,2' is not R,G,B"},
        {"--key 1,2,3,4 x", "--key: '1,2,3,4' is not R,G,B"},
        {"--key 1,256,3 x", "--key: 256 is out of range (0..255)"},
        {"-f gif x", "--format: 'gif' is not one of jpg, bmp, png, webp, avif"},
        {"-j 0 x", "--jobs: 0 is out of range (1..64)"},
        {"--jobs=65 x", "--jobs: 65 is out of range (1..64)"},
        {"x -j", "--jobs needs a value"},
        {"-c a.qmc --defaults x", "--config and --defaults exclude each other"},
        {"--size 0%width x", "--size: 0 is out of range (1..100)"},
        {"--size 101%short x", "--size: 101 is out of range (1..100)"},
        {"--size %width x", "--size: '' is not a whole number"},
        {"--size 20% x", "--size: '20%' is not original, N%width or N%short"},
        {"--size 20 x", "--size: '20' is not original, N%width or N%short"},
        {"--size 20%height x", "--size: '20%height' is not original, N%width or N%short"},
        {"--orientation=1 x", "--orientation takes no value"},
        {"--log-format json x", "--log-format: 'json' is not one of text, jsonl"},
        {"-0 x", "--null needs --files-from"},
        {"x --files-from", "--files-from needs a value"},
    };
    for (const Case& c : cases) {
        CBatchOptions options;
        std::string error;
        EXPECT_FALSE(ParseBatchOptions(Split(c.line), options, error)) << c.line;
        EXPECT_EQ(error.rfind(c.message, 0), 0u) << c.line << " gave: " << error;
    }
}

} // namespace
