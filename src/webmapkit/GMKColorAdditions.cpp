#include "webmapkit/GMKColorAdditions.h"

namespace {

constexpr float kChannelScale = 255.99998474121094f;

int channel(float value)
{
    return static_cast<int>(value * kChannelScale);
}

} // namespace

QString GMKColorAdditions::hexString(const QColor& colour)
{
    if (!colour.isValid()) {
        return QString();
    }
    // Half-float channels hold 0.5 and the 8-bit steps exactly enough that the
    // cut lands where the user's value says (0.5 gives 7f); the 16-bit integer
    // channels of a plain QColor would round 0.5 up to 0x8000 and give 80.
    const QColor rgb = colour.toExtendedRgb();
    return QString::asprintf("#%02x%02x%02x", channel(rgb.redF()), channel(rgb.greenF()), channel(rgb.blueF()));
}
