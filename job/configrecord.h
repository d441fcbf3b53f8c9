#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <span>

struct CStampSettingsValues;

// The configuration file is one fixed-size byte image of the settings, with no header,
// version or checksum: integers are 32-bit little-endian, booleans one byte, texts
// zero-terminated in fields of kConfigTextField bytes, padding zero.
constexpr std::size_t kConfigRecordSize = 1104;
constexpr std::size_t kConfigTextField = 260;

using CConfigRecord = std::array<uint8_t, kConfigRecordSize>;

// Byte offsets of the fields.
namespace ConfigOffset {
constexpr std::size_t colora = 0;
constexpr std::size_t bpreview = 4;
constexpr std::size_t overwritefiles = 5;
constexpr std::size_t outputtype = 8;
constexpr std::size_t jpgquality = 12;
constexpr std::size_t outputdir = 16;
constexpr std::size_t inputdir = 276;
constexpr std::size_t pathstamp = 536;
constexpr std::size_t pathsample = 796;
constexpr std::size_t usetrans = 1056;
constexpr std::size_t feather = 1060;
constexpr std::size_t tptolerance = 1064;
constexpr std::size_t opacity = 1068;
constexpr std::size_t halign = 1072;
constexpr std::size_t valign = 1076;
constexpr std::size_t offsetx = 1080;
constexpr std::size_t offsety = 1084;
constexpr std::size_t colorr = 1088;
constexpr std::size_t colorg = 1092;
constexpr std::size_t colorb = 1096;
constexpr std::size_t biptc = 1100;
} // namespace ConfigOffset

// Texts longer than a field holds are cut to kConfigTextField - 1 bytes, at a character
// boundary; booleans are written as 0 or 1.
CConfigRecord EncodeConfigRecord(const CStampSettingsValues& values);

// Every field as stored, not yet validated. Any non-zero boolean byte is true; a text ends at
// its zero byte, or, in a damaged file without one, at the last byte that leaves room for it.
CStampSettingsValues DecodeConfigRecord(std::span<const uint8_t, kConfigRecordSize> record);
