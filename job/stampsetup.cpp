#include "job/stampsetup.h"

#include "core/stamppreparation.h"
#include "job/stampsettings.h"

uint32_t KeyColourFromSettings(const CStampSettingsValues& settings) {
    return MakeKeyColour(uint8_t(settings.colorb), uint8_t(settings.colorg),
                         uint8_t(settings.colorr), settings.colora != 0);
}

void PrepareStamp(CImageBitmap& stamp, const CStampSettingsValues& settings) {
    const uint8_t opacity = uint8_t(settings.opacity);
    if (settings.usetrans && settings.colora != 0) {
        const CFeather feather = FeatherFromSetting(settings.feather);
        ApplyKeyColour(stamp, KeyColourFromSettings(settings), uint8_t(settings.tptolerance),
                       feather.passes, opacity, feather.grow);
    } else {
        FillAlpha(stamp, opacity);
    }
}

bool StampNeedsBlend(const CStampSettingsValues& settings) {
    return settings.opacity != 255 || settings.colora != 0;
}
