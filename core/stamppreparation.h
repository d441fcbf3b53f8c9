#pragma once

#include <cstdint>

class CImageBitmap;

// The stamp's alpha channel is rebuilt from scratch by every preparation; blue, green and
// red are never changed. All operations need a 32-bit bitmap.

// The key colour travels as one word: blue in the low byte, then green, red, and the
// "a colour has been picked" flag in the high byte.
constexpr uint32_t MakeKeyColour(uint8_t blue, uint8_t green, uint8_t red, bool set) {
    return uint32_t(blue) | uint32_t(green) << 8 | uint32_t(red) << 16 | uint32_t(set) << 24;
}
constexpr bool IsKeyColourSet(uint32_t keyColour) {
    return (keyColour >> 24) != 0;
}

// Feather setting 0..20 (10 = none) as passes and direction: below 10 the edge grows
// outward into the keyed-out area, above 10 the stamp's own edge fades.
struct CFeather {
    uint8_t passes;
    bool grow;
};
constexpr CFeather FeatherFromSetting(int feather) {
    return feather < 10 ? CFeather{uint8_t(10 - feather), true}
                        : CFeather{uint8_t(feather - 10), false};
}

void FillAlpha(CImageBitmap& stamp, uint8_t value);

// Alpha 0 for every pixel whose blue, green and red each lie within tolerance of the key
// colour (inclusive), opacity for all others; then FeatherAlpha when passes > 0.
void ApplyKeyColour(CImageBitmap& stamp, uint32_t keyColour, uint8_t tolerance, uint8_t passes,
                    uint8_t opacity, bool grow);

// Weighted 3 x 3 averaging of the alpha channel, in place, rows top to bottom and left to
// right, so each pixel sees its already updated upper and left neighbours. Pixels whose
// alpha is the fixed value (the opacity when growing, 0 when shrinking) never change and
// count twice as neighbours.
void FeatherAlpha(CImageBitmap& stamp, uint8_t opacity, uint8_t passes, bool grow);
