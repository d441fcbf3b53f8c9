#include "imagelib/iccprofile.h"

#include <algorithm>
#include <cstring>

namespace {

constexpr char kIccTag[12] = {'I', 'C', 'C', '_', 'P', 'R', 'O', 'F', 'I', 'L', 'E', 0};

uint32_t Be32(std::span<const uint8_t> bytes, std::size_t at) {
    return uint32_t(bytes[at]) << 24 | uint32_t(bytes[at + 1]) << 16 |
           uint32_t(bytes[at + 2]) << 8 | bytes[at + 3];
}

} // namespace

bool IsIccChunk(std::span<const uint8_t> app2) {
    return app2.size() >= kIccChunkHeaderSize &&
           std::memcmp(app2.data(), kIccTag, sizeof kIccTag) == 0;
}

std::vector<uint8_t> AssembleIccChunks(const std::vector<std::span<const uint8_t>>& chunks) {
    if (chunks.empty() || chunks.size() > 255)
        return {};
    const std::size_t count = chunks.front()[13];
    if (count != chunks.size())
        return {};
    std::vector<std::span<const uint8_t>> bySequence(count);
    for (const std::span<const uint8_t>& chunk : chunks) {
        const std::size_t sequence = chunk[12];
        if (chunk[13] != count || sequence == 0 || sequence > count ||
            !bySequence[sequence - 1].empty() || chunk.size() == kIccChunkHeaderSize)
            return {};
        bySequence[sequence - 1] = chunk.subspan(kIccChunkHeaderSize);
    }
    std::vector<uint8_t> profile;
    for (const std::span<const uint8_t>& part : bySequence)
        profile.insert(profile.end(), part.begin(), part.end());
    if (!IsIccProfile(profile))
        return {};
    return profile;
}

std::vector<std::vector<uint8_t>> SplitIccProfile(std::span<const uint8_t> profile) {
    const std::size_t count = (profile.size() + kMaxIccChunkData - 1) / kMaxIccChunkData;
    if (count == 0 || count > 255)
        return {};
    std::vector<std::vector<uint8_t>> chunks;
    for (std::size_t i = 0; i < count; ++i) {
        const std::span<const uint8_t> part =
            profile.subspan(i * kMaxIccChunkData,
                            std::min(kMaxIccChunkData, profile.size() - i * kMaxIccChunkData));
        std::vector<uint8_t> chunk(std::begin(kIccTag), std::end(kIccTag));
        chunk.push_back(uint8_t(i + 1));
        chunk.push_back(uint8_t(count));
        chunk.insert(chunk.end(), part.begin(), part.end());
        chunks.push_back(std::move(chunk));
    }
    return chunks;
}

bool IsIccProfile(std::span<const uint8_t> profile) {
    return profile.size() >= 132 && Be32(profile, 0) == profile.size() &&
           std::memcmp(profile.data() + 36, "acsp", 4) == 0;
}

bool IsRgbIccProfile(std::span<const uint8_t> profile) {
    return IsIccProfile(profile) && std::memcmp(profile.data() + 16, "RGB ", 4) == 0;
}
