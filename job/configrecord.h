#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

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

// Settings added since the record's layout was fixed follow it in an extension that a reader
// of the bare record never looks at:
//   4 bytes  tag "QMXT"
//   2 bytes  layout version, little-endian (kConfigExtensionVersion)
//   4 bytes  body length N, little-endian
//   N bytes  body: one line "name=value\n" per extended setting, values as the settings
//            store holds them as text
//   4 bytes  CRC-32 (the zlib/PNG one) of the body, little-endian
// Names a reader does not know are skipped, so adding a setting keeps the version; the
// version changes only when this layout does.
constexpr uint16_t kConfigExtensionVersion = 1;
constexpr std::size_t kMaxConfigExtensionSize = 16 * 1024;

std::vector<uint8_t> EncodeConfigExtension(const CStampSettingsValues& values);

enum class CConfigExtensionResult {
    Absent,  // nothing after the record: the extended settings keep their defaults
    Read,    // every extended setting found was read into the values
    Damaged, // our tag, but cut short, corrupted, too long or of an unknown layout: the
             // extended settings take their defaults
    Foreign, // bytes after the record that are not our extension: ignored, defaults
};

// Reads the bytes that follow the record into the extended settings of values (not yet
// validated). A setting missing from the body takes its default.
CConfigExtensionResult DecodeConfigExtension(std::span<const uint8_t> tail,
                                             CStampSettingsValues& values);

// The CRC-32 of PNG and zlib (reflected polynomial 0xEDB88320).
uint32_t Crc32(std::span<const uint8_t> bytes);
