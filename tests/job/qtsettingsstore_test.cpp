#include "job/qtsettingsstore.h"
#include "job/stampsettings.h"

#include <QSettings>
#include <QString>

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <unistd.h>

namespace fs = std::filesystem;

namespace {

const std::vector<std::string> kNames = [] {
    std::vector<std::string> names = {
        "bpreview",   "biptc",      "inputdir", "outputdir",   "overwritefiles", "jpgquality",
        "outputtype", "usetrans",   "feather",  "tptolerance", "halign",         "valign",
        "offsetx",    "offsety",    "opacity",  "colora",      "colorb",         "colorg",
        "colorr",     "pathsample", "pathstamp"};
    for (const CExtendedSetting& setting : ExtendedSettings())
        names.push_back(setting.name);
    return names;
}();

// Qt reads the configuration folder once per process, so the whole test program gets one
// private folder before anything touches the settings.
class ConfigHome : public testing::Environment {
public:
    static fs::path Folder() { return s_folder; }
    void SetUp() override {
        std::string pattern = (fs::temp_directory_path() / "qm_config_home_XXXXXX").string();
        ASSERT_NE(mkdtemp(pattern.data()), nullptr);
        s_folder = pattern;
        setenv("XDG_CONFIG_HOME", s_folder.c_str(), 1);
    }
    void TearDown() override { fs::remove_all(s_folder); }

private:
    static inline fs::path s_folder;
};
[[maybe_unused]] testing::Environment* const g_configHome =
    testing::AddGlobalTestEnvironment(new ConfigHome); // the framework owns it

std::unique_ptr<CSettingsStore>
NativeStore(CQtSettingsStore::Access access = CQtSettingsStore::Access::ReadWrite) {
    return std::make_unique<CQtSettingsStore>(access);
}

fs::path StoreFolder() {
    return ConfigHome::Folder() / "quillmark";
}
fs::path StoreFile() {
    return StoreFolder() / "quillmark.conf";
}

std::string FileText(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

// What the file holds, read by Qt's INI reader on its own, apart from the store.
std::map<std::string, std::string> FileValues() {
    QSettings file(QString::fromStdString(StoreFile().string()), QSettings::IniFormat);
    std::map<std::string, std::string> values;
    for (const QString& key : file.allKeys())
        values[key.toStdString()] = file.value(key).toString().toStdString();
    return values;
}

void Seed(const std::map<std::string, std::string>& values) {
    CQtSettingsStore store;
    ASSERT_TRUE(store.OpenKey());
    for (const auto& [name, text] : values)
        store.SetValue(name, text);
    store.CloseKey();
    store.Flush();
}

class NativeSettings : public testing::Test {
protected:
    void SetUp() override {
        fs::permissions(ConfigHome::Folder(), fs::perms::owner_all);
        fs::remove_all(StoreFolder());
    }
};

TEST_F(NativeSettings, FirstStartCreatesTheFileWithEveryValueEmpty) {
    CStampSettings settings(NativeStore());
    ASSERT_TRUE(fs::exists(StoreFile()));
    std::map<std::string, std::string> values = FileValues();
    EXPECT_EQ(values.size(), kNames.size());
    for (const std::string& name : kNames)
        EXPECT_EQ(values[name], "") << name;
    EXPECT_TRUE(settings.bpreview);
    EXPECT_FALSE(settings.biptc);
    EXPECT_EQ(settings.inputdir, FallbackFolder());
    EXPECT_EQ(settings.outputdir, FallbackFolder());
}

TEST_F(NativeSettings, SaveThenLoadKeepsEveryFieldWhateverTheTexts) {
    CStampSettingsValues saved;
    {
        CStampSettings settings(NativeStore());
        settings.colora = 1;
        settings.bpreview = false;
        settings.overwritefiles = true;
        settings.outputtype = 1;
        settings.jpgquality = 7;
        settings.outputdir = "/out, with comma/ä€/";
        settings.inputdir = " /leading space/\"quoted\"/";
        settings.pathstamp = "/a=b;c#d\\e.png";
        settings.pathsample = "@Variant(not really).jpg";
        settings.usetrans = true;
        settings.feather = 0;
        settings.tptolerance = 9;
        settings.opacity = 17;
        settings.halign = 0;
        settings.valign = 2;
        settings.offsetx = -9999;
        settings.offsety = 99999;
        settings.colorr = 255;
        settings.colorg = 128;
        settings.colorb = 1;
        settings.biptc = true;
        saved = settings.Values();
    }
    EXPECT_EQ(FileValues()["pathstamp"], "/a=b;c#d\\e.png");
    EXPECT_EQ(FileValues()["offsetx"], "-9999");
    CStampSettings again(NativeStore());
    EXPECT_EQ(again.Values(), saved);
}

TEST_F(NativeSettings, StoredTextsFollowTheRules) {
    Seed({{"jpgquality", "abc"},
          {"outputtype", " 2"},
          {"bpreview", "2"},
          {"usetrans", "2"},
          {"offsetx", "-10000"},
          {"offsety", "99999"},
          {"feather", "100000"}});
    CStampSettings settings(NativeStore());
    EXPECT_EQ(settings.jpgquality, 0);
    EXPECT_EQ(settings.outputtype, 0);
    EXPECT_TRUE(settings.bpreview);
    EXPECT_FALSE(settings.usetrans);
    EXPECT_EQ(settings.offsetx, 0);
    EXPECT_EQ(settings.offsety, 99999);
    EXPECT_EQ(settings.feather, 10);
    // Loading repairs the record, not the store: only saving writes the values.
    EXPECT_EQ(FileValues()["jpgquality"], "abc");
}

TEST_F(NativeSettings, OverlongValueIsEmptiedInTheStoreOnTheNextStart) {
    Seed({{"pathstamp", std::string(300, 'x')}, {"pathsample", std::string(259, 'y')}});
    CStampSettings settings(NativeStore());
    EXPECT_EQ(settings.pathstamp, "");
    EXPECT_EQ(settings.pathsample, std::string(259, 'y'));
    EXPECT_EQ(FileValues()["pathstamp"], ""); // already written back by loading
    EXPECT_EQ(FileValues()["pathsample"], std::string(259, 'y'));
}

TEST_F(NativeSettings, CompleteStoreIsNotWrittenByLoading) {
    { CStampSettings first(NativeStore()); }
    const std::string before = FileText(StoreFile());
    const auto stamp = fs::last_write_time(StoreFile());
    {
        CStampSettings settings(NativeStore());
        EXPECT_EQ(FileText(StoreFile()), before);
        EXPECT_EQ(fs::last_write_time(StoreFile()), stamp);
        settings.jpgquality = 42;
    }
    EXPECT_EQ(FileValues()["jpgquality"], "42");
}

TEST_F(NativeSettings, FolderThatCannotBeCreatedGivesDefaultsWithBiptcAndNoWrites) {
    // A plain file where the folder should be: no user, root included, can create it.
    std::ofstream(StoreFolder()) << "in the way";
    {
        CStampSettings settings(NativeStore());
        CStampSettingsValues expected;
        expected.inputdir = FallbackFolder();
        expected.biptc = true;
        EXPECT_EQ(settings.Values(), expected);
        std::string text;
        EXPECT_FALSE(settings.ReadRegistryString("jpgquality", text));
        EXPECT_FALSE(settings.WriteRegistryString("jpgquality", "1"));
        settings.jpgquality = 3;
    }
    EXPECT_TRUE(fs::is_regular_file(StoreFolder()));
    EXPECT_EQ(FileText(StoreFolder()), "in the way");
    fs::remove(StoreFolder());
}

TEST_F(NativeSettings, UnwritableFileCountsAsUnopenable) {
    if (geteuid() == 0)
        GTEST_SKIP() << "root writes read-only files";
    Seed({{"jpgquality", "50"}, {"biptc", "0"}});
    fs::permissions(StoreFile(), fs::perms::owner_read);
    {
        CStampSettings settings(NativeStore());
        EXPECT_TRUE(settings.biptc);
        EXPECT_EQ(settings.jpgquality, 90);
    }
    fs::permissions(StoreFile(), fs::perms::owner_read | fs::perms::owner_write);
    EXPECT_EQ(FileValues().size(), 2u);
}

TEST_F(NativeSettings, ReadOnlyAccessReadsButNeverWrites) {
    Seed({{"jpgquality", "60"}, {"pathstamp", std::string(300, 'x')}});
    const std::string before = FileText(StoreFile());
    {
        CStampSettings settings(NativeStore(CQtSettingsStore::Access::ReadOnly));
        EXPECT_EQ(settings.jpgquality, 60);
        EXPECT_EQ(settings.pathstamp, "");
        settings.jpgquality = 1;
    }
    EXPECT_EQ(FileText(StoreFile()), before);

    fs::remove_all(StoreFolder());
    { CStampSettings settings(NativeStore(CQtSettingsStore::Access::ReadOnly)); }
    EXPECT_FALSE(fs::exists(StoreFolder()));
}

} // namespace
