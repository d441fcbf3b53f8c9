#include "pages/position/previewstatic.h"

#include "core/checkerboard.h"
#include "core/stampdisplay.h"
#include "imagelib/autodetectdecoder.h"
#include "imagelib/textexception.h"
#include "platform/waitcursor.h"

#include <QFileInfo>
#include <QPainter>

#include <algorithm>
#include <cmath>

CPreviewPlacement ComputePreviewPlacement(int pictureWidth, int pictureHeight, const CRectL& area) {
    CPreviewPlacement p;
    const int aw = std::max(1, area.Width()), ah = std::max(1, area.Height());
    if (pictureWidth > aw || pictureHeight > ah)
        p.scale = 1.0 / std::max(double(pictureWidth) / aw, double(pictureHeight) / ah);
    p.width = int(pictureWidth * p.scale);
    p.height = int(pictureHeight * p.scale);
    p.x = area.left + (area.Width() - p.width) / 2;
    p.y = area.top + (area.Height() - p.height) / 2;
    return p;
}

CPreviewStatic::CPreviewStatic(QWidget* parent) : QWidget(parent) {
    setAttribute(Qt::WA_OpaquePaintEvent);
}

bool CPreviewStatic::LoadPreview(const QString& path) {
    m_loaded = false;
    const QFileInfo info(path);
    if (!path.isEmpty() && info.exists() && !info.isDir()) {
        CWaitCursor wait;
        try {
            ++m_decodeCount;
            CAutoDetectDecoder decoder;
            const CRectL area = GetPreviewArea();
            decoder.SetPreviewSize(area.Width(), area.Height());
            decoder.DecodeFile(path.toStdString(), m_picture, 0);
            m_fullWidth = decoder.GetFullWidth();
            m_fullHeight = decoder.GetFullHeight();
            m_loaded = true;
            m_picture.RebuildPalette();
            RealizePalette(false);
        } catch (const CTextException&) {
            m_loaded = false;
        }
    }
    DrawPreview();
    return m_loaded;
}

void CPreviewStatic::ClearPreview() {
    m_loaded = false;
    DrawPreview();
}

void CPreviewStatic::DrawPreview() {
    update();
}

CRectL CPreviewStatic::GetPreviewArea() const {
    return {1, 1, std::max(1, width() - 1), std::max(1, height() - 1)};
}

void CPreviewStatic::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    const CRectL area = GetPreviewArea();
    painter.fillRect(rect(), palette().color(QPalette::Button));
    if (!m_loaded)
        return;
    const CPreviewPlacement p =
        ComputePreviewPlacement(m_picture.GetWidth(), m_picture.GetHeight(), area);
    CDC dc(painter);
    if (m_picture.GetBitsPerPixel() == 32 && m_picture.HasAlpha()) {
        // A stamp's clear parts show as such, not black; squares of about 8 pixels.
        CStampBitmap checkered;
        try {
            BlendOverCheckerboard(m_picture, checkered,
                                  std::max(1, int(std::lround(8 / std::max(p.scale, 1e-3)))));
        } catch (const CTextException&) {
            return;
        }
        ScaledDraw(dc, checkered, p.x, p.y, p.scale);
        return;
    }
    ScaledDraw(dc, m_picture, p.x, p.y, p.scale);
}

bool CPreviewStatic::RealizePalette(bool) {
    if (!m_loaded)
        return true;
    // The logical palette exists for palette devices; on the true-colour targets of Qt
    // selecting it changes no entry, so there is nothing to repaint.
    return false;
}

bool CPreviewStatic::OnQueryNewPalette() {
    return RealizePalette(false);
}

void CPreviewStatic::OnPaletteChanged(QWidget* changer) {
    if (changer != this)
        RealizePalette(true);
}
