#include "app/TAVToolbarIcons.h"

#include <QHash>
#include <QPainter>
#include <QPainterPath>
#include <QPixmap>

#include <functional>

namespace {

constexpr int kSide = 64;
const QColor kInk(60, 64, 72);
const QColor kAccent(40, 110, 210);

using Drawing = std::function<void(QPainter&)>;

void drawSheet(QPainter& p, const QRectF& r)
{
    p.setBrush(Qt::white);
    p.drawRoundedRect(r, 4, 4);
}

void drawDrawer(QPainter& p, bool open)
{
    p.setBrush(Qt::white);
    p.drawRoundedRect(QRectF(8, 12, 48, 40), 5, 5);
    p.setBrush(open ? kAccent : QColor(200, 204, 210));
    p.drawRect(QRectF(8, 12, open ? 18 : 6, 40));
    p.drawLine(QPointF(open ? 26 : 14, 12), QPointF(open ? 26 : 14, 52));
}

const QHash<QString, Drawing>& drawings()
{
    static const QHash<QString, Drawing> table{
        {QStringLiteral("drawer_open"), [](QPainter& p) { drawDrawer(p, true); }},
        {QStringLiteral("drawer_close"), [](QPainter& p) { drawDrawer(p, false); }},
        {QStringLiteral("Add Files"),
            [](QPainter& p) {
                drawSheet(p, QRectF(10, 14, 40, 34));
                p.drawLine(QPointF(16, 42), QPointF(26, 30));
                p.drawLine(QPointF(26, 30), QPointF(34, 38));
                p.setBrush(kAccent);
                p.drawEllipse(QPointF(46, 46), 12, 12);
                p.setPen(QPen(Qt::white, 4, Qt::SolidLine, Qt::RoundCap));
                p.drawLine(QPointF(46, 39), QPointF(46, 53));
                p.drawLine(QPointF(39, 46), QPointF(53, 46));
            }},
        {QStringLiteral("Rename"),
            [](QPainter& p) {
                drawSheet(p, QRectF(6, 18, 52, 28));
                p.setFont(QFont(QStringLiteral("DejaVu Sans"), 16, QFont::Bold));
                p.drawText(QRectF(10, 18, 34, 28), Qt::AlignCenter, QStringLiteral("Ab"));
                p.setPen(QPen(kAccent, 3));
                p.drawLine(QPointF(48, 14), QPointF(48, 50));
            }},
        {QStringLiteral("Replace"),
            [](QPainter& p) {
                p.setPen(QPen(kAccent, 5, Qt::SolidLine, Qt::RoundCap));
                p.setBrush(Qt::NoBrush);
                p.drawArc(QRectF(12, 12, 40, 40), 30 * 16, 150 * 16);
                p.drawArc(QRectF(12, 12, 40, 40), 210 * 16, 150 * 16);
                p.setBrush(kAccent);
                p.setPen(Qt::NoPen);
                p.drawPolygon(QPolygonF({QPointF(52, 14), QPointF(54, 30), QPointF(40, 26)}));
                p.drawPolygon(QPolygonF({QPointF(12, 50), QPointF(10, 34), QPointF(24, 38)}));
            }},
        {QStringLiteral("Clone"),
            [](QPainter& p) {
                drawSheet(p, QRectF(8, 8, 32, 38));
                p.setBrush(QColor(225, 236, 250));
                p.drawRoundedRect(QRectF(24, 20, 32, 38), 4, 4);
                for (int y : {30, 38, 46})
                    p.drawLine(QPointF(30, y), QPointF(50, y));
            }},
        {QStringLiteral("Export Exif"),
            [](QPainter& p) {
                drawSheet(p, QRectF(10, 20, 36, 36));
                p.setPen(QPen(kAccent, 5, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
                p.drawLine(QPointF(28, 38), QPointF(52, 14));
                p.drawPolyline(QPolygonF({QPointF(38, 12), QPointF(53, 12), QPointF(53, 27)}));
            }},
        {QStringLiteral("Filename to Tags"),
            [](QPainter& p) {
                QPainterPath tag;
                tag.moveTo(8, 22);
                tag.lineTo(40, 22);
                tag.lineTo(56, 34);
                tag.lineTo(40, 46);
                tag.lineTo(8, 46);
                tag.closeSubpath();
                p.setBrush(QColor(255, 214, 102));
                p.drawPath(tag);
                p.setBrush(Qt::white);
                p.drawEllipse(QPointF(42, 34), 3, 3);
                for (int y : {30, 38})
                    p.drawLine(QPointF(14, y), QPointF(32, y));
            }},
        {QStringLiteral("Clear All"),
            [](QPainter& p) {
                drawSheet(p, QRectF(8, 10, 30, 38));
                drawSheet(p, QRectF(16, 16, 30, 38));
                p.setPen(QPen(QColor(200, 60, 60), 5, Qt::SolidLine, Qt::RoundCap));
                p.drawLine(QPointF(36, 36), QPointF(54, 54));
                p.drawLine(QPointF(54, 36), QPointF(36, 54));
            }},
        {QStringLiteral("Restore All"),
            [](QPainter& p) {
                drawSheet(p, QRectF(8, 10, 30, 38));
                drawSheet(p, QRectF(16, 16, 30, 38));
                p.setPen(QPen(kAccent, 5, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
                p.setBrush(Qt::NoBrush);
                p.drawArc(QRectF(30, 30, 24, 24), 90 * 16, -270 * 16);
                p.drawPolyline(QPolygonF({QPointF(36, 24), QPointF(42, 30), QPointF(36, 36)}));
            }},
        {QStringLiteral("Apply To All"),
            [](QPainter& p) {
                drawSheet(p, QRectF(8, 10, 30, 38));
                drawSheet(p, QRectF(16, 16, 30, 38));
                p.setPen(QPen(QColor(40, 150, 80), 5, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
                p.drawPolyline(QPolygonF({QPointF(32, 44), QPointF(40, 52), QPointF(56, 32)}));
            }},
        {QStringLiteral("Batch Save"),
            [](QPainter& p) {
                for (int offset : {0, 8}) {
                    p.setBrush(offset ? kAccent : QColor(150, 180, 225));
                    p.drawRoundedRect(QRectF(8 + offset, 8 + offset, 40, 40), 4, 4);
                    p.setBrush(Qt::white);
                    p.drawRect(QRectF(16 + offset, 8 + offset, 22, 12));
                    p.drawRect(QRectF(15 + offset, 30 + offset, 26, 18));
                }
            }},
        {QStringLiteral("Help"),
            [](QPainter& p) {
                p.setBrush(kAccent);
                p.drawEllipse(QPointF(32, 32), 24, 24);
                p.setPen(Qt::white);
                p.setFont(QFont(QStringLiteral("DejaVu Sans"), 26, QFont::Bold));
                p.drawText(QRectF(8, 8, 48, 48), Qt::AlignCenter, QStringLiteral("?"));
            }},
    };
    return table;
}

} // namespace

QIcon TAVToolbarIcons::icon(const QString& name)
{
    const auto it = drawings().constFind(name);
    if (it == drawings().cend())
        return QIcon();
    QPixmap pixmap(kSide, kSide);
    pixmap.fill(Qt::transparent);
    QPainter painter(&pixmap);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setRenderHint(QPainter::TextAntialiasing);
    painter.setPen(QPen(kInk, 2.5, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
    (*it)(painter);
    painter.end();
    return QIcon(pixmap);
}
