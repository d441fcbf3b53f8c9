#include "controls/extentlistbox.h"

#include <QCollator>
#include <QScrollBar>
#include <QStyledItemDelegate>

namespace {

// Every item is as wide as the kept extent. The view then computes the same horizontal
// range as the list box sets; were they to differ, each would show or hide the scroll bar
// in turn, and every change of the viewport's size would start the next round.
class CExtentItemDelegate : public QStyledItemDelegate {
public:
    explicit CExtentItemDelegate(CExtentListBox* list) : QStyledItemDelegate(list), m_list(list) {}

    QSize sizeHint(const QStyleOptionViewItem& option, const QModelIndex& index) const override {
        QSize size = QStyledItemDelegate::sizeHint(option, index);
        size.setWidth(m_list->GetHorizontalExtent());
        return size;
    }

private:
    CExtentListBox* m_list;
};

} // namespace

CExtentListBox::CExtentListBox(QWidget* parent) : QListWidget(parent) {
    setTextElideMode(Qt::ElideNone);
    setHorizontalScrollMode(QAbstractItemView::ScrollPerPixel);
    setItemDelegate(new CExtentItemDelegate(this));
    // All items share one size, which also keeps the layout of long lists cheap.
    setUniformItemSizes(true);
}

int CExtentListBox::MeasureItem(const QString& text) const {
    const QFontMetrics metrics(font());
    return metrics.horizontalAdvance(text) + metrics.averageCharWidth();
}

void CExtentListBox::SetHorizontalExtent(int pixels) {
    pixels = qMax(0, pixels);
    if (pixels == m_extent)
        return;
    m_extent = pixels;
    // The items' widths follow the extent: lay them out anew, which updates the range.
    doItemsLayout();
}

int CExtentListBox::AddString(const QString& text) {
    const int width = MeasureItem(text);
    if (m_extent < width)
        SetHorizontalExtent(width);
    int index = count();
    if (m_sorted) {
        QCollator collator;
        collator.setCaseSensitivity(Qt::CaseInsensitive);
        // After the last entry that does not sort behind the new one.
        int low = 0, high = count();
        while (low < high) {
            const int mid = (low + high) / 2;
            if (collator.compare(item(mid)->text(), text) <= 0)
                low = mid + 1;
            else
                high = mid;
        }
        index = low;
    }
    insertItem(index, text);
    return index;
}

int CExtentListBox::DeleteStringKeepExtent(int index) {
    if (index < 0 || index >= count())
        return QM_LB_ERR;
    delete takeItem(index);
    return count();
}

int CExtentListBox::DeleteString(int index) {
    const int result = DeleteStringKeepExtent(index);
    if (result == QM_LB_ERR)
        return result;
    int widest = 0;
    for (int i = 0; i < count(); ++i) {
        const QString text = item(i)->text();
        if (!text.isEmpty())
            widest = qMax(widest, MeasureItem(text));
    }
    SetHorizontalExtent(widest);
    return result;
}

void CExtentListBox::ResetContent() {
    SetHorizontalExtent(0);
    clear();
}

QString CExtentListBox::GetText(int index) const {
    const QListWidgetItem* entry = item(index);
    return entry ? entry->text() : QString();
}

void CExtentListBox::updateGeometries() {
    // A size change while the range is set comes back here; the range set by the outer
    // call stands.
    if (m_inUpdateGeometries) {
        QListWidget::updateGeometries();
        return;
    }
    m_inUpdateGeometries = true;
    QListWidget::updateGeometries();
    // The scroll range follows the kept extent, not the items' own widths.
    QScrollBar* bar = horizontalScrollBar();
    const int page = viewport()->width();
    bar->setPageStep(page);
    bar->setRange(0, qMax(0, m_extent - page));
    m_inUpdateGeometries = false;
}
