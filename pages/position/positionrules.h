#pragma once

// The text and value rules of the positioning page, apart from any widget.

#include "job/stampsettings.h"

#include <QString>

#include <cstdint>
#include <optional>

// The opacity slider's label: the position (0..255) in percent, one decimal.
QString OpacityLabelText(int position);
// The feather slider's label: the distance from the neutral middle 10, "+" above it.
QString FeatherLabelText(int position);
QString ToleranceLabelText(int position);

// The offset boxes accept an optional leading minus and digits. Returns the text the box
// must show instead of text, or nothing when text may stay: an empty box shows "0",
// anything else that is not a number being typed brings back the last applied offset.
std::optional<QString> FilterOffsetText(const QString& text, int lastApplied);
// The offset after the stamp was dragged by viewDelta window pixels at zoom from where it
// had offset start: whole picture pixels, within the boxes' range.
int DraggedOffset(int start, int viewDelta, double zoom);

// The number at the start of an offset text (0 when there is none), as it is applied.
int ParseOffsetText(const QString& text);

// The stamp group box's caption for the stamp preview's zoom: the reduction 1 : r, whole
// or with one decimal, or plain "stamp" for a zoom that is not positive.
QString StampCaption(double zoom);

// A zoom as an entry of the zoom list: the percentage truncated, followed by "%".
QString ZoomEntryText(double zoom);
// The zoom of a list entry such as "125%".
double ZoomFromEntryText(const QString& text);
// The entries of the zoom list, in order.
const char* const* ZoomListEntries(int* count);

// The nine alignment buttons: halign 0 left, 1 centre, 2 right; valign 0 top, 1 middle,
// 2 bottom.
struct CAlignment {
    uint8_t halign = 1;
    uint8_t valign = 1;
    bool operator==(const CAlignment&) const = default;
};
std::optional<CAlignment> AlignmentOfButton(int controlId);
int AlignmentButton(uint8_t halign, uint8_t valign); // 0 for values outside 0..2
