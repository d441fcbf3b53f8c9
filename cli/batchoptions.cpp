#include "cli/batchoptions.h"

#include "core/stamplayout.h"
#include "imagelib/imageformats.h"
#include "job/outputnames.h"
#include "job/stampjob.h"
#include "job/stampsettings.h"

#include <algorithm>
#include <cctype>
#include <charconv>
#include <cstring>
#include <map>

namespace {

std::string Lower(std::string text) {
    std::transform(text.begin(), text.end(), text.begin(),
                   [](unsigned char c) { return char(std::tolower(c)); });
    return text;
}

// The whole text must be one decimal integer with optional sign; no spaces, no trailing
// characters, nothing beyond 32 bits.
std::optional<int> ParseInteger(const std::string& text) {
    const char* first = text.data();
    const char* last = first + text.size();
    if (first != last && *first == '+')
        ++first;
    int value = 0;
    const auto [end, ec] = std::from_chars(first, last, value);
    if (ec != std::errc() || end != last || first == last)
        return std::nullopt;
    return value;
}

// "A,B" split at its only comma.
std::optional<std::pair<std::string, std::string>> SplitPair(const std::string& text) {
    const size_t comma = text.find(',');
    if (comma == std::string::npos || text.find(',', comma + 1) != std::string::npos)
        return std::nullopt;
    return std::make_pair(text.substr(0, comma), text.substr(comma + 1));
}

class Parser {
public:
    Parser(CBatchOptions& options, std::string& error) : m_options(options), m_error(error) {}

    bool Fail(const std::string& message) {
        m_error = message;
        return false;
    }

    bool Ranged(const std::string& option, const std::string& text, int low, int high, int& value) {
        const std::optional<int> parsed = ParseInteger(text);
        if (!parsed)
            return Fail(option + ": '" + text + "' is not a whole number");
        if (*parsed < low || *parsed > high)
            return Fail(option + ": " + text + " is out of range (" + std::to_string(low) + ".." +
                        std::to_string(high) + ")");
        value = *parsed;
        return true;
    }

    bool Ranged(const std::string& option, const std::string& text, int low, int high,
                std::optional<int>& target) {
        int value = 0;
        if (!Ranged(option, text, low, high, value))
            return false;
        target = value;
        return true;
    }

    // One alignment component: a name or 0..2.
    bool Alignment(const std::string& option, const std::string& text,
                   const std::array<const char*, 3>& names, int& value) {
        const std::string lower = Lower(text);
        for (int i = 0; i < 3; ++i) {
            if (lower == names[size_t(i)]) {
                value = i;
                return true;
            }
        }
        const std::optional<int> number = ParseInteger(text);
        if (number && *number >= 0 && *number <= 2) {
            value = *number;
            return true;
        }
        return Fail(option + ": '" + text + "' is not one of " + names[0] + ", " + names[1] + ", " +
                    names[2] + " or 0..2");
    }

    bool Value(const std::string& option, const std::string& text) {
        CBatchOptions& o = m_options;
        if (option == "--config") {
            o.base = CBatchOptions::Base::Config;
            o.configPath = text;
            ++m_baseCount;
            return true;
        }
        if (option == "--stamp") {
            o.stamp = text;
            o.stampKind = kStampPicture;
            return true;
        }
        if (option == "--text") {
            o.text = UnescapeStampText(text);
            o.stampKind = kStampText;
            return true;
        }
        if (option == "--font") {
            if (text.empty() || text.front() == ':')
                return Fail("--font: '" + text + "' is not FAMILY[:STYLE]");
            o.font = text;
            return true;
        }
        if (option == "--text-size")
            return Ranged(option, text, 1, kMaxTextSize, o.textSize);
        if (option == "--text-color") {
            const std::optional<int32_t> colour = TextToTextColour(Lower(text));
            if (!colour)
                return Fail("--text-color: '" + text + "' is not R,G,B (each 0..255) or auto");
            o.textColour = *colour;
            return true;
        }
        if (option == "--output") {
            // An empty folder would join every output onto the root folder.
            if (text.empty())
                return Fail("--output: the folder must not be empty");
            o.output = text;
            return true;
        }
        if (option == "--name") {
            COutputNamer namer;
            std::string problem;
            if (!namer.Parse(text, problem))
                return Fail("--name: " + problem);
            o.name = text;
            return true;
        }
        if (option == "--if-exists") {
            const std::string lower = Lower(text);
            if (lower == "skip")
                o.ifExists = kIfExistsSkip;
            else if (lower == "overwrite")
                o.ifExists = kIfExistsOverwrite;
            else if (lower == "rename")
                o.ifExists = kIfExistsRename;
            else
                return Fail("--if-exists: '" + text + "' is not one of skip, overwrite, rename");
            return true;
        }
        if (option == "--base") {
            if (text.empty())
                return Fail("--base: the folder must not be empty");
            o.mirrorBase = text;
            return true;
        }
        if (option == "--save-config") {
            o.saveConfig = text;
            return true;
        }
        if (option == "--files-from") {
            o.filesFrom = text;
            return true;
        }
        if (option == "--log-format") {
            if (text == "text")
                o.logFormat = CBatchOptions::LogFormat::Text;
            else if (text == "jsonl")
                o.logFormat = CBatchOptions::LogFormat::Jsonl;
            else
                return Fail("--log-format: '" + text + "' is not one of text, jsonl");
            return true;
        }
        if (option == "--format") {
            const CImageFormat* format = OutputFormatNamed(text);
            if (!format)
                return Fail("--format: '" + text + "' is not one of jpg, bmp, png, webp, avif");
            o.outputType = format->outputType;
            return true;
        }
        if (option == "--quality")
            return Ranged(option, text, 0, 100, o.quality);
        if (option == "--jobs")
            return Ranged(option, text, 1, kMaxJobWorkers, o.jobs);
        if (option == "--opacity")
            return Opacity(text);
        if (option == "--tolerance")
            return Ranged(option, text, 0, 255, o.tolerance);
        if (option == "--feather") {
            // As the window shows it: 0 no soft edge, the sign the edge's direction.
            int shown = 0;
            if (!Ranged(option, text, -10, 10, shown))
                return false;
            o.feather = shown + 10;
            return true;
        }
        if (option == "--align") {
            const auto parts = SplitPair(text);
            if (!parts)
                return Fail("--align: '" + text + "' is not H,V");
            std::pair<int, int> value;
            if (!Alignment(option, parts->first, {"left", "center", "right"}, value.first) ||
                !Alignment(option, parts->second, {"top", "middle", "bottom"}, value.second))
                return false;
            o.align = value;
            return true;
        }
        if (option == "--offset") {
            const auto parts = SplitPair(text);
            if (!parts)
                return Fail("--offset: '" + text + "' is not X,Y");
            std::pair<int, int> value;
            if (!Ranged(option, parts->first, kMinOffset, kMaxOffset, value.first) ||
                !Ranged(option, parts->second, kMinOffset, kMaxOffset, value.second))
                return false;
            o.offset = value;
            return true;
        }
        if (option == "--key") {
            const size_t first = text.find(',');
            const size_t second = first == std::string::npos ? first : text.find(',', first + 1);
            if (second == std::string::npos || text.find(',', second + 1) != std::string::npos)
                return Fail("--key: '" + text + "' is not R,G,B");
            std::array<int, 3> rgb{};
            const std::string parts[3] = {text.substr(0, first),
                                          text.substr(first + 1, second - first - 1),
                                          text.substr(second + 1)};
            for (int i = 0; i < 3; ++i)
                if (!Ranged(option, parts[i], 0, 255, rgb[size_t(i)]))
                    return false;
            o.key = rgb;
            return true;
        }
        if (option == "--background") {
            o.background = TextToBackground(text);
            if (!o.background)
                return Fail("--background: '" + text + "' is not R,G,B (each 0..255)");
            return true;
        }
        if (option == "--size")
            return Size(text);
        if (option == "--angle")
            return Ranged(option, text, kMinStampAngle, kMaxStampAngle, o.angle);
        if (option == "--tile-gap") {
            const bool percent = !text.empty() && text.back() == '%';
            return Ranged(option, percent ? text.substr(0, text.size() - 1) : text, 0,
                          kMaxTileGapPercent, o.tileGap);
        }
        if (option == "--resize")
            return Resize(text);
        return Fail("unknown option " + option);
    }

    // 0..255, or "N%" as the window shows it (0..100, one decimal at most), rounded to the
    // nearest step.
    bool Opacity(const std::string& text) {
        if (text.empty() || text.back() != '%')
            return Ranged("--opacity", text, 0, 255, m_options.opacity);
        const std::string number = text.substr(0, text.size() - 1);
        const size_t dot = number.find('.');
        const std::string whole = number.substr(0, dot);
        const std::string tenths = dot == std::string::npos ? "0" : number.substr(dot + 1);
        const bool digits =
            !whole.empty() && tenths.size() == 1 &&
            std::all_of(whole.begin(), whole.end(), [](char c) { return c >= '0' && c <= '9'; }) &&
            tenths[0] >= '0' && tenths[0] <= '9';
        if (!digits || whole.size() > 3)
            return Fail("--opacity: '" + text + "' is not 0..255 or N% (0..100)");
        const int permille = std::stoi(whole) * 10 + (tenths[0] - '0');
        if (permille > 1000)
            return Fail("--opacity: " + text + " is out of range (0%..100%)");
        m_options.opacity = (permille * 255 + 500) / 1000;
        return true;
    }

    // "none", "long:N", "short:N", "width:N", "height:N" or "N%".
    bool Resize(const std::string& text) {
        const std::string lower = Lower(text);
        if (lower == "none") {
            m_options.resize = std::make_pair(kResizeNone, CStampSettingsValues().resizevalue);
            return true;
        }
        if (!lower.empty() && lower.back() == '%') {
            int percent = 0;
            if (!Ranged("--resize", lower.substr(0, lower.size() - 1), 1, kMaxResizePercent,
                        percent))
                return false;
            m_options.resize = std::make_pair(kResizePercent, percent);
            return true;
        }
        static const std::pair<const char*, int> kModes[] = {
            {"long", kResizeLong},
            {"short", kResizeShort},
            {"width", kResizeWidth},
            {"height", kResizeHeight},
        };
        const size_t colon = lower.find(':');
        for (const auto& [name, mode] : kModes) {
            if (colon == std::string::npos || lower.compare(0, colon, name) != 0 ||
                colon != std::strlen(name))
                continue;
            int pixels = 0;
            if (!Ranged("--resize", lower.substr(colon + 1), 1, kMaxResizePixels, pixels))
                return false;
            m_options.resize = std::make_pair(mode, pixels);
            return true;
        }
        return Fail("--resize: '" + text +
                    "' is not none, long:N, short:N, width:N, height:N or N%");
    }

    // "original", "N%width" or "N%short".
    bool Size(const std::string& text) {
        const std::string lower = Lower(text);
        if (lower == "original") {
            m_options.sizeMode = kSizeOriginal;
            return true;
        }
        const size_t percent = lower.find('%');
        const std::string base = percent == std::string::npos ? "" : lower.substr(percent + 1);
        const int mode = base == "width"   ? kSizePercentOfWidth
                         : base == "short" ? kSizePercentOfShorterSide
                                           : -1;
        if (mode < 0)
            return Fail("--size: '" + text + "' is not original, N%width or N%short");
        if (!Ranged("--size", text.substr(0, percent), 1, 100, m_options.sizePercent))
            return false;
        m_options.sizeMode = mode;
        return true;
    }

    bool Flag(const std::string& option) {
        CBatchOptions& o = m_options;
        if (option == "--help")
            o.help = true;
        else if (option == "--quiet")
            o.quiet = true;
        else if (option == "--dry-run")
            o.dryRun = true;
        else if (option == "--no-progress")
            o.noProgress = true;
        else if (option == "--version")
            o.version = true;
        else if (option == "--defaults") {
            o.base = CBatchOptions::Base::Defaults;
            ++m_baseCount;
        } else if (option == "--overwrite")
            o.ifExists = kIfExistsOverwrite;
        else if (option == "--no-overwrite")
            o.ifExists = kIfExistsSkip;
        else if (option == "--preserve-headers")
            o.preserveHeaders = true;
        else if (option == "--no-preserve-headers")
            o.preserveHeaders = false;
        else if (option == "--orientation")
            o.followExif = true;
        else if (option == "--no-orientation")
            o.followExif = false;
        else if (option == "--lossless")
            o.losslessJpeg = true;
        else if (option == "--no-lossless")
            o.losslessJpeg = false;
        else if (option == "--enlarge")
            o.enlarge = true;
        else if (option == "--no-enlarge")
            o.enlarge = false;
        else if (option == "--strip-location")
            o.stripLocation = true;
        else if (option == "--no-strip-location")
            o.stripLocation = false;
        else if (option == "--strip-metadata")
            o.stripMetadata = true;
        else if (option == "--no-strip-metadata")
            o.stripMetadata = false;
        else if (option == "--tile")
            o.tile = true;
        else if (option == "--no-tile")
            o.tile = false;
        else if (option == "--tile-offset")
            o.tileOffset = true;
        else if (option == "--no-tile-offset")
            o.tileOffset = false;
        else if (option == "--shadow")
            o.shadow = true;
        else if (option == "--no-shadow")
            o.shadow = false;
        else if (option == "--null")
            o.nullSeparated = true;
        else if (option == "--recursive")
            o.recursive = true;
        else
            return false;
        return true;
    }

    int BaseCount() const { return m_baseCount; }

private:
    CBatchOptions& m_options;
    std::string& m_error;
    int m_baseCount = 0;
};

const std::map<char, std::string> kShortOptions = {
    {'c', "--config"},    {'s', "--stamp"},   {'o', "--output"}, {'f', "--format"},
    {'q', "--quality"},   {'h', "--help"},    {'j', "--jobs"},   {'0', "--null"},
    {'r', "--recursive"}, {'V', "--version"},
};

bool TakesValue(const std::string& option) {
    static const char* const kWithValue[] = {
        "--config",     "--stamp",       "--output",    "--format",     "--quality",
        "--align",      "--offset",      "--opacity",   "--key",        "--tolerance",
        "--feather",    "--save-config", "--size",      "--jobs",       "--files-from",
        "--log-format", "--angle",       "--tile-gap",  "--background", "--resize",
        "--text",       "--font",        "--text-size", "--text-color", "--name",
        "--if-exists",  "--base"};
    return std::any_of(std::begin(kWithValue), std::end(kWithValue),
                       [&](const char* name) { return option == name; });
}

} // namespace

bool ParseBatchOptions(const std::vector<std::string>& args, CBatchOptions& options,
                       std::string& error) {
    options = CBatchOptions();
    Parser parser(options, error);
    bool optionsEnded = false;
    for (size_t i = 0; i < args.size(); ++i) {
        const std::string& arg = args[i];
        if (optionsEnded || arg.size() < 2 || arg[0] != '-') {
            options.inputs.push_back(arg);
            continue;
        }
        if (arg == "--") {
            optionsEnded = true;
            continue;
        }
        std::string option;
        std::optional<std::string> attached;
        if (arg[1] == '-') {
            const size_t equals = arg.find('=');
            option = arg.substr(0, equals);
            if (equals != std::string::npos)
                attached = arg.substr(equals + 1);
        } else {
            // Grouped flags ("-r0"): each letter a flag until one that takes a value, which
            // takes the rest of the word or, when nothing follows, the next argument.
            size_t at = 1;
            for (;;) {
                const auto it = kShortOptions.find(arg[at]);
                if (it == kShortOptions.end())
                    return parser.Fail("unknown option -" + std::string(1, arg[at]));
                option = it->second;
                ++at;
                if (TakesValue(option) || at == arg.size())
                    break;
                if (!parser.Flag(option))
                    return parser.Fail("unknown option " + option);
            }
            if (at < arg.size())
                attached = arg.substr(at);
        }
        if (!TakesValue(option)) {
            // Known first: a value attached to a misspelt option is no reason to call it a
            // flag.
            if (!parser.Flag(option))
                return parser.Fail("unknown option " + option);
            if (attached)
                return parser.Fail(option + " takes no value");
            continue;
        }
        if (!attached) {
            if (i + 1 >= args.size())
                return parser.Fail(option + " needs a value");
            attached = args[++i];
        }
        if (!parser.Value(option, *attached))
            return false;
    }
    if (parser.BaseCount() > 1)
        return parser.Fail("--config and --defaults exclude each other, and each is given once");
    if (options.nullSeparated && !options.filesFrom)
        return parser.Fail("--null needs --files-from");
    return true;
}

void ApplyBatchOptions(const CBatchOptions& options, CStampSettingsValues& settings) {
    if (options.stamp)
        settings.pathstamp = *options.stamp;
    if (options.output) {
        settings.outputdir = *options.output;
        if (settings.outputdir.empty() || settings.outputdir.back() != '/')
            settings.outputdir += '/';
    }
    if (options.outputType)
        settings.outputtype = *options.outputType;
    if (options.quality)
        settings.jpgquality = *options.quality;
    if (options.ifExists) {
        settings.overwritefiles = *options.ifExists == kIfExistsOverwrite;
        settings.renamefiles = *options.ifExists == kIfExistsRename;
    }
    if (options.name)
        settings.outputname = *options.name;
    if (options.preserveHeaders)
        settings.biptc = *options.preserveHeaders;
    if (options.align) {
        settings.halign = options.align->first;
        settings.valign = options.align->second;
    }
    if (options.offset) {
        settings.offsetx = options.offset->first;
        settings.offsety = options.offset->second;
    }
    if (options.opacity)
        settings.opacity = *options.opacity;
    if (options.key) {
        settings.colorr = (*options.key)[0];
        settings.colorg = (*options.key)[1];
        settings.colorb = (*options.key)[2];
        settings.colora = 1;
        settings.usetrans = true;
    }
    if (options.tolerance)
        settings.tptolerance = *options.tolerance;
    if (options.feather)
        settings.feather = *options.feather;
    if (options.sizeMode)
        settings.sizemode = *options.sizeMode;
    if (options.sizePercent)
        settings.sizepercent = *options.sizePercent;
    if (options.followExif)
        settings.followexif = *options.followExif;
    if (options.losslessJpeg)
        settings.losslessjpeg = *options.losslessJpeg;
    if (options.resize) {
        settings.resizemode = options.resize->first;
        settings.resizevalue = options.resize->second;
    }
    if (options.enlarge)
        settings.enlarge = *options.enlarge;
    if (options.stripLocation)
        settings.striplocation = *options.stripLocation;
    if (options.stripMetadata)
        settings.stripmetadata = *options.stripMetadata;
    if (options.angle)
        settings.angle = *options.angle;
    if (options.tile)
        settings.tile = *options.tile;
    if (options.tileGap)
        settings.tilegap = *options.tileGap;
    if (options.tileOffset)
        settings.tileoffset = *options.tileOffset;
    if (options.background)
        settings.background = *options.background;
    if (options.stampKind)
        settings.stampkind = *options.stampKind;
    if (options.text)
        settings.stamptext = *options.text;
    if (options.font)
        settings.textfont = *options.font;
    if (options.textSize)
        settings.textsize = *options.textSize;
    if (options.textColour)
        settings.textcolor = *options.textColour;
    if (options.shadow)
        settings.textshadow = *options.shadow;
}

std::string BatchUsage() {
    // Every line within 80 columns, the width of a terminal nobody resized.
    return "Usage: quillmark-batch [options] [--] INPUT...\n"
           "Stamps a picture or a text onto every input and writes the results into the\n"
           "output folder.\n"
           "\n"
           "  INPUT                  picture files, or folders (their .jpg .jpeg .bmp .gif\n"
           "                         .png .heic .heif .avif .webp .tif .tiff files, matched\n"
           "                         ignoring case; sub-folders with -r)\n"
           "  --                     ends the options: what follows are inputs, even\n"
           "                         names that begin with '-'\n"
           "  -c, --config FILE      start from a configuration file (.qmc) instead of the\n"
           "                         stored settings\n"
           "      --defaults         start from the default settings; the settings store\n"
           "                         is not touched at all\n"
           "  -s, --stamp FILE       stamp picture (default: the settings' pathstamp)\n"
           "      --text TEXT        stamp this text instead (the later of -s and --text\n"
           "                         wins); \\n or a line break starts a new line;\n"
           "                         placeholders {name} {ext} {date} {year} {exif:TAG},\n"
           "                         {{ and }} for braces\n"
           "      --font FAMILY[:STYLE]\n"
           "                         the text's font (default: sans-serif:bold)\n"
           "      --text-size PX     the text's em size at --size original (default: 48)\n"
           "      --text-color R,G,B|auto\n"
           "                         the text's colour (default: 255,255,255); auto: light\n"
           "                         or dark for each photo, from the photo under the text\n"
           "      --shadow | --no-shadow\n"
           "                         a soft shadow under the text (default: on)\n"
           "  -o, --output DIR       output folder (default: the settings' outputdir)\n"
           "  -f, --format jpg|bmp|png|webp|avif\n"
           "  -q, --quality 0..100   JPEG, WebP and AVIF\n"
           "      --name TEMPLATE    the outputs' file names before the extension\n"
           "                         (default {name}): the placeholders of --text and {n},\n"
           "                         the input's number in the run (01, 02, ...)\n"
           "      --if-exists skip|overwrite|rename\n"
           "                         an existing output is kept and the file skipped\n"
           "                         (default), replaced, or kept beside the new one,\n"
           "                         which takes the first free NAME-1, NAME-2, ...\n"
           "      --overwrite | --no-overwrite\n"
           "                         --if-exists overwrite or skip\n"
           "      --preserve-headers | --no-preserve-headers\n"
           "      --align H,V        H: left|center|right or 0..2;\n"
           "                         V: top|middle|bottom or 0..2\n"
           "      --offset X,Y       pixels, X and Y in -9999..99999\n"
           "      --opacity 0..255|N%\n"
           "                         N% as the window shows it, 0..100 (50% is 128)\n"
           "      --key R,G,B        key colour; switches transparency on\n"
           "      --tolerance 0..255\n"
           "      --feather -10..10  soft edge as the window shows it: 0 none\n"
           "      --size original|N%width|N%short\n"
           "                         stamp at its own size; or its width N percent (1..100)\n"
           "                         of the picture's width; or its longer side N percent\n"
           "                         of the picture's shorter side\n"
           "      --angle DEG        turn the stamp by -180..180 degrees, anticlockwise\n"
           "      --tile | --no-tile repeat the stamp in a grid over the whole picture\n"
           "      --tile-gap N%      space between copies, percent of the stamp's size\n"
           "                         (0..1000, default 50)\n"
           "      --tile-offset | --no-tile-offset\n"
           "                         shift every other row of copies by half a step\n"
           "      --background R,G,B colour under transparent pictures written as JPEG or\n"
           "                         BMP (default 255,255,255)\n"
           "      --orientation | --no-orientation\n"
           "                         follow the EXIF orientation of JPEG photos (place the\n"
           "                         stamp on the picture as a viewer shows it) or not\n"
           "      --lossless | --no-lossless\n"
           "                         JPEG to JPEG: re-encode only the blocks under the\n"
           "                         stamp, keeping the rest of the photo (ignores -q)\n"
           "      --resize none|long:N|short:N|width:N|height:N|N%\n"
           "                         output size: the longer or shorter side, the width\n"
           "                         or the height N pixels (1..65535), or N percent\n"
           "                         (1..1000) of the photo as shown; aspect ratio kept;\n"
           "                         the stamp's size and offsets apply to the result\n"
           "      --enlarge | --no-enlarge\n"
           "                         let --resize make smaller photos larger (default not)\n"
           "      --strip-location | --no-strip-location\n"
           "                         kept EXIF and XMP lose the GPS position; the rest\n"
           "                         stays as it was\n"
           "      --strip-metadata | --no-strip-metadata\n"
           "                         no EXIF, IPTC, XMP or comment in the outputs (the\n"
           "                         colour profile stays); turned photos written upright\n"
           "  -j, --jobs N           stamp N files at once, 1..64 (default: one per core)\n"
           "      --save-config FILE write the effective settings as a configuration file\n"
           "                         (paths made absolute) and exit\n"
           "      --files-from FILE  also read inputs from FILE, one path per line\n"
           "                         ('-': standard input)\n"
           "  -0, --null             the paths of --files-from end with a NUL byte\n"
           "                         (find -print0)\n"
           "  -r, --recursive        folders include their sub-folders; outputs go to the\n"
           "                         same relative sub-folders of the output folder\n"
           "      --base DIR         every input's folder below DIR is made again in the\n"
           "                         output folder (inputs outside DIR are refused)\n"
           "      --log-format text|jsonl\n"
           "                         jsonl: one JSON object per file and one for the run\n"
           "                         on stdout\n"
           "      --dry-run          print what each input would become; write nothing\n"
           "      --quiet            print only the failures (\"ERR: \" lines) and, when\n"
           "                         something failed, the summary\n"
           "      --no-progress      no progress line on a terminal\n"
           "  -h, --help             this text\n"
           "  -V, --version          the program's version\n"
           "\n"
           "Short options may be grouped (-r0). A text run ends with \"N created, N skipped,\n"
           "N failed\" on stderr.\n"
           "\n"
           "Exit status: 0 when every file was created; 1 when any file failed or was\n"
           "skipped, the run was interrupted, or its log could not be written; 2 for a\n"
           "usage error, an unreadable stamp, a value out of range, an unknown\n"
           "placeholder, an unusable name template, an input outside --base or a\n"
           "missing output folder.\n";
}
