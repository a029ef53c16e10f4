#include "views/GSImageDrawing.h"

#include <QImage>

#include <gtest/gtest.h>

namespace {

QImage filled(const QSize& size, const QColor& colour)
{
    QImage image(size, QImage::Format_ARGB32_Premultiplied);
    image.fill(colour);
    return image;
}

TEST(ImageDrawingTest, OpacityAndCompositionApplyToTheImageOnly)
{
    struct Case {
        const char* name;
        QColor target;
        QColor source;
        QPainter::CompositionMode operation;
        qreal fraction;
        QColor expected;
    };
    const Case cases[] = {
        {"half over nothing", Qt::transparent, Qt::red, QPainter::CompositionMode_SourceOver, 0.5,
            QColor(255, 0, 0, 128)},
        {"over an opaque target", Qt::blue, Qt::red, QPainter::CompositionMode_SourceOver, 0.5,
            QColor(128, 0, 127, 255)},
        {"copy replaces the target", Qt::blue, QColor(255, 0, 0, 128), QPainter::CompositionMode_Source, 1.0,
            QColor(255, 0, 0, 128)},
        {"invisible", Qt::blue, Qt::red, QPainter::CompositionMode_SourceOver, 0.0, Qt::blue},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        QImage target = filled(QSize(8, 8), c.target);
        QPainter painter(&target);
        gsDrawAdjustedAtPoint(painter, filled(QSize(8, 8), c.source), QPointF(0, 0), QRectF(), c.operation, c.fraction);
        // The painter's own state comes back unchanged.
        EXPECT_EQ(painter.opacity(), 1.0);
        EXPECT_EQ(painter.compositionMode(), QPainter::CompositionMode_SourceOver);
        painter.end();
        const QColor got = target.pixelColor(4, 4);
        EXPECT_NEAR(got.red(), c.expected.red(), 1);
        EXPECT_NEAR(got.green(), c.expected.green(), 1);
        EXPECT_NEAR(got.blue(), c.expected.blue(), 1);
        EXPECT_NEAR(got.alpha(), c.expected.alpha(), 1);
    }
}

TEST(ImageDrawingTest, SourceRectangleAndSizeAreInTheImagesOwnUnits)
{
    // A sharp image: twice as many pixels as units; red left half, green right.
    QImage image = filled(QSize(20, 10), Qt::red);
    for (int y = 0; y < 10; ++y) {
        for (int x = 10; x < 20; ++x) {
            image.setPixelColor(x, y, Qt::green);
        }
    }
    image.setDevicePixelRatio(2.0);

    QImage whole = filled(QSize(20, 10), Qt::white);
    QPainter wholePainter(&whole);
    gsDrawAdjustedAtPoint(wholePainter, image, QPointF(2, 2), QRectF(), QPainter::CompositionMode_SourceOver, 1.0);
    wholePainter.end();
    EXPECT_EQ(whole.pixelColor(3, 3), QColor(Qt::red));
    EXPECT_EQ(whole.pixelColor(10, 6), QColor(Qt::green));
    EXPECT_EQ(whole.pixelColor(12, 3), QColor(Qt::white));
    EXPECT_EQ(whole.pixelColor(3, 8), QColor(Qt::white));

    QImage part = filled(QSize(10, 10), Qt::white);
    QPainter partPainter(&part);
    gsDrawAdjustedInRect(
        partPainter, image, QRectF(0, 0, 10, 10), QRectF(5, 0, 5, 5), QPainter::CompositionMode_SourceOver, 1.0);
    partPainter.end();
    EXPECT_EQ(part.pixelColor(1, 1), QColor(Qt::green));
    EXPECT_EQ(part.pixelColor(8, 8), QColor(Qt::green));
}

} // namespace
