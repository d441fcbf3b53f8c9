#pragma once

#include <array>
#include <optional>
#include <string>
#include <utility>
#include <vector>

struct CStampSettingsValues;

constexpr int kIfExistsSkip = 0;
constexpr int kIfExistsOverwrite = 1;
constexpr int kIfExistsRename = 2;

// The command line of quillmark-batch, parsed but not yet applied. Every value is checked
// for its range while parsing, so what is here can be applied as it stands.
struct CBatchOptions {
    enum class Base {
        Store,    // the stored settings, read only
        Config,   // a configuration file
        Defaults, // the defaults; the store is not touched
    };
    Base base = Base::Store;
    std::string configPath;

    std::optional<std::string> stamp;
    std::optional<std::string> output;
    std::optional<int> outputType; // 0 JPEG, 1 BMP, 2 PNG, 3 WebP, 4 AVIF
    std::optional<int> quality;
    // What an existing output meets: kIfExistsSkip, kIfExistsOverwrite or kIfExistsRename
    // (--if-exists; --no-overwrite and --overwrite are the first two).
    std::optional<int> ifExists;
    // The outputs' file names before the extension (a checked template).
    std::optional<std::string> name;
    // Each input's folder below this one is made again in the output folder.
    std::optional<std::string> mirrorBase;
    std::optional<bool> preserveHeaders;
    std::optional<std::pair<int, int>> align;  // halign, valign
    std::optional<std::pair<int, int>> offset; // x, y
    std::optional<int> opacity;
    std::optional<std::array<int, 3>> key; // red, green, blue
    std::optional<int> tolerance;
    std::optional<int> feather; // as stored: 0..20, 10 none (the command line takes -10..10)
    std::optional<std::string> saveConfig;
    // Files stamped at once; the machine's core count when not given.
    std::optional<int> jobs;
    std::optional<int> sizeMode;    // kSizeOriginal, kSizePercentOfWidth, ...OfShorterSide
    std::optional<int> sizePercent; // with a percentage mode
    std::optional<bool> followExif;
    std::optional<bool> losslessJpeg;
    std::optional<std::pair<int, int>> resize; // resizemode, resizevalue
    std::optional<bool> enlarge;
    std::optional<bool> stripLocation;
    std::optional<bool> stripMetadata;
    std::optional<int> angle;
    std::optional<bool> tile;
    std::optional<int> tileGap; // percent
    std::optional<bool> tileOffset;
    std::optional<int32_t> background; // 0xRRGGBB
    // kStampPicture or kStampText: the later of --stamp and --text.
    std::optional<int> stampKind;
    std::optional<std::string> text; // line feeds already made of "\n"
    std::optional<std::string> font;
    std::optional<int> textSize;
    std::optional<int> textColour; // 0xRRGGBB or kTextColourAuto
    std::optional<bool> shadow;

    // Inputs for pipelines: a list file ("-" standard input), one path per line or, with
    // nullSeparated, per NUL byte; folders with their sub-folders; one JSON object per file.
    std::optional<std::string> filesFrom;
    bool nullSeparated = false;
    bool recursive = false;
    enum class LogFormat { Text, Jsonl };
    LogFormat logFormat = LogFormat::Text;

    // Only "ERR: " lines and, when something went wrong, the summary.
    bool quiet = false;
    // Lists what each input would become; nothing is written.
    bool dryRun = false;
    bool noProgress = false;

    bool help = false;
    bool version = false;
    std::vector<std::string> inputs;
};

// Parses the arguments after the program name. On a usage error returns false with a
// one-line message naming the problem (no program name, no line end).
bool ParseBatchOptions(const std::vector<std::string>& args, CBatchOptions& options,
                       std::string& error);

// Lays the options over settings; a key colour also switches transparency on.
void ApplyBatchOptions(const CBatchOptions& options, CStampSettingsValues& settings);

// The help text, ending with a line end.
std::string BatchUsage();
