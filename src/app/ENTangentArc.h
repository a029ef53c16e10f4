#pragma once

#include <QPainterPath>
#include <QPointF>

// A circular arc of a given radius that turns from the line p0-p1 into the
// line p1-p2, touching both: the rounded corner at p1. Appending it draws a
// straight line from the current point to where the arc starts, then the arc,
// and leaves the current point where the arc touches p1-p2 (not at p2).
struct ENTangentArc {
    QPointF start; // where the arc touches p0-p1
    QPointF end; // where the arc touches p1-p2
    QPointF centre;
    qreal radius = 0;
    bool isValid = false; // false for a zero radius or points on one line

    static ENTangentArc between(const QPointF& p0, const QPointF& p1, const QPointF& p2, qreal radius);

    // Appends the corner from the path's current point over p1 towards p2;
    // without a valid arc the path goes straight to p1.
    static void append(QPainterPath& path, const QPointF& p1, const QPointF& p2, qreal radius);
};
