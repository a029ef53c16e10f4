// Draws the six pictures of the introduction window (lumetta_1.png ..
// lumetta_6.png): each shows one step of working with the application in a
// simplified window, with a caption. src/app/intro.qrc compiles them in under
// :/images/.
//
// Run by hand after changing the drawing, never at build time:
//
//   g++ -std=c++20 -fPIC -O1 -o /tmp/generate-intro-pictures tools-dev/generate-intro-pictures.cpp \
//       $(pkg-config --cflags --libs Qt6Gui)
//   QT_QPA_PLATFORM=offscreen /tmp/generate-intro-pictures resources/images/intro

#include <QGuiApplication>
#include <QImage>
#include <QPainter>
#include <QPainterPath>

#include <cstdio>
#include <functional>

namespace {

constexpr int width = 600;
constexpr int height = 400;
const QColor ink(50, 54, 62);
const QColor accent(40, 110, 210);
const QColor pale(232, 236, 242);

// A small window: a list on the left, tabs on the right.
void drawWindow(QPainter& p, int highlightRow, int selectedTab)
{
    p.setPen(QPen(QColor(150, 154, 160), 1.5));
    p.setBrush(Qt::white);
    p.drawRoundedRect(QRectF(40, 30, 520, 270), 8, 8);
    p.setBrush(pale);
    p.drawRect(QRectF(40, 30, 520, 30));
    for (int i = 0; i < 3; ++i) {
        p.setBrush(QColor(i == 0 ? 236 : 210, i == 1 ? 190 : 110, 90));
        p.drawEllipse(QPointF(56 + i * 16, 45), 5, 5);
    }
    p.setBrush(QColor(246, 247, 249));
    p.drawRect(QRectF(40, 60, 170, 240));
    for (int row = 0; row < 5; ++row) {
        const QRectF r(48, 68 + row * 44, 154, 38);
        p.setBrush(row == highlightRow || (highlightRow == 9 && row < 3) ? QColor(200, 220, 250) : Qt::white);
        p.drawRoundedRect(r, 4, 4);
        p.setBrush(QColor(120 + row * 20, 170, 200 - row * 15));
        p.drawRect(QRectF(r.left() + 6, r.top() + 6, 36, 26));
        p.drawLine(QPointF(r.left() + 50, r.top() + 14), QPointF(r.right() - 10, r.top() + 14));
        p.drawLine(QPointF(r.left() + 50, r.top() + 26), QPointF(r.right() - 40, r.top() + 26));
    }
    const char* tabs[] = {"Summary", "Exposure", "GPS", "Details"};
    p.setFont(QFont(QStringLiteral("DejaVu Sans"), 9, QFont::Bold));
    for (int t = 0; t < 4; ++t) {
        const QRectF r(222 + t * 82, 68, 78, 22);
        p.setBrush(t == selectedTab ? Qt::white : QColor(190, 192, 196));
        p.drawRoundedRect(r, 5, 5);
        p.setPen(t == selectedTab ? accent : ink);
        p.drawText(r, Qt::AlignCenter, QString::fromLatin1(tabs[t]));
        p.setPen(QPen(QColor(150, 154, 160), 1.5));
    }
    for (int line = 0; line < 6; ++line) {
        p.setBrush(pale);
        p.drawRect(QRectF(232, 104 + line * 28, 80, 14));
        p.setBrush(Qt::white);
        p.drawRect(QRectF(322, 102 + line * 28, 220, 18));
    }
}

void caption(QPainter& p, const QString& title, const QString& text)
{
    p.setPen(ink);
    p.setFont(QFont(QStringLiteral("DejaVu Sans"), 15, QFont::Bold));
    p.drawText(QRectF(30, 310, 540, 30), Qt::AlignCenter, title);
    p.setFont(QFont(QStringLiteral("DejaVu Sans"), 11));
    p.drawText(QRectF(30, 342, 540, 50), Qt::AlignHCenter | Qt::AlignTop | Qt::TextWordWrap, text);
}

void arrow(QPainter& p, QPointF from, QPointF to)
{
    p.setPen(QPen(accent, 5, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
    p.drawLine(from, to);
    QLineF back(to, from);
    for (int side : {-30, 30}) {
        QLineF wing = back;
        wing.setLength(16);
        wing.setAngle(back.angle() + side);
        p.drawLine(wing);
    }
}

void typedValue(QPainter& p, int line, const QString& text)
{
    p.setPen(QColor(0, 0, 255));
    p.setFont(QFont(QStringLiteral("DejaVu Sans"), 10, QFont::Bold, true));
    p.drawText(QRectF(328, 102 + line * 28, 210, 18), Qt::AlignVCenter, text);
}

const std::function<void(QPainter&)> pages[] = {
    [](QPainter& p) {
        drawWindow(p, -1, 0);
        p.setBrush(QColor(255, 214, 102));
        p.setPen(QPen(ink, 1.5));
        p.drawRect(QRectF(440, 200, 60, 46));
        arrow(p, QPointF(430, 220), QPointF(180, 160));
        caption(p, QStringLiteral("Add your photos"),
            QStringLiteral("Drag photos or folders onto the list, or click Add Files."));
    },
    [](QPainter& p) {
        drawWindow(p, 1, 0);
        typedValue(p, 2, QStringLiteral("Jane Doe"));
        caption(p, QStringLiteral("Select a photo and edit its tags"),
            QStringLiteral("Changed fields turn blue; the photo is marked until you save."));
    },
    [](QPainter& p) {
        drawWindow(p, 9, 0);
        typedValue(p, 0, QStringLiteral("Canon"));
        caption(p, QStringLiteral("Edit several photos at once"),
            QStringLiteral("Values all selected photos share are shown; what you type reaches every one."));
    },
    [](QPainter& p) {
        drawWindow(p, 0, 1);
        caption(p, QStringLiteral("Summary, Exposure, GPS and Details"),
            QStringLiteral("Each tab shows one group of tags; Details lists every tag and searches them."));
    },
    [](QPainter& p) {
        drawWindow(p, 2, 0);
        p.setBrush(accent);
        p.setPen(Qt::NoPen);
        p.drawRoundedRect(QRectF(470, 262, 76, 28), 6, 6);
        p.setPen(Qt::white);
        p.setFont(QFont(QStringLiteral("DejaVu Sans"), 11, QFont::Bold));
        p.drawText(QRectF(470, 262, 76, 28), Qt::AlignCenter, QStringLiteral("Save"));
        caption(p, QStringLiteral("Save when you are ready"),
            QStringLiteral("Save writes the selected photo; Batch Save writes every changed photo."));
    },
    [](QPainter& p) {
        drawWindow(p, -1, 3);
        p.setBrush(Qt::white);
        p.setPen(QPen(QColor(150, 154, 160), 1.5));
        p.drawRoundedRect(QRectF(380, 150, 170, 110), 6, 6);
        p.setPen(ink);
        p.setFont(QFont(QStringLiteral("DejaVu Sans"), 10));
        const char* items[] = {"Presets", "Rename", "Replace", "Clone"};
        for (int i = 0; i < 4; ++i)
            p.drawText(QRectF(396, 156 + i * 24, 140, 22), Qt::AlignVCenter, QString::fromLatin1(items[i]));
        caption(p, QStringLiteral("Presets and batch tools"),
            QStringLiteral("Keep settings as presets; rename, replace and clone tags across many photos."));
    },
};

} // namespace

int main(int argc, char** argv)
{
    QGuiApplication app(argc, argv);
    if (argc < 2) {
        std::fprintf(stderr, "usage: %s <output folder>\n", argv[0]);
        return 2;
    }
    int number = 1;
    for (const auto& draw : pages) {
        QImage image(width, height, QImage::Format_ARGB32_Premultiplied);
        image.fill(QColor(250, 250, 252));
        QPainter painter(&image);
        painter.setRenderHint(QPainter::Antialiasing);
        painter.setRenderHint(QPainter::TextAntialiasing);
        draw(painter);
        painter.end();
        const QString path = QStringLiteral("%1/lumetta_%2.png").arg(QString::fromLocal8Bit(argv[1])).arg(number++);
        if (!image.save(path)) {
            std::fprintf(stderr, "cannot write %s\n", qPrintable(path));
            return 1;
        }
    }
    return 0;
}
