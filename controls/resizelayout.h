#pragma once

#include "controls/anchorlayout.h"

#include <QPointer>
#include <QSize>
#include <QString>

#include <map>

class QWidget;
class QSizeGrip;

// The resizable layout of one window (the owner): anchored child controls follow the
// owner's size changes by their growth fractions (see CAnchorSet), the owner has a
// minimum size, an optional size grip (id 32767) in its bottom-right corner, and its
// placement can be saved to and restored from the profile.
//
// Order of use: construct with the owner once its controls exist; InitLayout; AddAnchor
// for each control (before or after InitLayout: arrangements work with differences);
// ArrangeControls after every size change of the owner (the Resize* bases do that).
// Sizes are the owner's client size in pixels: differences equal those of the frame.
class CResizeLayout {
public:
    CResizeLayout(QWidget* owner, int flags);
    ~CResizeLayout();
    CResizeLayout(const CResizeLayout&) = delete;
    CResizeLayout& operator=(const CResizeLayout&) = delete;

    int GetFlags() const { return m_flags; }
    const CAnchorSet& GetAnchors() const { return m_anchors; }
    QSize GetLastSize() const { return m_lastSize; }
    QSize GetMinimumSize() const { return {m_minWidth, m_minHeight}; }

    // Anchors the owner's child with the id (GetDlgItem); a second call for the same id
    // adds its fractions to the first. An id without a control adds nothing. Unless flag
    // 32, a group box is kept below the controls that move across it.
    void AddAnchor(int id, float left, float top, float right, float bottom);
    // Remembers the owner's size (and, unless flag 8, makes it the minimum), and unless
    // flag 1 adds the size grip, anchored to the bottom-right corner.
    void InitLayout();
    // Moves every anchored control by its share of the change since the last call, all
    // at once (the owner does not repaint in between).
    void ArrangeControls();
    // Tracking limits for the owner (see ComputeMinMaxInfo).
    void GetMinMaxInfo(CMinMaxInfo& info) const;
    // Applies GetMinMaxInfo to a top-level owner's minimum and maximum size. Child
    // windows are sized by their parents and keep no limits.
    void ApplyMinMaxInfo() const;

    // Writes the owner's placement (CWindowPlacement) as the entry "WindowPlacement" of
    // the profile section; false when the store failed.
    bool SaveWindowPlacement(const QString& section) const;
    // Applies a stored placement when the entry exists and is exactly 44 bytes long;
    // otherwise, or when its rectangle is empty, the owner stays as it is. A rectangle
    // that lies on no screen is moved onto the primary one. Returns whether it applied.
    bool LoadWindowPlacement(const QString& section);

    static constexpr int kSizeGripId = 32767;

private:
    QPointer<QWidget> m_owner;
    int m_flags;
    CAnchorSet m_anchors;
    std::map<int, QPointer<QWidget>> m_controls;
    QSize m_lastSize;
    int m_minWidth = 0, m_minHeight = 0;
    int m_maxWidth = 0, m_maxHeight = 0;
    QPointer<QSizeGrip> m_grip;
};
