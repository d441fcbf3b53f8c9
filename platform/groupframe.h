#pragma once

#include <QGroupBox>

// A group box drawn as the dialog templates were laid out for: the frame line runs through
// the middle of the title, so the controls the template places just below the title lie
// inside the frame. (Qt's styles put the whole title above the frame, which pushes the
// top line down onto the first row of controls.)
class CGroupFrame : public QGroupBox {
public:
    explicit CGroupFrame(const QString& title, QWidget* parent = nullptr);

    // The rectangle of the frame line, in the box's own coordinates; the area inside it is
    // this rectangle less kLineWidth on every side.
    QRect GetFrameRect() const;
    static constexpr int kLineWidth = 2;

protected:
    void paintEvent(QPaintEvent* event) override;
};
