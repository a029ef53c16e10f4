#pragma once

#include <QFont>
#include <QPointF>
#include <QRectF>
#include <QString>

class QPainter;

// The marks both map widgets draw over their tiles, so that a pin's callout and
// the user's dot look the same on either map.
namespace MapMarkers {

// The callout bubble of a title (and subtitle) whose arrow points at `tip`.
QRectF calloutBox(const QPointF& tip, const QString& title, const QString& subtitle, const QFont& font);
void paintCallout(
    QPainter& painter, const QRectF& box, const QString& title, const QString& subtitle, const QFont& font);
// The user's dot at `centre`, with the accuracy ring when it is wider than the dot.
void paintUserLocation(QPainter& painter, const QPointF& centre, double ringPixels);

} // namespace MapMarkers
