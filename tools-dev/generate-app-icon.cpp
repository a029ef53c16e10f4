// Draws the application icon into the resources folder: the 512-pixel picture
// that the About window shows (images/lumetta.icns: the resources keep the
// platform's file name; every reader takes the picture by its content), and the
// desktop's icon theme set, icons/hicolor/<N>x<N>/apps/lumetta.png from 16 to
// 512 pixels, each drawn at its own size rather than scaled down from one
// picture, so that the small ones stay sharp.
//
// Run by hand after changing the drawing, never at build time:
//
//   g++ -std=c++20 -fPIC -O1 -o /tmp/generate-app-icon tools-dev/generate-app-icon.cpp \
//       $(pkg-config --cflags --libs Qt6Gui)
//   QT_QPA_PLATFORM=offscreen /tmp/generate-app-icon resources
//
// The drawing: a lens aperture of six blades on a rounded tile, with a small
// label tag hanging at its lower right: a photo and the words attached to it.

#include <QDir>
#include <QFileInfo>
#include <QGuiApplication>
#include <QImage>
#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>
#include <QRadialGradient>
#include <QTransform>

#include <cmath>
#include <cstdio>

namespace {

constexpr int side = 512;

void drawTile(QPainter& painter)
{
    QLinearGradient ground(0, 0, 0, side);
    ground.setColorAt(0, QColor(38, 166, 154));
    ground.setColorAt(1, QColor(21, 67, 96));
    QPainterPath tile;
    tile.addRoundedRect(QRectF(16, 16, side - 32, side - 32), 96, 96);
    painter.fillPath(tile, ground);
}

void drawAperture(QPainter& painter)
{
    const QPointF centre(side * 0.46, side * 0.46);
    const double outer = side * 0.30;
    QRadialGradient glass(centre, outer);
    glass.setColorAt(0, QColor(250, 250, 250));
    glass.setColorAt(1, QColor(205, 220, 228));
    painter.setPen(QPen(QColor(15, 40, 58), 10));
    painter.setBrush(glass);
    painter.drawEllipse(centre, outer, outer);

    // Six blades around a hexagonal opening, each a wedge turned by 60 degrees.
    const double inner = outer * 0.38;
    painter.setPen(QPen(QColor(15, 40, 58), 5));
    for (int blade = 0; blade < 6; ++blade) {
        const double a = blade * M_PI / 3.0;
        const double b = a + M_PI / 3.0;
        QPainterPath wedge;
        wedge.moveTo(centre + QPointF(inner * std::cos(a), inner * std::sin(a)));
        wedge.lineTo(centre + QPointF(outer * 0.96 * std::cos(a + 0.35), outer * 0.96 * std::sin(a + 0.35)));
        wedge.lineTo(centre + QPointF(outer * 0.96 * std::cos(b + 0.35), outer * 0.96 * std::sin(b + 0.35)));
        wedge.lineTo(centre + QPointF(inner * std::cos(b), inner * std::sin(b)));
        wedge.closeSubpath();
        painter.setBrush(blade % 2 == 0 ? QColor(44, 62, 80) : QColor(60, 82, 104));
        painter.drawPath(wedge);
    }
}

void drawTag(QPainter& painter)
{
    QPainterPath tag;
    tag.moveTo(0, 0);
    tag.lineTo(150, 0);
    tag.lineTo(190, 45);
    tag.lineTo(150, 90);
    tag.lineTo(0, 90);
    tag.closeSubpath();
    QTransform place;
    place.translate(side * 0.50, side * 0.66);
    place.rotate(-18);
    painter.setPen(QPen(QColor(120, 60, 0), 6));
    painter.setBrush(QColor(255, 183, 77));
    painter.drawPath(place.map(tag));
    painter.setBrush(QColor(21, 67, 96));
    painter.drawEllipse(place.map(QPointF(150, 45)), 12, 12);
    // Three lines of "text" on the tag.
    painter.setPen(QPen(QColor(120, 60, 0), 8, Qt::SolidLine, Qt::RoundCap));
    for (int line = 0; line < 3; ++line) {
        const double y = 24 + line * 21;
        painter.drawLine(place.map(QPointF(22, y)), place.map(QPointF(line == 2 ? 80 : 118, y)));
    }
}

// The drawing at `pixels` square: the 512-pixel design scaled by the painter.
QImage drawIcon(int pixels)
{
    QImage icon(pixels, pixels, QImage::Format_ARGB32_Premultiplied);
    icon.fill(Qt::transparent);
    QPainter painter(&icon);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.scale(double(pixels) / side, double(pixels) / side);
    drawTile(painter);
    drawAperture(painter);
    drawTag(painter);
    painter.end();
    return icon;
}

bool write(const QImage& icon, const QString& path)
{
    if (!QDir().mkpath(QFileInfo(path).absolutePath()) || !icon.save(path, "PNG")) {
        std::fprintf(stderr, "could not write %s\n", qPrintable(path));
        return false;
    }
    return true;
}

} // namespace

int main(int argc, char** argv)
{
    if (argc != 2) {
        std::fprintf(stderr, "usage: %s <resources folder>\n", argv[0]);
        return 2;
    }
    QGuiApplication application(argc, argv);
    const QString resources = QString::fromLocal8Bit(argv[1]);
    if (!write(drawIcon(side), resources + QStringLiteral("/images/lumetta.icns"))) {
        return 1;
    }
    // The sizes desktops look for in the hicolor theme.
    for (const int pixels : {16, 22, 24, 32, 48, 64, 128, 256, 512}) {
        const QString path = QStringLiteral("%1/icons/hicolor/%2x%2/apps/lumetta.png").arg(resources).arg(pixels);
        if (!write(drawIcon(pixels), path)) {
            return 1;
        }
    }
    return 0;
}
