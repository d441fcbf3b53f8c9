#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

// ICC colour profiles as JPEG and PNG files carry them.
//
// JPEG splits a profile over APP2 markers, each "ICC_PROFILE\0", its sequence number
// (1-based) and the number of chunks, then its part of the profile.

constexpr std::size_t kIccChunkHeaderSize = 14;
// The most profile bytes one APP2 marker holds: 65535 less the length field and header.
constexpr std::size_t kMaxIccChunkData = 65533 - kIccChunkHeaderSize;

// True when an APP2 marker's data is an ICC chunk (header complete).
bool IsIccChunk(std::span<const uint8_t> app2);

// The profile from the data of every ICC chunk of a file, in file order. Empty when the
// chunks do not make one whole profile: a chunk count that differs between chunks, a
// sequence number that is 0, above the count, repeated or missing, or a result that is no
// profile (IsIccProfile). A part of a profile is never returned.
std::vector<uint8_t> AssembleIccChunks(const std::vector<std::span<const uint8_t>>& chunks);

// The data of the APP2 markers that carry a profile, in order; none for more than 255
// chunks' worth of bytes.
std::vector<std::vector<uint8_t>> SplitIccProfile(std::span<const uint8_t> profile);

// A profile whose header holds together: at least the 128-byte header and an empty tag
// table, its declared size equal to its length, and the "acsp" signature.
bool IsIccProfile(std::span<const uint8_t> profile);

// A profile for RGB pixels, the only ones our encoders write: a grey or CMYK profile
// would make viewers misread them.
bool IsRgbIccProfile(std::span<const uint8_t> profile);
