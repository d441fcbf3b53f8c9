#pragma once

class CDIBBitmap;
class QImage;

// Clipboard formats, by the numbers of the formats they stand for.
enum : int {
    QM_CF_BITMAP = 2, // a picture as the system's own image
    QM_CF_DIB = 8,    // a packed DIB block ("image/bmp" without the file header)
};

// Whether the clipboard offers the format. Needs a QGuiApplication.
bool IsClipboardFormatAvailable(int format);

// Makes bitmap a copy of the clipboard's picture in the given format. False, with the
// bitmap unchanged, when the format is not offered, holds no data, or its data cannot be
// read (a malformed block is refused rather than half taken). True for any other format
// number, which creates nothing. A picture from QM_CF_BITMAP is converted as
// CreateFromQImage does (so a 24-bit picture arrives at 32 bits).
bool PasteFromClipboard(CDIBBitmap& bitmap, int format);

// Puts the image on the clipboard, replacing what it held; the platform offers it in its
// usual picture formats. False when there is no clipboard or the image is null.
bool SetClipboardImage(const QImage& image);
