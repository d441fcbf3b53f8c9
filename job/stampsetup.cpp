#include "job/stampsetup.h"

#include "core/stamppreparation.h"
#include "job/stampsettings.h"

bool IsKeyColourPicked(const CStampSettingsValues& settings) {
    // The window takes only 1 as picked; any other value from a file or the store stamps
    // the same in both front ends.
    return settings.colora == 1;
}

uint32_t KeyColourFromSettings(const CStampSettingsValues& settings) {
    return MakeKeyColour(uint8_t(settings.colorb), uint8_t(settings.colorg),
                         uint8_t(settings.colorr), IsKeyColourPicked(settings));
}

void PrepareStamp(CImageBitmap& stamp, const CStampSettingsValues& settings) {
    const uint8_t opacity = uint8_t(settings.opacity);
    if (settings.usetrans && IsKeyColourPicked(settings)) {
        const CFeather feather = FeatherFromSetting(settings.feather);
        ApplyKeyColour(stamp, KeyColourFromSettings(settings), uint8_t(settings.tptolerance),
                       feather.passes, opacity, feather.grow);
    } else {
        FillAlpha(stamp, opacity);
    }
}

bool StampNeedsBlend(const CStampSettingsValues& settings) {
    return settings.opacity != 255 || IsKeyColourPicked(settings);
}

CStampLook LookFromSettings(const CStampSettingsValues& settings) {
    CStampLook look;
    look.opacity = uint8_t(settings.opacity);
    look.keyColour = settings.usetrans ? KeyColourFromSettings(settings)
                                       : KeyColourFromSettings(settings) & 0x00FFFFFFu;
    look.tolerance = uint8_t(settings.tptolerance);
    look.feather = uint8_t(settings.feather);
    look.sizeMode = settings.sizemode;
    look.sizePercent = settings.sizepercent;
    look.angle = settings.angle;
    look.tiling = {settings.tile, settings.tilegap, settings.tileoffset};
    return look;
}

std::shared_ptr<CStampShaper> MakeStampShaper(const CImageBitmap& decodedStamp,
                                              const CStampSettingsValues& settings) {
    return std::make_shared<CStampShaper>(decodedStamp, OwnAlphaOf(decodedStamp),
                                          LookFromSettings(settings));
}
