#include "controls/extentlistbox.h"

#include <QCollator>
#include <QScrollBar>

CExtentListBox::CExtentListBox(QWidget* parent) : QListWidget(parent) {
    setTextElideMode(Qt::ElideNone);
    setHorizontalScrollMode(QAbstractItemView::ScrollPerPixel);
}

int CExtentListBox::MeasureItem(const QString& text) const {
    const QFontMetrics metrics(font());
    return metrics.horizontalAdvance(text) + metrics.averageCharWidth();
}

void CExtentListBox::SetHorizontalExtent(int pixels) {
    m_extent = qMax(0, pixels);
    updateGeometries();
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
    QListWidget::updateGeometries();
    // The scroll range follows the kept extent, not the items' own widths.
    QScrollBar* bar = horizontalScrollBar();
    const int page = viewport()->width();
    bar->setPageStep(page);
    bar->setRange(0, qMax(0, m_extent - page));
}
