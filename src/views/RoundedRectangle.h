#pragma once

#include <QPainterPath>
#include <QRectF>

class QPainter;

// Rounded boxes of the token field and the fading grey fill of their reflections.
class RoundedRectangle {
public:
    // A rectangle with quarter-circle corners. A radius past half the shorter
    // side is cut to it (a capsule); 0 gives the plain rectangle.
    static QPainterPath bezierPathWithRoundedRect(const QRectF& rect, float radius);

    // Fills `path` with light grey whose opacity rises quadratically from nothing
    // at 30% of its height above the bottom to full at its top edge.
    static void shadow(QPainter& painter, const QPainterPath& path);

    // The fill's opacity at t (0 at the bottom edge, 1 at the top).
    static float fadeAlpha(double t);
};
