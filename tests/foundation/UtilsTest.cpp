#include "foundation/Utils.h"

#include "foundation/FileServices.h"
#include "support/QtPrinters.h"
#include "support/TempFolder.h"

#include <QImageReader>

#include <gtest/gtest.h>

namespace {

class UtilsTest : public TempFolderTest {
protected:
    static QImage redImage(int w, int h)
    {
        QImage image(w, h, QImage::Format_RGB32);
        image.fill(Qt::red);
        return image;
    }
};

}  // namespace

TEST_F(UtilsTest, SupportedTypesAreTheDistinctAcceptedExtensions)
{
    const QStringList types = Utils::supportFileTypes();
    EXPECT_EQ(types.size(), 28);
    EXPECT_EQ(types.first(), QStringLiteral("jpg"));
    EXPECT_EQ(types.last(), QStringLiteral("raw"));
    for (const char* wanted : {"raw", "xmp", "tif", "tiff", "jpeg", "cr2", "nef", "dng"}) {
        EXPECT_TRUE(types.contains(QString::fromLatin1(wanted))) << wanted;
    }
    EXPECT_FALSE(types.contains(QStringLiteral("jpe")));
    EXPECT_FALSE(types.contains(QStringLiteral("JPG")));
}

TEST_F(UtilsTest, SizesFitTheMaximum)
{
    EXPECT_EQ(Utils::getSizeWithOriginMax(QSizeF(4000, 3000), QSizeF(400, 400)), QSizeF(400, 300));
    EXPECT_EQ(Utils::getSizeWithOriginMax(QSizeF(200, 100), QSizeF(400, 400)), QSizeF(200, 100));
    EXPECT_EQ(Utils::getSizeWithOriginFitMax(QSizeF(200, 100), QSizeF(400, 400)), QSizeF(400, 200));
    EXPECT_EQ(Utils::getSizeWithOriginFitMax(QSizeF(0, 0), QSizeF(400, 400)), QSizeF(0, 0));
    EXPECT_EQ(Utils::boundsOffset(QRectF(5, 5, 10, 20), 2, -3), QRectF(0, 0, 12, 17));
}

TEST_F(UtilsTest, LowercasingARange)
{
    EXPECT_EQ(Utils::lowercaseStringInRange(QStringLiteral("ShutterSpeed"), 0, 1), QStringLiteral("shutterSpeed"));
    EXPECT_EQ(Utils::lowercaseStringInRange(QStringLiteral("ABC"), 1, 2), QStringLiteral("Abc"));
    EXPECT_TRUE(Utils::lowercaseStringInRange(QStringLiteral(""), 0, 1).isNull());
    EXPECT_TRUE(Utils::lowercaseStringInRange(QStringLiteral("AB"), 1, 2).isNull());
}

TEST_F(UtilsTest, ImagesEncodeByExactTypeAndWriteAtomically)
{
    const QImage image = redImage(8, 6);
    EXPECT_TRUE(Utils::imageDataRepresentationOfType(image, QStringLiteral("Jpg")).isEmpty());
    EXPECT_TRUE(Utils::imageDataRepresentationOfType(image, QStringLiteral("webp")).isEmpty());
    const QByteArray jpeg = Utils::imageDataRepresentationOfType(image, QStringLiteral("JPEG"));
    EXPECT_TRUE(jpeg.startsWith("\xFF\xD8"));
    EXPECT_TRUE(Utils::imageDataRepresentationOfType(image, QStringLiteral("TIF")).startsWith("II"));

    const QString path = tempPath(QStringLiteral("out.png"));
    ASSERT_TRUE(Utils::writeImage(image, path));
    ASSERT_TRUE(Utils::writeImage(redImage(3, 2), path));  // replaces
    EXPECT_EQ(Utils::cgImageFromPath(path).size(), QSize(3, 2));
    EXPECT_EQ(FileServices::contentsOfFolder(tempFolder()), QStringList{QStringLiteral("out.png")});
    EXPECT_FALSE(Utils::writeImage(QImage(), tempPath(QStringLiteral("empty.png"))));
    EXPECT_FALSE(Utils::writeImage(image, path + QStringLiteral("/under-a-file.png")));

    // Tiling repeats the image; any other type leaves the canvas empty.
    const QImage tiled = Utils::tiledImageWithSrcPath(path, QSize(7, 5), QStringLiteral("Tile"));
    EXPECT_EQ(tiled.size(), QSize(7, 5));
    EXPECT_EQ(tiled.pixelColor(6, 4), QColor(Qt::red));
    EXPECT_EQ(Utils::tiledImageWithSrcPath(path, QSize(7, 5), QStringLiteral("None")).pixelColor(0, 0).alpha(), 0);
}

TEST_F(UtilsTest, JsonTextBothWays)
{
    EXPECT_FALSE(Utils::JSONValue(QString()).isValid());
    EXPECT_FALSE(Utils::JSONValue(QStringLiteral("{broken")).isValid());
    const QVariantMap object{{QStringLiteral("name"), QStringLiteral("x")}, {QStringLiteral("n"), 2}};
    const QString text = Utils::dictionaryToJsonString(object);
    EXPECT_TRUE(text.contains(QLatin1Char('\n')));  // pretty-printed
    EXPECT_EQ(Utils::JSONValue(text).toMap(), object);
}
