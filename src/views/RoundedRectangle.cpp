#include "views/RoundedRectangle.h"

#include <QColor>
#include <QLinearGradient>
#include <QPainter>

#include <algorithm>

QPainterPath RoundedRectangle::bezierPathWithRoundedRect(const QRectF& rect, float radius)
{
    const float r = static_cast<float>(std::min<double>(radius, std::min(rect.width(), rect.height()) / 2.0));
    const QRectF inner = rect.adjusted(r, r, -r, -r);
    struct Corner {
        QPointF centre;
        double from;
    };
    // Clockwise on screen from the top-left corner; each arc joins the previous
    // one with a straight side.
    const Corner corners[]
        = {{inner.topLeft(), 180.0}, {inner.topRight(), 270.0}, {inner.bottomRight(), 0.0}, {inner.bottomLeft(), 90.0}};
    QPainterPath path;
    bool first = true;
    for (const Corner& corner : corners) {
        if (r <= 0.0f) {
            // Qt draws no arc on an empty circle: the corner is the point itself.
            if (first) {
                path.moveTo(corner.centre);
            } else {
                path.lineTo(corner.centre);
            }
            first = false;
            continue;
        }
        const QRectF circle(corner.centre.x() - r, corner.centre.y() - r, 2.0 * r, 2.0 * r);
        // Qt measures angles counter-clockwise on a y-down screen, so the
        // angles of a y-down drawing are negated.
        if (first) {
            path.arcMoveTo(circle, -corner.from);
        }
        path.arcTo(circle, -corner.from, -90.0);
        first = false;
    }
    path.closeSubpath();
    return path;
}

float RoundedRectangle::fadeAlpha(double t)
{
    const float f = static_cast<float>((t - double(0.3f)) * 1.0 / double(0.7f));
    return f >= 0.0f ? f * f : 0.0f;
}

void RoundedRectangle::shadow(QPainter& painter, const QPainterPath& path)
{
    const QRectF bounds = path.boundingRect();
    QLinearGradient gradient(QPointF(0.0, bounds.bottom()), QPointF(0.0, bounds.top()));
    // Enough stops that the quadratic rise looks smooth.
    constexpr int steps = 48;
    for (int step = 0; step <= steps; ++step) {
        const double t = double(step) / steps;
        gradient.setColorAt(t, QColor::fromRgbF(0.8f, 0.8f, 0.8f, fadeAlpha(t)));
    }
    painter.save();
    painter.setClipPath(path, Qt::IntersectClip);
    painter.fillRect(bounds, gradient);
    painter.restore();
}
