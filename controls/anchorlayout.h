#pragma once

#include <vector>

// The arithmetic of the resizable layout, apart from any window.
//
// Each anchored control keeps its rectangle in floating point, in the owner's client
// coordinates (pixels), and four growth fractions: the share of the owner's width change
// added to its left and right edges and of the height change added to its top and bottom
// edges. An arrangement applies only the change since the previous one, so fractional
// moves accumulate without rounding drift; the integer position is truncated only when a
// control is moved.

struct CAnchorFractions {
    float left = 0, top = 0, right = 0, bottom = 0;
};

struct CAnchorRecord {
    int id = 0;
    CAnchorFractions fractions;
    float left = 0, top = 0, right = 0, bottom = 0; // current rectangle
};

// Where a control goes: truncated position and size.
struct CAnchorMove {
    int id;
    int x, y, width, height;
    bool operator==(const CAnchorMove&) const = default;
};

class CAnchorSet {
public:
    // Adds a control with its rectangle, or, when the id is there already, adds the
    // fractions to the earliest record's (the rectangle is then ignored). Returns true
    // when a new record was made.
    bool Add(int id, const CAnchorFractions& fractions, int x, int y, int width, int height);
    // The records after the owner grew by dx, dy since the previous call: every record
    // whose rectangle changed, in the order of addition.
    std::vector<CAnchorMove> Arrange(int dx, int dy);

    const std::vector<CAnchorRecord>& GetRecords() const { return m_records; }
    const CAnchorRecord* Find(int id) const;
    bool IsEmpty() const { return m_records.empty(); }

private:
    std::vector<CAnchorRecord> m_records;
};

// Layout flags.
enum : int {
    QM_RL_NO_GRIP = 1,
    QM_RL_FIXED_WIDTH = 2,
    QM_RL_FIXED_HEIGHT = 4,
    QM_RL_NO_MINIMUM = 8,
    QM_RL_NO_CLIP_CHILDREN = 16,
    QM_RL_NO_GROUPBOX_FIX = 32,
};

// Tracking limits of a window, pixels; 0 = no limit.
struct CMinMaxInfo {
    int minWidth = 0, minHeight = 0;
    int maxWidth = 0, maxHeight = 0;             // tracking maximum
    int maximizedWidth = 0, maximizedHeight = 0; // size when maximized
    bool operator==(const CMinMaxInfo&) const = default;
};

// Fills the limits of a window from the layout's remembered size (0 x 0 before the
// layout was initialised), its minimum and maximum and its flags; fields with no limit
// are left as they were in info.
void ComputeMinMaxInfo(int flags, int rememberedWidth, int rememberedHeight, int minWidth,
                       int minHeight, int maxWidth, int maxHeight, CMinMaxInfo& info);
