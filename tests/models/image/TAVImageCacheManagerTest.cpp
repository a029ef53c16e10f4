#include "models/image/TAVImageCacheManager.h"

#include "foundation/FileServices.h"
#include "models/write/WrittenFileProbe.h"
#include "support/ImageFixtures.h"
#include "support/QtPrinters.h"
#include "support/TempFolder.h"

#include <QBuffer>
#include <QImage>
#include <QImageReader>
#include <QPainter>

#include <exiv2/exiv2.hpp>

#include <string>

#include <gtest/gtest.h>

namespace {

class TAVImageCacheManagerTest : public TempFolderTest {
protected:
    // Writes a plain image of one colour; the colour tells later which
    // version of the file an image was loaded from.
    QString writeImage(const QString& name, QColor colour, QSize size = QSize(200, 100))
    {
        QImage image(size, QImage::Format_RGB32);
        image.fill(colour);
        const QString path = tempPath(name);
        EXPECT_TRUE(image.save(path));
        return path;
    }

    static QColor colourOf(const QImage& image) { return image.pixelColor(image.width() / 2, image.height() / 2); }
    static bool isReddish(const QColor& colour) { return colour.red() > 200 && colour.blue() < 60; }

    // Replaces the file's EXIF thumbnail (its only preview) by a 160 x 120
    // JPEG, red on the left half and blue on the right.
    static void setHalvedPreview(const QString& path)
    {
        QImage halves(QSize(160, 120), QImage::Format_RGB32);
        halves.fill(Qt::blue);
        QPainter(&halves).fillRect(QRect(0, 0, 80, 120), Qt::red);
        QByteArray jpeg;
        QBuffer buffer(&jpeg);
        buffer.open(QIODevice::WriteOnly);
        ASSERT_TRUE(halves.save(&buffer, "JPEG", 95));
        const auto image = WrittenFileProbe::open(path);
        Exiv2::ExifThumb(image->exifData())
            .setJpegThumbnail(reinterpret_cast<const Exiv2::byte*>(jpeg.constData()), static_cast<long>(jpeg.size()));
        image->writeMetadata();
    }
};

} // namespace

TEST_F(TAVImageCacheManagerTest, LoadsOnceUntilRemoved)
{
    TAVImageCacheManager cache;
    const QString path = writeImage("photo.png", Qt::red);
    EXPECT_EQ(colourOf(cache.getImage(path)), QColor(Qt::red));

    writeImage("photo.png", Qt::blue);
    EXPECT_EQ(colourOf(cache.getImage(path)), QColor(Qt::red));
    EXPECT_TRUE(cache.removeImageFromCache(path));
    EXPECT_EQ(colourOf(cache.getImage(path)), QColor(Qt::blue));

    EXPECT_TRUE(cache.getImage(QString()).isNull());
    EXPECT_TRUE(cache.removeImageFromCache(QString()));
}

TEST_F(TAVImageCacheManagerTest, FailedLoadsAreNotKept)
{
    TAVImageCacheManager cache;
    const QString missing = tempPath("later.png");
    EXPECT_TRUE(cache.getImage(missing).isNull());
    writeImage("later.png", Qt::green);
    EXPECT_EQ(colourOf(cache.getImage(missing)), QColor(Qt::green));

    const QString broken = tempPath("broken.jpg");
    ASSERT_TRUE(FileServices::writeFileAtomically(broken, "\xff\xd8 truncated"));
    EXPECT_TRUE(cache.getImage(broken).isNull());
    EXPECT_EQ(cache.count(), 1);
}

TEST_F(TAVImageCacheManagerTest, StaysWithinItsBound)
{
    // Images scaled to at most 64 pixels (64 x 32 x 4 bytes = 8 KB), room for three.
    TAVImageCacheManager cache(64, 3 * 8 * 1024);
    QStringList paths;
    for (int index = 0; index < 10; ++index) {
        paths << writeImage(QStringLiteral("image%1.png").arg(index), Qt::red);
        EXPECT_EQ(cache.getImage(paths.last()).size(), QSize(64, 32));
        EXPECT_LE(cache.count(), 3);
        EXPECT_LE(cache.totalBytes(), 3 * 8 * 1024);
    }

    // The least recently used went first; the most recent is still held.
    for (int index : {0, 9}) {
        writeImage(QStringLiteral("image%1.png").arg(index), Qt::blue);
    }
    EXPECT_EQ(colourOf(cache.getImage(paths[9])), QColor(Qt::red));
    EXPECT_EQ(colourOf(cache.getImage(paths[0])), QColor(Qt::blue));
}

TEST_F(TAVImageCacheManagerTest, RawFilesShowTheirEmbeddedPreviewOthersWithoutDecoderAGenericImage)
{
    TAVImageCacheManager cache;
    // A camera file under a raw name: its 160 x 120 EXIF preview, not its 480 x 360 picture.
    const QString raw = ImageFixtures::copySample("npm-canon-s40.jpg", tempFolder(), "IMG_0001.CR2");
    EXPECT_EQ(cache.getImage(raw).size(), QSize(160, 120));
    // A portrait shot stands upright, as decoded pictures do: a preview red on
    // its left and blue on its right, turned a quarter clockwise (6) or
    // anticlockwise (8), is red at the top or at the bottom.
    for (const char* orientation : {"6", "8"}) {
        const QString portrait = ImageFixtures::copySample(
            "npm-canon-s40.jpg", tempFolder(), QStringLiteral("IMG_%1.CR2").arg(QLatin1String(orientation)));
        ASSERT_TRUE(ImageFixtures::writeTags(portrait, {{"Exif.Image.Orientation", orientation, {}}}));
        setHalvedPreview(portrait);
        const QImage upright = cache.getImage(portrait);
        ASSERT_EQ(upright.size(), QSize(120, 160)) << orientation;
        const bool quarterClockwise = orientation == std::string("6");
        EXPECT_EQ(isReddish(upright.pixelColor(60, 10)), quarterClockwise) << orientation;
        EXPECT_EQ(isReddish(upright.pixelColor(60, 150)), !quarterClockwise) << orientation;
    }

    const QString sidecar = tempPath("notes.xmp");
    ASSERT_TRUE(FileServices::writeFileAtomically(sidecar, "<x:xmpmeta xmlns:x='adobe:ns:meta/'/>"));
    EXPECT_FALSE(cache.getImage(sidecar).isNull());
}

// The bound follows what the views show: a few pictures of each shown
// side, within the bound the cache was made with; a picture made for a
// small view serves it, and a larger view gets one decoded at its size in
// its place.
TEST_F(TAVImageCacheManagerTest, HoldsWhatTheViewsShowAtTheirSize)
{
    TAVImageCacheManager cache(512, qsizetype(64) * 1024 * 1024);
    EXPECT_EQ(cache.maxBytes(), qsizetype(64) * 1024 * 1024);
    cache.setShownSide("summary", 40);
    cache.setShownSide("preview", 0);
    const qsizetype small = qsizetype(40) * 40 * 4 * TAVImageCacheManager::kPicturesPerView;
    EXPECT_EQ(cache.maxBytes(), small / 1024 * 1024);
    QStringList paths;
    for (int index = 0; index < 8; ++index) {
        paths << writeImage(QStringLiteral("image%1.png").arg(index), Qt::red, QSize(400, 300));
        EXPECT_EQ(cache.getImage(paths.last(), 40).size(), QSize(40, 30));
        EXPECT_LE(cache.totalBytes(), cache.maxBytes());
    }
    // Room for that many square pictures of the side; 3:2 ones take less.
    EXPECT_GE(cache.count(), TAVImageCacheManager::kPicturesPerView);
    EXPECT_LT(cache.count(), paths.size());
    EXPECT_FALSE(cache.cachedImage(paths.last(), 40).isNull());
    EXPECT_TRUE(cache.cachedImage(paths.last(), 200).isNull());
    EXPECT_TRUE(cache.cachedImage(paths.first(), 40).isNull());

    // A larger view decodes the photo at its side; the small one takes that
    // picture (the file changed meanwhile: nothing is decoded again).
    cache.setShownSide("preview", 200);
    EXPECT_GT(cache.maxBytes(), small);
    writeImage("image7.png", Qt::blue, QSize(400, 300));
    EXPECT_EQ(cache.getImage(paths.last(), 200).size(), QSize(200, 150));
    writeImage("image7.png", Qt::green, QSize(400, 300));
    EXPECT_EQ(cache.getImage(paths.last(), 40).size(), QSize(200, 150));
    EXPECT_EQ(colourOf(cache.getImage(paths.last(), 40)), QColor(Qt::blue));
    // A file smaller than the side asked for is not decoded again for it.
    const QString tiny = writeImage("tiny.png", Qt::red, QSize(20, 10));
    EXPECT_EQ(cache.getImage(tiny, 200).size(), QSize(20, 10));
    EXPECT_FALSE(cache.cachedImage(tiny, 200).isNull());

    // No more than the cache was made for, however large the views.
    cache.setShownSide("preview", 100000);
    EXPECT_EQ(
        cache.maxBytes(), (qsizetype(512) * 512 * 4 * TAVImageCacheManager::kPicturesPerView + small) / 1024 * 1024);
}

namespace {

QImage filled(QSize size, QColor colour)
{
    QImage image(size, QImage::Format_RGB32);
    image.fill(colour);
    return image;
}

} // namespace

// A photo shown small is its own picture decoded small, never the preview a
// camera stored beside it: an edit of the picture leaves that preview as it
// was shot.
TEST_F(TAVImageCacheManagerTest, LargeJpegsShownSmallShowTheirOwnPictureNotTheStoredPreview)
{
    const QString edited = tempPath("edited.jpg");
    ASSERT_TRUE(FileServices::writeFileAtomically(edited,
        ImageFixtures::jpegWithStoredPreview(filled(QSize(2400, 1600), Qt::red), filled(QSize(600, 400), Qt::green))));
    for (const int side : {200, 800}) {
        const QImage shown = TAVImageCacheManager::decodeScaled(edited, side);
        EXPECT_EQ(shown.size(), QSize(side, side * 2 / 3)) << side;
        EXPECT_TRUE(isReddish(colourOf(shown))) << side << ": the picture, not the stored preview";
    }

    // Turned as the photo's orientation says, after our own metadata write.
    QImage halves = filled(QSize(2400, 1600), Qt::blue);
    QPainter(&halves).fillRect(QRect(0, 0, 1200, 1600), Qt::red);
    const QString portrait = tempPath("portrait.jpg");
    ASSERT_TRUE(FileServices::writeFileAtomically(
        portrait, ImageFixtures::jpegWithStoredPreview(halves, filled(QSize(600, 400), Qt::green))));
    ASSERT_TRUE(ImageFixtures::writeTags(portrait, {{"Exif.Image.Orientation", "6", {}}}));
    const QImage upright = TAVImageCacheManager::decodeScaled(portrait, 200);
    ASSERT_EQ(upright.size(), QSize(133, 200));
    EXPECT_TRUE(isReddish(upright.pixelColor(66, 10)));
    EXPECT_FALSE(isReddish(upright.pixelColor(66, 190)));
    EXPECT_LT(upright.pixelColor(66, 190).green(), 60) << "not the green preview";

    // A camera's own: exactly its main picture decoded small.
    const QString camera = ImageFixtures::copySample("npm-sony-a6000.jpg", tempFolder(), "DSC.jpg");
    QImageReader full(camera);
    full.setScaledSize(QSize(240, 160));
    EXPECT_EQ(TAVImageCacheManager::decodeScaled(camera, 240), full.read());
}
