#pragma once

#include "imagelib/resample.h"
#include "job/settingsstore.h"
#include "job/settingstext.h"

#include <cstdint>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <string_view>

// One complete stamping configuration, as plain values. Fields in declaration order; the
// store's value names and the configuration file's fields carry the same names.
struct CStampSettingsValues {
    int32_t colora = 0;                       // 1 when a key colour has been picked
    bool bpreview = true;                     // input page: preview the selected file
    bool overwritefiles = false;              // output page: overwrite existing files
    int32_t outputtype = 0;                   // 0 JPEG, 1 BMP, 2 PNG, 3 WebP, 4 AVIF
    int32_t jpgquality = 90;                  // 0..100; 90 is the usual photo quality
    std::string outputdir = FallbackFolder(); // with a trailing '/'
    std::string inputdir;                     // folder shown by the input page's tree
    std::string pathstamp;
    std::string pathsample;
    bool usetrans = false;   // positioning page: use transparence
    int32_t feather = 10;    // 0..20, 10 = none
    int32_t tptolerance = 0; // key colour tolerance 0..255
    int32_t opacity = 255;   // 255 = opaque
    int32_t halign = 1;      // 0 left, 1 centre, 2 right
    int32_t valign = 1;      // 0 top, 1 middle, 2 bottom
    int32_t offsetx = 0;     // pixels, -9999..99999
    int32_t offsety = 0;     // pixels, -9999..99999
    int32_t colorr = 0;      // key colour
    int32_t colorg = 0;
    int32_t colorb = 0;
    bool biptc = false; // output page: preserve jpeg-headers
    // Settings stored after the configuration record, in its extension.
    bool followexif = true;     // place the stamp on the photo as a viewer turns it upright
    int32_t sizemode = 0;       // stamp size: 0 its own, 1 percent of width, 2 of the shorter side
    int32_t sizepercent = 20;   // 1..100, used by size modes 1 and 2
    bool losslessjpeg = false;  // JPEG to JPEG: re-encode only the blocks under the stamp
    int32_t resizemode = 0;     // output size: kResizeNone, kResizeLong, ... kResizePercent
    int32_t resizevalue = 2048; // pixels (1..65535), or percent (1..1000)
    bool enlarge = false;       // pictures smaller than the size asked for are enlarged
    bool striplocation = false; // kept EXIF and XMP lose the GPS position
    bool stripmetadata = false; // no EXIF, IPTC, XMP or comment; colour profile kept
    int32_t angle = 0;          // stamp turned by degrees, -180..180, anticlockwise as seen
    bool tile = false;          // copies of the stamp in a grid over the whole photo
    int32_t tilegap = 50;       // space between copies, percent of the stamp's size, 0..1000
    bool tileoffset = false;    // every other row of copies shifted by half a step
    int32_t background = 0xFFFFFF; // 0xRRGGBB under transparent photos written without alpha
    int32_t stampkind = 0;         // 0 the picture of pathstamp, 1 the text below
    std::string stamptext;         // UTF-8, lines split at line feeds; placeholders
    std::string textfont = "sans-serif:bold"; // FAMILY[:STYLE]
    int32_t textsize = 48;                    // em in pixels at the stamp's own size, 1..2000
    int32_t textcolor = 0xFFFFFF;             // 0xRRGGBB, or kTextColourAuto
    bool textshadow = true;                   // a soft shadow under the text
    std::string outputname = "{name}"; // the outputs' names before the extension (placeholders)
    // An existing output is kept and the new one renamed ("NAME-1.ext"); stored apart from
    // overwritefiles so that older versions read it as not overwriting.
    bool renamefiles = false;

    // Sets every out-of-range field back to its default and an empty folder to the fallback
    // folder. All checks run; true when nothing had to be repaired.
    bool ValidateSettings();

    // What an output meets under its name: overwritefiles wins over renamefiles, being the
    // choice an older version, which knows only it, may have made last.
    bool KeepsBoth() const { return renamefiles && !overwritefiles; }

    // The output size rule of resizemode, resizevalue and enlarge.
    CResizeRule ResizeRule() const { return {resizemode, resizevalue, enlarge}; }

    bool operator==(const CStampSettingsValues&) const = default;
};

// Offsets may go far right or down but only a little left or up: both bounds have five
// characters in the offset edit boxes.
constexpr int32_t kMinOffset = -9999;
constexpr int32_t kMaxOffset = 99999;

// The background setting as text: "R,G,B", each 0..255; nullopt for any other text.
std::string BackgroundToText(int32_t rgb);
std::optional<int32_t> TextToBackground(std::string_view text);

// The stamp size modes of sizemode.
constexpr int32_t kSizeOriginal = 0;
constexpr int32_t kSizePercentOfWidth = 1;
constexpr int32_t kSizePercentOfShorterSide = 2;

// The stamp kinds of stampkind.
constexpr int32_t kStampPicture = 0;
constexpr int32_t kStampText = 1;

// textcolor: light or dark, chosen per photo from the brightness under the text.
constexpr int32_t kTextColourAuto = -1;
constexpr int32_t kMaxTextSize = 2000;

// The text colour as "R,G,B" or "auto", and back; nullopt for any other text.
std::string TextColourToText(int32_t colour);
std::optional<int32_t> TextToTextColour(std::string_view text);

// A stamp text with its line feeds as "\n" and backslashes doubled, so it stays one line
// in the store and the configuration file; and back.
std::string EscapeStampText(std::string_view text);
std::string UnescapeStampText(std::string_view text);

// Settings added after the configuration record's layout was fixed. They live in the store
// like the others, and in the configuration file's extension by name, so one more setting is
// one more entry in this table (and a field above).
struct CExtendedSetting {
    const char* name;
    std::string (*toText)(const CStampSettingsValues& values);
    // The store's text rule for the field; empty text gives the default.
    void (*fromText)(CStampSettingsValues& values, std::string_view text);
};
std::span<const CExtendedSetting> ExtendedSettings();

// Values longer than this many bytes do not survive the store: they read back as empty. A
// stamp text is stored in pieces of at most this size, four of them (about 1 KB, the rest
// of a longer text is cut).
constexpr std::size_t kMaxSettingsTextBytes = 259;

// The settings record with its persistence. Constructed from a store it loads the values
// (LoadSettings) and writes them all back when destroyed (SaveSettings); nothing else writes
// to the store, except that loading stores an empty text for a value that is missing or too
// long. A record without a store only holds values: nothing is read or written.
class CStampSettings : public CStampSettingsValues {
public:
    // The defaults, with no store behind them.
    CStampSettings() = default;
    // Loads from the store; a null store or one that cannot be opened gives the defaults
    // with biptc on.
    explicit CStampSettings(std::unique_ptr<CSettingsStore> store);
    ~CStampSettings();

    CStampSettings(const CStampSettings&) = delete;
    CStampSettings& operator=(const CStampSettings&) = delete;

    CStampSettings& operator=(const CStampSettingsValues& values) {
        CStampSettingsValues::operator=(values);
        return *this;
    }
    const CStampSettingsValues& Values() const { return *this; }

    // Reads every value in a fixed order, turns each text into its field, then repairs.
    void LoadSettings();
    // Writes every value. Skipped silently when the store cannot be opened.
    void SaveSettings();

    // False only when the store cannot be opened or created. A missing value, or one of more
    // than kMaxSettingsTextBytes bytes, reads as empty and is stored back as empty.
    bool ReadRegistryString(const std::string& name, std::string& text);
    // False when the store cannot be opened or created.
    bool WriteRegistryString(const std::string& name, const std::string& text);

    // The configuration file: the kConfigRecordSize-byte record followed by the extension
    // with the extended settings. True when written completely.
    bool ExportSettings(const std::string& path) const;
    // 1 when every value was valid, 2 when some were repaired or the extension was damaged
    // (its settings then take their defaults), 0 when the file cannot be read or is not a
    // configuration record; then the record is unchanged. A bare record, as older versions
    // wrote, gives the extended settings their defaults, and so does a record followed by
    // bytes that are not our extension (they are ignored).
    int ImportSettings(const std::string& path);

private:
    std::unique_ptr<CSettingsStore> m_store;
};
