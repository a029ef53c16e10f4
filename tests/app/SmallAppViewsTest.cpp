#include "app/TAVCustomBgColorView.h"
#include "app/TAVImageView.h"

#include "support/SyntheticDrops.h"

#include <QImage>

#include <gtest/gtest.h>

#include <memory>

TEST(TAVCustomBgColorView, FrameLineOnlyWhenItsColourIsSet)
{
    TAVCustomBgColorView view;
    view.resize(40, 30);
    QImage plain = view.grab().toImage();
    for (const QPoint point : {QPoint(0, 0), QPoint(39, 29), QPoint(20, 15)}) {
        EXPECT_EQ(plain.pixelColor(point), QColor(Qt::white));
    }

    view.setFrameLineColor(QColor(200, 0, 0));
    view.setBgColor(QColor(0, 0, 120));
    const QImage framed = view.grab().toImage();
    for (const QPoint edge : {QPoint(0, 0), QPoint(39, 0), QPoint(0, 29), QPoint(39, 29), QPoint(20, 0)}) {
        EXPECT_EQ(framed.pixelColor(edge), QColor(200, 0, 0)) << edge.x() << "," << edge.y();
    }
    for (const QPoint inside : {QPoint(1, 1), QPoint(38, 28), QPoint(20, 15)}) {
        EXPECT_EQ(framed.pixelColor(inside), QColor(0, 0, 120)) << "one pixel wide, over the background";
    }
}

TEST(TAVImageView, KeepsTheFirstDroppedPathAndRefusesOtherDrags)
{
    TAVImageView well;
    well.resize(120, 120);
    EXPECT_TRUE(well.strImgPath().isNull());

    std::unique_ptr<QMimeData> three(SyntheticDrop::files(
        {QStringLiteral("/photos/first one.jpg"), QStringLiteral("/photos/2.jpg"), QStringLiteral("/photos/3.jpg")}));
    const SyntheticDrop drop = SyntheticDrop::onto(&well, *three);
    EXPECT_TRUE(drop.entered && drop.dropped);
    EXPECT_EQ(well.strImgPath(), QStringLiteral("/photos/first one.jpg"));
    EXPECT_TRUE(well.pixmap().isNull()) << "the well does not load the image itself";

    QMimeData text;
    text.setText(QStringLiteral("/photos/other.jpg"));
    QMimeData link;
    link.setUrls({QUrl(QStringLiteral("https://photos.invalid/other.jpg"))});
    std::unique_ptr<QMimeData> moveOnly(SyntheticDrop::files({QStringLiteral("/photos/other.jpg")}));
    EXPECT_FALSE(SyntheticDrop::onto(&well, text).entered);
    EXPECT_FALSE(SyntheticDrop::onto(&well, link).entered);
    EXPECT_FALSE(SyntheticDrop::onto(&well, *moveOnly, Qt::MoveAction).entered) << "the well only copies";
    EXPECT_EQ(well.strImgPath(), QStringLiteral("/photos/first one.jpg"));
}
