#include "pages/position/positionrules.h"

#include "resources/resource.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <iterator>
#include <limits>

QString OpacityLabelText(int position) {
    return QString::asprintf("%.1f", position * 0.3921568627450981);
}

QString FeatherLabelText(int position) {
    const int distance = position - 10;
    return distance <= 0 ? QString::asprintf("%i", distance) : QString::asprintf("+%i", distance);
}

QString ToleranceLabelText(int position) {
    return QString::asprintf("%i", position);
}

std::optional<QString> FilterOffsetText(const QString& text, int lastApplied) {
    if (text.isEmpty())
        return QStringLiteral("0");
    const QChar first = text.front();
    bool valid =
        (first >= QLatin1Char('0') && first <= QLatin1Char('9')) || first == QLatin1Char('-');
    for (qsizetype i = 1; valid && i < text.size(); ++i)
        valid = text[i] >= QLatin1Char('0') && text[i] <= QLatin1Char('9');
    if (valid)
        return std::nullopt;
    return QString::asprintf("%d", lastApplied);
}

int ParseOffsetText(const QString& text) {
    // The boxes hold at most 5 characters, so the value always fits.
    return std::atoi(text.toUtf8().constData());
}

int DraggedOffset(int start, int viewDelta, double zoom) {
    if (!(zoom > 0))
        return start;
    const double moved = std::round(viewDelta / zoom);
    return int(std::clamp(double(start) + moved, double(kMinOffset), double(kMaxOffset)));
}

QString StampCaption(double zoom) {
    if (!(zoom > 0))
        return QStringLiteral("stamp");
    const double r = 1.0 / zoom;
    if (r == std::trunc(r) && r <= std::numeric_limits<int>::max())
        return QString::asprintf("stamp (1 : %i)", int(r));
    return QString::asprintf("stamp (1 : %.1f)", r);
}

QString ZoomEntryText(double zoom) {
    const double percent = zoom * 100;
    const int whole = percent < std::numeric_limits<int>::max() ? int(percent) : 0;
    return QString::asprintf("%d", whole) + QLatin1Char('%');
}

double ZoomFromEntryText(const QString& text) {
    QString number = text;
    number.chop(1); // the "%"
    return std::strtod(number.toUtf8().constData(), nullptr) * 0.01;
}

const char* const* ZoomListEntries(int* count) {
    static const char* const entries[] = {"5%",   "10%",  "15%",  "25%",  "50%",  "75%",  "100%",
                                          "125%", "150%", "200%", "300%", "500%", "750%", "1000%"};
    *count = int(std::size(entries));
    return entries;
}

namespace {
struct CAlignmentButton {
    int id;
    CAlignment alignment;
};
constexpr CAlignmentButton kButtons[] = {
    {IDC_POS_ALIGN_TOP_LEFT, {0, 0}},     {IDC_POS_ALIGN_TOP_CENTRE, {1, 0}},
    {IDC_POS_ALIGN_TOP_RIGHT, {2, 0}},    {IDC_POS_ALIGN_MIDDLE_LEFT, {0, 1}},
    {IDC_POS_ALIGN_CENTRE, {1, 1}},       {IDC_POS_ALIGN_MIDDLE_RIGHT, {2, 1}},
    {IDC_POS_ALIGN_BOTTOM_LEFT, {0, 2}},  {IDC_POS_ALIGN_BOTTOM_CENTRE, {1, 2}},
    {IDC_POS_ALIGN_BOTTOM_RIGHT, {2, 2}},
};
} // namespace

std::optional<CAlignment> AlignmentOfButton(int controlId) {
    for (const CAlignmentButton& b : kButtons)
        if (b.id == controlId)
            return b.alignment;
    return std::nullopt;
}

int AlignmentButton(uint8_t halign, uint8_t valign) {
    for (const CAlignmentButton& b : kButtons)
        if (b.alignment == CAlignment{halign, valign})
            return b.id;
    return 0;
}
