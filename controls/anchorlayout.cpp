#include "controls/anchorlayout.h"

bool CAnchorSet::Add(int id, const CAnchorFractions& f, int x, int y, int width, int height) {
    for (CAnchorRecord& record : m_records) {
        if (record.id == id) {
            record.fractions.left += f.left;
            record.fractions.top += f.top;
            record.fractions.right += f.right;
            record.fractions.bottom += f.bottom;
            return false;
        }
    }
    CAnchorRecord record;
    record.id = id;
    record.fractions = f;
    record.left = float(x);
    record.top = float(y);
    record.right = float(x + width);
    record.bottom = float(y + height);
    m_records.push_back(record);
    return true;
}

const CAnchorRecord* CAnchorSet::Find(int id) const {
    for (const CAnchorRecord& record : m_records)
        if (record.id == id)
            return &record;
    return nullptr;
}

std::vector<CAnchorMove> CAnchorSet::Arrange(int dx, int dy) {
    std::vector<CAnchorMove> moves;
    const float fx = float(dx);
    const float fy = float(dy);
    for (CAnchorRecord& r : m_records) {
        const float left = r.left + fx * r.fractions.left;
        const float top = r.top + fy * r.fractions.top;
        const float right = r.right + fx * r.fractions.right;
        const float bottom = r.bottom + fy * r.fractions.bottom;
        if (left == r.left && top == r.top && right == r.right && bottom == r.bottom)
            continue;
        r.left = left;
        r.top = top;
        r.right = right;
        r.bottom = bottom;
        moves.push_back({r.id, int(left), int(top), int(right - left), int(bottom - top)});
    }
    return moves;
}

void ComputeMinMaxInfo(int flags, int rememberedWidth, int rememberedHeight, int minWidth,
                       int minHeight, int maxWidth, int maxHeight, CMinMaxInfo& info) {
    if (rememberedWidth != 0 || rememberedHeight != 0) {
        if (flags & QM_RL_FIXED_WIDTH)
            info.maximizedWidth = info.maxWidth = rememberedWidth;
        if (flags & QM_RL_FIXED_HEIGHT)
            info.maximizedHeight = info.maxHeight = rememberedHeight;
    }
    if (minWidth)
        info.minWidth = minWidth;
    if (minHeight)
        info.minHeight = minHeight;
    if (maxWidth)
        info.maxWidth = maxWidth;
    if (maxHeight)
        info.maxHeight = maxHeight;
}
