#include "models/read/TAVExifReader.h"
#include "models/read/TAVIPTCReader.h"
#include "models/read/TAVXmpReader.h"

#include "support/ImageFixtures.h"
#include "support/QtPrinters.h"
#include "support/TempFolder.h"

#include <QFile>
#include <QFileInfo>
#include <QLocale>

#include <exiv2/exiv2.hpp>

#include <set>

namespace {

TAVEntityPtr rowWithKey(const QList<TAVEntityPtr>& rows, const QString& key)
{
    for (const TAVEntityPtr& row : rows) {
        if (row->key() == key) {
            return row;
        }
    }
    return nullptr;
}

class TAVExifReaderTest : public TempFolderTest { };

TEST_F(TAVExifReaderTest, AFileWithExifOnlyGivesExifRowsAndBareGroupsForTheOthers)
{
    const QString path = tempPath("exif-only.jpg");
    ASSERT_TRUE(
        ImageFixtures::makeImageWithTags(path, {{"Exif.Image.Make", "Acme", {}}, {"Exif.Photo.FNumber", "28/10", {}}}));

    testing::internal::CaptureStdout();
    const auto exifRows = TAVExifReader(path).doReadImageMeatadata();
    const auto iptcRows = TAVIPTCReader(path).doReadImageMeatadata();
    const auto xmpRows = TAVXmpReader(path).doReadImageMeatadata();
    const std::string printed = testing::internal::GetCapturedStdout();

    ASSERT_TRUE(exifRows && iptcRows && xmpRows);
    ASSERT_GE(exifRows->size(), 3);
    EXPECT_TRUE(exifRows->first()->isGroup());
    EXPECT_EQ(exifRows->first()->key(), "EXIF");
    const TAVEntityPtr fNumber = rowWithKey(*exifRows, "Exif.Photo.FNumber");
    ASSERT_TRUE(fNumber);
    EXPECT_EQ(fNumber->value(), "28/10"); // the raw text, not "F2.8"
    EXPECT_EQ(fNumber->type(), 1);
    EXPECT_EQ(fNumber->dataType(), int32_t(Exiv2::unsignedRational));

    ASSERT_EQ(iptcRows->size(), 1);
    EXPECT_EQ(iptcRows->first()->key(), "IPTC");
    ASSERT_EQ(xmpRows->size(), 1);
    EXPECT_EQ(xmpRows->first()->key(), "XMP");
    // Photos without IPTC or XMP are common: an absent block is no error.
    EXPECT_EQ(printed, "");
}

// Sets raw EXIF bytes the fixture helper cannot express (it writes UTF-8 only).
void writeRawAscii(const QString& path, const char* key, const std::string& bytes)
{
    auto image = Exiv2::ImageFactory::open(QFile::encodeName(path).toStdString());
    image->readMetadata();
    image->exifData()[key] = bytes;
    image->writeMetadata();
}

TEST_F(TAVExifReaderTest, RowsHoldTextAndSkipValuesWithoutTextOrNotInUtf8)
{
    const QString path = tempPath("odd-values.jpg");
    // "Hé" and "Ann" in UCS-2 little endian with the terminating zero, as Windows writes them.
    ASSERT_TRUE(ImageFixtures::makeImageWithTags(
        path, {{"Exif.Image.XPTitle", "72 0 233 0 0 0", {}}, {"Exif.Image.XPAuthor", "65 0 110 0 110 0 0 0", {}}}));
    writeRawAscii(path, "Exif.Image.Software", "");
    writeRawAscii(path, "Exif.Image.Artist", "Caf\xe9 M\xfcller"); // Latin-1 bytes
    writeRawAscii(path, "Exif.Image.Copyright", "Caf\xc3\xa9"); // the same word in UTF-8

    TAVExifReader reader(path);
    const Exiv2::ExifData data = reader.getExifData();
    ASSERT_NE(data.findKey(Exiv2::ExifKey("Exif.Image.Software")), data.end());
    ASSERT_NE(data.findKey(Exiv2::ExifKey("Exif.Image.Artist")), data.end());
    const auto rows = reader.doReadImageMeatadata();
    ASSERT_TRUE(rows);
    for (qsizetype i = 1; i < rows->size(); ++i) {
        EXPECT_FALSE(rows->at(i)->value().isEmpty()) << rows->at(i)->key().toStdString();
    }
    // nullptr: no row at all.
    for (const auto& [key, text] : std::vector<std::pair<const char*, const char*>>{{"Exif.Image.Software", nullptr},
             {"Exif.Image.Artist", nullptr}, {"Exif.Image.Copyright", "Café"}, {"Exif.Image.XPTitle", "Hé"},
             {"Exif.Image.XPAuthor", "Ann"}}) {
        const TAVEntityPtr row = rowWithKey(*rows, QString::fromLatin1(key));
        EXPECT_EQ(row != nullptr, text != nullptr) << key;
        EXPECT_EQ(row ? row->value() : QString(), QString::fromUtf8(text)) << key;
    }
}

TEST_F(TAVExifReaderTest, RowKeysAndTextsOfCameraFilesAreTheLibrarysOwn)
{
    // Numbers, fractions, byte lists (maker notes), texts with and without
    // a NUL, and the Windows text tags of real camera and phone files; keys
    // of maker-note directories and of tags the library has no name for.
    std::set<Exiv2::TypeId> types;
    for (const char* name : {"npm-canon-s40.jpg", "npm-iphone6p.jpg", "npm-lumia.jpg", "png-nikon-d3.png",
             "png-sony-gps.png", "goexif.tif", "npm-arbitro.tiff", "1x1_exif_xmp.jpg"}) {
        auto image = Exiv2::ImageFactory::open(QFile::encodeName(ImageFixtures::sample(name)).toStdString());
        image->readMetadata();
        const Exiv2::ExifData& data = image->exifData();
        for (const Exiv2::Exifdatum& datum : data) {
            types.insert(datum.typeId());
            EXPECT_EQ(TAVImageMetadatReaderBase::keyText(datum), QString::fromStdString(datum.key()));
            EXPECT_EQ(TAVExifReader::rowText(datum, data),
                TAVImageMetadatReaderBase::decodeUtf8(TAVExifReader::valueText(datum, data)))
                << name << " " << datum.key();
        }
    }
    // Every tag of the image directory named "XP..." lies in the numbers
    // the reader asks about first.
    for (const Exiv2::TagInfo* tag = Exiv2::ExifTags::tagList("Image"); tag->tag_ != 0xffff; ++tag) {
        if (std::string(tag->name_).rfind("XP", 0) == 0) {
            EXPECT_TRUE(TAVExifReader::hasWindowsTextNumber(tag->tag_)) << tag->name_;
        }
    }
    for (const Exiv2::TypeId type : {Exiv2::undefined, Exiv2::unsignedByte, Exiv2::asciiString, Exiv2::unsignedShort,
             Exiv2::signedShort, Exiv2::unsignedLong, Exiv2::unsignedRational, Exiv2::signedRational}) {
        EXPECT_TRUE(types.count(type)) << "no sample value of type " << type;
    }
}

TEST_F(TAVExifReaderTest, RowsOfLargeMakerNotesHoldTheLibrarysTextsWhileKeepingTheirBytes)
{
    // The Sony file's maker note holds binary blocks of many kilobytes; the
    // rows keep them as bytes yet read as the library's own texts. A maker
    // note the library took apart is kept as its members only, not whole
    // beside them as well.
    for (const char* name : {"npm-sony-a6000.jpg", "png-nikon-d3.png", "npm-canon-s40.jpg"}) {
        const QString path = ImageFixtures::sample(name);
        const auto rows = TAVExifReader(path).doReadImageMeatadata();
        ASSERT_TRUE(rows) << name;
        auto image = Exiv2::ImageFactory::open(QFile::encodeName(path).toStdString());
        image->readMetadata();
        const Exiv2::ExifData& data = image->exifData();
        int longByteRows = 0;
        // Rows follow the library's order (a key can stand more than once),
        // after the family's group row.
        qsizetype next = 1;
        for (const Exiv2::Exifdatum& datum : data) {
            const QString text = TAVImageMetadatReaderBase::decodeUtf8(TAVExifReader::valueText(datum, data));
            if (text.isEmpty() || datum.key() == "Exif.Photo.MakerNote") {
                continue;
            }
            ASSERT_LT(next, rows->size()) << name << " " << datum.key();
            const TAVEntityPtr row = rows->at(next++);
            ASSERT_EQ(row->key(), QString::fromStdString(datum.key())) << name;
            EXPECT_EQ(row->value(), text) << name << " " << datum.key();
            EXPECT_EQ(row->copy()->value(), text) << name << " " << datum.key();
            if (datum.typeId() == Exiv2::undefined && datum.size() >= 1024) {
                ++longByteRows;
            }
        }
        if (QByteArray(name).startsWith("npm-sony")) {
            EXPECT_GE(longByteRows, 3);
        }
        EXPECT_EQ(next, rows->size()) << name << ": the whole maker note kept beside its members";
    }
}

namespace {

// Every datum as "key=text", the pixel size and the library's complaint, if
// any, from parsing the bytes.
QStringList parsed(const QByteArray& bytes)
{
    QStringList texts;
    try {
        auto image = Exiv2::ImageFactory::open(reinterpret_cast<const Exiv2::byte*>(bytes.constData()), bytes.size());
        image->readMetadata();
        texts << QStringLiteral("%1 x %2").arg(image->pixelWidth()).arg(image->pixelHeight());
        for (const Exiv2::Exifdatum& datum : image->exifData()) {
            texts << QString::fromStdString(datum.key() + "=" + datum.toString());
        }
        for (const Exiv2::Iptcdatum& datum : image->iptcData()) {
            texts << QString::fromStdString(datum.key() + "=" + datum.toString());
        }
        for (const Exiv2::Xmpdatum& datum : image->xmpData()) {
            texts << QString::fromStdString(datum.key() + "=" + datum.toString());
        }
    } catch (const Exiv2::AnyError& error) {
        texts << QString::fromUtf8(error.what());
    }
    return texts;
}

} // namespace

TEST_F(TAVExifReaderTest, AJpegIsReadUpToItsPictureAndParsesAsTheWholeFile)
{
    // Photos, a tiny file, files with broken or looping directories, a PNG
    // and a TIFF (read whole), and a JPEG with bytes between its segments.
    QFile::copy(ImageFixtures::sample("npm-canon-s40.jpg"), tempPath("gaps.jpg"));
    QFile gaps(tempPath("gaps.jpg"));
    ASSERT_TRUE(gaps.open(QIODevice::ReadWrite));
    QByteArray bytes = gaps.readAll();
    bytes.insert(2, QByteArray("\x00\x12junk", 6));
    gaps.resize(0);
    gaps.write(bytes);
    gaps.close();
    for (const QString& path : {ImageFixtures::sample("npm-canon-s40.jpg"), ImageFixtures::sample("npm-iphone6p.jpg"),
             ImageFixtures::sample("npm-lumia.jpg"), ImageFixtures::sample("npm-evil1.jpg"),
             ImageFixtures::sample("1x1_exif_xmp.jpg"), ImageFixtures::sample("huge_tag_exif.jpg"),
             ImageFixtures::sample("infinite_loop_exif.jpg"), ImageFixtures::sample("png-nikon-d3.png"),
             ImageFixtures::sample("goexif.tif"), tempPath("gaps.jpg")}) {
        SCOPED_TRACE(path.toStdString());
        QFile file(path);
        ASSERT_TRUE(file.open(QIODevice::ReadOnly));
        const QByteArray whole = file.readAll();
        file.seek(0);
        const QByteArray read = TAVImageMetadatReaderBase::readParsedBytes(file);
        EXPECT_TRUE(whole.startsWith(read));
        EXPECT_EQ(parsed(read), parsed(whole));
        if (path.endsWith("6p.jpg") || path.endsWith("lumia.jpg") || path.endsWith("gaps.jpg")) {
            EXPECT_LT(read.size(), whole.size() / 4);
        }
        if (!path.endsWith(".jpg")) {
            EXPECT_EQ(read.size(), whole.size());
        }
    }
}

TEST_F(TAVExifReaderTest, AMissingFileGivesNoRowsAndNoSize)
{
    const QString path = tempPath("gone.jpg");
    testing::internal::CaptureStdout();
    TAVExifReader exif(path);
    // "-" would be standard input and "http://..." a download to the library;
    // for the readers they are local files, which do not exist.
    TAVExifReader dash("-");
    TAVExifReader url("http://127.0.0.1:9/x.jpg");
    EXPECT_FALSE(exif.doReadImageMeatadata());
    EXPECT_FALSE(TAVIPTCReader(path).doReadImageMeatadata());
    EXPECT_FALSE(TAVXmpReader(path).doReadImageMeatadata());
    EXPECT_NE(testing::internal::GetCapturedStdout().find("Caught Exiv2 exception '"), std::string::npos);

    EXPECT_TRUE(exif.getImageSize().isNull());
    EXPECT_EQ(exif.getImageSizeByte(), 0.0f);
    EXPECT_TRUE(exif.getExifData().empty());
    EXPECT_FALSE(dash.hasImage());
    EXPECT_FALSE(url.hasImage());
}

TEST_F(TAVExifReaderTest, ImageSizeShowsPixelsWithGroupedDigitsAndDecimalMegabytes)
{
    const QString path = tempPath("big.jpg");
    ASSERT_TRUE(ImageFixtures::makeImage(path, QSize(1200, 1001)));
    const qint64 bytes = QFileInfo(path).size();

    const QLocale previous;
    QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedStates));
    TAVExifReader reader(path);
    EXPECT_TRUE(reader.getImageSize().isNull()); // no size is known before a read
    reader.doReadImageMeatadata();
    const QString text = reader.getImageSize();
    QLocale::setDefault(previous);

    EXPECT_EQ(text, QStringLiteral("1,200 x 1,001 (%1 MB)").arg(QString::asprintf("%.1f", double(bytes) / 1e6)));
    EXPECT_EQ(reader.getImageSizeByte(), float(bytes));
}

TEST_F(TAVExifReaderTest, MalformedFilesReadWithoutEndingTheProcess)
{
    for (const char* name : {"huge_tag_exif.jpg", "infinite_loop_exif.jpg", "npm-evil1.jpg"}) {
        SCOPED_TRACE(name);
        const QString path = ImageFixtures::copySample(QString::fromLatin1(name), tempFolder());
        ASSERT_FALSE(path.isEmpty());
        testing::internal::CaptureStdout();
        TAVExifReader exif(path);
        const auto rows = exif.doReadImageMeatadata();
        exif.getExifData();
        TAVIPTCReader(path).doReadImageMeatadata();
        TAVXmpReader(path).doReadImageMeatadata();
        testing::internal::GetCapturedStdout();
        if (rows) {
            ASSERT_FALSE(rows->isEmpty());
            EXPECT_TRUE(rows->first()->isGroup());
        }
    }
}

} // namespace

TEST_F(TAVExifReaderTest, EqualShortValuesOfManyPhotosShareOneText)
{
    // A thousand photos of one shoot hold the same few hundred short values;
    // each must not cost a text of its own.
    const QString path = ImageFixtures::sample("npm-canon-s40.jpg");
    const auto first = TAVExifReader(path).doReadImageMeatadata();
    const auto second = TAVExifReader(path).doReadImageMeatadata();
    ASSERT_TRUE(first && second);
    ASSERT_EQ(first->size(), second->size());
    int shared = 0;
    for (qsizetype i = 1; i < first->size(); ++i) {
        const QString a = first->at(i)->value();
        const QString b = second->at(i)->value();
        ASSERT_EQ(a, b);
        if (a.size() <= 24 && !a.isEmpty()) {
            EXPECT_TRUE(a.isSharedWith(b)) << qPrintable(first->at(i)->key()) << " " << qPrintable(a);
            ++shared;
        }
    }
    EXPECT_GT(shared, 20);
    // An edit of one photo's value leaves the other's alone.
    first->at(1)->setValue(QStringLiteral("edited"));
    EXPECT_NE(second->at(1)->value(), QStringLiteral("edited"));
}
