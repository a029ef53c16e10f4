#include "TokenFieldTestSupport.h"

#include "support/Gallery.h"
#include "views/RoundedRectangle.h"

#include <QLineEdit>
#include <QPainter>

#include <gtest/gtest.h>

namespace {

QImage filledPath(const QPainterPath& path, const QSize& size)
{
    QImage image(size, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    QPainter painter(&image);
    painter.fillPath(path, Qt::black);
    return image;
}

// A pixel inside a token's box, in its left padding, clear of text and outline.
QRgb boxPixel(const QImage& image, const FramedToken& token)
{
    const QRectF box = token.bounds();
    const double h = box.height() - 3.0;
    return image.pixel(int(box.x() + h * 0.75 - 2.0), int(box.y() + h / 2.0));
}

std::unique_ptr<RPTokenControl> cloud(qint64 scheme, qint64 effects)
{
    auto control = makeTokenControl(260, 120);
    control->setBackgroundWhiteness(2.0f);
    control->setTokenColorScheme(scheme);
    control->setFancyEffects(effects);
    control->setValue(RPTokenValue::countedSet({"exif", "exif", "exif", "iptc", "iptc", "xmp", "gps", "lens"}));
    return control;
}

QStringList capturedWarnings;
void captureWarning(QtMsgType, const QMessageLogContext&, const QString& message)
{
    capturedWarnings.append(message);
}

} // namespace

TEST(TokenDrawing, RoundedPathsAndTheFadingFill)
{
    const QImage capsule
        = filledPath(RoundedRectangle::bezierPathWithRoundedRect(QRectF(0, 0, 100, 20), 50.0f), QSize(100, 20));
    EXPECT_EQ(qAlpha(capsule.pixel(0, 0)), 0);
    EXPECT_EQ(qAlpha(capsule.pixel(1, 10)), 255);
    EXPECT_EQ(qAlpha(capsule.pixel(50, 0)), 255);
    EXPECT_EQ(qAlpha(capsule.pixel(2, 1)), 0);
    const QImage square
        = filledPath(RoundedRectangle::bezierPathWithRoundedRect(QRectF(0, 0, 100, 20), 0.0f), QSize(100, 20));
    EXPECT_EQ(qAlpha(square.pixel(0, 0)), 255);
    EXPECT_EQ(qAlpha(square.pixel(99, 19)), 255);

    QImage fade(10, 100, QImage::Format_ARGB32_Premultiplied);
    fade.fill(Qt::transparent);
    {
        QPainter painter(&fade);
        RoundedRectangle::shadow(painter, RoundedRectangle::bezierPathWithRoundedRect(QRectF(0, 0, 10, 100), 0.0f));
    }
    EXPECT_EQ(qAlpha(fade.pixel(5, 99)), 0);
    EXPECT_EQ(qAlpha(fade.pixel(5, 72)), 0);
    EXPECT_GT(qAlpha(fade.pixel(5, 0)), 240);
    EXPECT_NEAR(qAlpha(fade.pixel(5, 35)), 255 * 0.25, 8);
}

TEST(TokenDrawing, BackgroundAndColourSchemes)
{
    auto empty = makeTokenControl(50, 30);
    EXPECT_EQ(qAlpha(renderedControl(*empty).pixel(25, 15)), 0);
    empty->setBackgroundAlpha(1.0f);
    EXPECT_EQ(renderedControl(*empty).pixel(25, 15), qRgb(255, 255, 255));

    auto scheme0 = cloud(0, 0);
    scheme0->selectIndex(0);
    const QImage picture0 = renderedControl(*scheme0);
    EXPECT_EQ(boxPixel(picture0, scheme0->framedTokens()[1]), qRgb(214, 224, 246));
    EXPECT_EQ(boxPixel(picture0, scheme0->framedTokens()[0]), qRgb(72, 116, 231));

    auto scheme1 = cloud(1, 0);
    scheme1->selectIndex(0);
    const QImage picture1 = renderedControl(*scheme1);
    EXPECT_EQ(boxPixel(picture1, scheme1->framedTokens()[1]), qRgb(255, 255, 255));
    EXPECT_EQ(QColor(boxPixel(picture1, scheme1->framedTokens()[0])), scheme1->palette().color(QPalette::Highlight));
    EXPECT_FALSE(scheme1->normalAttributes().contains(TokenAttributes::Key::StrokeColor));

    auto scheme2 = cloud(2, 0);
    EXPECT_EQ(qAlpha(boxPixel(renderedControl(*scheme2), scheme2->framedTokens()[1])), 0);
}

TEST(TokenDrawing, TextShadowOnlyWithShadowEffectsAndAFill)
{
    using Key = TokenAttributes::Key;
    EXPECT_FALSE(cloud(0, 1)->selectedAttributes().contains(Key::TextShadow));
    EXPECT_TRUE(cloud(0, 2)->selectedAttributes().contains(Key::TextShadow));
    EXPECT_TRUE(cloud(1, 3)->selectedAttributes().contains(Key::TextShadow));
    EXPECT_FALSE(cloud(2, 2)->selectedAttributes().contains(Key::TextShadow));
    EXPECT_FALSE(cloud(0, 2)->normalAttributes().contains(Key::TextShadow));
}

TEST(TokenDrawing, TheTokenBeingTypedIsLeftToTheTextField)
{
    auto control = cloud(0, 0);
    control->setEditability(2);
    control->beginEditingNewTokenWithString("zoom");
    const qint64 edited = control->indexOfFramedTokenBeingEdited();
    ASSERT_NE(edited, RPTokenControl::NotFound);
    const QImage picture = renderedControl(*control);
    EXPECT_EQ(qAlpha(boxPixel(picture, control->framedTokens()[edited])), 0);
    EXPECT_EQ(boxPixel(picture, control->framedTokens()[0]), qRgb(214, 224, 246));
    EXPECT_TRUE(control->textField()->geometry().intersects(control->framedTokens()[edited].bounds().toRect()));
}

TEST(TokenDrawing, PlaceholdersFollowTheMarkers)
{
    auto control = makeTokenControl(200, 40);
    control->setMultipleValuesPlaceholder("Multiple values");
    control->setNoTokensPlaceholder("None");
    auto greyPixels = [&] {
        const QImage picture = renderedControl(*control);
        int count = 0;
        for (int y = 0; y < picture.height(); ++y) {
            for (int x = 0; x < picture.width(); ++x) {
                const QRgb pixel = picture.pixel(x, y);
                count += qAlpha(pixel) > 64 && std::abs(qRed(pixel) - 128) <= 12 ? 1 : 0;
            }
        }
        return count;
    };
    control->setValue(RPTokenValue::marker(RPTokenValue::Kind::MultipleValuesMarker));
    EXPECT_GT(greyPixels(), 10);
    control->setValue(RPTokenValue::array({}));
    EXPECT_EQ(greyPixels(), 0);

    capturedWarnings.clear();
    control->setValue(RPTokenValue::other(42));
    const QtMessageHandler previous = qInstallMessageHandler(captureWarning);
    EXPECT_EQ(greyPixels(), 0);
    qInstallMessageHandler(previous);
    EXPECT_EQ(capturedWarnings, QStringList({"Internal Error 189-1847 42"}));
}

TEST(TokenDrawing, TooltipsShowCountsWhenAsked)
{
    auto control = cloud(0, 0);
    control->setToolTip("Keywords");
    const QPointF exif = control->framedTokens()[0].bounds().center();
    EXPECT_EQ(control->toolTipTextAt(exif), "Keywords");
    control->setShowsCountsAsToolTips(true);
    EXPECT_EQ(control->toolTipTextAt(exif), "3");
    EXPECT_TRUE(control->toolTipTextAt(QPointF(259, 119)).isNull());
}

TEST(TokenDrawing, Gallery)
{
    for (const qint64 scheme : {0, 1}) {
        auto control = cloud(scheme, 3);
        control->setTextMeasure(nullptr);
        control->setBackgroundAlpha(1.0f);
        control->setBackgroundWhiteness(scheme == 0 ? 1.0f : 0.85f);
        control->setSelectedIndexSet({1});
        EXPECT_TRUE(Gallery::capture(control.get(), QStringLiteral("token-field-scheme-%1").arg(scheme)));
    }
    auto truncated = makeTokenControl(160, 400);
    truncated->setTextMeasure(nullptr);
    truncated->setBackgroundAlpha(1.0f);
    truncated->setDraweBorder(true);
    truncated->setFixedFontSize(12.0);
    truncated->setValue(RPTokenValue::array({"Berlin", "Paris", "Rome", "Oslo", "Lisbon", "Vienna", "Prague", "Madrid",
        "Athens", "Dublin", "Warsaw", "Bern"}));
    // Two lines and the drawn box of a third fit; the third ends with the ellipsis.
    QList<qreal> lineBottoms;
    for (const FramedToken& token : truncated->framedTokens()) {
        if (!lineBottoms.contains(token.bounds().bottom())) {
            lineBottoms.append(token.bounds().bottom());
        }
    }
    ASSERT_GT(lineBottoms.size(), 3);
    truncated->resize(160, int(lineBottoms[2] - 2.0));
    EXPECT_TRUE(truncated->ellipsisTokenIsDisplayed());
    EXPECT_TRUE(Gallery::capture(truncated.get(), "token-field-truncated"));
}
