// The memory a save loop reads its files into: kept from one file to the next
// while the loop runs, each file read exactly (nothing of a larger file read
// before it), and never handed out while someone still reads it.

#include "models/formats/ExivMemoryFile.h"

#include "support/ImageFixtures.h"

#include <QFile>

#include <exiv2/exiv2.hpp>

#include <gtest/gtest.h>

namespace {

QByteArray fileBytes(const QString& path)
{
    QFile file(path);
    EXPECT_TRUE(file.open(QIODevice::ReadOnly));
    return file.readAll();
}

// Where the bytes of a file read and let go lay.
const char* memoryOf(const QString& path, QByteArray* bytes = nullptr)
{
    const ExivMemoryFile file(path);
    if (bytes)
        *bytes = file.originalBytes();
    return file.originalBytes().constData();
}

} // namespace

TEST(ExivMemoryFileTest, ALoopReadsEachFileWholeIntoTheMemoryOfTheLastOne)
{
    const QString large = ImageFixtures::sample("npm-sony-a6000.jpg");
    const QString small = ImageFixtures::sample("npm-canon-s40.jpg");
    ASSERT_GT(fileBytes(large).size(), 10 * fileBytes(small).size());

    ExivMemoryFile::beginLoop();
    const char* first = memoryOf(large);
    {
        const ExivMemoryFile file(small);
        EXPECT_EQ(file.originalBytes().constData(), first);
        EXPECT_EQ(file.originalBytes(), fileBytes(small));
    }
    // Memory someone still reads is not handed out again.
    QByteArray held;
    EXPECT_EQ(memoryOf(large, &held), first);
    const ExivMemoryFile next(small);
    EXPECT_NE(next.originalBytes().constData(), held.constData());
    EXPECT_EQ(held, fileBytes(large));
    EXPECT_EQ(next.originalBytes(), fileBytes(small));
    ExivMemoryFile::endLoop();
}

// A loop keeps the memory of one file per thread, not one of every size it
// read: memory too small for the next file is given back for new memory.
TEST(ExivMemoryFileTest, ALoopKeepsOneFilesMemory)
{
    const QString large = ImageFixtures::sample("npm-sony-a6000.jpg");
    const QString small = ImageFixtures::sample("npm-canon-s40.jpg");
    ExivMemoryFile::beginLoop();
    memoryOf(small);
    const char* grown = memoryOf(large);
    EXPECT_EQ(memoryOf(small), grown);
    ExivMemoryFile::endLoop();
}

// The library writes a TIFF's changed value that fits where the old one lay
// into the memory it read. The bytes read stay the file's, for the check of
// what was written to compare against: given them to write into, it changed
// them, and the check compared the written file with itself.
TEST(ExivMemoryFileTest, AWriteLeavesTheBytesReadAsTheFileHoldsThem)
{
    const QString tiff = ImageFixtures::sample("goexif.tif");
    const QByteArray held = fileBytes(tiff);
    ExivMemoryFile file(tiff);
    Exiv2::Image& image = file.image();
    image.readMetadata();
    Exiv2::ExifData& exif = image.exifData();
    const auto description = exif.findKey(Exiv2::ExifKey("Exif.Image.ImageDescription"));
    ASSERT_NE(description, exif.end());
    ASSERT_EQ(description->toString(), "converted PBM file");
    // The same length: written where the old text lies.
    description->setValue("converted PGM file");
    image.writeMetadata();
    EXPECT_EQ(file.originalBytes(), held);
    QString error;
    const std::optional<QByteArray> written = ExivMemoryFile::writtenBytes(image, &error);
    ASSERT_TRUE(written) << qPrintable(error);
    EXPECT_NE(*written, held);
    EXPECT_EQ(written->size(), held.size());
}
