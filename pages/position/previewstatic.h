#pragma once

#include "core/stampbitmap.h"
#include "imagelib/drawgeometry.h"

#include <QString>
#include <QWidget>

// Where a preview picture of pictureWidth x pictureHeight goes in an area (pixels): scaled
// down to fit, never enlarged, and centred.
struct CPreviewPlacement {
    double scale = 1.0;
    int x = 0, y = 0;
    int width = 0, height = 0; // as drawn
    bool operator==(const CPreviewPlacement&) const = default;
};
CPreviewPlacement ComputePreviewPlacement(int pictureWidth, int pictureHeight, const CRectL& area);

// The preview area of the file-open dialog: the selected picture at its own depth, scaled
// to fit inside a one-pixel border.
class CPreviewStatic : public QWidget {
    Q_OBJECT
public:
    explicit CPreviewStatic(QWidget* parent = nullptr);

    // Shows the picture of path; directories, missing and undecodable files show nothing.
    // Returns whether a picture is shown. Never reports an error: the dialog's user may
    // still choose the file, and the page then says what is wrong with it.
    bool LoadPreview(const QString& path);
    void ClearPreview();
    // Repaints the area (erased, and the picture when one is shown).
    void DrawPreview();

    bool IsLoaded() const { return m_loaded; }
    // The picture as decoded: reduced while reading, as far as the codec allows, to what
    // still fills the area. GetFullWidth and GetFullHeight tell the file's own size.
    const CStampBitmap& GetPicture() const { return m_picture; }
    int GetFullWidth() const { return m_fullWidth; }
    int GetFullHeight() const { return m_fullHeight; }
    // Files decoded so far, for tests that a selection is not decoded twice.
    int GetDecodeCount() const { return m_decodeCount; }
    // The area inside the border, client pixels.
    CRectL GetPreviewArea() const;

    // Palette realisation as the window system asks for it; true-colour displays need none,
    // so these report whether anything would have to be repainted.
    bool OnQueryNewPalette();
    void OnPaletteChanged(QWidget* changer);

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    bool RealizePalette(bool background);

    bool m_loaded = false;
    CStampBitmap m_picture;
    int m_fullWidth = 0, m_fullHeight = 0;
    int m_decodeCount = 0;
};
