#include "job/configrecord.h"

#include "job/stampsettings.h"

#include <algorithm>
#include <cstring>
#include <string>
#include <string_view>

namespace {

void PutInteger(CConfigRecord& record, std::size_t offset, int32_t value) {
    const uint32_t bits = uint32_t(value);
    for (std::size_t i = 0; i < 4; ++i)
        record[offset + i] = uint8_t(bits >> (8 * i));
}

void PutFlag(CConfigRecord& record, std::size_t offset, bool value) {
    record[offset] = value ? 1 : 0;
}

void PutText(CConfigRecord& record, std::size_t offset, const std::string& text) {
    const std::string_view cut = CutTextToBytes(text, kConfigTextField - 1);
    std::memcpy(record.data() + offset, cut.data(), cut.size());
    // The rest of the field, terminator included, is already zero.
}

int32_t GetInteger(std::span<const uint8_t, kConfigRecordSize> record, std::size_t offset) {
    uint32_t bits = 0;
    for (std::size_t i = 0; i < 4; ++i)
        bits |= uint32_t(record[offset + i]) << (8 * i);
    return int32_t(bits);
}

bool GetFlag(std::span<const uint8_t, kConfigRecordSize> record, std::size_t offset) {
    return record[offset] != 0;
}

std::string GetText(std::span<const uint8_t, kConfigRecordSize> record, std::size_t offset) {
    const char* field = reinterpret_cast<const char*>(record.data() + offset);
    const std::string_view whole(field, kConfigTextField);
    const std::size_t zero = whole.find('\0');
    if (zero != std::string_view::npos)
        return std::string(whole.substr(0, zero));
    // No terminator: the file is damaged or foreign. Keep what a written field could hold,
    // so the text also fits the settings store.
    return std::string(CutTextToBytes(whole, kConfigTextField - 1));
}

constexpr uint8_t kExtensionTag[4] = {'Q', 'M', 'X', 'T'};
constexpr std::size_t kExtensionHeader = 4 + 2 + 4;
constexpr std::size_t kExtensionTrailer = 4;

void AppendLe(std::vector<uint8_t>& bytes, uint32_t value, std::size_t count) {
    for (std::size_t i = 0; i < count; ++i)
        bytes.push_back(uint8_t(value >> (8 * i)));
}

uint32_t ReadLe(std::span<const uint8_t> bytes, std::size_t offset, std::size_t count) {
    uint32_t value = 0;
    for (std::size_t i = 0; i < count; ++i)
        value |= uint32_t(bytes[offset + i]) << (8 * i);
    return value;
}

void DefaultExtendedSettings(CStampSettingsValues& values) {
    for (const CExtendedSetting& setting : ExtendedSettings())
        setting.fromText(values, std::string_view());
}

// The body's lines into the values; false when a line is not "name=value\n" or a value
// holds a byte no store text can.
bool ReadExtensionBody(std::string_view body, CStampSettingsValues& values) {
    CStampSettingsValues read = values;
    while (!body.empty()) {
        const std::size_t end = body.find('\n');
        if (end == std::string_view::npos)
            return false;
        const std::string_view line = body.substr(0, end);
        body.remove_prefix(end + 1);
        const std::size_t equals = line.find('=');
        if (equals == std::string_view::npos || equals == 0 ||
            line.find('\0') != std::string_view::npos ||
            line.size() - equals - 1 > kMaxSettingsTextBytes)
            return false;
        const std::string_view name = line.substr(0, equals);
        for (const CExtendedSetting& setting : ExtendedSettings())
            if (name == setting.name)
                setting.fromText(read, line.substr(equals + 1));
    }
    values = read;
    return true;
}

} // namespace

uint32_t Crc32(std::span<const uint8_t> bytes) {
    uint32_t crc = 0xFFFFFFFFu;
    for (const uint8_t byte : bytes) {
        crc ^= byte;
        for (int bit = 0; bit < 8; ++bit)
            crc = (crc >> 1) ^ (0xEDB88320u & (0u - (crc & 1u)));
    }
    return ~crc;
}

std::vector<uint8_t> EncodeConfigExtension(const CStampSettingsValues& values) {
    std::string body;
    for (const CExtendedSetting& setting : ExtendedSettings())
        body += std::string(setting.name) + "=" + setting.toText(values) + "\n";
    std::vector<uint8_t> bytes(std::begin(kExtensionTag), std::end(kExtensionTag));
    AppendLe(bytes, kConfigExtensionVersion, 2);
    AppendLe(bytes, uint32_t(body.size()), 4);
    bytes.insert(bytes.end(), body.begin(), body.end());
    AppendLe(bytes, Crc32(std::span(reinterpret_cast<const uint8_t*>(body.data()), body.size())),
             4);
    return bytes;
}

CConfigExtensionResult DecodeConfigExtension(std::span<const uint8_t> tail,
                                             CStampSettingsValues& values) {
    DefaultExtendedSettings(values);
    if (tail.empty())
        return CConfigExtensionResult::Absent;
    if (tail.size() < sizeof kExtensionTag ||
        !std::equal(std::begin(kExtensionTag), std::end(kExtensionTag), tail.begin()))
        return CConfigExtensionResult::Foreign;
    if (tail.size() < kExtensionHeader + kExtensionTrailer ||
        tail.size() > kMaxConfigExtensionSize || ReadLe(tail, 4, 2) != kConfigExtensionVersion)
        return CConfigExtensionResult::Damaged;
    const std::size_t length = ReadLe(tail, 6, 4);
    // The extension is the file's last part: anything after it, or missing, is damage.
    if (length != tail.size() - kExtensionHeader - kExtensionTrailer)
        return CConfigExtensionResult::Damaged;
    const std::span<const uint8_t> body = tail.subspan(kExtensionHeader, length);
    if (Crc32(body) != ReadLe(tail, kExtensionHeader + length, 4))
        return CConfigExtensionResult::Damaged;
    if (!ReadExtensionBody(
            std::string_view(reinterpret_cast<const char*>(body.data()), body.size()), values))
        return CConfigExtensionResult::Damaged;
    return CConfigExtensionResult::Read;
}

CConfigRecord EncodeConfigRecord(const CStampSettingsValues& values) {
    namespace at = ConfigOffset;
    CConfigRecord record{};
    PutInteger(record, at::colora, values.colora);
    PutFlag(record, at::bpreview, values.bpreview);
    PutFlag(record, at::overwritefiles, values.overwritefiles);
    // Formats after PNG travel in the extension; the record's field stays readable by older
    // versions, which write JPEG instead.
    PutInteger(record, at::outputtype, values.outputtype <= 2 ? values.outputtype : 0);
    PutInteger(record, at::jpgquality, values.jpgquality);
    PutText(record, at::outputdir, values.outputdir);
    PutText(record, at::inputdir, values.inputdir);
    PutText(record, at::pathstamp, values.pathstamp);
    PutText(record, at::pathsample, values.pathsample);
    PutFlag(record, at::usetrans, values.usetrans);
    PutInteger(record, at::feather, values.feather);
    PutInteger(record, at::tptolerance, values.tptolerance);
    PutInteger(record, at::opacity, values.opacity);
    PutInteger(record, at::halign, values.halign);
    PutInteger(record, at::valign, values.valign);
    PutInteger(record, at::offsetx, values.offsetx);
    PutInteger(record, at::offsety, values.offsety);
    PutInteger(record, at::colorr, values.colorr);
    PutInteger(record, at::colorg, values.colorg);
    PutInteger(record, at::colorb, values.colorb);
    PutFlag(record, at::biptc, values.biptc);
    return record;
}

CStampSettingsValues DecodeConfigRecord(std::span<const uint8_t, kConfigRecordSize> record) {
    namespace at = ConfigOffset;
    CStampSettingsValues values;
    values.colora = GetInteger(record, at::colora);
    values.bpreview = GetFlag(record, at::bpreview);
    values.overwritefiles = GetFlag(record, at::overwritefiles);
    values.outputtype = GetInteger(record, at::outputtype);
    values.jpgquality = GetInteger(record, at::jpgquality);
    values.outputdir = GetText(record, at::outputdir);
    values.inputdir = GetText(record, at::inputdir);
    values.pathstamp = GetText(record, at::pathstamp);
    values.pathsample = GetText(record, at::pathsample);
    values.usetrans = GetFlag(record, at::usetrans);
    values.feather = GetInteger(record, at::feather);
    values.tptolerance = GetInteger(record, at::tptolerance);
    values.opacity = GetInteger(record, at::opacity);
    values.halign = GetInteger(record, at::halign);
    values.valign = GetInteger(record, at::valign);
    values.offsetx = GetInteger(record, at::offsetx);
    values.offsety = GetInteger(record, at::offsety);
    values.colorr = GetInteger(record, at::colorr);
    values.colorg = GetInteger(record, at::colorg);
    values.colorb = GetInteger(record, at::colorb);
    values.biptc = GetFlag(record, at::biptc);
    return values;
}
