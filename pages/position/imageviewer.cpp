#include "pages/position/imageviewer.h"

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
    try {
        CAutoDetectDecoder decoder;
        decoder.DecodeFile(path.toStdString(), m_picture, 32);
        TakeNewPicture(true);
    } catch (const CTextException& e) {
        ClearPicture();
        if (reportErrors)
            ShowMessageBox(this, QString::fromStdString(e.GetText()), CMessageIcon::Error);
        return false;
    }
    m_geometry.SetPictureSize(m_picture.GetWidth(), m_picture.GetHeight());
    ApplyZoom(GetFitZoom());
    m_loaded = true;
    return true;
}

bool CImageViewer::LoadSamplePicture() {
    m_loaded = false;
    try {
        CAutoDetectDecoder decoder;
        decoder.DecodeResource(IDR_SAMPLE_PICTURE, m_picture, 32);
        TakeNewPicture(false);
    } catch (const CTextException& e) {
        ClearPicture();
        ShowMessageBox(this, QString::fromStdString(e.GetText()), CMessageIcon::Error);
        return false;
    }
    m_geometry.SetPictureSize(m_picture.GetWidth(), m_picture.GetHeight());
    ApplyZoom(GetFitZoom());
    m_loaded = true;
    return true;
}

bool CImageViewer::SetPicture(const CImageBitmap& bitmap, bool fit) {
    try {
        m_picture.ConvertFrom(bitmap, 32);
        TakeNewPicture(false);
    } catch (const CTextException&) {
        // Out of memory for the copy: show nothing rather than a half-made picture.
        ClearPicture();
        return false;
    }
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
    DrawThroughMemoryDC(dc, m_picture, &backRect, &source, nullptr, true, mode, QM_SRCCOPY);
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
    m_ownAlpha.clear();
    m_loaded = false;
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

void CImageViewer::StampShaped(CStampShaper& shaper, const CPhotoPlacement& placement) {
    if (!m_loaded)
        return;
    StampPhoto(m_picture, shaper, placement, false);
    ApplyZoom(GetZoom());
}

void CImageViewer::FillPictureAlpha(uint8_t value) {
    if (m_loaded)
        FillAlpha(m_picture, value);
}

void CImageViewer::KeyPictureColour(uint32_t keyColour, uint8_t tolerance, uint8_t passes,
                                    uint8_t opacity, bool grow) {
    // Callers keep to shown pictures; a picture of another depth would be read wrongly.
    if (m_picture.GetBitsPerPixel() != 32)
        return;
    ApplyKeyColour(m_picture, keyColour, tolerance, passes, opacity, grow);
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
