#pragma once

#include "platform/staticcontrol.h"

#include <QColor>
#include <QFont>

#include <optional>

// A hyperlink: a static text drawn underlined in blue, red while the mouse is over it,
// that opens its address with the desktop's handler when clicked (its own text when no
// address is set). A failed open beeps and changes nothing. The mouse cursor stays the
// arrow.
class CHotStatic : public CStaticControl {
    Q_OBJECT
public:
    explicit CHotStatic(QWidget* parent = nullptr);

    void SetAddress(const QString& address) { m_address = address; }
    QString GetAddress() const { return m_address; }

    bool IsHovering() const { return m_hovering; }
    bool IsVisited() const { return m_visited; }
    // The colour the text is drawn in now.
    QColor GetTextColour() const;
    // Opens the address, as a click does. True when it could be opened.
    bool OpenAddress();

    static constexpr QRgb kNormalColour = 0xff0000ff;  // blue
    static constexpr QRgb kVisitedColour = 0xff0000ff; // blue
    static constexpr QRgb kHoverColour = 0xffff0000;   // red

protected:
    void paintEvent(QPaintEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void leaveEvent(QEvent* event) override;

private:
    const QFont& LinkFont();

    bool m_hovering = false;
    bool m_tracking = false;
    bool m_visited = false;
    std::optional<QFont> m_linkFont; // made on first use from the control's font
    QString m_address;
};
