// What imported photos keep on the heap, and what walks over them leave
// behind: a window holds thousands of records for as long as they are listed.
#include "models/image/TAVImageObject.h"

#include "models/image/ImageImportTest.h"
#include "support/FakeUiServices.h"

#include <gtest/gtest.h>

#include <malloc.h>

namespace {

// The bytes the program holds on the heap now; 0 where the allocator cannot
// tell (a sanitizer's own allocator).
size_t heapInUse()
{
    const struct mallinfo2 info = mallinfo2();
    return info.uordblks + info.hblkhd;
}

class TAVImageObjectMemoryTest : public ImageImportTest<FakeUiServices> {
protected:
    // Copies of the largest record among the samples (the Sony A6000's: some
    // 640 rows, its maker note taken apart).
    std::vector<TAVImageObjectPtr> importSonyCopies(int count)
    {
        std::vector<TAVImageObjectPtr> images;
        for (int i = 0; i < count; ++i) {
            images.push_back(openWorkingCopy(
                ImageFixtures::copySample("npm-sony-a6000.jpg", tempPath("user"), QStringLiteral("%1.jpg").arg(i))));
        }
        return images;
    }
};

} // namespace

// An export or a search reads every row of every photo; a window of 5,000
// photos must not keep what the walk made (copies of every photo's other
// tags doubled what a record holds), and a second walk reads the same.
TEST_F(TAVImageObjectMemoryTest, WalkingEveryPhotosRowsKeepsNothing)
{
    constexpr int kPhotos = 20;
    const std::vector<TAVImageObjectPtr> images = importSonyCopies(kPhotos);
    // What the walk read, as one number per photo: the texts themselves
    // are let go before the heap is measured.
    const auto walk = [&] {
        std::vector<size_t> read;
        for (const TAVImageObjectPtr& image : images) {
            QString text;
            for (const TAVEntityPtr& row : image->exifData()->maryOrgExifData())
                text += row->key() + QLatin1Char('=') + row->value() + QLatin1Char('\n');
            read.push_back(qHash(text));
        }
        return read;
    };
    std::vector<size_t> first;
    first.reserve(kPhotos);
    const size_t before = heapInUse();
    if (before == 0)
        GTEST_SKIP() << "the allocator does not tell what it holds";
    for (const size_t text : walk())
        first.push_back(text);
    const size_t after = heapInUse();
    EXPECT_EQ(walk(), first);
    // Each photo's rows hold some 150 KB of text; a photo's copies of its
    // other tags would be about as much again.
    EXPECT_LT(double(after) - double(before), kPhotos * 1024.0) << "bytes kept by the walk";
    // The other tags are still there to be edited.
    EXPECT_TRUE(images.front()->exifData()->setValue(
        "Boats", "Iptc.Application2.Headline", TAVExifData::CategoryOther, false, false, true));
    EXPECT_EQ(images.front()->exifData()->getValueForKey("Iptc.Application2.Headline", TAVExifData::CategoryOther),
        QString("Boats"));
    EXPECT_EQ(images.back()->exifData()->getValueForKey("Iptc.Application2.Headline", TAVExifData::CategoryOther),
        QString(""));
}

// A save reads the rows of what it wrote from the bytes in memory; once read,
// the bytes go: 5,000 saved photos kept 5.5 GB of files in memory.
TEST_F(TAVImageObjectMemoryTest, ASavedPhotoKeepsNoCopyOfItsFile)
{
    constexpr int kPhotos = 6;
    const std::vector<TAVImageObjectPtr> images = importSonyCopies(kPhotos);
    const TAVImageObject::ChangedFilesAlert loop(false);
    // The first save makes what every later one reuses (the loop's memory, the
    // library's tables).
    ASSERT_TRUE(images.front()->exifData()->setValue(
        "Harbour", "Iptc.Application2.ObjectName", TAVExifData::CategorySummary, false, false, true));
    ASSERT_TRUE(images.front()->saveMetadataToImage());
    const size_t before = heapInUse();
    if (before == 0)
        GTEST_SKIP() << "the allocator does not tell what it holds";
    for (int i = 1; i < kPhotos; ++i) {
        ASSERT_TRUE(images[size_t(i)]->exifData()->setValue(
            "Harbour", "Iptc.Application2.ObjectName", TAVExifData::CategorySummary, false, false, true));
        ASSERT_TRUE(images[size_t(i)]->saveMetadataToImage()) << images[size_t(i)]->lastSaveFailure().toStdString();
    }
    const double kept = (double(heapInUse()) - double(before)) / (kPhotos - 1);
    // The file is 6.6 MB; its record some 100 KB.
    EXPECT_LT(kept, 512.0 * 1024) << "bytes kept a saved photo";
    EXPECT_EQ(images.back()->exifData()->getValueForKey("Iptc.Application2.ObjectName", TAVExifData::CategorySummary),
        QString("Harbour"));
}
