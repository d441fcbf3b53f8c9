#include "job/configrecord.h"
#include "job/stampsettings.h"
#include "memorystore.h"

#include <gtest/gtest.h>

#include <csignal>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

namespace fs = std::filesystem;

namespace {

CStampSettingsValues Sample() {
    CStampSettingsValues v;
    v.colora = 1;
    v.bpreview = false;
    v.overwritefiles = true;
    v.outputtype = 2;
    v.jpgquality = 85;
    v.outputdir = "/out/";
    v.inputdir = "/in/";
    v.pathstamp = "/logo.png";
    v.pathsample = "/sample.jpg";
    v.usetrans = true;
    v.feather = 13;
    v.tptolerance = 40;
    v.opacity = 128;
    v.halign = 2;
    v.valign = 0;
    v.offsetx = -9999;
    v.offsety = 99999;
    v.colorr = 0x11;
    v.colorg = 0x22;
    v.colorb = 0x33;
    v.biptc = true;
    return v;
}

std::vector<uint8_t> ReadAll(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

void WriteAll(const fs::path& path, const std::vector<uint8_t>& bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
}

uint32_t Le32(const std::vector<uint8_t>& b, std::size_t at) {
    return uint32_t(b[at]) | uint32_t(b[at + 1]) << 8 | uint32_t(b[at + 2]) << 16 |
           uint32_t(b[at + 3]) << 24;
}

std::string TextAt(const std::vector<uint8_t>& b, std::size_t at) {
    return std::string(reinterpret_cast<const char*>(&b[at]));
}

class ConfigFile : public testing::Test {
protected:
    void SetUp() override {
        m_dir = fs::temp_directory_path() /
                ("qm_config_" + std::to_string(getpid()) + "_" +
                 testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::create_directories(m_dir);
    }
    void TearDown() override { fs::remove_all(m_dir); }

    // A record holding the sample values, exported to a file.
    fs::path Exported(const CStampSettingsValues& values = Sample()) {
        CStampSettings settings;
        settings = values;
        const fs::path path = m_dir / "config.qmc";
        EXPECT_TRUE(settings.ExportSettings(path.string()));
        return path;
    }

    fs::path m_dir;
};

TEST_F(ConfigFile, ExportPutsEveryFieldAtItsOffsetLittleEndianWithZeroPadding) {
    const std::vector<uint8_t> b = ReadAll(Exported());
    ASSERT_GE(b.size(), 1104u);
    const struct {
        std::size_t at;
        uint32_t value;
    } integers[] = {{0, 1},        {8, 2},       {12, 85},
                    {1060, 13},    {1064, 40},   {1068, 128},
                    {1072, 2},     {1076, 0},    {1080, uint32_t(-9999)},
                    {1084, 99999}, {1088, 0x11}, {1092, 0x22},
                    {1096, 0x33}};
    for (const auto& i : integers)
        EXPECT_EQ(Le32(b, i.at), i.value) << "offset " << i.at;
    EXPECT_EQ(b[1080], 0xF1); // -9999 = 0xFFFFD8F1, low byte first
    EXPECT_EQ(b[4], 0);       // bpreview
    EXPECT_EQ(b[5], 1);       // overwritefiles
    EXPECT_EQ(b[1056], 1);    // usetrans
    EXPECT_EQ(b[1100], 1);    // biptc
    EXPECT_EQ(TextAt(b, 16), "/out/");
    EXPECT_EQ(TextAt(b, 276), "/in/");
    EXPECT_EQ(TextAt(b, 536), "/logo.png");
    EXPECT_EQ(TextAt(b, 796), "/sample.jpg");
    for (std::size_t pad : {6u, 7u, 1057u, 1058u, 1059u, 1101u, 1102u, 1103u})
        EXPECT_EQ(b[pad], 0) << "padding " << pad;
    for (std::size_t i = 16 + 5; i < 276; ++i)
        ASSERT_EQ(b[i], 0) << "after the text, offset " << i;
}

TEST_F(ConfigFile, LongTextsAreCutTo259BytesAndTheFileStays1104) {
    CStampSettingsValues v = Sample();
    v.pathstamp = std::string(400, 's');
    v.pathsample = std::string(258, 'a') + "\xC3\xA9"; // é would end at byte 260
    v.outputdir = std::string(259, 'o');
    const std::vector<uint8_t> b = ReadAll(Exported(v));
    ASSERT_EQ(b.size(), 1104u + EncodeConfigExtension(v).size());
    EXPECT_EQ(TextAt(b, 536), std::string(259, 's'));
    EXPECT_EQ(TextAt(b, 796), std::string(258, 'a'));
    EXPECT_EQ(TextAt(b, 16), std::string(259, 'o'));
    EXPECT_EQ(TextAt(b, 276), "/in/"); // the neighbour field is untouched
}

TEST_F(ConfigFile, ExportThenImportGivesOneAndEqualSettings) {
    const fs::path path = Exported();
    CStampSettings settings;
    EXPECT_EQ(settings.ImportSettings(path.string()), 1);
    EXPECT_EQ(settings.Values(), Sample());
}

// A text stamp's settings survive the file and the store byte for byte: line breaks,
// backslashes, braces and any script, and a text longer than one stored value holds (kept
// in pieces that end between characters; a reader of the first piece alone gets the
// text's beginning).
TEST_F(ConfigFile, TextStampRoundTripsThroughTheFileAndTheStore) {
    std::string longText;
    for (int line = 0; longText.size() < 900; ++line)
        longText += "\u00a9 J\u00f6rg \\ \u05e9\u05dc\u05d5\u05dd \U0001F4F7 {name} " +
                    std::to_string(line) + "\n";
    const struct {
        std::string text, expected;
    } cases[] = {
        {"\u00a9 {year} J\u00f6rg \\n\n\u05e9\u05dc\u05d5\u05dd {{x}}\r\n{exif:Artist}",
         "\u00a9 {year} J\u00f6rg \\n\n\u05e9\u05dc\u05d5\u05dd {{x}}\n{exif:Artist}"},
        {longText, longText},
    };
    for (const auto& c : cases) {
        CStampSettingsValues text = Sample();
        text.stampkind = kStampText;
        text.stamptext = c.text;
        text.textfont = "DejaVu Serif:Condensed Bold Italic";
        text.textsize = 200;
        text.textcolor = kTextColourAuto;
        text.textshadow = false;
        CStampSettings settings;
        EXPECT_EQ(settings.ImportSettings(Exported(text).string()), 1);
        CStampSettingsValues expected = text;
        expected.stamptext = c.expected;
        EXPECT_EQ(settings.Values(), expected);

        CMemoryStoreState state;
        {
            CStampSettings stored(std::make_unique<CMemorySettingsStore>(state));
            stored = text;
        }
        CStampSettings reloaded(std::make_unique<CMemorySettingsStore>(state));
        EXPECT_EQ(reloaded.Values(), expected);
        const std::string first = UnescapeStampText(state.values.at("stamptext"));
        EXPECT_LE(state.values.at("stamptext").size(), kMaxSettingsTextBytes);
        EXPECT_GE(first.size(), std::min<std::size_t>(c.expected.size(), 200));
        EXPECT_TRUE(c.expected.starts_with(first));
    }
}

TEST_F(ConfigFile, OutOfRangeFieldsAreRepairedWithResultTwo) {
    const struct {
        std::size_t at;
        int32_t stored;
        int32_t CStampSettingsValues::*field;
        int32_t expected;
        int result;
    } cases[] = {
        {1060, 25, &CStampSettingsValues::feather, 10, 2},
        {1080, -10000, &CStampSettingsValues::offsetx, 0, 2},
        {1080, -9999, &CStampSettingsValues::offsetx, -9999, 1},
        {1084, 100000, &CStampSettingsValues::offsety, 0, 2},
        {12, 101, &CStampSettingsValues::jpgquality, 90, 2},
        {8, -1, &CStampSettingsValues::outputtype, 0, 2},
        {1068, 0x7FFFFFFF, &CStampSettingsValues::opacity, 255, 2},
        {0, 9, &CStampSettingsValues::colora, 9, 1}, // no range
    };
    for (const auto& c : cases) {
        std::vector<uint8_t> b = ReadAll(Exported());
        for (std::size_t i = 0; i < 4; ++i)
            b[c.at + i] = uint8_t(uint32_t(c.stored) >> (8 * i));
        WriteAll(m_dir / "edited.qmc", b);
        CStampSettings settings;
        EXPECT_EQ(settings.ImportSettings((m_dir / "edited.qmc").string()), c.result) << c.at;
        EXPECT_EQ(settings.*c.field, c.expected) << c.at;
    }
}

TEST_F(ConfigFile, AnyNonZeroBooleanByteIsTrueAndPaddingIsIgnored) {
    std::vector<uint8_t> b = ReadAll(Exported());
    b[4] = 0x80; // bpreview
    b[1100] = 0; // biptc
    b[6] = b[7] = b[1057] = b[1101] = b[1103] = 0xEE;
    WriteAll(m_dir / "edited.qmc", b);
    CStampSettings settings;
    EXPECT_EQ(settings.ImportSettings((m_dir / "edited.qmc").string()), 1);
    CStampSettingsValues expected = Sample();
    expected.bpreview = true;
    expected.biptc = false;
    EXPECT_EQ(settings.Values(), expected);
}

TEST_F(ConfigFile, TextWithoutTerminatorIsCutAtItsField) {
    std::vector<uint8_t> b = ReadAll(Exported());
    std::fill(b.begin() + 536, b.begin() + 796, uint8_t('x'));  // pathstamp, no zero
    std::fill(b.begin() + 796, b.begin() + 1056, uint8_t('y')); // pathsample, no zero
    WriteAll(m_dir / "damaged.qmc", b);
    CStampSettings settings;
    EXPECT_EQ(settings.ImportSettings((m_dir / "damaged.qmc").string()), 1);
    EXPECT_EQ(settings.pathstamp, std::string(259, 'x'));
    EXPECT_EQ(settings.pathsample, std::string(259, 'y'));
}

TEST_F(ConfigFile, EmptyFolderFieldIsRepaired) {
    CStampSettingsValues v = Sample();
    v.inputdir.clear();
    CStampSettings settings;
    EXPECT_EQ(settings.ImportSettings(Exported(v).string()), 2);
    EXPECT_EQ(settings.inputdir, FallbackFolder());
}

TEST_F(ConfigFile, FilesThatAreNotARecordGiveZeroAndChangeNothing) {
    std::vector<uint8_t> good = ReadAll(Exported());
    good.resize(1104); // a bare record: what follows it below is not our extension
    const struct {
        const char* what;
        std::size_t size;
    } lengths[] = {{"empty", 0}, {"short", 1103}, {"half", 552}};
    for (const auto& c : lengths) {
        std::vector<uint8_t> bytes(c.size, 0);
        std::copy_n(good.begin(), std::min(c.size, good.size()), bytes.begin());
        WriteAll(m_dir / "odd.qmc", bytes);
        CStampSettings settings;
        settings.pathstamp = "/unchanged";
        const CStampSettingsValues before = settings.Values();
        EXPECT_EQ(settings.ImportSettings((m_dir / "odd.qmc").string()), 0) << c.what;
        EXPECT_EQ(settings.Values(), before) << c.what;
    }
    CStampSettings settings;
    EXPECT_EQ(settings.ImportSettings((m_dir / "missing.qmc").string()), 0);
    EXPECT_EQ(settings.ImportSettings(m_dir.string()), 0); // a folder
    EXPECT_EQ(settings.Values(), CStampSettingsValues());
}

TEST_F(ConfigFile, ExportFailsWhereNoFileCanBeWritten) {
    CStampSettings settings;
    EXPECT_FALSE(settings.ExportSettings((m_dir / "no" / "such" / "folder.qmc").string()));
    EXPECT_FALSE(settings.ExportSettings(m_dir.string()));
    EXPECT_FALSE(settings.ExportSettings("/dev/null")); // not a file of ours to replace

    // A disk that fills up during the export (the file size limit fails the write in the
    // same way) leaves the file it was to replace as it was, and no piece beside it.
    const fs::path kept = m_dir / "kept.qmc";
    WriteAll(kept, std::vector<uint8_t>(100, 0x5A));
    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        ::signal(SIGXFSZ, SIG_IGN);
        const rlimit limit{512, 512};
        ::setrlimit(RLIMIT_FSIZE, &limit);
        ::_exit(settings.ExportSettings(kept.string()) ? 1 : 0);
    }
    int status = 0;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << "the export claimed success";
    EXPECT_EQ(fs::file_size(kept), 100u);
    EXPECT_EQ(std::distance(fs::directory_iterator(m_dir), fs::directory_iterator()), 1);
}

TEST_F(ConfigFile, ExportTruncatesALongerFile) {
    WriteAll(m_dir / "config.qmc", std::vector<uint8_t>(5000, 0xAB));
    EXPECT_EQ(fs::file_size(Exported()), 1104u + EncodeConfigExtension(Sample()).size());
}

// The extended settings after the record: files of older versions, our own, and damaged or
// foreign ones.
// WebP and AVIF travel by name in the extension; the record's field keeps a value older
// versions accept.
TEST_F(ConfigFile, NewOutputFormatsTravelInTheExtension) {
    for (const int type : {3, 4}) {
        CStampSettingsValues values = Sample();
        values.outputtype = type;
        const std::vector<uint8_t> file = ReadAll(Exported(values));
        EXPECT_EQ(file[8], 0) << type;
        CStampSettings settings;
        EXPECT_EQ(settings.ImportSettings(Exported(values).string()), 1);
        EXPECT_EQ(settings.outputtype, type);
        // A bare record, as an older version keeps it, reads as JPEG.
        WriteAll(m_dir / "bare.qmc", std::vector<uint8_t>(file.begin(), file.begin() + 1104));
        EXPECT_EQ(settings.ImportSettings((m_dir / "bare.qmc").string()), 1);
        EXPECT_EQ(settings.outputtype, 0);
    }
}

TEST_F(ConfigFile, ExtensionAfterTheRecord) {
    CStampSettingsValues extended = Sample();
    extended.followexif = false;
    extended.sizemode = 2;
    extended.sizepercent = 55;
    extended.losslessjpeg = true;
    const std::vector<uint8_t> file = ReadAll(Exported(extended));
    const std::vector<uint8_t> record(file.begin(), file.begin() + 1104);
    // The record part is exactly what older versions wrote, at its offsets.
    const CConfigRecord bare = EncodeConfigRecord(extended);
    ASSERT_TRUE(std::equal(bare.begin(), bare.end(), record.begin()));

    // An extension with the given body, version and checksum.
    auto extension = [](const std::string& body, uint16_t version = 1, int crcDelta = 0) {
        std::vector<uint8_t> e = {'Q', 'M', 'X', 'T', uint8_t(version), uint8_t(version >> 8)};
        for (int i = 0; i < 4; ++i)
            e.push_back(uint8_t(body.size() >> (8 * i)));
        e.insert(e.end(), body.begin(), body.end());
        const uint32_t crc =
            Crc32(std::span(reinterpret_cast<const uint8_t*>(body.data()), body.size())) +
            uint32_t(crcDelta);
        for (int i = 0; i < 4; ++i)
            e.push_back(uint8_t(crc >> (8 * i)));
        return e;
    };
    const std::vector<uint8_t> ours(file.begin() + 1104, file.end());
    // One "name=text" line per setting of the table, in its order.
    std::string body;
    for (const CExtendedSetting& setting : ExtendedSettings())
        body += std::string(setting.name) + "=" + setting.toText(extended) + "\n";
    ASSERT_TRUE(body.starts_with("followexif=0\nsizemode=2\nsizepercent=55\nlosslessjpeg=1\n"));
    ASSERT_EQ(ours, extension(body));
    auto cut = [](std::vector<uint8_t> bytes, std::size_t count) {
        bytes.resize(bytes.size() - count);
        return bytes;
    };
    auto flipped = [](std::vector<uint8_t> bytes, std::size_t at) {
        bytes[at] ^= 0x20;
        return bytes;
    };

    const CStampSettingsValues defaults = Sample(); // the record's values, extension defaults
    const struct {
        const char* what;
        std::vector<uint8_t> tail;
        int result;
        CStampSettingsValues expected;
    } cases[] = {
        {"older version's bare record", {}, 1, defaults},
        {"our own", ours, 1, extended},
        {"other order, unknown name, missing name",
         extension("future=7\nsizepercent=55\nfollowexif=0\n"), 1,
         [&] {
             CStampSettingsValues v = defaults;
             v.followexif = false;
             v.sizepercent = 55;
             return v;
         }()},
        {"out of range is repaired", extension("sizemode=9\nsizepercent=0\n"), 2, defaults},
        {"body byte changed", flipped(ours, 12), 2, defaults},
        {"checksum wrong", extension("sizemode=2\n", 1, 1), 2, defaults},
        {"cut short", cut(ours, 1), 2, defaults},
        {"header only", cut(ours, ours.size() - 6), 2, defaults},
        {"bytes after it",
         [&] {
             std::vector<uint8_t> v = ours;
             v.push_back(0);
             return v;
         }(),
         2, defaults},
        {"unknown layout", extension("sizemode=2\n", 2), 2, defaults},
        {"line without '='", extension("sizemode=2\nbroken\n"), 2, defaults},
        {"last line unterminated", extension("sizemode=2"), 2, defaults},
        {"zero byte in a value", extension(std::string("sizemode=2\0\n", 12)), 2, defaults},
        {"too long to be ours", extension("x=" + std::string(20000, 'y') + "\n"), 2, defaults},
    };
    for (const auto& c : cases) {
        std::vector<uint8_t> bytes = record;
        bytes.insert(bytes.end(), c.tail.begin(), c.tail.end());
        WriteAll(m_dir / "ext.qmc", bytes);
        CStampSettings settings;
        settings.sizemode = 1; // must not survive an import
        EXPECT_EQ(settings.ImportSettings((m_dir / "ext.qmc").string()), c.result) << c.what;
        EXPECT_EQ(settings.Values(), c.expected) << c.what;
    }

    // Bytes after the record that do not start with our tag (padding, another tool's
    // trailer) are ignored, as a reader of the bare record ignores them: the record imports.
    for (const std::vector<uint8_t>& tail :
         {std::vector<uint8_t>{'Q', 'M', 'X'}, flipped(ours, 0), std::vector<uint8_t>(1, 0),
          std::vector<uint8_t>(1104, 0), std::vector<uint8_t>(40000, 0xAB)}) {
        std::vector<uint8_t> bytes = record;
        bytes.insert(bytes.end(), tail.begin(), tail.end());
        WriteAll(m_dir / "foreign.qmc", bytes);
        CStampSettings settings;
        settings.sizemode = 1; // must not survive an import
        EXPECT_EQ(settings.ImportSettings((m_dir / "foreign.qmc").string()), 1) << tail.size();
        EXPECT_EQ(settings.Values(), defaults) << tail.size();
    }
}

} // namespace
