#pragma once

#include "core/stampshape.h"

#include <cstdint>
#include <memory>
#include <vector>

class CImageBitmap;
struct CStampSettingsValues;

// The stamp's look as the settings describe it, for callers that run from settings rather
// than from the positioning page's live values. The settings must be validated.

// Whether a key colour has been picked: colora is exactly 1.
bool IsKeyColourPicked(const CStampSettingsValues& settings);

// The key colour word of the settings: blue low, then green, red and the set flag.
uint32_t KeyColourFromSettings(const CStampSettingsValues& settings);

// Rebuilds the stamp's alpha channel: keyed by the key colour with tolerance, feather and
// opacity when transparency is on and a colour has been picked, else opacity everywhere.
void PrepareStamp(CImageBitmap& stamp, const CStampSettingsValues& settings);

// Blend when the opacity is below opaque or a key colour has been picked (whether or not
// transparency is on); otherwise the cheaper copy gives the same pixels.
bool StampNeedsBlend(const CStampSettingsValues& settings);

// The stamp's look from the settings: the key colour counts only with transparency on.
CStampLook LookFromSettings(const CStampSettingsValues& settings);

// The shaper of a run from the decoded stamp (its own transparency included) and settings.
std::shared_ptr<CStampShaper> MakeStampShaper(const CImageBitmap& decodedStamp,
                                              const CStampSettingsValues& settings);
