#include "pages/position/imageviewer.h"

#include "core/checkerboard.h"
#include "core/orientation.h"
#include "core/stampcompositing.h"
#include "core/stampdisplay.h"
#include "core/stamppreparation.h"
#include "core/stampshape.h"
#include "imagelib/autodetectdecoder.h"
#include "imagelib/dibclipboard.h"
#include "imagelib/exiforientation.h"
#include "imagelib/textexception.h"
#include "job/photostamp.h"
#include "platform/messagebox.h"
#include "platform/resourceloader.h"
#include "resources/resource.h"

#include <QAction>
#include <QFocusEvent>
#include <QMenu>
#include <QMouseEvent>
#include <QPainter>
#include <QStyle>
#include <QStyleOptionFocusRect>
#include <algorithm>
#include <cmath>

namespace {
constexpr int kResizeDelayMs = 300;
} // namespace

std::unique_ptr<QMenu> CreateCopyPastePopup(QWidget* parent, bool copyEnabled, bool pasteEnabled) {
    std::unique_ptr<QMenu> menu(LoadPopupMenu(IDR_POPUP_MENU, 0, parent));
    if (!menu)
        return menu;
    if (QAction* copy = FindMenuCommand(menu.get(), ID_POPUP_COPY))
        copy->setEnabled(copyEnabled);
    if (QAction* paste = FindMenuCommand(menu.get(), ID_POPUP_PASTE))
        paste->setEnabled(pasteEnabled);
    return menu;
}

CImageViewer::CImageViewer(QWidget* parent) : QWidget(parent) {
    m_resizeTimer.setTimerType(Qt::PreciseTimer);
    m_resizeTimer.setSingleShot(true);
    m_resizeTimer.setInterval(kResizeDelayMs);
    connect(&m_resizeTimer, &QTimer::timeout, this, &CImageViewer::OnResizeTimer);
    setAttribute(Qt::WA_OpaquePaintEvent);
    setFocusPolicy(Qt::StrongFocus);
}

CImageViewer::~CImageViewer() = default;

bool CImageViewer::LoadPictureFile(const QString& path, bool reportErrors) {
    m_loaded = false;
    m_filePath = path;
    try {
        CAutoDetectDecoder decoder;
        if (m_reducedLoading)
            decoder.SetPreviewSize(width(), height());
        decoder.DecodeFile(path.toStdString(), m_picture, 32);
        m_fullSize = QSize(decoder.GetFullWidth(), decoder.GetFullHeight());
        const int decodedWidth = m_picture.GetWidth();
        TakeNewPicture(true);
        // Turned upright on its side: the file's own size turns with it.
        if (m_picture.GetWidth() != decodedWidth)
            m_fullSize.transpose();
    } catch (const CTextException& e) {
        ClearPicture();
        m_fullSize = QSize();
        if (reportErrors) {
            const QString text = QString::fromStdString(e.GetText()).trimmed();
            if (m_errorsInside)
                m_errorText = text;
            else
                ShowMessageBox(this, QString::fromStdString(e.GetText()), CMessageIcon::Error);
        }
        return false;
    }
    m_errorText.clear();
    m_geometry.SetPictureSize(m_picture.GetWidth(), m_picture.GetHeight());
    ApplyZoom(GetFitZoom());
    m_loaded = true;
    return true;
}

bool CImageViewer::LoadSamplePicture() {
    m_loaded = false;
    m_filePath.clear();
    m_errorText.clear();
    try {
        CAutoDetectDecoder decoder;
        decoder.DecodeResource(IDR_SAMPLE_PICTURE, m_picture, 32);
        TakeNewPicture(false);
    } catch (const CTextException& e) {
        ClearPicture();
        ShowMessageBox(this, QString::fromStdString(e.GetText()), CMessageIcon::Error);
        return false;
    }
    m_fullSize = QSize(m_picture.GetWidth(), m_picture.GetHeight());
    m_geometry.SetPictureSize(m_picture.GetWidth(), m_picture.GetHeight());
    ApplyZoom(GetFitZoom());
    m_loaded = true;
    return true;
}

bool CImageViewer::IsReduced() const {
    return m_loaded && m_fullSize != QSize(m_picture.GetWidth(), m_picture.GetHeight());
}

bool CImageViewer::SetPicture(const CImageBitmap& bitmap, bool fit) {
    m_overlayBase = nullptr; // the picture of the overlay may be the one that changes
    m_overlayStamp = QImage();
    try {
        m_picture.ConvertFrom(bitmap, 32);
        TakeNewPicture(false);
    } catch (const CTextException&) {
        // Out of memory for the copy: show nothing rather than a half-made picture.
        ClearPicture();
        return false;
    }
    m_errorText.clear();
    m_filePath.clear();
    m_fullSize = QSize(m_picture.GetWidth(), m_picture.GetHeight());
    m_geometry.SetPictureSize(m_picture.GetWidth(), m_picture.GetHeight());
    ApplyZoom(fit ? GetFitZoom() : GetZoom());
    m_loaded = true;
    return true;
}

void CImageViewer::SetZoom(double zoom) {
    if (m_loaded)
        ApplyZoom(zoom);
}

double CImageViewer::GetFitZoom() const {
    return m_geometry.GetFitZoom(width(), height());
}

void CImageViewer::ApplyZoom(double zoom) {
    m_geometry.ApplyZoom(zoom, width(), height(), m_loaded);
    m_backDirty = true;
    update();
}

void CImageViewer::ScrollBy(int dx, int dy) {
    if (!m_loaded || !m_geometry.IsScrollable())
        return;
    if (m_geometry.ScrollBy(dx, dy))
        m_backDirty = true;
}

void CImageViewer::RenderBackBuffer() {
    m_backDirty = false;
    const int bw = m_geometry.GetBackWidth(), bh = m_geometry.GetBackHeight();
    if (bw <= 0 || bh <= 0 || m_picture.GetBitsPerPixel() != 32) {
        m_back = QImage();
        return;
    }
    if (m_back.width() != bw || m_back.height() != bh)
        m_back = QImage(bw, bh, QImage::Format_RGB32);
    if (m_back.isNull())
        return; // no memory for the back buffer: nothing of the picture is drawn
    QPainter painter(&m_back);
    CDC dc(painter);
    const CRectL backRect{0, 0, bw, bh};
    const CRectL source = m_geometry.GetSourceWindow();
    // Reductions are smoothed; enlargements keep the context's own mode, so picture pixels
    // show as squares.
    const int mode = m_geometry.GetZoom() <= 1 ? -1 : 0;
    CStampBitmap& shown = m_overlayBase ? *m_overlayBase : m_picture;
    if (m_checkerboard && !m_overlayBase && shown.GetBitsPerPixel() == 32) {
        // Squares of about 8 screen pixels whatever the zoom.
        const int cell = std::max(1, int(std::lround(8 / std::max(m_geometry.GetZoom(), 1e-3))));
        CStampBitmap checkered;
        try {
            BlendOverCheckerboard(shown, checkered, cell);
        } catch (const CTextException&) {
            m_back = QImage(); // no memory for the copy: nothing drawn
            return;
        }
        DrawThroughMemoryDC(dc, checkered, &backRect, &source, nullptr, true, mode, QM_SRCCOPY);
        return;
    }
    DrawThroughMemoryDC(dc, shown, &backRect, &source, nullptr, true, mode, QM_SRCCOPY);
}

void CImageViewer::SetCheckerboard(bool on) {
    m_checkerboard = on;
    AlphaChanged();
}

void CImageViewer::AlphaChanged() {
    m_backDirty = true;
    update();
}

const QImage& CImageViewer::GetBackBuffer() {
    if (m_backDirty)
        RenderBackBuffer();
    return m_back;
}

void CImageViewer::PaintPicture() {
    repaint();
}

void CImageViewer::TakeNewPicture(bool fromFile) {
    if (fromFile && m_showUpright) {
        const int orientation = ExifOrientation(m_picture);
        if (orientation != 1) {
            CMemoryBitmap upright;
            TurnToDisplayed(m_picture, upright, orientation);
            m_picture.ConvertFrom(upright, 0);
        }
    }
    m_ownAlpha = m_keepsOwnAlpha ? OwnAlphaOf(m_picture) : std::vector<uint8_t>();
}

void CImageViewer::ClearPicture() {
    m_overlayBase = nullptr;
    m_overlayStamp = QImage();
    m_ownAlpha.clear();
    m_loaded = false;
    m_errorText.clear();
    update();
}

void CImageViewer::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.fillRect(rect(), palette().color(QPalette::Button));
    if (IsResizePending())
        return;
    if (m_loaded) {
        const QImage& back = GetBackBuffer();
        const CRectL& d = m_geometry.GetDestination();
        if (!back.isNull())
            painter.drawImage(
                QRect(d.left, d.top, d.Width(), d.Height()), back,
                QRect(m_geometry.GetScrollX(), m_geometry.GetScrollY(), d.Width(), d.Height()));
        if (m_overlayBase && !m_overlayStamp.isNull()) {
            // Clipped to the picture; the focus frame below is not.
            painter.save();
            painter.setClipRect(QRect(d.left, d.top, d.Width(), d.Height()));
            const QPointF topLeft = PictureToWindow(QPointF(m_overlayOrigin));
            const QPointF bottomRight = PictureToWindow(QPointF(
                m_overlayOrigin + QPoint(m_overlayStampSize.width(), m_overlayStampSize.height())));
            // Enlarged, picture pixels show as squares, as in the back buffer.
            painter.drawImage(QRectF(topLeft, bottomRight), m_overlayStamp);
            painter.restore();
        }
    } else if (!m_errorText.isEmpty()) {
        painter.setPen(palette().color(QPalette::ButtonText));
        painter.drawText(rect().adjusted(4, 4, -4, -4),
                         Qt::AlignCenter | Qt::TextWordWrap | Qt::TextWrapAnywhere, m_errorText);
    }
    if (hasFocus()) {
        QStyleOptionFocusRect option;
        option.initFrom(this);
        option.rect = rect();
        option.backgroundColor = palette().color(QPalette::Button);
        style()->drawPrimitive(QStyle::PE_FrameFocusRect, &option, &painter, this);
    }
}

void CImageViewer::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    m_resizeTimer.start();
    update();
}

void CImageViewer::OnResizeTimer() {
    m_resizeTimer.stop();
    // A preview read reduced for a smaller window would show enlarged: read it again.
    if (m_reducedLoading && IsReduced() && !m_filePath.isEmpty()) {
        const QSize wanted = m_fullSize.scaled(size(), Qt::KeepAspectRatio).boundedTo(m_fullSize);
        if (m_picture.GetWidth() < wanted.width() || m_picture.GetHeight() < wanted.height())
            LoadPictureFile(m_filePath, m_errorsInside);
    }
    if (m_loaded && m_fitOnResize)
        ApplyZoom(GetFitZoom());
    else
        ApplyZoom(GetZoom());
    PaintPicture();
}

void CImageViewer::FinishResize() {
    if (IsResizePending())
        OnResizeTimer();
}

void CImageViewer::focusInEvent(QFocusEvent* event) {
    QWidget::focusInEvent(event);
    update();
}

void CImageViewer::focusOutEvent(QFocusEvent* event) {
    QWidget::focusOutEvent(event);
    update();
}

void CImageViewer::StampCopy(const CImageBitmap& stamp, uint8_t halign, uint8_t valign, int offsetX,
                             int offsetY) {
    if (!m_loaded || stamp.GetBitsPerPixel() != 32)
        return;
    CopyStampPixels(stamp, m_picture,
                    ComputeStampPlacement(stamp, m_picture, halign, valign, offsetX, offsetY));
    ApplyZoom(GetZoom());
}

void CImageViewer::StampBlend(const CImageBitmap& stamp, uint8_t halign, uint8_t valign,
                              int offsetX, int offsetY) {
    if (!m_loaded || stamp.GetBitsPerPixel() != 32)
        return;
    BlendStampPixels(stamp, m_picture,
                     ComputeStampPlacement(stamp, m_picture, halign, valign, offsetX, offsetY));
    ApplyZoom(GetZoom());
}

QPointF CImageViewer::WindowToPicture(QPointF window) const {
    const CRectL& d = m_geometry.GetDestination();
    const CRectL source = m_geometry.GetSourceWindow();
    const int bw = m_geometry.GetBackWidth(), bh = m_geometry.GetBackHeight();
    if (bw <= 0 || bh <= 0 || source.Width() <= 0 || source.Height() <= 0)
        return {};
    return {source.left + (window.x() - d.left + m_geometry.GetScrollX()) * source.Width() / bw,
            source.top + (window.y() - d.top + m_geometry.GetScrollY()) * source.Height() / bh};
}

QPointF CImageViewer::PictureToWindow(QPointF picture) const {
    const CRectL& d = m_geometry.GetDestination();
    const CRectL source = m_geometry.GetSourceWindow();
    const int bw = m_geometry.GetBackWidth(), bh = m_geometry.GetBackHeight();
    if (bw <= 0 || bh <= 0 || source.Width() <= 0 || source.Height() <= 0)
        return {};
    return {d.left - m_geometry.GetScrollX() + (picture.x() - source.left) * bw / source.Width(),
            d.top - m_geometry.GetScrollY() + (picture.y() - source.top) * bh / source.Height()};
}

void CImageViewer::BeginStampOverlay(CStampBitmap& base, const CImageBitmap& stamp, bool blend,
                                     QPoint origin) {
    if (!m_loaded || stamp.GetBitsPerPixel() != 32 || base.GetBitsPerPixel() != 32 ||
        base.GetWidth() != m_picture.GetWidth() || base.GetHeight() != m_picture.GetHeight())
        return;
    const int w = stamp.GetWidth(), h = stamp.GetHeight();
    QImage image(w, h, blend ? QImage::Format_ARGB32 : QImage::Format_RGB32);
    if (image.isNull())
        return; // no memory for the overlay: the drag shows the stamp where it was
    const uint8_t* const* lines = stamp.GetLines();
    for (int y = 0; y < h; ++y) {
        const auto* from = reinterpret_cast<const uint32_t*>(lines[y]);
        auto* to = reinterpret_cast<uint32_t*>(image.scanLine(y));
        // Blue, green, red, alpha in memory is Qt's 0xAARRGGBB; copying ignores alpha.
        for (int x = 0; x < w; ++x)
            to[x] = blend ? from[x] : from[x] | 0xFF000000u;
    }
    const double zoom = m_geometry.GetZoom();
    if (zoom < 1) {
        // Reduced once, smoothed as the back buffer is; each redraw then only copies.
        const int sw = std::max(1, int(std::ceil(w * zoom))),
                  sh = std::max(1, int(std::ceil(h * zoom)));
        image = image.scaled(sw, sh, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
    }
    m_overlayStamp =
        image.convertToFormat(blend ? QImage::Format_ARGB32_Premultiplied : QImage::Format_RGB32);
    m_overlayStampSize = QSize(w, h);
    m_overlayOrigin = origin;
    m_overlayBase = &base;
    m_backDirty = true;
    update();
}

void CImageViewer::MoveStampOverlay(QPoint origin) {
    if (!m_overlayBase || origin == m_overlayOrigin)
        return;
    m_overlayOrigin = origin;
    update();
}

void CImageViewer::EndStampOverlay() {
    if (!m_overlayBase)
        return;
    m_overlayBase = nullptr;
    m_overlayStamp = QImage();
    m_backDirty = true;
    update();
}

void CImageViewer::StampShaped(CStampShaper& shaper, const CPhotoPlacement& placement) {
    if (!m_loaded)
        return;
    StampPhoto(m_picture, shaper, placement, false);
    ApplyZoom(GetZoom());
}

void CImageViewer::FillPictureAlpha(uint8_t value) {
    if (!m_loaded)
        return;
    FillAlpha(m_picture, value);
    if (m_checkerboard)
        AlphaChanged();
}

void CImageViewer::SetPickEnabled(bool enabled) {
    m_pickEnabled = enabled;
    if (!enabled)
        unsetCursor();
}

void CImageViewer::SetNotify(bool notify) {
    m_notify = notify;
    setMouseTracking(notify);
}

bool CImageViewer::IsOverPicture(const QPoint& position) const {
    const CRectL& d = m_geometry.GetDestination();
    return position.x() >= d.left && position.x() < d.right && position.y() >= d.top &&
           position.y() < d.bottom;
}

void CImageViewer::UpdateCursor(const QPoint& position) {
    if (m_pickEnabled && m_loaded && IsOverPicture(position))
        setCursor(LoadCursor(IDC_COLOUR_PICKER));
    else
        unsetCursor();
}

void CImageViewer::mouseMoveEvent(QMouseEvent* event) {
    if (!m_notify) {
        event->ignore();
        return;
    }
    UpdateCursor(event->position().toPoint());
    event->accept();
}

void CImageViewer::mousePressEvent(QMouseEvent* event) {
    if (!m_notify) {
        event->ignore();
        return;
    }
    if (event->button() == Qt::LeftButton) {
        const QPoint pos = event->position().toPoint();
        m_pickedColour = 0;
        if (m_pickEnabled && m_loaded) {
            if (const auto pixel = m_geometry.PixelAt(pos.x(), pos.y()))
                m_pickedColour =
                    (m_picture.GetPixel32(pixel->x, pixel->y) & 0x00FFFFFFu) | 0x01000000u;
        }
        m_pressed = true;
    }
    if (!hasFocus())
        setFocus(Qt::MouseFocusReason);
    event->accept();
    if (m_pickedColour != 0 && event->button() == Qt::LeftButton)
        emit colourPicked();
}

void CImageViewer::mouseReleaseEvent(QMouseEvent* event) {
    if (!m_notify) {
        event->ignore();
        return;
    }
    const QPoint pos = event->position().toPoint();
    event->accept();
    if (event->button() == Qt::LeftButton) {
        const bool click = m_pressed && rect().contains(pos);
        m_pressed = false;
        if (click)
            emit clicked();
    } else if (event->button() == Qt::RightButton && rect().contains(pos)) {
        std::unique_ptr<QMenu> menu = CreatePopupMenu();
        if (!menu)
            return;
        if (QAction* chosen = menu->exec(mapToGlobal(pos)))
            emit commandRequested(GetMenuCommand(chosen));
    }
}

void CImageViewer::mouseDoubleClickEvent(QMouseEvent* event) {
    if (!m_notify) {
        event->ignore();
        return;
    }
    // A double click is a second click for picking.
    mousePressEvent(event);
}

std::unique_ptr<QMenu> CImageViewer::CreatePopupMenu() {
    const bool paste = m_pasteOffered && IsClipboardFormatAvailable(QM_CF_BITMAP);
    return CreateCopyPastePopup(this, m_loaded, paste);
}
