// Draws the photo list's state badges (the icon each thumbnail and table row
// shows for an image's edit state) and writes them as PNG files:
// modified.png (edits not saved yet), finish.png (saved) and error.png (the
// save failed). src/app/photolist.qrc compiles them in under :/images/.
//
// Run by hand after changing the drawing, never at build time:
//
//   g++ -std=c++20 -fPIC -O1 -o /tmp/generate-state-badges tools-dev/generate-state-badges.cpp \
//       $(pkg-config --cflags --libs Qt6Gui)
//   QT_QPA_PLATFORM=offscreen /tmp/generate-state-badges resources/images
//
// Each badge is a filled disc with a white rim and a white sign, drawn at
// 40 x 40 pixels so it stays sharp on dense screens when shown at 20 x 20.
// The disc colours differ in hue and brightness so they tell apart also for
// readers who do not see red and green well.

#include <QGuiApplication>
#include <QImage>
#include <QPainter>
#include <QPainterPath>

#include <cstdio>
#include <functional>

namespace {

constexpr int side = 40;

QImage badge(const QColor& disc, const std::function<void(QPainter&)>& sign)
{
    QImage image(side, side, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    QPainter painter(&image);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(QPen(Qt::white, 3));
    painter.setBrush(disc);
    painter.drawEllipse(QRectF(2.5, 2.5, side - 5, side - 5));
    painter.setPen(QPen(Qt::white, 4.5, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
    painter.setBrush(Qt::NoBrush);
    sign(painter);
    return image;
}

// A pencil stroke: edits waiting to be saved.
void pencil(QPainter& painter)
{
    painter.drawLine(QPointF(13, 27), QPointF(25, 15));
    painter.setPen(QPen(Qt::white, 2.5, Qt::SolidLine, Qt::RoundCap));
    painter.drawLine(QPointF(11, 29), QPointF(14.5, 28.5));
    painter.drawLine(QPointF(11, 29), QPointF(11.5, 25.5));
}

void tick(QPainter& painter)
{
    QPainterPath path;
    path.moveTo(12, 20.5);
    path.lineTo(17.5, 26);
    path.lineTo(28, 14);
    painter.drawPath(path);
}

void exclamation(QPainter& painter)
{
    painter.drawLine(QPointF(20, 11.5), QPointF(20, 22));
    painter.setBrush(Qt::white);
    painter.setPen(Qt::NoPen);
    painter.drawEllipse(QPointF(20, 28.5), 2.6, 2.6);
}

} // namespace

int main(int argc, char** argv)
{
    QGuiApplication application(argc, argv);
    if (argc != 2) {
        std::fprintf(stderr, "usage: %s <output folder>\n", argv[0]);
        return 2;
    }
    const QString folder = QString::fromLocal8Bit(argv[1]);
    const struct {
        const char* name;
        QImage image;
    } badges[] = {
        {"modified.png", badge(QColor(232, 140, 20), pencil)},
        {"finish.png", badge(QColor(30, 130, 90), tick)},
        {"error.png", badge(QColor(200, 30, 45), exclamation)},
    };
    for (const auto& entry : badges) {
        const QString path = folder + QLatin1Char('/') + QLatin1String(entry.name);
        if (!entry.image.save(path, "PNG")) {
            std::fprintf(stderr, "cannot write %s\n", qPrintable(path));
            return 1;
        }
    }
    return 0;
}
