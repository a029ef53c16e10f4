#include "views/CNBaseView.h"

#include "support/Gallery.h"
#include "support/Patience.h"

#include <QApplication>
#include <QGraphicsOpacityEffect>
#include <QPainter>
#include <QTest>

#include <gtest/gtest.h>

#include <memory>

namespace {

const QColor background(20, 40, 80);
const QColor iconColour(255, 0, 0);

QPixmap solidIcon()
{
    QPixmap icon(64, 64);
    icon.fill(iconColour);
    return icon;
}

// The rows and columns where anything but the background and the icon was drawn.
QRect captionPixels(const QImage& image)
{
    QRect found;
    for (int y = 0; y < image.height(); ++y) {
        for (int x = 0; x < image.width(); ++x) {
            const QColor pixel = image.pixelColor(x, y);
            if (pixel != background && pixel != iconColour) {
                found |= QRect(x, y, 1, 1);
            }
        }
    }
    return found;
}

struct BaseFixture {
    BaseFixture()
    {
        view.resize(400, 300);
        view.setBackgroundColor(background);
        view.setIcon(solidIcon());
        view.setText(QStringLiteral("No photos yet"));
    }
    bool waitUntilIdle()
    {
        return QTest::qWaitFor([this] { return !view.isAnimating(); }, kPatientMs);
    }
    bool iconDrawn() { return view.grab().toImage().pixelColor(200, 140) == iconColour; }
    CNBaseView view;
};

class PaintCounter : public QObject {
public:
    bool eventFilter(QObject*, QEvent* event) override
    {
        paints += event->type() == QEvent::Paint ? 1 : 0;
        return false;
    }
    int paints = 0;
};

} // namespace

TEST(CNBaseViewTest, IconAndCaptionArePlacedAroundTheMeasuredCaption)
{
    BaseFixture f;
    const QRectF measured = f.view.calculatedTextBoxRect();
    const QImage image = f.view.grab().toImage();
    EXPECT_EQ(image.pixelColor(168, 108), iconColour);
    EXPECT_EQ(image.pixelColor(231, 171), iconColour);
    EXPECT_NE(image.pixelColor(167, 108), iconColour);
    EXPECT_NE(image.pixelColor(168, 107), iconColour);
    // The caption box starts 10 below the icon, at y 182, centred on its measured width.
    const QRect caption = captionPixels(image.copy(0, 172, 400, 128)).translated(0, 172);
    EXPECT_GE(caption.top(), 182);
    EXPECT_LE(caption.bottom(), 182 + measured.height() + 1);
    EXPECT_GE(caption.left(), (400 - measured.width()) / 2 - 1);
    EXPECT_LE(caption.right(), (400 + measured.width()) / 2 + 1);

    f.view.setIcon(QPixmap());
    const double top = (300 - measured.height()) / 2;
    const QRect alone = captionPixels(f.view.grab().toImage());
    EXPECT_GE(alone.top(), top);
    EXPECT_LE(alone.bottom(), top + measured.height() + 1);
    EXPECT_EQ(f.view.calculatedTextBoxRect().size(), measured.size());
}

TEST(CNBaseViewTest, CaptionGivenAsAttributedTextAtCreationIsShownWithItsAttributes)
{
    CNBaseView::TextAttributes large = CNBaseView::defaultTextAttributes();
    large.font.setPixelSize(30);
    CNBaseView view(QPixmap(), CNBaseView::AttributedText{QStringLiteral("Empty"), large});
    EXPECT_EQ(view.text(), QStringLiteral("Empty"));
    EXPECT_EQ(view.textBoxAttributes().font.pixelSize(), 30);
    view.resize(200, 100);
    view.setBackgroundColor(background);
    EXPECT_FALSE(captionPixels(view.grab().toImage()).isEmpty());
}

TEST(CNBaseViewTest, LongCaptionWrapsWithinTheTextBoxWidth)
{
    CNBaseView view;
    view.setText(QStringLiteral("Short"));
    const double oneLine = view.calculatedTextBoxRect().height();
    view.setText(QStringLiteral("Drop a folder of photographs here to begin editing their metadata"));
    const QRectF wrapped = view.calculatedTextBoxRect();
    EXPECT_LE(wrapped.width(), 180.0);
    EXPECT_GE(wrapped.height(), 2 * oneLine);
}

TEST(CNBaseViewTest, PushSlidesInFromTheRightAndHidesTheIcon)
{
    BaseFixture f;
    f.view.show();
    auto* child = new QWidget;
    bool completed = false;
    f.view.pushChildView(child, 3, 0.05, [&] { completed = true; });
    EXPECT_EQ(child->geometry(), QRect(400, 0, 400, 300));
    EXPECT_TRUE(f.view.isAnimating());
    ASSERT_TRUE(f.waitUntilIdle());
    EXPECT_TRUE(completed);
    EXPECT_EQ(child->geometry(), f.view.rect());
    EXPECT_FALSE(f.iconDrawn()) << "the view draws nothing under its child";
}

TEST(CNBaseViewTest, PushWithoutEffectStillCompletesAndPopFadesTheChildAway)
{
    BaseFixture f;
    f.view.show();
    auto* first = new QWidget;
    auto* second = new QWidget;
    int completions = 0;
    f.view.pushChildView(first, 0, [&] { ++completions; });
    EXPECT_EQ(first->geometry(), f.view.rect());
    EXPECT_EQ(completions, 0) << "completion comes from the animation's end";
    ASSERT_TRUE(f.waitUntilIdle());
    EXPECT_EQ(completions, 1);
    f.view.pushChildView(second, 4, 0.02, [&] { ++completions; });
    ASSERT_TRUE(f.waitUntilIdle());

    std::unique_ptr<QWidget> popped(second);
    f.view.popChildView(1, 0.05, [&] { ++completions; });
    auto* fade = qobject_cast<QGraphicsOpacityEffect*>(second->graphicsEffect());
    ASSERT_NE(fade, nullptr);
    ASSERT_TRUE(f.waitUntilIdle());
    EXPECT_EQ(completions, 3);
    EXPECT_EQ(fade->opacity(), 0.0);
    EXPECT_EQ(second->parentWidget(), nullptr);
    EXPECT_EQ(f.view.childViewStack().size(), 1) << "pops unwind the stack";

    std::unique_ptr<QWidget> poppedFirst(first);
    f.view.popChildView(0, [&] { ++completions; });
    ASSERT_TRUE(f.waitUntilIdle());
    EXPECT_TRUE(f.view.childViewStack().isEmpty());
    EXPECT_TRUE(f.iconDrawn()) << "icon and caption come back";

    f.view.popChildView(2, 0.01, [&] { ++completions; });
    ASSERT_TRUE(f.waitUntilIdle());
    EXPECT_EQ(completions, 5) << "popping an empty stack still completes";
}

TEST(CNBaseViewTest, ChildrenStartJustOutsideTheViewWhereverItSits)
{
    QWidget window;
    window.resize(600, 500);
    auto* view = new CNBaseView(&window);
    view->setGeometry(50, 60, 400, 300);
    const QList<std::pair<int, QRect>> cases = {
        {0, QRect(0, 0, 400, 300)},
        {1, QRect(0, 0, 400, 300)},
        {2, QRect(0, -300, 400, 300)},
        {3, QRect(400, 0, 400, 300)},
        {4, QRect(0, 300, 400, 300)},
        {5, QRect(-400, 0, 400, 300)},
    };
    for (const auto& [effect, frame] : cases) {
        EXPECT_EQ(view->frameForView(nullptr, effect), frame) << "effect " << effect;
    }
}

TEST(CNBaseViewTest, SettingTheSameTextAgainDoesNotRepaint)
{
    BaseFixture f;
    f.view.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&f.view, kPatientMs));
    PaintCounter counter;
    f.view.installEventFilter(&counter);
    f.view.setText(QStringLiteral("Nothing selected"));
    QApplication::processEvents();
    EXPECT_EQ(counter.paints, 1);
    f.view.setText(QStringLiteral("Nothing selected"));
    f.view.setAttributedText(CNBaseView::AttributedText{QStringLiteral("Nothing selected"), {}});
    f.view.setAttributedText(std::nullopt);
    QApplication::processEvents();
    EXPECT_EQ(counter.paints, 1);
}

TEST(CNBaseViewTest, GalleryBaseView)
{
    QPixmap icon(64, 64);
    icon.fill(Qt::transparent);
    QPainter painter(&icon);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setBrush(QColor(150, 160, 175));
    painter.setPen(Qt::NoPen);
    painter.drawRoundedRect(QRectF(4, 12, 56, 42), 6, 6);
    painter.setBrush(QColor(235, 238, 242));
    painter.drawEllipse(QPointF(32, 33), 13, 13);
    painter.end();
    CNBaseView view(icon, QStringLiteral("Drop photographs here to see their metadata"));
    view.setBackgroundColor(QColor(236, 236, 236));
    view.resize(400, 300);
    EXPECT_TRUE(Gallery::capture(&view, QStringLiteral("base-view")));
}
