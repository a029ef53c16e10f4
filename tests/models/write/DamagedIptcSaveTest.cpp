// Saves of real camera files whose IPTC block the metadata library cannot
// read whole, damaged by the test: a save that does not reach IPTC keeps the
// block byte for byte, one that does (an IPTC edit, or an edit whose twin is
// an IPTC dataset) is refused with the user's file untouched, and a block the
// library cannot write at all is named as the reason. A date or time the
// library reads as another day keeps its bytes through every save. exiftool
// reads back what was saved.

#include "models/write/DamagedSamples.h"

#include "models/write/UnreadableBlocks.h"

#include "models/tables/TAVKeyLists.h"

#include <exiv2/exiv2.hpp>

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

namespace {

// The record, number and stored bytes of every dataset of the file's first
// IPTC resource, in file order.
QList<std::tuple<char, char, QByteArray>> storedDatasets(const QString& path)
{
    const QByteArray bytes = WrittenFileProbe::bytes(path);
    QList<std::tuple<char, char, QByteArray>> datasets;
    for (const qsizetype field : iptcLengthFields(bytes))
        datasets.append({bytes[field - 2], bytes[field - 1],
            bytes.mid(field + 2, qFromBigEndian<quint16>(bytes.constData() + field))});
    return datasets;
}

} // namespace

// IPTC dates and times damaged so that the library reads them leniently as
// another day or time ("2017102" and a stray byte read as 2 October): an EXIF
// edit used to write "20171002" with success. Every save keeps their stored
// bytes, an IPTC edit of another field included, and the photo does not show
// the day the library made up.
TEST_F(DamagedIptcSaveTest, ADamagedIptcDateOrTimeKeepsItsBytesThroughEverySave)
{
    const std::pair<char, QByteArray> damages[] = {
        {char(55), QByteArray("2017102\xFF")}, // DateCreated
        {char(60), QByteArray("08385\xFF")}, // TimeCreated
        {char(62), QByteArray("2017102 ")}, // DigitalCreationDate
        {char(63), QByteArray("0838 2")}, // DigitalCreationTime
    };
    const QString user = damagedSample("gowebp-pentax.jpg", [&damages](QByteArray& bytes) {
        for (const auto& [dataset, value] : damages) {
            const qsizetype marker = datasetMarker(bytes, 2, dataset);
            ASSERT_GT(marker, 0);
            ASSERT_EQ(qFromBigEndian<quint16>(bytes.constData() + marker + 3), value.size());
            bytes.replace(marker + 5, value.size(), value);
        }
    });
    const auto damaged = storedDatasets(user);
    const QJsonObject damagedTags = tagsOf(user, "IPTC:");
    const QString work = tempPath("work/gowebp-pentax.jpg");
    {
        const auto image = openWorkingCopy(user);
        for (int32_t category = 0; category < 4; ++category) {
            EXPECT_FALSE(image->getValueForKey(QStringLiteral("Iptc.Application2.DateCreated"), category)
                             .contains(QLatin1String("10-02")));
            EXPECT_FALSE(image->getValueForKey(QStringLiteral("Iptc.Application2.TimeCreated"), category)
                             .contains(QLatin1String("38:05")));
        }
        image->exifData()->setValue("4.0", "Exif.Photo.FNumber", TAVExifData::CategoryExposure, false, false, true);
        ASSERT_TRUE(image->saveMetadataToImage()) << qPrintable(image->lastSaveFailure());
    }
    EXPECT_EQ(storedDatasets(user), damaged);
    EXPECT_EQ(tagsOf(user, "IPTC:"), damagedTags);
    EXPECT_EQ(ExifTool::read(user).value("ExifIFD:FNumber").toDouble(), 4.0);
    ASSERT_TRUE(QFile::remove(work));

    {
        const auto image = openWorkingCopy(user);
        edit(image, QStringLiteral("Iptc.Application2.ObjectName"), QStringLiteral("Harbour"));
        ASSERT_TRUE(image->saveMetadataToImage()) << qPrintable(image->lastSaveFailure());
    }
    auto titled = storedDatasets(user);
    EXPECT_EQ(titled.removeAll(std::tuple{char(2), char(5), QByteArray("Harbour")}), 1);
    EXPECT_EQ(titled, damaged);
    QJsonObject expected = damagedTags;
    expected.insert("IPTC:ObjectName", QStringLiteral("Harbour"));
    EXPECT_EQ(tagsOf(user, "IPTC:"), expected);
}

// A TIFF keeps its IPTC in a tag of its first directory, which every save
// writes anew: a damaged date there keeps its bytes as well.
TEST_F(DamagedIptcSaveTest, ADamagedIptcDateInATiffKeepsItsBytes)
{
    const QByteArray stored("\x1C\x02\x37\x00\x08"
                            "20171027",
        13);
    const QByteArray damaged("\x1C\x02\x37\x00\x08"
                             "2017102\xFF",
        13);
    const QString user = ImageFixtures::copySample("npm-arbitro.tiff", tempPath("user"));
    {
        auto image = Exiv2::ImageFactory::open(user.toStdString());
        image->readMetadata();
        image->iptcData()["Iptc.Application2.DateCreated"] = std::string("2017-10-27");
        image->iptcData()["Iptc.Application2.City"] = std::string("Oslo");
        image->writeMetadata();
    }
    QByteArray bytes = WrittenFileProbe::bytes(user);
    const qsizetype at = bytes.indexOf(stored);
    ASSERT_GT(at, 0);
    bytes.replace(at, damaged.size(), damaged);
    ASSERT_TRUE(FileServices::writeFileAtomically(user, bytes));

    const auto image = openWorkingCopy(user);
    image->exifData()->setValue("4.0", "Exif.Photo.FNumber", TAVExifData::CategoryExposure, false, false, true);
    ASSERT_TRUE(image->saveMetadataToImage()) << qPrintable(image->lastSaveFailure());
    const QByteArray saved = WrittenFileProbe::bytes(user);
    EXPECT_EQ(saved.count(damaged), 1);
    EXPECT_EQ(ExifTool::read(user).value("ExifIFD:FNumber").toDouble(), 4.0);
    EXPECT_EQ(ExifTool::read(user).value("IPTC:City").toString(), QStringLiteral("Oslo"));
}

namespace {

// The sample with the IPTC dataset 2:`dataset`'s stored bytes replaced by
// `damaged`, of the same size.
void damageDataset(QByteArray& bytes, char dataset, const QByteArray& damaged)
{
    const qsizetype marker = datasetMarker(bytes, 2, dataset);
    ASSERT_GT(marker, 0);
    ASSERT_EQ(qFromBigEndian<quint16>(bytes.constData() + marker + 3), damaged.size());
    bytes.replace(marker + 5, damaged.size(), damaged);
}

// The capture date and time typed, each where given, and saved.
void typeCaptureDate(const TAVImageObjectPtr& image, const QString& date, const QString& time)
{
    for (const auto& [key, value] :
        {std::pair{TAVKeyLists::createDateKey(), date}, {TAVKeyLists::createTimeKey(), time}}) {
        if (!value.isEmpty())
            image->exifData()->setValue(value, key, TAVKeyLists::categoryOfKey(key), false, false, true);
    }
    ASSERT_TRUE(image->saveMetadataToImage()) << qPrintable(image->lastSaveFailure());
}

} // namespace

// A capture date typed over a damaged IPTC digitisation date and time goes
// in the datasets' standard forms (CCYYMMDD, HHMMSS±HHMM): it went into the
// kept text, cut to the dataset's length ("2021-05-") or with colons
// ("07:08:09").
TEST_F(DamagedIptcSaveTest, ATypedDateOverADamagedIptcDateGoesInTheDatasetsForm)
{
    const auto damaged = [this] {
        return damagedSample("gowebp-pentax.jpg", [](QByteArray& bytes) {
            damageDataset(bytes, char(62), QByteArray("2017102 "));
            damageDataset(bytes, char(63), QByteArray("0838 2"));
        });
    };
    const QString user = damaged();
    typeCaptureDate(openWorkingCopy(user), QStringLiteral("2021-05-06"), QStringLiteral("07:08:09"));
    const auto stored = storedDatasets(user);
    EXPECT_TRUE(stored.contains(std::tuple{char(2), char(62), QByteArray("20210506")}));
    EXPECT_TRUE(stored.contains(std::tuple{char(2), char(63), QByteArray("070809+0000")}));
    const QJsonObject tags = tagsOf(user, "IPTC:");
    EXPECT_EQ(tags.value("IPTC:DigitalCreationDate").toString(), QStringLiteral("2021:05:06"));
    EXPECT_EQ(tags.value("IPTC:DigitalCreationTime").toString(), QStringLiteral("07:08:09+00:00"));

    // The time typed alone takes the same form.
    ASSERT_TRUE(QFile::remove(user));
    ASSERT_TRUE(QFile::remove(tempPath("work/gowebp-pentax.jpg")));
    typeCaptureDate(openWorkingCopy(damaged()), QString(), QStringLiteral("07:08:09"));
    EXPECT_TRUE(storedDatasets(user).contains(std::tuple{char(2), char(63), QByteArray("070809+0000")}));
}

// A supplemental category whose record byte is damaged reads as the
// envelope's file format, a number of two bytes, from its three: a date edit
// wrote it as two ("SP"). It keeps its bytes, and the date goes in.
TEST_F(DamagedIptcSaveTest, ADatasetWhoseSizeDoesNotFitItsDefinitionKeepsItsBytes)
{
    const QString user = ImageFixtures::copySample("gowebp-pentax.jpg", tempPath("user"));
    {
        auto image = Exiv2::ImageFactory::open(user.toStdString());
        image->readMetadata();
        image->iptcData()["Iptc.Application2.SuppCategory"] = std::string("SPO");
        image->writeMetadata();
    }
    QByteArray bytes = WrittenFileProbe::bytes(user);
    const qsizetype marker = datasetMarker(bytes, 2, char(20));
    ASSERT_GT(marker, 0);
    bytes[marker + 1] = 1;
    ASSERT_TRUE(FileServices::writeFileAtomically(user, bytes));
    const QByteArray damaged("\x1C\x01\x14\x00\x03SPO", 8);

    typeCaptureDate(openWorkingCopy(user), QStringLiteral("2021-05-06"), QStringLiteral("07:08:09"));
    EXPECT_EQ(WrittenFileProbe::bytes(user).count(damaged), 1);
    EXPECT_EQ(tagsOf(user, "IPTC:").value("IPTC:DigitalCreationDate").toString(), QStringLiteral("2021:05:06"));
}

// A photo whose XMP namespaces an earlier photo registered is read sharing
// the toolkit with other readers: a damaged date is shown as stored there as
// well, not as the day the library makes of it.
TEST_F(DamagedIptcSaveTest, ADamagedIptcDateIsShownAsStoredAfterAPhotoWithTheSameNamespaces)
{
    ASSERT_TRUE(QDir().mkpath(tempPath("first")));
    openWorkingCopy(ImageFixtures::copySample("gowebp-pentax.jpg", tempPath("first")));
    ASSERT_TRUE(QFile::remove(tempPath("work/gowebp-pentax.jpg")));
    const QString user = damagedSample(
        "gowebp-pentax.jpg", [](QByteArray& bytes) { damageDataset(bytes, char(55), QByteArray("2017102\xFF")); });

    const auto image = openWorkingCopy(user);
    QString shown;
    for (int32_t category = 0; category < 4 && shown.isEmpty(); ++category)
        shown = image->getValueForKey(QStringLiteral("Iptc.Application2.DateCreated"), category);
    EXPECT_TRUE(shown.startsWith(QLatin1String("2017102"))) << qPrintable(shown);
    EXPECT_FALSE(shown.contains(QLatin1String("10-02"))) << qPrintable(shown);
}
