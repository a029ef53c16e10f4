// Saves of real camera files whose IPTC block the metadata library cannot
// read whole, damaged by the test: a save that does not reach IPTC keeps the
// block byte for byte, one that does (an IPTC edit, or an edit whose twin is
// an IPTC dataset) is refused with the user's file untouched, and a block the
// library cannot write at all is named as the reason. exiftool reads back
// what was saved.

#include "models/write/DamagedSamples.h"

#include "models/write/UnreadableBlocks.h"

using namespace DamagedSamples;

namespace {

const QByteArray kIptcResource("8BIM\x04\x04", 6);

// The marker of the IPTC dataset `record`:`dataset` in the file's first IPTC
// resource, or -1.
qsizetype datasetMarker(const QByteArray& jpeg, char record, char dataset)
{
    for (const qsizetype field : iptcLengthFields(jpeg)) {
        if (jpeg[field - 2] == record && jpeg[field - 1] == dataset)
            return field - 3;
    }
    return -1;
}

class DamagedIptcSaveTest : public DamagedFilesSaveTest { };

} // namespace

// One dataset's 0x1C marker changed: the library skips that dataset and would
// write the block without it (exiftool stops reading there). An EXIF edit
// keeps the block byte for byte, so that mending the marker brings back every
// dataset; an IPTC edit is refused.
TEST_F(DamagedIptcSaveTest, AnIptcDatasetWithADamagedMarkerIsKeptOrTheSaveRefused)
{
    for (const auto& [sample, dataset] :
        {std::pair{"gowebp-pentax.jpg", char(80)}, {"npm-nikon-d90-photometric.jpg", char(120)}}) {
        SCOPED_TRACE(sample);
        const QJsonObject undamaged = tagsOf(ImageFixtures::sample(sample), "IPTC:");
        const QString user = damagedSample(sample, [dataset = dataset](QByteArray& bytes) {
            const qsizetype marker = datasetMarker(bytes, 2, dataset);
            ASSERT_GT(marker, 0);
            bytes[marker] = 0x1D;
        });
        expectEditRefused(user, "Iptc.Application2.ObjectName", TAVExifData::CategorySummary, "IPTC block is damaged");

        const auto image = openWorkingCopy(user);
        image->exifData()->setValue("4.0", "Exif.Photo.FNumber", TAVExifData::CategoryExposure, false, false, true);
        ASSERT_TRUE(image->saveMetadataToImage()) << qPrintable(image->lastSaveFailure());
        QByteArray saved = WrittenFileProbe::bytes(user);
        const qsizetype damaged = saved.indexOf(QByteArray("\x1D\x02") + dataset, saved.indexOf(kIptcResource));
        ASSERT_GT(damaged, 0);
        saved[damaged] = 0x1C;
        ASSERT_TRUE(FileServices::writeFileAtomically(user, saved));
        const QJsonObject tags = ExifTool::read(user);
        EXPECT_EQ(tags.value("ExifIFD:FNumber").toDouble(), 4.0);
        EXPECT_EQ(tagsOf(user, "IPTC:"), undamaged);
        ASSERT_TRUE(QFile::remove(tempPath("work/") + sample));
        QFile::remove(user);
    }
}

// An IPTC resource declared 1000 bytes longer than it is: exiftool reads all
// of it, the library gives up on any write. The save says what is damaged.
TEST_F(DamagedIptcSaveTest, AnIptcResourceRunningPastItsSegmentIsNamedAsTheReason)
{
    const QString user = damagedSample("gowebp-pentax.jpg", [](QByteArray& bytes) {
        const qsizetype resource = bytes.indexOf(kIptcResource);
        ASSERT_GT(resource, 0);
        const qsizetype sizeAt = resource + 6 + ((uint8_t(bytes[resource + 6]) + 2) & ~1);
        qToBigEndian<quint32>(qFromBigEndian<quint32>(bytes.constData() + sizeAt) + 1000, bytes.data() + sizeAt);
    });
    ASSERT_GE(tagsOf(user, "IPTC:").size(), 9);
    expectEditRefused(user, "Exif.Photo.FNumber", TAVExifData::CategoryExposure, "the file's IPTC block is damaged");
}

// With an IPTC block the library cannot read, which an EXIF edit keeps as it
// was, an edit of the artist, description or copyright reaches IPTC through
// its twin (By-line, Caption-Abstract, CopyrightNotice): refused as an IPTC
// edit is, rather than saved with the IPTC twin left at its old text.
TEST_F(DamagedIptcSaveTest, AnEditWhoseTwinIsInADamagedIptcBlockIsRefused)
{
    const QString user = damagedSample("npm-nikon-d90-photometric.jpg", [](QByteArray& bytes) {
        const QList<qsizetype> fields = iptcLengthFields(bytes);
        ASSERT_GE(fields.size(), 3);
        setBig16(bytes, fields.last(), 0x4000);
    });
    for (const char* key : {"Exif.Image.Artist", "Exif.Image.ImageDescription", "Exif.Image.Copyright"})
        expectEditRefused(user, key, TAVExifData::CategorySummary, "IPTC block is damaged");
}

namespace {

// `extra` put at the end of the file's first IPTC resource, its size, padding
// and segment grown to hold it.
void appendToIptcResource(QByteArray& jpeg, const QByteArray& extra)
{
    const qsizetype resource = jpeg.indexOf(kIptcResource);
    const qsizetype segment = segmentAt(jpeg, 0xED);
    ASSERT_GT(resource, segment);
    ASSERT_GT(segment, 0);
    const qsizetype sizeAt = resource + 6 + ((uint8_t(jpeg[resource + 6]) + 2) & ~1);
    const qsizetype size = qFromBigEndian<quint32>(jpeg.constData() + sizeAt);
    QByteArray data = jpeg.mid(sizeAt + 4, size) + extra;
    const qsizetype oldPadded = size + (size & 1);
    qToBigEndian<quint32>(quint32(data.size()), jpeg.data() + sizeAt);
    data.append(QByteArray(data.size() & 1, '\0'));
    jpeg.replace(sizeAt + 4, oldPadded, data);
    setBig16(
        jpeg, segment + 2, uint16_t(qFromBigEndian<quint16>(jpeg.constData() + segment + 2) + data.size() - oldPadded));
}

} // namespace

// Datasets the library reads and writes back without a word: the second of a
// dataset that may not repeat (exiftool shows the last Sub-location, the
// library keeps the first), and a few non-zero bytes after the last dataset
// (a cut-off dataset). An edit that does not reach IPTC keeps the block byte
// for byte; an IPTC edit is refused.
TEST_F(DamagedIptcSaveTest, IptcBytesTheLibraryWouldDropAreKeptOrTheSaveRefused)
{
    const std::pair<const char*, QByteArray> damages[] = {
        {"a second Sub-location", QByteArray("\x1C\x02\x5C\x00\x08Old Town\x1C\x02\x5C\x00\x0CHarbour Quay", 30)},
        {"a cut-off dataset after the last", QByteArray("\x1C\x02\x5C", 3)},
    };
    for (const auto& [what, extra] : damages) {
        SCOPED_TRACE(what);
        const QString user = damagedSample(
            "gowebp-pentax.jpg", [&extra = extra](QByteArray& bytes) { appendToIptcResource(bytes, extra); });
        const QJsonObject damaged = tagsOf(user, "IPTC:");
        expectEditRefused(user, "Iptc.Application2.ObjectName", TAVExifData::CategorySummary, "IPTC block is damaged");

        const QByteArray before = WrittenFileProbe::bytes(user);
        const auto image = openWorkingCopy(user);
        image->exifData()->setValue("4.0", "Exif.Photo.FNumber", TAVExifData::CategoryExposure, false, false, true);
        ASSERT_TRUE(image->saveMetadataToImage()) << qPrintable(image->lastSaveFailure());
        const QByteArray saved = WrittenFileProbe::bytes(user);
        EXPECT_EQ(UnreadableBlocks::photoshopBlock(saved), UnreadableBlocks::photoshopBlock(before));
        EXPECT_EQ(ExifTool::read(user).value("ExifIFD:FNumber").toDouble(), 4.0);
        EXPECT_EQ(tagsOf(user, "IPTC:"), damaged);
        ASSERT_TRUE(QFile::remove(tempPath("work/gowebp-pentax.jpg")));
        QFile::remove(user);
    }
}
