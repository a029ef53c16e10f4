#pragma once

#include <QColor>
#include <QString>

// Colour texts for map pages.
class GMKColorAdditions {
public:
    // "#rrggbb" in lower-case hex, each channel scaled by just under 256 and cut
    // toward zero; alpha is not part of it. A null text for an invalid colour.
    static QString hexString(const QColor& colour);
};
