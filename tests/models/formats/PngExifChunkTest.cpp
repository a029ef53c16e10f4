#include "models/formats/PngExifChunk.h"

#include "foundation/FileServices.h"
#include "models/write/WrittenFileProbe.h"
#include "support/ExifTool.h"
#include "support/ImageFixtures.h"
#include "support/QtPrinters.h"
#include "support/TempFolder.h"

#include <QFile>
#include <QImage>
#include <QJsonObject>
#include <QtEndian>

#include <zlib.h>

#include <map>

namespace {

// Every chunk of a PNG, whole (length, type, data, checksum), in file order.
QList<QByteArray> chunks(const QByteArray& png)
{
    QList<QByteArray> result;
    for (qsizetype at = 8; at + 12 <= png.size(); at += result.back().size()) {
        result << png.mid(at, 12 + qFromBigEndian<quint32>(png.constData() + at));
    }
    return result;
}

QByteArray body(const QByteArray& chunk)
{
    return chunk.mid(8, chunk.size() - 12);
}

qsizetype indexOfType(const QList<QByteArray>& list, const char* type)
{
    const auto found = std::find_if(list.begin(), list.end(), [&](const QByteArray& c) { return c.mid(4, 4) == type; });
    return found == list.end() ? -1 : found - list.begin();
}

QByteArray makeChunk(const QByteArray& type, const QByteArray& data)
{
    QByteArray chunk = QByteArray(4, '\0') + type + data + QByteArray(4, '\0');
    qToBigEndian<quint32>(quint32(data.size()), chunk.data());
    const uLong crc = crc32(0, reinterpret_cast<const Bytef*>(chunk.constData() + 4), uInt(data.size() + 4));
    qToBigEndian<quint32>(quint32(crc), chunk.data() + chunk.size() - 4);
    return chunk;
}

std::map<std::string, std::string> exivTags(const QString& path)
{
    std::map<std::string, std::string> tags;
    const auto image = WrittenFileProbe::open(path);
    for (const auto& datum : image->exifData()) {
        tags[datum.key()] = datum.toString();
    }
    return tags;
}

// A save through the metadata library. The samples hold an IFD0 entry of no
// valid type, which the library keeps and sorts first, and exiftool then drops
// the whole IFD0. That is no matter of the chunk, so the save leaves it out.
void saveWithArtist(const QString& path, const char* artist)
{
    const auto image = WrittenFileProbe::open(path);
    Exiv2::ExifData& exif = image->exifData();
    for (auto datum = exif.begin(); datum != exif.end();) {
        datum = Exiv2::TypeInfo::typeName(datum->typeId()) ? std::next(datum) : exif.erase(datum);
    }
    exif["Exif.Image.Artist"] = artist;
    image->writeMetadata();
}

class PngExifChunkTest : public TempFolderTest { };

TEST_F(PngExifChunkTest, CameraPngsSavedThroughExivKeepTheirExifForOtherReaders)
{
    for (const auto& [name, group] : {std::pair{"png-nikon-d3.png", "Nikon:"}, {"png-sony-gps.png", "Sony:"}}) {
        SCOPED_TRACE(name);
        const QString makerGroup = QString::fromLatin1(group);
        const QString path = ImageFixtures::copySample(QString::fromLatin1(name), tempFolder());
        const QImage pixels(path);
        saveWithArtist(path, "Ann");
        QList<QByteArray> others = chunks(WrittenFileProbe::bytes(path));
        const auto exivBefore = exivTags(path);

        QString error;
        ASSERT_TRUE(PngExifChunk::restoreExifChunk(path, &error)) << qPrintable(error);
        QList<QByteArray> mended = chunks(WrittenFileProbe::bytes(path));
        const qsizetype exif = indexOfType(mended, "eXIf");
        ASSERT_GE(exif, 0);
        EXPECT_LT(exif, indexOfType(mended, "IDAT"));
        others.removeIf([](const QByteArray& chunk) { return body(chunk).startsWith("Raw profile type exif"); });
        mended.removeAt(exif);
        EXPECT_EQ(mended, others); // also: no second eXIf, no raw profile left
        EXPECT_EQ(exivTags(path), exivBefore);
        EXPECT_EQ(QImage(path), pixels);

        const QJsonObject tags = ExifTool::read(path);
        EXPECT_EQ(tags.value("IFD0:Artist").toString(), "Ann");
        EXPECT_FALSE(tags.value("IFD0:Make").toString().isEmpty());
        EXPECT_TRUE(tags.contains("ExifIFD:ExposureTime"));
        const QStringList keys = tags.keys();
        EXPECT_TRUE(
            std::any_of(keys.begin(), keys.end(), [&](const QString& key) { return key.startsWith(makerGroup); }));

        // The next save starts from the eXIf chunk, so nothing is lost on the way.
        saveWithArtist(path, "Bob");
        ASSERT_TRUE(PngExifChunk::restoreExifChunk(path, &error)) << qPrintable(error);
        const QJsonObject again = ExifTool::read(path);
        EXPECT_EQ(again.value("IFD0:Artist").toString(), "Bob");
        EXPECT_EQ(again.value("IFD0:Make"), tags.value("IFD0:Make"));
    }
}

TEST_F(PngExifChunkTest, FilesWithoutARawProfileAreLeftAsTheyAre)
{
    const QString plain = tempPath("plain.png");
    const QString withXmp = tempPath("xmp.png");
    const QString jpeg = tempPath("photo.jpg");
    ASSERT_TRUE(ImageFixtures::makeImage(plain));
    ASSERT_TRUE(ImageFixtures::makeImageWithTags(withXmp, {{"Xmp.dc.title", "Quay", {}}}));
    ASSERT_TRUE(ImageFixtures::makeImageWithTags(jpeg, {{"Exif.Image.Artist", "Ann", {}}}));
    for (const QString& path : {plain, withXmp, jpeg}) {
        const QByteArray before = WrittenFileProbe::bytes(path);
        QString error;
        EXPECT_TRUE(PngExifChunk::restoreExifChunk(path, &error)) << qPrintable(path + error);
        EXPECT_EQ(WrittenFileProbe::bytes(path), before) << qPrintable(path);
    }
    EXPECT_FALSE(PngExifChunk::restoreExifChunk(tempPath("missing.png")));
}

TEST_F(PngExifChunkTest, ADamagedProfileFailsAndLeavesTheFileUntouched)
{
    // The camera's EXIF block as a profile chunk after the image data, next
    // to the stale eXIf chunk.
    const QByteArray sample = WrittenFileProbe::bytes(ImageFixtures::sample("png-nikon-d3.png"));
    const QList<QByteArray> list = chunks(sample);
    const qsizetype oldExif = indexOfType(list, "eXIf");
    const QByteArray exif = "Exif" + QByteArray(2, '\0') + body(list[oldExif]);
    const auto fileWith = [&](const QByteArray& profile) {
        QList<QByteArray> withProfile = list;
        withProfile.insert(oldExif, profile);
        return sample.left(8) + withProfile.join();
    };
    const auto zTXt = [](const QByteArray& text, qsizetype dropped = 0) {
        const QByteArray deflated = qCompress(text).mid(4); // past Qt's length prefix
        return makeChunk("zTXt", QByteArray("Raw profile type exif\0\0", 23) + deflated.chopped(dropped));
    };
    const QByteArray header = "\nexif\n" + QByteArray::number(exif.size()).rightJustified(8, ' ') + '\n';
    const QByteArray hex = exif.toHex().toUpper();

    QByteArray badCrc = zTXt(header + hex);
    badCrc.back() = char(badCrc.back() ^ 1);
    const QString path = tempPath("image.png");
    for (const QByteArray& profile :
        {badCrc, zTXt(header + hex, 9), zTXt(header + hex.chopped(2) + "G0"), zTXt(header + hex + "00")}) {
        ASSERT_TRUE(FileServices::writeFileAtomically(path, fileWith(profile)));
        QString error;
        EXPECT_FALSE(PngExifChunk::restoreExifChunk(path, &error));
        EXPECT_FALSE(error.isEmpty());
        EXPECT_EQ(WrittenFileProbe::bytes(path), fileWith(profile));
    }

    ASSERT_TRUE(FileServices::writeFileAtomically(path, fileWith(zTXt(header + hex))));
    ASSERT_TRUE(PngExifChunk::restoreExifChunk(path));
    const QList<QByteArray> mended = chunks(WrittenFileProbe::bytes(path));
    EXPECT_EQ(mended.count(makeChunk("eXIf", body(list[oldExif]))), 1);
    EXPECT_LT(indexOfType(mended, "eXIf"), indexOfType(mended, "IDAT"));
}

} // namespace
