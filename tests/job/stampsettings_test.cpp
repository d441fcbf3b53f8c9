#include "job/stampsettings.h"
#include "memorystore.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <memory>

namespace {

// The record's values in their fixed orders, then the extended settings in their table's
// order: a setting added to the table joins both lists.
std::vector<std::string> WithExtended(std::vector<std::string> names) {
    for (const CExtendedSetting& setting : ExtendedSettings())
        names.push_back(setting.name);
    return names;
}

const std::vector<std::string> kReadOrder = WithExtended(
    {"bpreview",   "biptc",      "inputdir", "outputdir",   "overwritefiles", "jpgquality",
     "outputtype", "usetrans",   "feather",  "tptolerance", "halign",         "valign",
     "offsetx",    "offsety",    "opacity",  "colora",      "colorb",         "colorg",
     "colorr",     "pathsample", "pathstamp"});

const std::vector<std::string> kWriteOrder = WithExtended(
    {"bpreview",       "biptc",       "inputdir",   "outputdir", "jpgquality", "outputtype",
     "overwritefiles", "pathstamp",   "pathsample", "colora",    "colorb",     "colorg",
     "colorr",         "offsetx",     "offsety",    "opacity",   "halign",     "valign",
     "feather",        "tptolerance", "usetrans"});

std::unique_ptr<CSettingsStore> Store(CMemoryStoreState& state) {
    return std::make_unique<CMemorySettingsStore>(state);
}

// A record loaded from a store that holds only the given values.
struct Loaded {
    CMemoryStoreState state;
    std::unique_ptr<CStampSettings> settings;
    explicit Loaded(std::map<std::string, std::string> values) {
        state.values = std::move(values);
        settings = std::make_unique<CStampSettings>(Store(state));
    }
};

std::map<std::string, std::string> AllValues(const std::string& text) {
    std::map<std::string, std::string> values;
    for (const std::string& name : kReadOrder)
        values[name] = text;
    return values;
}

TEST(LoadSettings, FirstStartCreatesEveryValueEmptyAndGivesTheDefaults) {
    CMemoryStoreState state;
    {
        CStampSettings settings(Store(state));
        EXPECT_EQ(state.queried, kReadOrder);
        EXPECT_EQ(state.written, kReadOrder); // each missing value written back, in read order
        for (const std::string& name : kReadOrder)
            EXPECT_EQ(state.values.at(name), "") << name;

        CStampSettingsValues expected;
        expected.inputdir = FallbackFolder();
        EXPECT_EQ(settings.Values(), expected);
        EXPECT_TRUE(settings.bpreview);
        EXPECT_FALSE(settings.biptc);
        EXPECT_EQ(settings.outputdir, FallbackFolder());
        state.written.clear();
    }
    EXPECT_EQ(state.written, kWriteOrder); // the destructor saves every value, in its order
    EXPECT_EQ(state.values.at("biptc"), "0");
    EXPECT_EQ(state.values.at("bpreview"), "1");
    EXPECT_EQ(state.values.at("jpgquality"), "90"); // first start
    EXPECT_EQ(state.values.at("feather"), "10");
    EXPECT_EQ(state.values.at("inputdir"), FallbackFolder());
}

TEST(LoadSettings, StoredTextsTurnIntoValuesByTheirRules) {
    using V = CStampSettingsValues;
    const struct {
        const char* name;
        const char* text;
        std::function<int(const V&)> get;
        int expected;
    } cases[] = {
        {"jpgquality", "abc", [](const V& v) { return v.jpgquality; }, 0},
        {"jpgquality", "150", [](const V& v) { return v.jpgquality; }, 90},
        {"jpgquality", " 55", [](const V& v) { return v.jpgquality; }, 55},
        {"outputtype", " 2", [](const V& v) { return v.outputtype; }, 0},
        {"outputtype", "2", [](const V& v) { return v.outputtype; }, 2},
        {"bpreview", "2", [](const V& v) { return int(v.bpreview); }, 1},
        {"bpreview", "0", [](const V& v) { return int(v.bpreview); }, 0},
        {"usetrans", "2", [](const V& v) { return int(v.usetrans); }, 0},
        {"usetrans", "1", [](const V& v) { return int(v.usetrans); }, 1},
        {"colora", "1", [](const V& v) { return v.colora; }, 1},
        {"colora", "5", [](const V& v) { return v.colora; }, 0},
        {"biptc", "1", [](const V& v) { return int(v.biptc); }, 1},
        {"overwritefiles", "yes", [](const V& v) { return int(v.overwritefiles); }, 0},
        {"offsetx", "-10000", [](const V& v) { return v.offsetx; }, 0},
        {"offsetx", "-9999", [](const V& v) { return v.offsetx; }, -9999},
        {"offsetx", "99999", [](const V& v) { return v.offsetx; }, 99999},
        {"offsetx", "100000", [](const V& v) { return v.offsetx; }, 0},
        {"offsety", "99999999999", [](const V& v) { return v.offsety; }, 0},
        {"feather", "", [](const V& v) { return v.feather; }, 10},
        {"feather", "0", [](const V& v) { return v.feather; }, 0},
        {"opacity", "", [](const V& v) { return v.opacity; }, 255},
        {"halign", "-1", [](const V& v) { return v.halign; }, 1},
        {"colorr", "200", [](const V& v) { return v.colorr; }, 200},
        {"followexif", "", [](const V& v) { return int(v.followexif); }, 1},
        {"followexif", "0", [](const V& v) { return int(v.followexif); }, 0},
        {"followexif", "no", [](const V& v) { return int(v.followexif); }, 1},
        {"sizemode", "2", [](const V& v) { return v.sizemode; }, 2},
        {"sizemode", "3", [](const V& v) { return v.sizemode; }, 0},
        {"sizemode", "", [](const V& v) { return v.sizemode; }, 0},
        {"sizepercent", "", [](const V& v) { return v.sizepercent; }, 20},
        {"sizepercent", "0", [](const V& v) { return v.sizepercent; }, 20},
        {"sizepercent", "100", [](const V& v) { return v.sizepercent; }, 100},
        {"sizepercent", "1", [](const V& v) { return v.sizepercent; }, 1},
        {"losslessjpeg", "", [](const V& v) { return int(v.losslessjpeg); }, 0},
        {"losslessjpeg", "1", [](const V& v) { return int(v.losslessjpeg); }, 1},
        {"losslessjpeg", "yes", [](const V& v) { return int(v.losslessjpeg); }, 0},
    };
    for (const auto& c : cases) {
        Loaded loaded(std::map<std::string, std::string>{{c.name, c.text}});
        EXPECT_EQ(c.get(*loaded.settings), c.expected) << c.name << " \"" << c.text << '"';
    }
}

TEST(ReadRegistryString, ValuesOf260BytesOrMoreReadEmptyAndAreStoredBackEmpty) {
    const struct {
        std::size_t length;
        bool kept;
    } cases[] = {{0, true}, {1, true}, {259, true}, {260, false}, {300, false}, {5000, false}};
    for (const auto& c : cases) {
        CMemoryStoreState state;
        state.values["pathstamp"] = std::string(c.length, 'p');
        CStampSettings settings(Store(state));
        EXPECT_EQ(settings.pathstamp, c.kept ? std::string(c.length, 'p') : "") << c.length;
        EXPECT_EQ(state.values.at("pathstamp"), settings.pathstamp) << c.length;
        const bool writtenBack =
            std::count(state.written.begin(), state.written.end(), "pathstamp") > 0;
        EXPECT_EQ(writtenBack, !c.kept) << c.length;
    }
}

TEST(ReadRegistryString, TextEndsAtAnEmbeddedZero) {
    CMemoryStoreState state;
    state.values["pathsample"] = std::string("/a/b\0/c", 7);
    CStampSettings settings(Store(state));
    std::string text = "old";
    EXPECT_TRUE(settings.ReadRegistryString("pathsample", text));
    EXPECT_EQ(text, "/a/b");
}

TEST(LoadSettings, CompleteStoreIsReadWithoutAnyWrite) {
    CMemoryStoreState state;
    state.values = AllValues("1");
    state.values["inputdir"] = "/pictures/";
    state.values["outputdir"] = "/out/";
    CStampSettings settings(Store(state));
    EXPECT_TRUE(state.written.empty());
}

TEST(LoadSettings, UnopenableStoreGivesDefaultsWithBiptcAndNeverWrites) {
    CMemoryStoreState state;
    state.openable = false;
    state.values = AllValues("7"); // unreachable: must not leak into the record
    {
        CStampSettings settings(Store(state));
        CStampSettingsValues expected;
        expected.inputdir = FallbackFolder();
        expected.biptc = true;
        EXPECT_EQ(settings.Values(), expected);
        std::string text = "kept";
        EXPECT_FALSE(settings.ReadRegistryString("jpgquality", text));
        EXPECT_FALSE(settings.WriteRegistryString("jpgquality", "5"));
        settings.jpgquality = 50;
    }
    EXPECT_TRUE(state.queried.empty());
    EXPECT_TRUE(state.written.empty());
    EXPECT_EQ(state.values, AllValues("7"));
}

TEST(StampSettings, WithoutAStoreHoldsDefaultsAndTouchesNothing) {
    CStampSettings plain;
    EXPECT_EQ(plain.Values(), CStampSettingsValues());
    EXPECT_TRUE(plain.inputdir.empty()); // not repaired until validated
    CStampSettings unbacked(nullptr);
    EXPECT_TRUE(unbacked.biptc);
    EXPECT_EQ(unbacked.inputdir, FallbackFolder());
}

TEST(SaveSettings, RoundTripKeepsEveryField) {
    CMemoryStoreState state;
    CStampSettingsValues saved;
    {
        CStampSettings settings(Store(state));
        settings.colora = 1;
        settings.bpreview = false;
        settings.overwritefiles = true;
        settings.outputtype = 2;
        settings.jpgquality = 0;
        settings.outputdir = "/out put/ä/";
        settings.inputdir = "/in/";
        settings.pathstamp = "/logo, big.png";
        settings.pathsample = "/s=1;x.jpg";
        settings.usetrans = true;
        settings.feather = 20;
        settings.tptolerance = 255;
        settings.opacity = 0;
        settings.halign = 2;
        settings.valign = 0;
        settings.offsetx = -9999;
        settings.offsety = 99999;
        settings.colorr = 1;
        settings.colorg = 2;
        settings.colorb = 3;
        settings.biptc = true;
        settings.followexif = false;
        settings.sizemode = 2;
        settings.sizepercent = 1;
        saved = settings.Values();
    }
    state.written.clear();
    CStampSettings again(Store(state));
    EXPECT_EQ(again.Values(), saved);
    EXPECT_TRUE(state.written.empty());
}

} // namespace
