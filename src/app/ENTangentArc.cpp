#include "app/ENTangentArc.h"

#include <QLineF>
#include <QRectF>

#include <cmath>
#include <numbers>

namespace {

QPointF unit(const QPointF& vector)
{
    const qreal length = std::hypot(vector.x(), vector.y());
    return length > 0 ? vector / length : QPointF();
}

// Qt measures arc angles in degrees, counter-clockwise as seen on a screen
// whose y axis points down.
qreal screenAngle(const QPointF& centre, const QPointF& point)
{
    return std::atan2(centre.y() - point.y(), point.x() - centre.x()) * 180.0 / std::numbers::pi;
}

} // namespace

ENTangentArc ENTangentArc::between(const QPointF& p0, const QPointF& p1, const QPointF& p2, qreal radius)
{
    ENTangentArc arc;
    const QPointF back = unit(p0 - p1);
    const QPointF ahead = unit(p2 - p1);
    const qreal cosine = QPointF::dotProduct(back, ahead);
    const qreal sine = back.x() * ahead.y() - back.y() * ahead.x();
    if (radius <= 0 || back.isNull() || ahead.isNull() || std::abs(sine) < 1e-9) {
        return arc;
    }
    const qreal halfAngle = std::atan2(std::abs(sine), cosine) / 2;
    const qreal reach = radius / std::tan(halfAngle);
    arc.start = p1 + back * reach;
    arc.end = p1 + ahead * reach;
    arc.centre = p1 + unit(back + ahead) * (radius / std::sin(halfAngle));
    arc.radius = radius;
    arc.isValid = true;
    return arc;
}

void ENTangentArc::append(QPainterPath& path, const QPointF& p1, const QPointF& p2, qreal radius)
{
    const ENTangentArc arc = between(path.currentPosition(), p1, p2, radius);
    if (!arc.isValid) {
        path.lineTo(p1);
        return;
    }
    path.lineTo(arc.start);
    const qreal from = screenAngle(arc.centre, arc.start);
    qreal sweep = screenAngle(arc.centre, arc.end) - from;
    // A corner arc is always the shorter way round.
    if (sweep > 180) {
        sweep -= 360;
    } else if (sweep < -180) {
        sweep += 360;
    }
    const QRectF circle(arc.centre.x() - radius, arc.centre.y() - radius, 2 * radius, 2 * radius);
    path.arcTo(circle, from, sweep);
}
