// Draws the exposure tab's icons and writes them as PNG files into a folder
// (resources/images/exposure), together with the resource list that compiles
// them into the application under ":/images/<name>.png".
//
// Run by hand after changing a drawing, never at build time:
//
//   g++ -std=c++20 -fPIC -O1 -o /tmp/generate-exposure-icons tools-dev/generate-exposure-icons.cpp
//       $(pkg-config --cflags --libs Qt6Gui)      (one line)
//   QT_QPA_PLATFORM=offscreen /tmp/generate-exposure-icons resources/images/exposure src/commlib/ExposureIcons.qrc
//
// Every icon is a dark glyph on a light rounded tile, 64 pixels square (shown
// at 32): the graded ones (shutter speed, aperture, sensitivity) fill more of
// their glyph as the value grows, the others draw what the setting means.

#include <QDir>
#include <QFile>
#include <QGuiApplication>
#include <QImage>
#include <QPainter>
#include <QPainterPath>
#include <QTextStream>

#include <cmath>
#include <cstdio>
#include <functional>
#include <map>

namespace {

constexpr int side = 64;
const QColor ink(52, 58, 64);
const QColor accent(33, 150, 243);
const QColor warm(255, 179, 0);
const QColor alarm(211, 47, 47);

using Drawing = std::function<void(QPainter&)>;

void tile(QPainter& p)
{
    QPainterPath path;
    path.addRoundedRect(QRectF(2, 2, side - 4, side - 4), 12, 12);
    p.fillPath(path, QColor(244, 246, 248));
    p.setPen(QPen(QColor(190, 196, 204), 2));
    p.drawPath(path);
}

void pen(QPainter& p, const QColor& colour, qreal width)
{
    p.setPen(QPen(colour, width, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
    p.setBrush(Qt::NoBrush);
}

void text(QPainter& p, const QRectF& box, const QString& words, int pixels, const QColor& colour = ink)
{
    QFont font(QStringLiteral("DejaVu Sans"));
    font.setPixelSize(pixels);
    font.setBold(true);
    p.setFont(font);
    p.setPen(colour);
    p.drawText(box, Qt::AlignCenter, words);
}

void bolt(QPainter& p, const QColor& fill)
{
    const QPolygonF shape({QPointF(36, 10), QPointF(20, 36), QPointF(31, 36), QPointF(26, 54), QPointF(44, 26),
        QPointF(33, 26), QPointF(38, 10)});
    p.setPen(QPen(ink, 2, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
    p.setBrush(fill);
    p.drawPolygon(shape);
}

void frame(QPainter& p)
{
    pen(p, ink, 3);
    p.drawRect(QRectF(12, 16, 40, 32));
}

void person(QPainter& p, const QPointF& at, qreal scale)
{
    p.setPen(Qt::NoPen);
    p.setBrush(ink);
    p.drawEllipse(at + QPointF(0, -10 * scale), 7 * scale, 7 * scale);
    QPainterPath shoulders;
    shoulders.moveTo(at + QPointF(-15 * scale, 14 * scale));
    shoulders.cubicTo(at + QPointF(-15 * scale, 0), at + QPointF(15 * scale, 0), at + QPointF(15 * scale, 14 * scale));
    shoulders.closeSubpath();
    p.drawPath(shoulders);
}

void moon(QPainter& p, const QPointF& at, qreal radius)
{
    QPainterPath disc;
    disc.addEllipse(at, radius, radius);
    QPainterPath bite;
    bite.addEllipse(at + QPointF(radius * 0.5, -radius * 0.3), radius, radius);
    p.fillPath(disc.subtracted(bite), warm);
}

void flower(QPainter& p)
{
    p.setPen(Qt::NoPen);
    p.setBrush(accent);
    for (int petal = 0; petal < 5; ++petal) {
        const qreal angle = petal * 2 * M_PI / 5 - M_PI / 2;
        p.drawEllipse(QPointF(32 + 9 * std::cos(angle), 26 + 9 * std::sin(angle)), 7, 7);
    }
    p.setBrush(warm);
    p.drawEllipse(QPointF(32, 26), 5, 5);
    pen(p, ink, 3);
    p.drawLine(QPointF(32, 36), QPointF(32, 54));
}

void sun(QPainter& p, const QPointF& at, qreal radius)
{
    p.setPen(Qt::NoPen);
    p.setBrush(warm);
    p.drawEllipse(at, radius, radius);
    pen(p, warm, 3);
    for (int ray = 0; ray < 8; ++ray) {
        const qreal angle = ray * M_PI / 4;
        const QPointF direction(std::cos(angle), std::sin(angle));
        p.drawLine(at + direction * (radius + 4), at + direction * (radius + 9));
    }
}

// One of n steps: a dial whose filled sweep grows with the step.
Drawing shutter(int step, int steps)
{
    return [=](QPainter& p) {
        const QRectF dial(12, 12, 40, 40);
        p.setPen(Qt::NoPen);
        p.setBrush(accent);
        p.drawPie(dial, 90 * 16, -int(360.0 * 16 * step / steps));
        pen(p, ink, 3);
        p.drawEllipse(dial);
        p.drawLine(QPointF(32, 6), QPointF(32, 12));
    };
}

// Wide open at step 1, nearly closed at the last step.
Drawing aperture(int step, int steps)
{
    return [=](QPainter& p) {
        p.setPen(Qt::NoPen);
        p.setBrush(ink);
        p.drawEllipse(QPointF(32, 32), 22, 22);
        const qreal open = 18.0 * (steps + 1 - step) / steps;
        QPolygonF hole;
        for (int corner = 0; corner < 6; ++corner) {
            const qreal angle = corner * M_PI / 3 + step * 0.2;
            hole << QPointF(32 + open * std::cos(angle), 32 + open * std::sin(angle));
        }
        p.setBrush(QColor(244, 246, 248));
        p.drawPolygon(hole);
    };
}

// Bars of rising height, the first `step` of them filled.
Drawing sensitivity(int step, int steps)
{
    return [=](QPainter& p) {
        text(p, QRectF(8, 6, 48, 16), QStringLiteral("ISO"), 13);
        const qreal width = 40.0 / steps;
        for (int bar = 0; bar < steps; ++bar) {
            const qreal height = 6 + 24.0 * (bar + 1) / steps;
            const QRectF box(12 + bar * width, 56 - height, width - 2, height);
            p.setPen(QPen(ink, 1.5));
            p.setBrush(bar < step ? accent : Qt::transparent);
            p.drawRect(box);
        }
    };
}

Drawing label(const QString& words, int pixels = 24)
{
    return [=](QPainter& p) { text(p, QRectF(4, 4, 56, 56), words, pixels); };
}

Drawing chips(int count, bool sequential)
{
    return [=](QPainter& p) {
        const QColor colours[] = {QColor(229, 57, 53), QColor(67, 160, 71), QColor(30, 136, 229)};
        for (int chip = 0; chip < count; ++chip) {
            const QRectF box(14 + chip * 6, 14 + chip * 6, 24, 24);
            p.setPen(QPen(ink, 2));
            p.setBrush(sequential ? colours[chip % 3] : QColor(158, 158, 158));
            p.drawRect(box);
        }
    };
}

Drawing stripes(bool lines)
{
    return [=](QPainter& p) {
        const QColor colours[] = {QColor(229, 57, 53), QColor(67, 160, 71), QColor(30, 136, 229)};
        for (int stripe = 0; stripe < 3; ++stripe) {
            p.setPen(Qt::NoPen);
            p.setBrush(colours[stripe]);
            if (lines)
                p.drawRect(QRectF(12, 18 + stripe * 10, 40, 5));
            else
                p.drawRect(QRectF(12 + stripe * 14, 14, 12, 36));
        }
    };
}

Drawing metering(const std::function<void(QPainter&)>& inner)
{
    return [=](QPainter& p) {
        frame(p);
        p.setPen(Qt::NoPen);
        p.setBrush(accent);
        inner(p);
    };
}

std::map<QString, Drawing> drawings()
{
    std::map<QString, Drawing> all;
    for (int step = 1; step <= 8; ++step)
        all[QStringLiteral("shutterSpeed_%1").arg(step)] = shutter(step, 8);
    for (int step = 1; step <= 5; ++step)
        all[QStringLiteral("aperture_%1").arg(step)] = aperture(step, 5);
    for (int step = 1; step <= 6; ++step)
        all[QStringLiteral("sensitivity_%1").arg(step)] = sensitivity(step, 6);

    all["flash_didNotFire"] = [](QPainter& p) { bolt(p, QColor(200, 200, 200)); };
    all["flash_autoFired"] = [](QPainter& p) {
        bolt(p, warm);
        text(p, QRectF(40, 38, 20, 20), QStringLiteral("A"), 16, accent);
    };
    all["flash_forced"] = [](QPainter& p) { bolt(p, warm); };
    all["flash_suppressed"] = [](QPainter& p) {
        bolt(p, QColor(200, 200, 200));
        pen(p, alarm, 4);
        p.drawLine(QPointF(14, 50), QPointF(50, 14));
    };
    all["flash_redEye"] = [](QPainter& p) {
        bolt(p, warm);
        p.setPen(QPen(ink, 2));
        p.setBrush(alarm);
        p.drawEllipse(QPointF(48, 46), 7, 5);
    };

    all["sensor_oneChipArea"] = chips(1, false);
    all["sensor_twoChipArea"] = chips(2, false);
    all["sensor_threeChipArea"] = chips(3, false);
    all["sensor_colorSequentialArea"] = stripes(false);
    all["sensor_trilinear"] = chips(3, true);
    all["sensor_colorSequential"] = stripes(true);

    auto focusFrame = [](QPainter& p) {
        pen(p, ink, 3);
        for (const QPointF& corner : {QPointF(10, 10), QPointF(54, 10), QPointF(10, 54), QPointF(54, 54)}) {
            const qreal dx = corner.x() < 32 ? 8 : -8;
            const qreal dy = corner.y() < 32 ? 8 : -8;
            p.drawLine(corner, corner + QPointF(dx, 0));
            p.drawLine(corner, corner + QPointF(0, dy));
        }
    };
    all["focus_auto"] = [=](QPainter& p) {
        focusFrame(p);
        text(p, QRectF(8, 8, 48, 48), QStringLiteral("AF"), 20);
    };
    all["focus_manual"] = [=](QPainter& p) {
        focusFrame(p);
        text(p, QRectF(8, 8, 48, 48), QStringLiteral("MF"), 20);
    };
    all["focus_macro"] = [](QPainter& p) { flower(p); };
    all["focus_infinity"] = [=](QPainter& p) {
        focusFrame(p);
        text(p, QRectF(8, 4, 48, 48), QStringLiteral("\u221E"), 34);
    };

    all["metering_average"] = metering([](QPainter& p) { p.drawRect(QRectF(16, 20, 32, 24)); });
    all["metering_centerWeighted"] = metering([](QPainter& p) {
        p.setBrush(accent.lighter(150));
        p.drawRect(QRectF(16, 20, 32, 24));
        p.setBrush(accent);
        p.drawEllipse(QPointF(32, 32), 9, 9);
    });
    all["metering_spot"] = metering([](QPainter& p) { p.drawEllipse(QPointF(32, 32), 4, 4); });
    all["metering_multiSpot"] = metering([](QPainter& p) {
        for (const QPointF& at : {QPointF(22, 26), QPointF(42, 26), QPointF(32, 32), QPointF(22, 38), QPointF(42, 38)})
            p.drawEllipse(at, 3, 3);
    });
    all["metering_partial"] = metering([](QPainter& p) { p.drawEllipse(QPointF(32, 32), 9, 9); });
    all["metering_matrix"] = metering([](QPainter& p) {
        for (int row = 0; row < 3; ++row) {
            for (int column = 0; column < 4; ++column)
                p.drawRect(QRectF(16 + column * 8, 20 + row * 8, 6, 6));
        }
    });

    all["exposurePrgm_manual"] = label(QStringLiteral("M"), 30);
    all["exposurePrgm_auto"] = label(QStringLiteral("Auto"), 18);
    all["exposurePrgm_flexibleAuto"] = label(QStringLiteral("P"), 30);
    all["exposurePrgm_aperture"] = label(QStringLiteral("Av"), 26);
    all["exposurePrgm_shutter"] = label(QStringLiteral("Tv"), 26);
    all["exposurePrgm_other"] = label(QStringLiteral("C"), 30);
    all["exposurePrgm_action"] = [](QPainter& p) {
        pen(p, ink, 4);
        p.setBrush(ink);
        p.drawEllipse(QPointF(38, 14), 5, 5);
        p.drawPolyline(QPolygonF({QPointF(36, 22), QPointF(30, 36), QPointF(38, 44), QPointF(36, 54)}));
        p.drawPolyline(QPolygonF({QPointF(30, 36), QPointF(20, 46), QPointF(12, 46)}));
        p.drawPolyline(QPolygonF({QPointF(20, 26), QPointF(34, 26), QPointF(44, 34)}));
    };
    all["exposurePrgm_portrait"] = [](QPainter& p) { person(p, QPointF(32, 36), 1.2); };
    all["exposurePrgm_landscape"] = [](QPainter& p) {
        p.setPen(Qt::NoPen);
        p.setBrush(ink);
        p.drawPolygon(QPolygonF({QPointF(8, 52), QPointF(26, 22), QPointF(38, 40), QPointF(44, 32), QPointF(56, 52)}));
        sun(p, QPointF(48, 16), 4);
    };
    all["exposurePrgm_nightPortrait"] = [](QPainter& p) {
        person(p, QPointF(26, 40), 1.0);
        moon(p, QPointF(46, 18), 8);
    };
    all["exposurePrgm_nightScene"] = [](QPainter& p) {
        moon(p, QPointF(24, 24), 12);
        p.setPen(Qt::NoPen);
        p.setBrush(ink);
        for (const QPointF& star : {QPointF(46, 18), QPointF(40, 40), QPointF(52, 34)})
            p.drawEllipse(star, 2.5, 2.5);
        p.drawRect(QRectF(8, 48, 48, 8));
    };
    all["exposurePrgm_closeUp"] = [](QPainter& p) { flower(p); };

    all["whiteBalance_auto"] = label(QStringLiteral("AWB"), 17);
    all["whiteBalance_daylight"] = [](QPainter& p) { sun(p, QPointF(32, 32), 10); };
    all["whiteBalance_shade"] = [](QPainter& p) {
        p.setPen(Qt::NoPen);
        p.setBrush(ink);
        p.drawPolygon(QPolygonF({QPointF(10, 30), QPointF(32, 12), QPointF(54, 30)}));
        p.setBrush(QColor(120, 130, 140));
        p.drawPolygon(QPolygonF({QPointF(16, 30), QPointF(48, 30), QPointF(56, 52), QPointF(24, 52)}));
    };
    all["whiteBalance_incandescent"] = [](QPainter& p) {
        p.setPen(QPen(ink, 2.5));
        p.setBrush(warm);
        p.drawEllipse(QPointF(32, 26), 14, 14);
        p.setBrush(QColor(150, 150, 150));
        p.drawRect(QRectF(25, 40, 14, 12));
    };
    all["whiteBalance_fluorescent"] = [](QPainter& p) {
        p.setPen(QPen(ink, 2.5));
        p.setBrush(QColor(224, 247, 250));
        p.drawRoundedRect(QRectF(8, 24, 48, 14), 7, 7);
        pen(p, ink, 2.5);
        for (const qreal x : {16.0, 32.0, 48.0})
            p.drawLine(QPointF(x, 42), QPointF(x, 50));
    };

    all["contrast"] = [](QPainter& p) {
        p.setPen(QPen(ink, 3));
        p.setBrush(Qt::white);
        p.drawEllipse(QPointF(32, 32), 20, 20);
        p.setBrush(ink);
        p.drawPie(QRectF(12, 12, 40, 40), 90 * 16, 180 * 16);
    };
    all["saturation"] = [](QPainter& p) {
        QPainterPath drop;
        drop.moveTo(32, 8);
        drop.cubicTo(QPointF(52, 34), QPointF(48, 56), QPointF(32, 56));
        drop.cubicTo(QPointF(16, 56), QPointF(12, 34), QPointF(32, 8));
        QLinearGradient colours(12, 0, 52, 0);
        colours.setColorAt(0, QColor(229, 57, 53));
        colours.setColorAt(0.5, QColor(67, 160, 71));
        colours.setColorAt(1, QColor(30, 136, 229));
        p.fillPath(drop, colours);
        p.setPen(QPen(ink, 2));
        p.drawPath(drop);
    };
    const std::pair<const char*, qreal> edges[]
        = {{"sharpness_soft", 9}, {"sharpness_normal", 4}, {"sharpness_hard", 0}};
    for (const auto& [name, blur] : edges) {
        all[name] = [blur = blur](QPainter& p) {
            QLinearGradient edge(32 - blur - 0.5, 0, 32 + blur + 0.5, 0);
            edge.setColorAt(0, ink);
            edge.setColorAt(1, QColor(244, 246, 248));
            QPainterPath triangle;
            triangle.addPolygon(QPolygonF({QPointF(10, 54), QPointF(32, 10), QPointF(54, 54)}));
            triangle.closeSubpath();
            p.fillPath(triangle, edge);
            p.setPen(QPen(QColor(190, 196, 204), 1));
            p.drawPath(triangle);
        };
    }
    return all;
}

} // namespace

int main(int argc, char** argv)
{
    QGuiApplication application(argc, argv);
    if (argc != 3) {
        std::fprintf(stderr, "usage: %s <image folder> <resource list>\n", argv[0]);
        return 2;
    }
    const QDir folder(QString::fromLocal8Bit(argv[1]));
    const QString listPath = QString::fromLocal8Bit(argv[2]);
    QDir().mkpath(folder.path());
    const QString relative = QFileInfo(listPath).absoluteDir().relativeFilePath(folder.absolutePath());

    QString list;
    QTextStream out(&list);
    out << "<!DOCTYPE RCC>\n<RCC version=\"1.0\">\n  <qresource prefix=\"/\">\n";
    for (const auto& [name, draw] : drawings()) {
        QImage image(side, side, QImage::Format_ARGB32_Premultiplied);
        image.fill(Qt::transparent);
        QPainter painter(&image);
        painter.setRenderHint(QPainter::Antialiasing);
        tile(painter);
        draw(painter);
        painter.end();
        const QString file = name + QStringLiteral(".png");
        if (!image.save(folder.filePath(file))) {
            std::fprintf(stderr, "cannot write %s\n", qPrintable(folder.filePath(file)));
            return 1;
        }
        out << "    <file alias=\"images/" << file << "\">" << relative << '/' << file << "</file>\n";
    }
    out << "  </qresource>\n</RCC>\n";
    QFile listFile(listPath);
    if (!listFile.open(QIODevice::WriteOnly | QIODevice::Truncate) || listFile.write(list.toUtf8()) < 0) {
        std::fprintf(stderr, "cannot write %s\n", argv[2]);
        return 1;
    }
    return 0;
}
