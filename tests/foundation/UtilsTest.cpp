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

} // namespace

TEST_F(UtilsTest, SupportedTypesAreTheDistinctAcceptedExtensions)
{
    const QStringList types = Utils::supportFileTypes();
    EXPECT_EQ(types.size(), 28);
    EXPECT_EQ(types.first(), "jpg");
    EXPECT_EQ(types.last(), "raw");
    for (const char* wanted : {"raw", "xmp", "tif", "tiff", "jpeg", "cr2", "nef", "dng"}) {
        EXPECT_TRUE(types.contains(QString::fromLatin1(wanted))) << wanted;
    }
    EXPECT_FALSE(types.contains("jpe"));
    EXPECT_FALSE(types.contains("JPG"));
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
    EXPECT_EQ(Utils::lowercaseStringInRange("ShutterSpeed", 0, 1), "shutterSpeed");
    EXPECT_EQ(Utils::lowercaseStringInRange("ABC", 1, 2), "Abc");
    EXPECT_TRUE(Utils::lowercaseStringInRange("", 0, 1).isNull());
    EXPECT_TRUE(Utils::lowercaseStringInRange("AB", 1, 2).isNull());
    EXPECT_EQ(Utils::uppercaseStringInRange("north", 0, 1), "North");
    EXPECT_EQ(Utils::uppercaseStringInRange("", 0, 0), "");
    EXPECT_TRUE(Utils::uppercaseStringInRange("", 0, 1).isNull());
}

TEST_F(UtilsTest, ImagesEncodeByExactTypeAndWriteAtomically)
{
    const QImage image = redImage(8, 6);
    EXPECT_TRUE(Utils::imageDataRepresentationOfType(image, "Jpg").isEmpty());
    EXPECT_TRUE(Utils::imageDataRepresentationOfType(image, "webp").isEmpty());
    const QByteArray jpeg = Utils::imageDataRepresentationOfType(image, "JPEG");
    EXPECT_TRUE(jpeg.startsWith("\xFF\xD8"));
    EXPECT_TRUE(Utils::imageDataRepresentationOfType(image, "TIF").startsWith("II"));

    const QString path = tempPath("out.png");
    ASSERT_TRUE(Utils::writeImage(image, path));
    ASSERT_TRUE(Utils::writeImage(redImage(3, 2), path)); // replaces
    EXPECT_EQ(Utils::cgImageFromPath(path).size(), QSize(3, 2));
    EXPECT_EQ(FileServices::contentsOfFolder(tempFolder()), QStringList{"out.png"});
    EXPECT_FALSE(Utils::writeImage(QImage(), tempPath("empty.png")));
    EXPECT_FALSE(Utils::writeImage(image, path + QStringLiteral("/under-a-file.png")));

    // Tiling repeats the image; any other type leaves the canvas empty.
    const QImage tiled = Utils::tiledImageWithSrcPath(path, QSize(7, 5), "Tile");
    EXPECT_EQ(tiled.size(), QSize(7, 5));
    EXPECT_EQ(tiled.pixelColor(6, 4), QColor(Qt::red));
    EXPECT_EQ(Utils::tiledImageWithSrcPath(path, QSize(7, 5), "None").pixelColor(0, 0).alpha(), 0);
}

TEST_F(UtilsTest, JsonTextBothWays)
{
    EXPECT_FALSE(Utils::JSONValue(QString()).isValid());
    EXPECT_FALSE(Utils::JSONValue("{broken").isValid());
    const QVariantMap object{{"name", "x"}, {"n", 2}};
    const QString text = Utils::dictionaryToJsonString(object);
    EXPECT_TRUE(text.contains(QLatin1Char('\n'))); // pretty-printed
    EXPECT_EQ(Utils::JSONValue(text).toMap(), object);
}
