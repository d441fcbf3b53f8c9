#include "controls/windowplacement.h"

namespace {
void Put(QByteArray& out, int32_t value) {
    const uint32_t v = uint32_t(value);
    for (int i = 0; i < 4; ++i)
        out.append(char((v >> (8 * i)) & 0xFF));
}
int32_t Get(const QByteArray& in, int index) {
    uint32_t v = 0;
    for (int i = 0; i < 4; ++i)
        v |= uint32_t(uint8_t(in[4 * index + i])) << (8 * i);
    return int32_t(v);
}
} // namespace

QByteArray CWindowPlacement::Encode() const {
    QByteArray out;
    out.reserve(kSize);
    for (int32_t v : {length, flags, showCommand, minX, minY, maxX, maxY, left, top, right, bottom})
        Put(out, v);
    return out;
}

std::optional<CWindowPlacement> CWindowPlacement::Decode(const QByteArray& bytes) {
    if (bytes.size() != kSize || Get(bytes, 0) != kSize)
        return std::nullopt;
    CWindowPlacement p;
    int32_t* fields[] = {&p.length, &p.flags, &p.showCommand, &p.minX,  &p.minY,  &p.maxX,
                         &p.maxY,   &p.left,  &p.top,         &p.right, &p.bottom};
    for (int i = 0; i < 11; ++i)
        *fields[i] = Get(bytes, i);
    return p;
}
