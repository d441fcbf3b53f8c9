#pragma once

#include <QPushButton>

// A push button that draws the style's push-button frame, an icon and its text (see
// PlanImageButton for where), with the pressed, disabled and focus looks of an ordinary
// button. Pages put it in place of their owner-drawn template buttons.
class CImageButton : public QPushButton {
    Q_OBJECT
public:
    explicit CImageButton(QWidget* parent = nullptr);
    CImageButton(const QString& text, QWidget* parent = nullptr);

    // Loads the icon resource at width x height; false (and no icon) when it is missing.
    bool SetIcon(int iconId, int width, int height);
    // Sets the icon directly (null: none).
    void SetIconPixmap(const QPixmap& pixmap);
    bool HasIcon() const { return !m_icon.isNull(); }
    QSize GetImageSize() const { return m_imageSize; }
    // Position of the image / text, -1 in a coordinate centres it; switches the automatic
    // layout off. Returns the previous position.
    QPoint SetImagePos(int x, int y);
    QPoint SetTextPos(int x, int y);
    bool IsAutomaticLayout() const { return m_automatic; }

    QSize sizeHint() const override;

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    QPixmap m_icon;
    QSize m_imageSize;
    bool m_automatic = true;
    QPoint m_imagePos{-1, -1};
    QPoint m_textPos{-1, -1};
};
