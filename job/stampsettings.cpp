#include "job/stampsettings.h"

#include "core/stamplayout.h"

#include "imagelib/imageformats.h"
#include "imagelib/outputfile.h"
#include "job/configrecord.h"
#include "job/settingsstore.h"

#include <cstdio>
#include <vector>

namespace {

// Repairs one field to its default when it lies outside [low, high].
bool Repair(int32_t& field, int32_t low, int32_t high, int32_t fallback) {
    if (field >= low && field <= high)
        return false;
    field = fallback;
    return true;
}

bool RepairFolder(std::string& folder) {
    if (!folder.empty())
        return false;
    folder = FallbackFolder();
    return true;
}

struct CloseFile {
    void operator()(std::FILE* file) const { std::fclose(file); }
};

// The stamp text escaped, in pieces of at most kMaxSettingsTextBytes bytes, each ending at
// a character boundary (so a piece is at least kFullPieceBytes long unless it is the last);
// beyond kStampTextPieces pieces the text is cut.
constexpr std::size_t kStampTextPieces = 4;
constexpr std::size_t kFullPieceBytes = kMaxSettingsTextBytes - 3;
std::vector<std::string> StampTextPieces(std::string_view text) {
    std::vector<std::string> pieces(1);
    for (std::size_t i = 0; i < text.size();) {
        // A character: its first byte and the continuation bytes that follow it.
        std::size_t length = 1;
        while (length < 4 && i + length < text.size() && (uint8_t(text[i + length]) & 0xC0) == 0x80)
            ++length;
        const std::string escaped = EscapeStampText(text.substr(i, length));
        if (pieces.back().size() + escaped.size() > kMaxSettingsTextBytes) {
            if (pieces.size() == kStampTextPieces)
                break;
            pieces.emplace_back();
        }
        pieces.back() += escaped;
        i += length;
    }
    return pieces;
}

template <std::size_t Piece> std::string StampTextPiece(const CStampSettingsValues& v) {
    std::vector<std::string> pieces = StampTextPieces(v.stamptext);
    return Piece < pieces.size() ? std::move(pieces[Piece]) : std::string();
}

// The first piece is the text; each further one joins it only while the pieces before it
// were full, so that pieces left behind by a reader that wrote only the first (a shorter
// text) are not taken for its end.
template <std::size_t Piece>
void StampTextFromPiece(CStampSettingsValues& v, std::string_view text) {
    if (Piece == 0)
        v.stamptext = UnescapeStampText(text);
    else if (!text.empty() && EscapeStampText(v.stamptext).size() >= Piece * kFullPieceBytes)
        v.stamptext += UnescapeStampText(text);
}

const CExtendedSetting kExtendedSettings[] = {
    {"followexif", [](const CStampSettingsValues& v) { return FlagToText(v.followexif); },
     // On unless switched off: a store or file from before the setting keeps photos upright.
     [](CStampSettingsValues& v, std::string_view text) { v.followexif = text != "0"; }},
    {"sizemode", [](const CStampSettingsValues& v) { return IntegerToText(v.sizemode); },
     [](CStampSettingsValues& v, std::string_view text) {
         v.sizemode = TextToInteger(text, CStampSettingsValues().sizemode);
     }},
    {"sizepercent", [](const CStampSettingsValues& v) { return IntegerToText(v.sizepercent); },
     [](CStampSettingsValues& v, std::string_view text) {
         v.sizepercent = TextToInteger(text, CStampSettingsValues().sizepercent);
     }},
    {"losslessjpeg", [](const CStampSettingsValues& v) { return FlagToText(v.losslessjpeg); },
     [](CStampSettingsValues& v, std::string_view text) { v.losslessjpeg = TextToFlag(text); }},
    {"resizemode", [](const CStampSettingsValues& v) { return IntegerToText(v.resizemode); },
     [](CStampSettingsValues& v, std::string_view text) {
         v.resizemode = TextToInteger(text, CStampSettingsValues().resizemode);
     }},
    {"resizevalue", [](const CStampSettingsValues& v) { return IntegerToText(v.resizevalue); },
     [](CStampSettingsValues& v, std::string_view text) {
         v.resizevalue = TextToInteger(text, CStampSettingsValues().resizevalue);
     }},
    {"enlarge", [](const CStampSettingsValues& v) { return FlagToText(v.enlarge); },
     [](CStampSettingsValues& v, std::string_view text) { v.enlarge = TextToFlag(text); }},
    {"striplocation", [](const CStampSettingsValues& v) { return FlagToText(v.striplocation); },
     [](CStampSettingsValues& v, std::string_view text) { v.striplocation = TextToFlag(text); }},
    {"stripmetadata", [](const CStampSettingsValues& v) { return FlagToText(v.stripmetadata); },
     [](CStampSettingsValues& v, std::string_view text) { v.stripmetadata = TextToFlag(text); }},
    // The output formats the configuration record's field cannot hold (it keeps 0..2 for
    // older versions, JPEG for these), by name; empty for the others.
    {"outputformat",
     [](const CStampSettingsValues& v) {
         const CImageFormat* format = OutputFormat(v.outputtype);
         return v.outputtype > kOutputPng && format ? std::string(format->name) : std::string();
     },
     [](CStampSettingsValues& v, std::string_view text) {
         if (const CImageFormat* format = OutputFormatNamed(text);
             format && format->outputType > kOutputPng)
             v.outputtype = format->outputType;
     }},
    {"angle", [](const CStampSettingsValues& v) { return IntegerToText(v.angle); },
     [](CStampSettingsValues& v, std::string_view text) {
         v.angle = TextToInteger(text, CStampSettingsValues().angle);
     }},
    {"tile", [](const CStampSettingsValues& v) { return FlagToText(v.tile); },
     [](CStampSettingsValues& v, std::string_view text) { v.tile = TextToFlag(text); }},
    {"tilegap", [](const CStampSettingsValues& v) { return IntegerToText(v.tilegap); },
     [](CStampSettingsValues& v, std::string_view text) {
         v.tilegap = TextToInteger(text, CStampSettingsValues().tilegap);
     }},
    {"tileoffset", [](const CStampSettingsValues& v) { return FlagToText(v.tileoffset); },
     [](CStampSettingsValues& v, std::string_view text) { v.tileoffset = TextToFlag(text); }},
    {"background", [](const CStampSettingsValues& v) { return BackgroundToText(v.background); },
     [](CStampSettingsValues& v, std::string_view text) {
         v.background = TextToBackground(text).value_or(CStampSettingsValues().background);
     }},
    {"stampkind", [](const CStampSettingsValues& v) { return IntegerToText(v.stampkind); },
     [](CStampSettingsValues& v, std::string_view text) {
         v.stampkind = TextToInteger(text, CStampSettingsValues().stampkind);
     }},
    // A text too long for one value is kept in pieces: a reader that knows only the first
    // still gets the text's beginning, and every value stays within the store's limit.
    {"stamptext", StampTextPiece<0>, StampTextFromPiece<0>},
    {"stamptext2", StampTextPiece<1>, StampTextFromPiece<1>},
    {"stamptext3", StampTextPiece<2>, StampTextFromPiece<2>},
    {"stamptext4", StampTextPiece<3>, StampTextFromPiece<3>},
    {"textfont", [](const CStampSettingsValues& v) { return v.textfont; },
     [](CStampSettingsValues& v, std::string_view text) {
         v.textfont = text.empty() ? CStampSettingsValues().textfont : std::string(text);
     }},
    {"textsize", [](const CStampSettingsValues& v) { return IntegerToText(v.textsize); },
     [](CStampSettingsValues& v, std::string_view text) {
         v.textsize = TextToInteger(text, CStampSettingsValues().textsize);
     }},
    {"textcolor", [](const CStampSettingsValues& v) { return TextColourToText(v.textcolor); },
     [](CStampSettingsValues& v, std::string_view text) {
         v.textcolor = TextToTextColour(text).value_or(CStampSettingsValues().textcolor);
     }},
    // On unless switched off, as for a new text.
    {"textshadow", [](const CStampSettingsValues& v) { return FlagToText(v.textshadow); },
     [](CStampSettingsValues& v, std::string_view text) { v.textshadow = text != "0"; }},
    {"outputname", [](const CStampSettingsValues& v) { return v.outputname; },
     [](CStampSettingsValues& v, std::string_view text) {
         v.outputname = text.empty() ? CStampSettingsValues().outputname : std::string(text);
     }},
    {"renamefiles", [](const CStampSettingsValues& v) { return FlagToText(v.renamefiles); },
     [](CStampSettingsValues& v, std::string_view text) { v.renamefiles = TextToFlag(text); }},
};

} // namespace

std::string BackgroundToText(int32_t rgb) {
    return std::to_string((rgb >> 16) & 0xFF) + "," + std::to_string((rgb >> 8) & 0xFF) + "," +
           std::to_string(rgb & 0xFF);
}

std::optional<int32_t> TextToBackground(std::string_view text) {
    int32_t rgb = 0;
    for (int part = 0; part < 3; ++part) {
        const size_t end = part < 2 ? text.find(',') : text.size();
        if (end == std::string_view::npos || end == 0 || end > 3)
            return std::nullopt;
        int value = 0;
        for (const char c : text.substr(0, end)) {
            if (c < '0' || c > '9')
                return std::nullopt;
            value = value * 10 + (c - '0');
        }
        if (value > 255)
            return std::nullopt;
        rgb = rgb << 8 | value;
        text.remove_prefix(part < 2 ? end + 1 : end);
    }
    return rgb;
}

std::string TextColourToText(int32_t colour) {
    if (colour == kTextColourAuto)
        return "auto";
    return std::to_string(colour >> 16 & 0xFF) + "," + std::to_string(colour >> 8 & 0xFF) + "," +
           std::to_string(colour & 0xFF);
}

std::optional<int32_t> TextToTextColour(std::string_view text) {
    if (text == "auto")
        return kTextColourAuto;
    int32_t colour = 0;
    for (int part = 0; part < 3; ++part) {
        size_t digits = 0;
        int value = 0;
        while (digits < text.size() && digits < 4 && text[digits] >= '0' && text[digits] <= '9')
            value = value * 10 + (text[digits++] - '0');
        if (digits == 0 || digits > 3 || value > 255)
            return std::nullopt;
        text.remove_prefix(digits);
        colour = colour << 8 | value;
        if (part < 2) {
            if (text.empty() || text.front() != ',')
                return std::nullopt;
            text.remove_prefix(1);
        }
    }
    if (!text.empty())
        return std::nullopt;
    return colour;
}

std::string EscapeStampText(std::string_view text) {
    std::string out;
    for (const char c : text) {
        if (c == '\\')
            out += "\\\\";
        else if (c == '\n')
            out += "\\n";
        else if (c != '\r')
            out += c;
    }
    return out;
}

std::string UnescapeStampText(std::string_view text) {
    std::string out;
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '\\' && i + 1 < text.size() && (text[i + 1] == 'n' || text[i + 1] == '\\')) {
            out += text[i + 1] == 'n' ? '\n' : '\\';
            ++i;
        } else {
            out += text[i];
        }
    }
    return out;
}

std::span<const CExtendedSetting> ExtendedSettings() {
    return kExtendedSettings;
}

bool CStampSettingsValues::ValidateSettings() {
    const CStampSettingsValues defaults;
    bool repaired = false;
    repaired |= RepairFolder(inputdir);
    repaired |= RepairFolder(outputdir);
    repaired |= Repair(jpgquality, 0, 100, defaults.jpgquality);
    repaired |= Repair(outputtype, 0, kOutputTypeCount - 1, defaults.outputtype);
    repaired |= Repair(feather, 0, 20, defaults.feather);
    repaired |= Repair(tptolerance, 0, 255, defaults.tptolerance);
    repaired |= Repair(halign, 0, 2, defaults.halign);
    repaired |= Repair(valign, 0, 2, defaults.valign);
    repaired |= Repair(opacity, 0, 255, defaults.opacity);
    repaired |= Repair(colorb, 0, 255, defaults.colorb);
    repaired |= Repair(colorg, 0, 255, defaults.colorg);
    repaired |= Repair(colorr, 0, 255, defaults.colorr);
    repaired |= Repair(offsetx, kMinOffset, kMaxOffset, defaults.offsetx);
    repaired |= Repair(offsety, kMinOffset, kMaxOffset, defaults.offsety);
    repaired |= Repair(sizemode, kSizeOriginal, kSizePercentOfShorterSide, defaults.sizemode);
    repaired |= Repair(sizepercent, 1, 100, defaults.sizepercent);
    repaired |= Repair(resizemode, kResizeNone, kResizePercent, defaults.resizemode);
    repaired |= resizemode == kResizePercent
                    ? Repair(resizevalue, 1, kMaxResizePercent, 100)
                    : Repair(resizevalue, 1, kMaxResizePixels, defaults.resizevalue);
    repaired |= Repair(angle, kMinStampAngle, kMaxStampAngle, defaults.angle);
    repaired |= Repair(tilegap, 0, kMaxTileGapPercent, defaults.tilegap);
    repaired |= Repair(background, 0, 0xFFFFFF, defaults.background);
    repaired |= Repair(stampkind, kStampPicture, kStampText, defaults.stampkind);
    repaired |= Repair(textsize, 1, kMaxTextSize, defaults.textsize);
    if (textcolor != kTextColourAuto)
        repaired |= Repair(textcolor, 0, 0xFFFFFF, defaults.textcolor);
    return !repaired;
}

CStampSettings::CStampSettings(std::unique_ptr<CSettingsStore> store) : m_store(std::move(store)) {
    LoadSettings();
}

CStampSettings::~CStampSettings() {
    if (m_store)
        SaveSettings();
}

bool CStampSettings::ReadRegistryString(const std::string& name, std::string& text) {
    if (!m_store || !m_store->OpenKey())
        return false;
    std::optional<std::string> stored = m_store->QueryValue(name);
    if (stored && stored->size() <= kMaxSettingsTextBytes) {
        // The value is a zero-terminated text: anything after an embedded zero is not part
        // of it.
        text = stored->substr(0, stored->find('\0'));
    } else {
        // Missing or too long: replace it by an empty value so the store holds every name
        // and the next start reads the same as this one.
        text.clear();
        m_store->SetValue(name, std::string());
    }
    m_store->CloseKey();
    return true;
}

bool CStampSettings::WriteRegistryString(const std::string& name, const std::string& text) {
    if (!m_store || !m_store->OpenKey())
        return false;
    m_store->SetValue(name, text);
    m_store->CloseKey();
    return true;
}

void CStampSettings::LoadSettings() {
    const CStampSettingsValues defaults;
    std::string text;
    // Each reader gives the field's default when the store cannot be opened at all.
    auto readInteger = [&](const char* name, int32_t& field, int32_t fallback) {
        field = ReadRegistryString(name, text) ? TextToInteger(text, fallback) : fallback;
    };
    auto readFlag = [&](const char* name, bool& field, bool fallback) {
        field = ReadRegistryString(name, text) ? TextToFlag(text) : fallback;
    };
    auto readString = [&](const char* name, std::string& field, const std::string& fallback) {
        field = ReadRegistryString(name, text) ? text : fallback;
    };

    bpreview = ReadRegistryString("bpreview", text) ? TextToPreviewFlag(text) : defaults.bpreview;
    // Without a store the headers are preserved: a user who never had stored settings gets
    // the conservative choice that loses nothing of the input.
    readFlag("biptc", biptc, true);
    readString("inputdir", inputdir, defaults.inputdir);
    readString("outputdir", outputdir, defaults.outputdir);
    readFlag("overwritefiles", overwritefiles, defaults.overwritefiles);
    readInteger("jpgquality", jpgquality, defaults.jpgquality);
    outputtype =
        ReadRegistryString("outputtype", text) ? TextToOutputType(text) : defaults.outputtype;
    readFlag("usetrans", usetrans, defaults.usetrans);
    readInteger("feather", feather, defaults.feather);
    readInteger("tptolerance", tptolerance, defaults.tptolerance);
    readInteger("halign", halign, defaults.halign);
    readInteger("valign", valign, defaults.valign);
    readInteger("offsetx", offsetx, defaults.offsetx);
    readInteger("offsety", offsety, defaults.offsety);
    readInteger("opacity", opacity, defaults.opacity);
    colora = ReadRegistryString("colora", text) ? int32_t(TextToFlag(text)) : defaults.colora;
    readInteger("colorb", colorb, defaults.colorb);
    readInteger("colorg", colorg, defaults.colorg);
    readInteger("colorr", colorr, defaults.colorr);
    readString("pathsample", pathsample, defaults.pathsample);
    readString("pathstamp", pathstamp, defaults.pathstamp);
    for (const CExtendedSetting& setting : ExtendedSettings())
        setting.fromText(*this, ReadRegistryString(setting.name, text) ? text : std::string());
    ValidateSettings();
    if (m_store)
        m_store->Flush();
}

void CStampSettings::SaveSettings() {
    WriteRegistryString("bpreview", FlagToText(bpreview));
    WriteRegistryString("biptc", FlagToText(biptc));
    WriteRegistryString("inputdir", inputdir);
    WriteRegistryString("outputdir", outputdir);
    WriteRegistryString("jpgquality", IntegerToText(jpgquality));
    WriteRegistryString("outputtype", IntegerToText(outputtype));
    WriteRegistryString("overwritefiles", FlagToText(overwritefiles));
    WriteRegistryString("pathstamp", pathstamp);
    WriteRegistryString("pathsample", pathsample);
    WriteRegistryString("colora", IntegerToText(colora));
    WriteRegistryString("colorb", IntegerToText(colorb));
    WriteRegistryString("colorg", IntegerToText(colorg));
    WriteRegistryString("colorr", IntegerToText(colorr));
    WriteRegistryString("offsetx", IntegerToText(offsetx));
    WriteRegistryString("offsety", IntegerToText(offsety));
    WriteRegistryString("opacity", IntegerToText(opacity));
    WriteRegistryString("halign", IntegerToText(halign));
    WriteRegistryString("valign", IntegerToText(valign));
    WriteRegistryString("feather", IntegerToText(feather));
    WriteRegistryString("tptolerance", IntegerToText(tptolerance));
    WriteRegistryString("usetrans", FlagToText(usetrans));
    for (const CExtendedSetting& setting : ExtendedSettings())
        WriteRegistryString(setting.name, setting.toText(*this));
    if (m_store)
        m_store->Flush();
}

bool CStampSettings::ExportSettings(const std::string& path) const {
    const CConfigRecord record = EncodeConfigRecord(*this);
    std::vector<uint8_t> bytes(record.begin(), record.end());
    const std::vector<uint8_t> extension = EncodeConfigExtension(*this);
    bytes.insert(bytes.end(), extension.begin(), extension.end());
    // Written whole beside the file and renamed over it: an export that fails half way
    // (a full disk) must not destroy the file it was to replace.
    return WriteFileAtomically(path, bytes.data(), bytes.size());
}

int CStampSettings::ImportSettings(const std::string& path) {
    std::unique_ptr<std::FILE, CloseFile> file(std::fopen(path.c_str(), "rb"));
    if (!file)
        return 0;
    // One byte more than the longest file we write: beyond that the extension cannot be ours.
    std::vector<uint8_t> buffer(kConfigRecordSize + kMaxConfigExtensionSize + 1);
    const std::size_t got = std::fread(buffer.data(), 1, buffer.size(), file.get());
    if (got < kConfigRecordSize || std::ferror(file.get()))
        return 0;
    const std::span<const uint8_t> tail(buffer.data() + kConfigRecordSize, got - kConfigRecordSize);
    CStampSettingsValues values = DecodeConfigRecord(
        std::span<const uint8_t, kConfigRecordSize>(buffer.data(), kConfigRecordSize));
    // Bytes after the record without our tag (a tool that pads or appends) are ignored, as
    // a reader of the bare record ignores them: the record is all such a file holds.
    const CConfigExtensionResult extension = DecodeConfigExtension(tail, values);
    const bool valid = values.ValidateSettings();
    *this = values;
    return valid && extension != CConfigExtensionResult::Damaged ? 1 : 2;
}
