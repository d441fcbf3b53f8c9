#pragma once

#include "core/stampbitmap.h"
#include "pages/position/viewergeometry.h"

#include <QImage>
#include <QPoint>
#include <QSize>
#include <QString>
#include <QTimer>
#include <QWidget>

#include <cstdint>
#include <memory>
#include <vector>

class CStampShaper;
class QMenu;
struct CPhotoPlacement;

// A picture shown at a zoom inside a page: the stamp preview, the two sample views of the
// positioning page and the input page's preview.
//
// The viewer keeps its own 32-bit copy of the picture, so its owner can prepare the stamp
// or composite straight into what is shown (GetPicture, StampCopy, StampBlend ...). The
// zoomed picture is rendered once into a back buffer (see CViewerGeometry for which part)
// and painting copies the visible part of it. Rendering is done when the back buffer is
// next needed, so a caller that changes the picture twice before painting pays once.
//
// Operations that change the picture or the zoom leave the window erased; the caller
// paints with PaintPicture when done. While a resize is pending (300 ms after the last
// size change) nothing of the picture is painted, then the zoom is applied anew (or the
// fit zoom, with fit on resize set).
//
// With the notify style (SetNotify) the viewer takes mouse input itself: colour picking,
// the picker cursor over the picture, its copy/paste popup (commands reported through
// commandRequested, for the owner to carry out) and clicked() after a left click. Without
// it every mouse event goes on to the parent, which handles the mouse over the view.
class CImageViewer : public QWidget {
    Q_OBJECT
public:
    explicit CImageViewer(QWidget* parent = nullptr);
    ~CImageViewer() override;

    // Decodes a picture file (any format the decoders recognise) at 32 bits and shows it at
    // its fit zoom from the top-left. On failure the viewer is cleared and, when
    // reportErrors is set, the decoder's message is shown; returns false.
    bool LoadPictureFile(const QString& path, bool reportErrors);
    // With reduced loading, LoadPictureFile decodes no more than fills the window (JPEG at a
    // DCT scale, other formats as far as their codec reduces while reading), and reads the
    // file again when the window grows past what was decoded. For previews only: the
    // picture is not the file's.
    void SetReducedLoading(bool reduced) { m_reducedLoading = reduced; }
    // The last loaded file's own size, and whether the picture shown is smaller than that.
    QSize GetFullSize() const { return m_fullSize; }
    bool IsReduced() const;
    const QString& GetFilePath() const { return m_filePath; }
    // With errors shown inside, a reported load failure writes the decoder's message into
    // the window instead of a message box, so browsing on past a broken file costs no
    // click. The text stays until the next picture or ClearPicture.
    void SetErrorsInside(bool inside) { m_errorsInside = inside; }
    const QString& GetErrorText() const { return m_errorText; }
    // The built-in sample picture; errors are always reported.
    bool LoadSamplePicture();
    // Shows a copy of bitmap at 32 bits, at the fit zoom or the current one. A viewer that
    // showed a picture keeps the same picture point in the centre. False (viewer cleared)
    // when the copy cannot be made.
    bool SetPicture(const CImageBitmap& bitmap, bool fit);
    // The viewer's picture, whether shown or not.
    CStampBitmap& GetPicture() { return m_picture; }
    const CStampBitmap& GetPicture() const { return m_picture; }
    bool IsLoaded() const { return m_loaded; }

    // Screen pixels per picture pixel. SetZoom does nothing while nothing is shown.
    void SetZoom(double zoom);
    double GetZoom() const { return m_geometry.GetZoom(); }
    // The zoom at which the picture fits the window, never above 1.
    double GetFitZoom() const;

    // Moves the visible part by screen pixels; does not paint.
    void ScrollBy(int dx, int dy);
    bool IsScrollable() const { return m_geometry.IsScrollable(); }
    // Draws the window's content now.
    void PaintPicture();
    // Erases the window; nothing is shown afterwards.
    void ClearPicture();

    // Places the stamp on the picture and copies or blends it (as the batch job does), then
    // renders anew. Nothing happens while nothing is shown.
    void StampCopy(const CImageBitmap& stamp, uint8_t halign, uint8_t valign, int offsetX,
                   int offsetY);
    void StampBlend(const CImageBitmap& stamp, uint8_t halign, uint8_t valign, int offsetX,
                    int offsetY);
    // A stamp moved by hand. While the overlay is on, the view shows base (the unstamped
    // picture, as large as the view's own) with the stamp drawn over it at the view's
    // scale and only where it is visible, its top-left corner at origin (picture pixels,
    // may lie outside). Following the pointer then costs a redraw of the window, not a
    // composite of the whole picture; the owner composites for real when the move ends.
    // Copy (blend false) takes the stamp's colours whatever its alpha, as StampCopy does.
    // base must stay unchanged until EndStampOverlay.
    void BeginStampOverlay(CStampBitmap& base, const CImageBitmap& stamp, bool blend,
                           QPoint origin);
    void MoveStampOverlay(QPoint origin);
    void EndStampOverlay();
    bool HasStampOverlay() const { return m_overlayBase != nullptr; }
    // Window pixel to picture pixel (unclipped, may lie outside the picture) and back, at
    // the current zoom and scroll position.
    QPointF WindowToPicture(QPointF window) const;
    QPointF PictureToWindow(QPointF picture) const;
    // Stamps the picture as the batch does (StampPhoto), the stamp shaped for it, then
    // renders anew. Nothing happens while nothing is shown.
    void StampShaped(CStampShaper& shaper, const CPhotoPlacement& placement);
    // Stamp preparation on the picture (its alpha only, so nothing is rendered anew).
    void FillPictureAlpha(uint8_t value);

    // Pictures loaded from files are turned upright by their EXIF orientation, as a photo
    // viewer shows them. Takes effect at the next load.
    void SetShowUpright(bool upright) { m_showUpright = upright; }
    // The picture's own alpha as it came (OwnAlphaOf), kept when set, since preparing a
    // stamp overwrites the alpha bytes; empty for an opaque picture.
    void SetKeepsOwnAlpha(bool keeps) { m_keepsOwnAlpha = keeps; }
    const std::vector<uint8_t>& GetOwnAlpha() const { return m_ownAlpha; }

    // Transparent parts of the picture shown over a checkerboard (else its colours are
    // drawn opaque); AlphaChanged tells the viewer the picture's alpha was changed in place.
    void SetCheckerboard(bool on);
    void AlphaChanged();

    void SetFitOnResize(bool fit) { m_fitOnResize = fit; }
    bool GetFitOnResize() const { return m_fitOnResize; }
    void SetPasteOffered(bool offered) { m_pasteOffered = offered; }
    void SetPickEnabled(bool enabled);
    bool IsPickEnabled() const { return m_pickEnabled; }
    void SetNotify(bool notify);
    bool IsNotify() const { return m_notify; }
    // The last picked pixel: blue, green, red and a flag byte 1 (the layout of a key colour
    // that is set), or 0 when the last click missed the picture.
    uint32_t GetPickedColour() const { return m_pickedColour; }

    // The copy/paste popup as it would show now ("&paste" only when offered and the
    // clipboard holds a picture, "&copy" only with a picture); owned by the caller.
    std::unique_ptr<QMenu> CreatePopupMenu();

    // For tests and screenshots: the geometry, the rendered back buffer (rendered now when
    // due), and whether a resize is pending. FinishResize runs the pending resize at once.
    const CViewerGeometry& GetGeometry() const { return m_geometry; }
    const QImage& GetBackBuffer();
    bool IsResizePending() const { return m_resizeTimer.isActive(); }
    void FinishResize();

signals:
    // A left click on a notify-style viewer, after the picked colour was set.
    void clicked();
    // A left press that picked a colour (picking enabled, over the picture): the picked
    // colour is set.
    void colourPicked();
    // A command of the viewer's popup (ID_POPUP_COPY, ID_POPUP_PASTE) for the owner.
    void commandRequested(int command);

protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void focusInEvent(QFocusEvent* event) override;
    void focusOutEvent(QFocusEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;

private:
    void ApplyZoom(double zoom);
    void RenderBackBuffer();
    void OnResizeTimer();
    void UpdateCursor(const QPoint& position);
    bool IsOverPicture(const QPoint& position) const;

    // After every new picture: turned upright when asked, its own alpha kept when asked.
    void TakeNewPicture(bool fromFile);

    CStampBitmap m_picture;
    bool m_loaded = false;
    bool m_showUpright = false;
    bool m_keepsOwnAlpha = false;
    bool m_checkerboard = false;
    std::vector<uint8_t> m_ownAlpha;
    CViewerGeometry m_geometry;
    QImage m_back;
    bool m_backDirty = false;
    QTimer m_resizeTimer;
    bool m_fitOnResize = false;
    bool m_pasteOffered = false;
    bool m_pickEnabled = false;
    bool m_notify = false;
    bool m_pressed = false;
    uint32_t m_pickedColour = 0;
    CStampBitmap* m_overlayBase = nullptr;
    QImage m_overlayStamp;    // at the view's scale for reductions, else at its own
    QSize m_overlayStampSize; // the stamp's own size in picture pixels
    QPoint m_overlayOrigin;
    bool m_reducedLoading = false;
    bool m_errorsInside = false;
    QString m_errorText;
    QString m_filePath;
    QSize m_fullSize;
};

// The copy/paste popup of menu resource 168 with the two items enabled as given; owned by
// the caller. The page's own popup over its sample views uses it too.
std::unique_ptr<QMenu> CreateCopyPastePopup(QWidget* parent, bool copyEnabled, bool pasteEnabled);
