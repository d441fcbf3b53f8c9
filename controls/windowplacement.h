#pragma once

#include <QByteArray>

#include <cstdint>
#include <optional>

// A window's placement as one 44-byte record, eleven little-endian 32-bit fields: length
// (44), flags, show state, minimised position (x, y), maximised position (x, y) and the
// normal rectangle (left, top, right, bottom) of the window's client area in screen
// coordinates.
struct CWindowPlacement {
    enum : int32_t { SW_SHOWNORMAL = 1, SW_SHOWMINIMIZED = 2, SW_SHOWMAXIMIZED = 3 };
    static constexpr int kSize = 44;

    int32_t length = kSize;
    int32_t flags = 0;
    int32_t showCommand = SW_SHOWNORMAL;
    int32_t minX = -1, minY = -1;
    int32_t maxX = -1, maxY = -1;
    int32_t left = 0, top = 0, right = 0, bottom = 0;

    QByteArray Encode() const;
    // The record of a stored value; nothing unless it is exactly 44 bytes with a length
    // field of 44.
    static std::optional<CWindowPlacement> Decode(const QByteArray& bytes);
    bool operator==(const CWindowPlacement&) const = default;
};
