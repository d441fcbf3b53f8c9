#include "job/stampdescription.h"

#include "core/stampbitmap.h"
#include "imagelib/autodetectdecoder.h"
#include "job/stampjob.h"
#include "job/stampsettings.h"
#include "job/stampsetup.h"

bool CStampDescription::IsText() const {
    return kind == kStampText;
}

CStampDescription DescribeStamp(const CStampSettingsValues& settings) {
    CStampDescription d;
    d.kind = settings.stampkind;
    d.picturePath = settings.pathstamp;
    d.look = LookFromSettings(settings);
    d.placement = {uint8_t(settings.halign), uint8_t(settings.valign), settings.offsetx,
                   settings.offsety, settings.followexif};
    d.text.text = settings.stamptext;
    d.text.font = ParseTextFont(settings.textfont);
    d.text.textSize = settings.textsize;
    d.text.autoColour = settings.textcolor == kTextColourAuto;
    if (!d.text.autoColour) {
        d.text.red = uint8_t(settings.textcolor >> 16);
        d.text.green = uint8_t(settings.textcolor >> 8);
        d.text.blue = uint8_t(settings.textcolor);
    }
    d.text.shadow = settings.textshadow;
    d.text.halign = uint8_t(settings.halign);
    if (d.IsText()) {
        // A text has no key colour: its edges are the glyphs' own coverage.
        d.look.keyColour &= 0x00FFFFFFu;
    }
    return d;
}

void LoadStampPicture(CStampDescription& description) {
    auto picture = std::make_shared<CStampBitmap>();
    CAutoDetectDecoder decoder;
    decoder.DecodeFile(description.picturePath, *picture, 32);
    description.picture.ownAlpha = OwnAlphaOf(*picture);
    description.picture.pixels = picture;
    description.picture.prepared = false;
}

std::string UnknownStampPlaceholder(const CStampDescription& description) {
    return description.IsText() ? UnknownPlaceholder(description.text.text) : std::string();
}

std::shared_ptr<CStampMaker> MakeStamp(const CStampDescription& description) {
    if (description.IsText())
        return std::make_shared<CTextStampMaker>(description.text, description.look);
    const CStampPicture& picture = description.picture;
    if (!picture.pixels)
        return nullptr;
    if (picture.prepared)
        return std::make_shared<CStampShaper>(*picture.pixels, picture.ownAlpha, description.look,
                                              CStampShaper::CPrepared{});
    return std::make_shared<CStampShaper>(*picture.pixels, picture.ownAlpha, description.look);
}

CStampJobParams StampJobParams(CStampJobHost& host, const CStampDescription& description,
                               std::shared_ptr<CStampMaker> stamp, int workers, bool losslessJpeg,
                               uint32_t background) {
    // Every photo takes its stamp from the maker; the engine's prepared picture is unused.
    static const CMemoryBitmap kUnused;
    const CPhotoPlacement& p = description.placement;
    CStampJobParams params{host,        kUnused,   false,   p.halign,         p.valign,
                           p.offsetX,   p.offsetY, workers, std::move(stamp), p.followExif,
                           losslessJpeg};
    params.background = background;
    return params;
}
