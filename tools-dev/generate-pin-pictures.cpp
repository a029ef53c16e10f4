// Draws the map pin pictures compiled into the program: resources/map/*.png.
//
// Run by hand (never at build time) after changing a colour or the shape:
//
//   g++ -std=c++20 -fPIC -o /tmp/generate-pin-pictures tools-dev/generate-pin-pictures.cpp $(pkg-config --cflags --libs
//   Qt6Gui) /tmp/generate-pin-pictures resources/map
//
// Each pin is a round head with a soft highlight on a thin needle whose tip is
// the bottom centre of the picture, where the map anchors it. Pictures are drawn
// at twice the size they show at, so they stay sharp on high-density screens.

#include <QColor>
#include <QDir>
#include <QImage>
#include <QPainter>
#include <QPainterPath>
#include <QRadialGradient>

#include <cstdio>
#include <utility>
#include <vector>

namespace {

constexpr int kWidth = 32;
constexpr int kHeight = 78;

QImage drawPin(const QColor& colour)
{
    QImage image(kWidth, kHeight, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    image.setDevicePixelRatio(2.0);
    QPainter painter(&image);
    painter.setRenderHint(QPainter::Antialiasing);

    // Needle: from under the head down to the tip at the bottom centre.
    const double centre = kWidth / 4.0;
    painter.setPen(QPen(QColor(90, 90, 90), 1.6, Qt::SolidLine, Qt::RoundCap));
    painter.drawLine(QPointF(centre, 13.0), QPointF(centre, kHeight / 2.0 - 0.5));

    // Head with a highlight towards the upper left.
    const QPointF head(centre, 7.5);
    QRadialGradient gradient(head + QPointF(-2.0, -2.0), 8.0);
    gradient.setColorAt(0.0, colour.lighter(170));
    gradient.setColorAt(0.45, colour);
    gradient.setColorAt(1.0, colour.darker(160));
    painter.setPen(QPen(colour.darker(200), 0.8));
    painter.setBrush(gradient);
    painter.drawEllipse(head, 6.5, 6.5);
    painter.end();
    return image;
}

} // namespace

int main(int argc, char** argv)
{
    if (argc != 2) {
        std::fprintf(stderr, "usage: %s <output folder>\n", argv[0]);
        return 2;
    }
    const QDir folder(QString::fromLocal8Bit(argv[1]));
    const QColor red(214, 40, 40);
    const QColor green(46, 160, 67);
    const QColor purple(142, 68, 173);
    const std::vector<std::pair<const char*, QColor>> pins = {
        {"GMKPinAnnotationColorRed", red},
        {"GMKPinAnnotationColorGreen", green},
        {"GMKPinAnnotationColorPurple", purple},
        {"MKPinAnnotationColorRed", red},
        {"MKPinAnnotationColorGreen", green},
    };
    for (const auto& [name, colour] : pins) {
        const QString file = folder.filePath(QString::fromLatin1(name) + QStringLiteral(".png"));
        if (!drawPin(colour).save(file, "PNG")) {
            std::fprintf(stderr, "could not write %s\n", qPrintable(file));
            return 1;
        }
    }
    return 0;
}
