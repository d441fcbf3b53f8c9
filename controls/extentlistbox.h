#pragma once

#include <QListWidget>

// A list box that keeps its horizontal scroll extent at the width of its widest item, so
// the scroll bar reaches the end of long entries. Item width = the text's width in the
// list's font plus one average character (which keeps the last letter clear of the edge).
//
// With sorting on (SetSorted), AddString inserts in alphabetical order ignoring case in
// the user's locale, after equal entries. Indices and results follow the list-box
// conventions: QM_LB_ERR (-1) for a bad index.
class CExtentListBox : public QListWidget {
    Q_OBJECT
public:
    enum : int { QM_LB_ERR = -1 };

    explicit CExtentListBox(QWidget* parent = nullptr);

    void SetSorted(bool sorted) { m_sorted = sorted; }
    bool IsSorted() const { return m_sorted; }

    // Measures the text, widens the extent when it is wider, adds the item. Returns its
    // index.
    virtual int AddString(const QString& text);
    // Deletes the item, then sets the extent to the widest remaining item with text (0
    // when none). Returns the number of items left, or QM_LB_ERR.
    virtual int DeleteString(int index);
    // Deletes the item and leaves the extent alone, for loops that delete many items and
    // finish with DeleteString. Returns the number of items left, or QM_LB_ERR.
    virtual int DeleteStringKeepExtent(int index);
    // Extent 0, then removes every item.
    virtual void ResetContent();

    QString GetText(int index) const;
    int GetCount() const { return count(); }
    int GetHorizontalExtent() const { return m_extent; }
    void SetHorizontalExtent(int pixels);
    // The width an item of this text takes.
    int MeasureItem(const QString& text) const;

protected:
    void updateGeometries() override;

private:
    int m_extent = 0;
    bool m_sorted = false;
    bool m_inUpdateGeometries = false;
};
