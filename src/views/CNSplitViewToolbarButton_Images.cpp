// The standard button images, drawn here as small monochrome pictures so that
// they look the same on every desktop and without an icon theme.
#include "views/CNSplitViewToolbarButton.h"

#include <QPainter>
#include <QPainterPath>

#include <functional>
#include <map>

namespace {

using Drawing = std::function<void(QPainter&)>;

const QColor ink(56, 56, 56);

void drawPlus(QPainter& p)
{
    p.fillRect(QRectF(7, 3, 2, 10), ink);
    p.fillRect(QRectF(3, 7, 10, 2), ink);
}

void drawMinus(QPainter& p)
{
    p.fillRect(QRectF(3, 7, 10, 2), ink);
}

void drawEye(QPainter& p)
{
    QPainterPath eye;
    eye.moveTo(1, 8);
    eye.quadTo(8, 1, 15, 8);
    eye.quadTo(8, 15, 1, 8);
    p.setPen(QPen(ink, 1.5));
    p.drawPath(eye);
    p.setBrush(ink);
    p.drawEllipse(QPointF(8, 8), 2.5, 2.5);
}

void drawGear(QPainter& p)
{
    p.setPen(QPen(ink, 2.5));
    for (int i = 0; i < 4; ++i) {
        p.save();
        p.translate(8, 8);
        p.rotate(45.0 * i);
        p.drawLine(QPointF(0, -7), QPointF(0, 7));
        p.restore();
    }
    p.setPen(Qt::NoPen);
    p.setBrush(ink);
    p.drawEllipse(QPointF(8, 8), 5, 5);
    p.setCompositionMode(QPainter::CompositionMode_Clear);
    p.drawEllipse(QPointF(8, 8), 2, 2);
}

void drawShare(QPainter& p)
{
    p.setPen(QPen(ink, 1.5));
    p.drawPolyline(
        QPolygonF({QPointF(5, 6), QPointF(3, 6), QPointF(3, 15), QPointF(13, 15), QPointF(13, 6), QPointF(11, 6)}));
    p.drawLine(QPointF(8, 1.5), QPointF(8, 10));
    p.drawPolyline(QPolygonF({QPointF(5, 4.5), QPointF(8, 1.5), QPointF(11, 4.5)}));
}

void drawIconView(QPainter& p)
{
    for (int row = 0; row < 2; ++row) {
        for (int column = 0; column < 2; ++column) {
            p.fillRect(QRectF(2 + 7 * column, 2 + 7 * row, 5, 5), ink);
        }
    }
}

void drawListView(QPainter& p)
{
    for (int row = 0; row < 3; ++row) {
        p.fillRect(QRectF(1, 3 + 4 * row, 2, 2), ink);
        p.fillRect(QRectF(5, 3 + 4 * row, 10, 2), ink);
    }
}

void drawLock(QPainter& p, bool locked)
{
    p.fillRect(QRectF(3, 7, 10, 8), ink);
    p.setPen(QPen(ink, 1.5));
    QPainterPath shackle;
    const double right = locked ? 11 : 15;
    const double left = locked ? 5 : 9;
    shackle.moveTo(left, 7);
    shackle.lineTo(left, 5);
    shackle.arcTo(QRectF(left, 1.5, right - left, 6), 180, -180);
    shackle.lineTo(right, locked ? 7 : 5);
    p.drawPath(shackle);
}

void drawChevron(QPainter& p, bool right)
{
    p.setPen(QPen(ink, 2.0, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
    const double tip = right ? 11 : 5;
    const double back = right ? 5 : 11;
    p.drawPolyline(QPolygonF({QPointF(back, 2.5), QPointF(tip, 8), QPointF(back, 13.5)}));
}

void drawCross(QPainter& p)
{
    p.setPen(QPen(ink, 2.0, Qt::SolidLine, Qt::RoundCap));
    p.drawLine(QPointF(3.5, 3.5), QPointF(12.5, 12.5));
    p.drawLine(QPointF(12.5, 3.5), QPointF(3.5, 12.5));
}

void drawRefresh(QPainter& p)
{
    p.setPen(QPen(ink, 1.75));
    p.drawArc(QRectF(2.5, 2.5, 11, 11), 90 * 16, 300 * 16);
    p.setPen(Qt::NoPen);
    p.setBrush(ink);
    p.drawPolygon(QPolygonF({QPointF(8, 0), QPointF(12, 2.5), QPointF(8, 5.5)}));
}

const std::map<int32_t, Drawing>& drawings()
{
    static const std::map<int32_t, Drawing> table = {
        {1, drawPlus},
        {2, drawMinus},
        {3, drawEye},
        {4, drawGear},
        {5, drawShare},
        {6, drawIconView},
        {7, drawListView},
        {8, [](QPainter& p) { drawLock(p, true); }},
        {9, [](QPainter& p) { drawLock(p, false); }},
        {10, [](QPainter& p) { drawChevron(p, true); }},
        {11, [](QPainter& p) { drawChevron(p, false); }},
        {12, drawCross},
        {13, drawRefresh},
    };
    return table;
}

} // namespace

QPixmap CNSplitViewToolbarButton::templateImage(int32_t imageTemplate)
{
    const auto found = drawings().find(imageTemplate);
    if (found == drawings().end()) {
        return QPixmap();
    }
    QPixmap image(templateImageSize, templateImageSize);
    image.fill(Qt::transparent);
    QPainter painter(&image);
    painter.setRenderHint(QPainter::Antialiasing);
    found->second(painter);
    return image;
}
