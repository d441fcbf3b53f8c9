#include "job/losslessjpeg.h"

#include "imagelib/exifedit.h"

#include "core/orientation.h"
#include "core/stampcompositing.h"
#include "core/stampshape.h"
#include "imagelib/exiforientation.h"
#include "imagelib/imagesource.h"
#include "imagelib/textexception.h"
#include "job/photostamp.h"

#include <algorithm>
#include <cstring>
#include <functional>
#include <map>
#include <optional>

namespace {

constexpr int kApp1 = 0xE1, kApp2 = 0xE2, kApp13 = 0xED, kComment = 0xFE;
constexpr char kProfileTag[] = "ICC_PROFILE";               // followed by a zero byte
constexpr unsigned kProfileHeader = sizeof kProfileTag + 2; // tag, zero, number, count

bool IsProfileChunk(const CSavedMarker& m) {
    return m.marker == kApp2 && m.dataLength >= kProfileHeader &&
           std::memcmp(m.data.get(), kProfileTag, sizeof kProfileTag) == 0;
}

// Thrown by the first shaping of a stamp that measures the photo: where it goes is all
// that shaping is asked for, and drawing it in a tone not yet known would be wasted.
struct CStampGeometry {
    CGridSize upright, sized, own;
};

// The stamp shaped again, now with the luma under its box taken from the decoded blocks
// (they cover the box: it is part of the region decoded). The same box must come out, or
// the blocks chosen would not hold the stamp; such a photo goes the ordinary way.
void ShapeOnRegion(CStampMaker& maker, CPhotoFacts facts, const CStampPlacement& measured,
                   const CImageBitmap& region, int originX, int originY, CShapedStamp& shaped) {
    CStampPlacement local = measured;
    local.targetX -= originX;
    local.targetY -= originY;
    facts.lumaUnder = [&](CGridSize, CGridSize, CGridSize) { return MeanLuma(region, local); };
    const CShapedStamp drawn = maker.Shape(facts);
    if (drawn.upright != shaped.upright || drawn.sized != shaped.sized || drawn.own != shaped.own)
        throw CTextException(0, "the stamp's box changed between its measuring and drawing\n");
    shaped = drawn;
}

} // namespace

std::unique_ptr<CSavedMarker> LosslessOutputMarkers(std::unique_ptr<CSavedMarker> markers,
                                                    bool preserveHeaders) {
    std::unique_ptr<CSavedMarker> kept;
    std::unique_ptr<CSavedMarker>* tail = &kept;
    std::map<int, std::unique_ptr<CSavedMarker>> chunks; // by chunk number
    int count = -1;
    bool profileSound = true;
    while (markers) {
        std::unique_ptr<CSavedMarker> m = std::move(markers);
        markers = std::move(m->next);
        if (IsProfileChunk(*m)) {
            const int number = m->data[sizeof kProfileTag];
            const int total = m->data[sizeof kProfileTag + 1];
            if (count < 0)
                count = total;
            if (number < 1 || number > total || total != count || chunks.count(number))
                profileSound = false;
            else
                chunks[number] = std::move(m);
        } else if (preserveHeaders &&
                   (m->marker == kApp1 || m->marker == kApp13 || m->marker == kComment)) {
            *tail = std::move(m);
            tail = &(*tail)->next;
        }
    }
    if (profileSound && count > 0 && int(chunks.size()) == count)
        for (auto& [number, chunk] : chunks) {
            *tail = std::move(chunk);
            tail = &(*tail)->next;
        }
    return kept;
}

bool CLosslessJpegStamp::StampFile(const std::string& inputPath, const CLosslessStampPlan& plan,
                                   std::vector<uint8_t>& out) {
    CFileSource source;
    try {
        if (source.Open(inputPath) != 0)
            return false;
    } catch (const CTextException&) {
        return false;
    }
    return StampSource(source, plan, out);
}

bool CLosslessJpegStamp::StampSource(CImageSource& source, const CLosslessStampPlan& plan,
                                     std::vector<uint8_t>& out) {
    return StampMemory(source.GetRest(), size_t(source.GetRemaining()), plan, out);
}

bool CLosslessJpegStamp::StampMemory(const uint8_t* data, size_t size,
                                     const CLosslessStampPlan& plan, std::vector<uint8_t>& out) {
    if ((!plan.stamp && !plan.shaper) || size < 3 || data[0] != 0xFF || data[1] != 0xD8 ||
        data[2] != 0xFF)
        return false;
    // A turned photo whose EXIF block goes would have to be written upright: declined
    // before its coefficients are read.
    int orientation = 1;
    const auto accept = [&](const CSavedMarker* markers, int width, int height) {
        if (plan.seeMarkers)
            plan.seeMarkers(markers);
        if (plan.admit)
            plan.admit(width, height);
        if (plan.shaper && plan.followExif)
            orientation = ExifOrientationOfMarkers(markers);
        return orientation == 1 || plan.preserveHeaders;
    };
    if (!m_stamper.Open(data, size, accept))
        return false;
    try {
        std::unique_ptr<CSavedMarker> markers = m_stamper.TakeMarkers();
        const CImageBitmap* stamp = plan.stamp;
        bool blend = plan.blend;
        // Every copy of the stamp (one unless tiled); the box around them all is coded again.
        // Visited twice rather than listed: a tiled tiny stamp has millions of copies.
        CShapedStamp shaped;
        CPhotoFacts facts;
        // The box whose luma the stamp asked for, when it did.
        std::optional<CStampPlacement> measured;
        std::function<int64_t(const std::function<void(const CStampPlacement&)>&)> forEach;
        if (plan.shaper) {
            const CGridSize stored{m_stamper.GetWidth(), m_stamper.GetHeight()};
            facts.displayed = DisplayedSize(stored, orientation);
            facts.orientation = orientation;
            facts.path = plan.inputPath;
            facts.markers = markers.get();
            const CPhotoPlacement placement{plan.halign, plan.valign, plan.offsetX, plan.offsetY,
                                            plan.followExif};
            if (plan.shaper->NeedsPixels()) {
                // A stamp whose look follows the pixels under it (a text's automatic tone)
                // tells where it goes before it is drawn: that box is measured on the
                // decoded blocks below, which are the pixels the ordinary path measures.
                facts.lumaUnder = [](CGridSize upright, CGridSize sized, CGridSize own) -> int {
                    throw CStampGeometry{upright, sized, own};
                };
                try {
                    shaped = plan.shaper->Shape(facts);
                } catch (const CStampGeometry& geometry) {
                    shaped.upright = geometry.upright;
                    shaped.sized = geometry.sized;
                    shaped.own = geometry.own;
                    measured = PhotoStampPlacement(geometry.upright, geometry.sized, geometry.own,
                                                   stored, orientation, placement);
                }
            } else {
                shaped = plan.shaper->Shape(facts);
            }
            stamp = shaped.bitmap.get();
            blend = shaped.blend;
            forEach = [&, stored,
                       placement](const std::function<void(const CStampPlacement&)>& visit) {
                return ForEachPhotoStampPlacement(shaped, shaped.own, stored, orientation,
                                                  placement, plan.shaper->Look().tiling, visit);
            };
        } else {
            const CStampPlacement single = ComputeStampPlacement(
                plan.stamp->GetWidth(), plan.stamp->GetHeight(), m_stamper.GetWidth(),
                m_stamper.GetHeight(), plan.halign, plan.valign, plan.offsetX, plan.offsetY);
            forEach = [single](const std::function<void(const CStampPlacement&)>& visit) {
                if (single.width <= 0 || single.height <= 0)
                    return int64_t(0);
                visit(single);
                return int64_t(1);
            };
        }
        int left = INT32_MAX, top = INT32_MAX, right = INT32_MIN, bottom = INT32_MIN;
        // A stamp that misses the photo is the ordinary path's failure to report.
        if (forEach([&](const CStampPlacement& p) {
                left = std::min(left, p.targetX);
                top = std::min(top, p.targetY);
                right = std::max(right, p.targetX + p.width);
                bottom = std::max(bottom, p.targetY + p.height);
            }) == 0) {
            m_stamper.Close();
            return false;
        }
        if (measured && measured->width > 0 && measured->height > 0) {
            left = std::min(left, measured->targetX);
            top = std::min(top, measured->targetY);
            right = std::max(right, measured->targetX + measured->width);
            bottom = std::max(bottom, measured->targetY + measured->height);
        }
        m_stamper.ReplaceRegion(left, top, right - left, bottom - top,
                                [&](CImageBitmap& region, int originX, int originY) {
                                    if (measured) {
                                        ShapeOnRegion(*plan.shaper, facts, *measured, region,
                                                      originX, originY, shaped);
                                        stamp = shaped.bitmap.get();
                                        blend = shaped.blend;
                                    }
                                    forEach([&](CStampPlacement local) {
                                        local.targetX -= originX;
                                        local.targetY -= originY;
                                        if (blend)
                                            BlendStampPixels(*stamp, region, local);
                                        else
                                            CopyStampPixels(*stamp, region, local);
                                    });
                                });
        const std::unique_ptr<CSavedMarker> kept =
            LosslessOutputMarkers(std::move(markers), plan.preserveHeaders);
        EditOutputMarkers(kept.get(), {0, 0, plan.stripLocation});
        m_stamper.Write(kept.get(), out);
        return true;
    } catch (const CTextException&) {
        // A file libjpeg reads but cannot rewrite this way (a sampling its encoder refuses,
        // say) still gets stamped, the ordinary way.
        m_stamper.Close();
        return false;
    }
}
