#include "webmapkit/MapMarkers.h"

#include <QFontMetricsF>
#include <QPainter>
#include <QPainterPath>

#include <algorithm>

namespace {

constexpr double kCalloutPadding = 8.0;
constexpr double kCalloutArrow = 8.0;
const QColor kUserBlue(0, 122, 255);

QFont boldOf(const QFont& font)
{
    QFont bold = font;
    bold.setBold(true);
    return bold;
}

} // namespace

QRectF MapMarkers::calloutBox(const QPointF& tip, const QString& title, const QString& subtitle, const QFont& font)
{
    const QFontMetricsF titleMetrics(boldOf(font));
    const QFontMetricsF textMetrics(font);
    double width = titleMetrics.horizontalAdvance(title);
    double height = titleMetrics.height();
    if (!subtitle.isEmpty()) {
        width = std::max(width, textMetrics.horizontalAdvance(subtitle));
        height += textMetrics.height();
    }
    width += 2 * kCalloutPadding;
    height += 2 * kCalloutPadding * 0.75;
    return QRectF(tip.x() - width / 2.0, tip.y() - kCalloutArrow - height, width, height);
}

void MapMarkers::paintCallout(
    QPainter& painter, const QRectF& box, const QString& title, const QString& subtitle, const QFont& font)
{
    const QPointF tip(box.center().x(), box.bottom() + kCalloutArrow);
    QPainterPath bubble;
    bubble.addRoundedRect(box, 6.0, 6.0);
    QPainterPath arrow;
    arrow.moveTo(tip.x() - 7.0, box.bottom() - 1.0);
    arrow.lineTo(tip);
    arrow.lineTo(tip.x() + 7.0, box.bottom() - 1.0);
    arrow.closeSubpath();
    bubble = bubble.united(arrow);
    painter.save();
    painter.setPen(QPen(QColor(0, 0, 0, 90), 1.0));
    painter.setBrush(QColor(255, 255, 255, 245));
    painter.drawPath(bubble);

    const QFont bold = boldOf(font);
    const QFontMetricsF titleMetrics(bold);
    const QRectF inner = box.adjusted(8.0, 6.0, -8.0, -6.0);
    painter.setPen(Qt::black);
    painter.setFont(bold);
    painter.drawText(QRectF(inner.left(), inner.top(), inner.width(), titleMetrics.height()), Qt::AlignCenter, title);
    if (!subtitle.isEmpty()) {
        painter.setFont(font);
        painter.setPen(QColor(70, 70, 70));
        painter.drawText(QRectF(inner.left(), inner.top() + titleMetrics.height(), inner.width(),
                             inner.height() - titleMetrics.height()),
            Qt::AlignCenter, subtitle);
    }
    painter.restore();
}

void MapMarkers::paintUserLocation(QPainter& painter, const QPointF& centre, double ringPixels)
{
    painter.save();
    if (ringPixels > 8.0) {
        QColor fill = kUserBlue;
        fill.setAlpha(40);
        QColor edge = kUserBlue;
        edge.setAlpha(120);
        painter.setPen(QPen(edge, 1.0));
        painter.setBrush(fill);
        painter.drawEllipse(centre, ringPixels, ringPixels);
    }
    painter.setPen(Qt::NoPen);
    painter.setBrush(Qt::white);
    painter.drawEllipse(centre, 8.0, 8.0);
    painter.setBrush(kUserBlue);
    painter.drawEllipse(centre, 6.0, 6.0);
    painter.restore();
}
