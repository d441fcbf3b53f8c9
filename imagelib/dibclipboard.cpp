#include "imagelib/dibclipboard.h"

#include "imagelib/dibbitmap.h"
#include "imagelib/dibdisplay.h"
#include "imagelib/textexception.h"

#include <QBuffer>
#include <QClipboard>
#include <QGuiApplication>
#include <QImage>
#include <QMimeData>

namespace {

const char kBmpMime[] = "image/bmp";

QClipboard* Clipboard() {
    return qobject_cast<QGuiApplication*>(QCoreApplication::instance())
               ? QGuiApplication::clipboard()
               : nullptr;
}

} // namespace

bool IsClipboardFormatAvailable(int format) {
    QClipboard* clipboard = Clipboard();
    const QMimeData* data = clipboard ? clipboard->mimeData() : nullptr;
    if (!data)
        return false;
    if (format == QM_CF_BITMAP)
        return data->hasImage();
    if (format == QM_CF_DIB)
        return data->hasFormat(kBmpMime) || data->hasImage();
    return false;
}

bool PasteFromClipboard(CDIBBitmap& bitmap, int format) {
    if (format != QM_CF_BITMAP && format != QM_CF_DIB)
        return true;
    if (!IsClipboardFormatAvailable(format))
        return false;
    const QMimeData* data = Clipboard()->mimeData();
    CDIBBitmap pasted;
    try {
        if (format == QM_CF_DIB && data->hasFormat(kBmpMime)) {
            const QByteArray bmp = data->data(kBmpMime);
            // A BMP file is a packed DIB behind a 14-byte file header.
            const bool fileHeader = bmp.size() >= 14 && bmp.startsWith("BM");
            const qsizetype skip = fileHeader ? 14 : 0;
            pasted.CreateFromPackedDIB(reinterpret_cast<const uint8_t*>(bmp.constData()) + skip,
                                       size_t(bmp.size() - skip));
        } else {
            const QImage image = qvariant_cast<QImage>(data->imageData());
            if (image.isNull())
                return false;
            CreateFromQImage(pasted, image);
        }
        bitmap.ConvertFrom(pasted, 0);
    } catch (const CTextException&) {
        return false;
    }
    return true;
}

bool SetClipboardImage(const QImage& image) {
    QClipboard* clipboard = Clipboard();
    if (!clipboard || image.isNull())
        return false;
    auto data = std::make_unique<QMimeData>();
    data->setImageData(image);
    clipboard->setMimeData(data.release());
    return true;
}
