#pragma once

#include "core/stampshape.h"
#include "job/photostamp.h"
#include "job/textstamp.h"

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

class CImageBitmap;
struct CStampJobParams;
class CStampJobHost;
struct CStampSettingsValues;

// A stamp's picture as decoded: its colours, and its own transparency (OwnAlphaOf) kept
// apart because preparing the stamp rebuilds the alpha bytes.
struct CStampPicture {
    std::shared_ptr<const CImageBitmap> pixels; // 32 bits
    std::vector<uint8_t> ownAlpha;
    // The alpha bytes already carry the look's preparation (a stamp view prepared for
    // showing); preparing again would change nothing but the time it takes.
    bool prepared = false;
};

// Everything that makes the stamp of a run: a picture or a text, with its shape (size
// rule, opacity, key) and its place. Built from the settings alone; the batch, both front
// ends and the preview make their stamp from it, per photo where the stamp depends on the
// photo. The angle and the tiling of a stamp belong to its shape here.
struct CStampDescription {
    int32_t kind = 0; // kStampPicture or kStampText
    std::string picturePath;
    CStampPicture picture; // loaded from picturePath, or given (a pasted picture)
    CTextStampParams text;
    CStampLook look;
    CPhotoPlacement placement;

    bool IsText() const;
};

// What a window hands a batch run: whether the sample was previewed, and the stamp.
struct CRunStamp {
    bool previewed = false;
    std::optional<CStampDescription> description; // none: no stamp selected
};

// The description the settings give; a picture stamp's picture is not read yet. The
// settings must be validated.
CStampDescription DescribeStamp(const CStampSettingsValues& settings);

// Reads the picture of a picture stamp from its path, at 32 bits with its own
// transparency. Throws CTextException when it cannot be read.
void LoadStampPicture(CStampDescription& description);

// The text's first unknown placeholder as written ("{nmae}"); empty when every one is
// known, and for a picture stamp.
std::string UnknownStampPlaceholder(const CStampDescription& description);

// The stamp of a run; null for a picture stamp without its picture.
std::shared_ptr<CStampMaker> MakeStamp(const CStampDescription& description);

// A run's parameters for that stamp.
CStampJobParams StampJobParams(CStampJobHost& host, const CStampDescription& description,
                               std::shared_ptr<CStampMaker> stamp, int workers, bool losslessJpeg,
                               uint32_t background = 0xFFFFFF);
