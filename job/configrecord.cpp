#include "job/configrecord.h"

#include "job/stampsettings.h"

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

} // namespace

CConfigRecord EncodeConfigRecord(const CStampSettingsValues& values) {
    namespace at = ConfigOffset;
    CConfigRecord record{};
    PutInteger(record, at::colora, values.colora);
    PutFlag(record, at::bpreview, values.bpreview);
    PutFlag(record, at::overwritefiles, values.overwritefiles);
    PutInteger(record, at::outputtype, values.outputtype);
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
