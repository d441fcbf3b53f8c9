#include "controls/imagebutton.h"

#include "controls/imagebuttonlayout.h"
#include "platform/resourceloader.h"

#include <QIcon>
#include <QPainter>
#include <QStyle>
#include <QStyleOptionButton>
#include <QStyleOptionFocusRect>

namespace {
// The text as shown: a single ampersand marks the next character and is not drawn.
QString VisibleText(const QString& text) {
    QString out;
    for (qsizetype i = 0; i < text.size(); ++i) {
        if (text[i] == QLatin1Char('&') && i + 1 < text.size())
            ++i;
        out += text[i];
    }
    return out;
}
} // namespace

CImageButton::CImageButton(QWidget* parent) : QPushButton(parent) {}
CImageButton::CImageButton(const QString& text, QWidget* parent) : QPushButton(text, parent) {}

bool CImageButton::SetIcon(int iconId, int width, int height) {
    const QPixmap pixmap = LoadIconPixmap(iconId, width, height);
    if (pixmap.isNull()) {
        m_icon = QPixmap();
        update();
        return false;
    }
    m_icon = pixmap;
    m_imageSize = QSize(width, height);
    update();
    return true;
}

void CImageButton::SetIconPixmap(const QPixmap& pixmap) {
    m_icon = pixmap;
    m_imageSize = pixmap.deviceIndependentSize().toSize();
    update();
}

QPoint CImageButton::SetImagePos(int x, int y) {
    const QPoint previous = m_imagePos;
    m_imagePos = QPoint(x, y);
    m_automatic = false;
    update();
    return previous;
}

QPoint CImageButton::SetTextPos(int x, int y) {
    const QPoint previous = m_textPos;
    m_textPos = QPoint(x, y);
    m_automatic = false;
    update();
    return previous;
}

QSize CImageButton::sizeHint() const {
    QSize hint = QPushButton::sizeHint();
    if (!m_icon.isNull())
        hint.rwidth() += m_imageSize.width() + 8;
    return hint;
}

void CImageButton::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    QStyleOptionButton option;
    initStyleOption(&option);
    option.text.clear();
    option.icon = QIcon();
    const bool pressed = isDown() || (isCheckable() && isChecked());
    if (pressed) {
        option.state |= QStyle::State_Sunken;
        option.state &= ~QStyle::State_Raised;
    }
    option.state &= ~QStyle::State_HasFocus; // drawn below by our own rule
    style()->drawControl(QStyle::CE_PushButtonBevel, &option, &painter, this);

    const QString label = text();
    CImageButtonInput in;
    in.item = rect();
    in.automaticLayout = m_automatic;
    in.imagePosition = m_imagePos;
    in.textPosition = m_textPos;
    in.hasIcon = !m_icon.isNull();
    in.imageSize = m_imageSize;
    in.hasText = !label.isEmpty();
    in.textSize =
        QSize(fontMetrics().horizontalAdvance(VisibleText(label)), fontMetrics().height());
    in.pressed = pressed;
    in.disabled = !isEnabled();
    in.focused = hasFocus();
    const CImageButtonPlan plan = PlanImageButton(in);

    if (in.hasIcon) {
        const QIcon icon(m_icon);
        const QPixmap shown = icon.pixmap(m_imageSize, devicePixelRatio(),
                                          in.disabled ? QIcon::Disabled : QIcon::Normal);
        painter.drawPixmap(QRect(plan.iconPosition, m_imageSize), shown);
    }
    if (in.hasText) {
        style()->drawItemText(&painter, QRect(plan.textPosition, in.textSize),
                              Qt::AlignLeft | Qt::AlignTop | Qt::TextShowMnemonic, palette(),
                              !in.disabled, label, QPalette::ButtonText);
    }
    if (plan.drawFocus) {
        QStyleOptionFocusRect focus;
        focus.initFrom(this);
        focus.rect = plan.focusRect;
        focus.backgroundColor = palette().color(QPalette::Button);
        style()->drawPrimitive(QStyle::PE_FrameFocusRect, &focus, &painter, this);
    }
}
