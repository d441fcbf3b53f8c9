#pragma once

#include "imagelib/bitmap.h"
#include "imagelib/jpeglossless.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

class CImageSource;
class CStampMaker;

// What stamping one picture takes, for the path that keeps a JPEG's own coefficients.
struct CLosslessStampPlan {
    const CImageBitmap* stamp = nullptr; // 32 bits per pixel, prepared
    bool blend = false;                  // blend by the stamp's alpha; else copy
    uint8_t halign = 1;
    uint8_t valign = 1;
    int32_t offsetX = 0;
    int32_t offsetY = 0;
    bool preserveHeaders = false; // EXIF, IPTC and comments of the input
    // When set, the stamp comes from here, shaped for the photo as the ordinary path shapes
    // it (size, own transparency, turned for the EXIF orientation when followExif); stamp and
    // blend above are then not used. A turned photo whose EXIF block is not kept would have
    // to be written upright: such files are left to the ordinary path.
    CStampMaker* shaper = nullptr;
    bool followExif = true;
    // The kept EXIF and XMP lose the position where the photo was taken.
    bool stripLocation = false;
    // Told the photo's size before its coefficients are read (as a decoder's size gate).
    std::function<void(int64_t width, int64_t height)> admit = nullptr;
    // The input's path, for stamps that name their photo (a text's placeholders).
    std::string inputPath = {};
    // Told the photo's saved markers once they are read (for names made from its EXIF).
    std::function<void(const CSavedMarker*)> seeMarkers = nullptr;
};

// JPEG in, JPEG out without a generation of loss: the stamp is placed and composited
// exactly as on a decoded picture, but only the MCUs it touches are encoded again, with
// the input's own tables; the rest of the photo keeps its bits. One per worker.
class CLosslessJpegStamp {
public:
    // True with the stamped file in out. False, with nothing thrown, when the input is not
    // a JPEG this path can take or cannot be read: the ordinary decode-and-encode path then
    // handles (or reports) it, so a declined file costs nothing but the look.
    bool StampFile(const std::string& inputPath, const CLosslessStampPlan& plan,
                   std::vector<uint8_t>& out);
    // The unread rest of an open source; its position is left where it was, for the
    // ordinary path to decode from when this one declines.
    bool StampSource(CImageSource& source, const CLosslessStampPlan& plan,
                     std::vector<uint8_t>& out);
    bool StampMemory(const uint8_t* data, size_t size, const CLosslessStampPlan& plan,
                     std::vector<uint8_t>& out);

private:
    CJpegLosslessStamper m_stamper;
};

// The markers of a lossless output from the input's APP1, APP2, APP13 and COM markers (in
// file order): with preserveHeaders the APP1, APP13 and COM markers in file order, then,
// whatever preserveHeaders says, the colour profile's APP2 chunks in chunk order when they
// form one complete profile (a profile with a chunk missing or repeated is dropped whole).
// Other APP2 markers are dropped, as the ordinary path drops them.
std::unique_ptr<CSavedMarker> LosslessOutputMarkers(std::unique_ptr<CSavedMarker> markers,
                                                    bool preserveHeaders);
