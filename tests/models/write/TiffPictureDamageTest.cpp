// Saves of the shared TIFFs with the type or the count of an entry that
// places their picture (StripOffsets, StripByteCounts, TileOffsets,
// TileByteCounts) damaged by the test, one byte at a time: each save is
// refused with the file untouched, or saved with every byte of the picture
// still where exiftool finds it.

#include "models/write/DamagedSamples.h"
#include "models/write/TiffDocuments.h"
#include "models/write/TiffView.h"

#include <QImage>

#include <iostream>
#include <set>

using namespace DamagedSamples;
using TiffDocuments::writtenTiff;

namespace {

constexpr uint16_t kPictureTags[] = {0x0111, 0x0117, 0x0144, 0x0145};

// The bytes of every strip and tile of IFD0 as exiftool places them, joined;
// a marker when the offsets and lengths it reads do not pair up.
QByteArray pictureOf(const QString& path)
{
    // -b: a list of many strips is otherwise shown as "Binary data".
    const QJsonObject tags = ExifTool::read(
        path, {"-n", "-b", "-IFD0:StripOffsets", "-IFD0:StripByteCounts", "-IFD0:TileOffsets", "-IFD0:TileByteCounts"});
    const QByteArray bytes = WrittenFileProbe::bytes(path);
    QByteArray picture;
    for (const auto& [offsetsTag, lengthsTag] :
        {std::pair{"IFD0:StripOffsets", "IFD0:StripByteCounts"}, {"IFD0:TileOffsets", "IFD0:TileByteCounts"}}) {
        const auto numbers = [&tags](const char* tag) {
            return tags.value(tag).toVariant().toString().split(' ', Qt::SkipEmptyParts);
        };
        const QStringList offsets = numbers(offsetsTag);
        const QStringList lengths = numbers(lengthsTag);
        if (offsets.size() != lengths.size())
            return QByteArray("offsets and lengths do not pair up");
        for (qsizetype i = 0; i < offsets.size(); ++i)
            picture += bytes.mid(offsets.at(i).toLongLong(), lengths.at(i).toLongLong());
    }
    return picture;
}

// One byte of a sample changed.
struct ByteDamage {
    qsizetype at = 0;
    char value = 0;
};

// The damages of the sweep for the entry at `entry`: its type set to every
// number up to 19 and given a high byte, each byte of its count flipped in
// its lowest and highest bit, cleared and set to 0xFF.
std::vector<ByteDamage> damagesOf(const TiffView& tiff, qsizetype entry)
{
    std::vector<ByteDamage> damages;
    const auto add = [&](qsizetype at, uint8_t value) {
        if (uint8_t(tiff.bytes.at(at)) != value)
            damages.push_back(ByteDamage{at, char(value)});
    };
    const qsizetype typeLow = entry + (tiff.little ? 2 : 3);
    const qsizetype typeHigh = entry + (tiff.little ? 3 : 2);
    for (int type = 0; type <= 19; ++type)
        add(typeLow, uint8_t(type));
    add(typeHigh, 0x01);
    add(typeHigh, 0x80);
    for (qsizetype at = entry + 4; at < entry + 8; ++at) {
        const uint8_t held = uint8_t(tiff.bytes.at(at));
        const std::set<uint8_t> values = {uint8_t(held ^ 0x01), uint8_t(held ^ 0x80), 0x00, 0xFF};
        for (uint8_t value : values)
            add(at, value);
    }
    return damages;
}

// Where the `index`th number of IFD0's entry `tag` (SHORT or LONG) lies.
qsizetype numberAt(const TiffView& tiff, uint16_t tag, uint32_t index, int* width)
{
    const qsizetype entry = tiff.entry(tiff.ifd0(), tag);
    *width = tiff.read(entry + 2, 2) == 3 ? 2 : 4;
    const bool inEntry = tiff.read(entry + 4, 4) * uint32_t(*width) <= 4;
    return (inEntry ? entry + 8 : qsizetype(tiff.read(entry + 8, 4))) + qsizetype(index) * *width;
}

// The bytes with the `index`th strip length of IFD0 changed by `change`.
QByteArray withStripLength(const QByteArray& bytes, uint32_t index, int change)
{
    QByteArray changed = bytes;
    const TiffView tiff(bytes);
    int width = 0;
    const qsizetype at = numberAt(tiff, 0x0117, index, &width);
    changed.replace(at, width, tiff.number(tiff.read(at, width) + change, width));
    return changed;
}

// An RGB TIFF of one strip in one plane per sample (PlanarConfiguration 2):
// the strip's pixels are parted into a strip of reds, one of greens and one
// of blues, placed by offsets and lengths put after the picture.
QByteArray inPlanes(const QByteArray& chunky)
{
    QByteArray planar = chunky;
    const TiffView tiff(chunky);
    EXPECT_EQ(tiff.read(tiff.entry(tiff.ifd0(), 0x0115) + 8, 2), 3u);
    int width = 0;
    const qsizetype start = tiff.read(numberAt(tiff, 0x0111, 0, &width), width);
    const qsizetype length = tiff.read(numberAt(tiff, 0x0117, 0, &width), width);
    const qsizetype plane = length / 3;
    for (qsizetype i = 0; i < plane; ++i) {
        for (qsizetype sample = 0; sample < 3; ++sample)
            planar[start + sample * plane + i] = chunky[start + 3 * i + sample];
    }
    const qsizetype arrays = planar.size();
    for (uint32_t sample = 0; sample < 3; ++sample)
        planar += tiff.number(uint32_t(start + sample * plane), 4);
    for (uint32_t sample = 0; sample < 3; ++sample)
        planar += tiff.number(uint32_t(plane), 4);
    for (const auto& [tag, at] : {std::pair{uint16_t(0x0111), arrays}, {uint16_t(0x0117), arrays + 12}}) {
        const qsizetype entry = tiff.entry(tiff.ifd0(), tag);
        planar.replace(entry + 2, 10, tiff.number(4, 2) + tiff.number(3, 4) + tiff.number(uint32_t(at), 4));
    }
    planar.replace(tiff.entry(tiff.ifd0(), 0x011C) + 8, 2, tiff.number(2, 2));
    return planar;
}

// goexif.tif made a document of `pages` pages: its page repeated, each copy
// with a strip of its own, every directory chained to the next.
QByteArray withPages(const QByteArray& single, int pages)
{
    QByteArray document = single;
    const TiffView tiff(single);
    const qsizetype ifd0 = tiff.ifd0();
    const qsizetype size = 2 + 12 * qsizetype(tiff.read(ifd0, 2));
    const qsizetype stripEntry = tiff.entry(ifd0, 0x0111) - ifd0;
    const QByteArray strip
        = single.mid(tiff.read(ifd0 + stripEntry + 8, 4), tiff.read(tiff.entry(ifd0, 0x0117) + 8, 4));
    qsizetype nextPointer = ifd0 + size;
    for (int page = 1; page < pages; ++page) {
        const qsizetype stripAt = document.size();
        document += strip;
        document += QByteArray(document.size() % 2, '\0');
        QByteArray directory = single.mid(ifd0, size);
        directory.replace(stripEntry + 8, 4, tiff.number(uint32_t(stripAt), 4));
        document.replace(nextPointer, 4, tiff.number(uint32_t(document.size()), 4));
        nextPointer = document.size() + size;
        document += directory + tiff.number(0, 4);
    }
    return document;
}

// The strips of every page of a TIFF as exiftool places them.
QList<QByteArray> pagesOf(const QString& path)
{
    const QJsonObject tags = ExifTool::read(path, {"-n", "-a"});
    const QByteArray bytes = WrittenFileProbe::bytes(path);
    QList<QByteArray> pages;
    for (int page = 0; tags.contains(QStringLiteral("IFD%1:StripOffsets").arg(page)); ++page) {
        const QString group = QStringLiteral("IFD%1:").arg(page);
        pages << bytes.mid(
            tags.value(group + "StripOffsets").toInteger(), tags.value(group + "StripByteCounts").toInteger());
    }
    return pages;
}

class TiffPictureDamageTest : public DamagedFilesSaveTest {
protected:
    // The damaged bytes saved as the user's file with one edit: true when
    // saved, false when refused (then with the file untouched).
    bool saveEdited(const QByteArray& damaged, bool title, QString* why)
    {
        const QString user = tempPath("user/damaged.tif");
        EXPECT_TRUE(FileServices::writeFileAtomically(user, damaged));
        const auto image = openWorkingCopy(user);
        if (title)
            image->exifData()->setValue(
                "Harbour", "Iptc.Application2.ObjectName", TAVExifData::CategorySummary, false, false, true);
        else
            image->exifData()->setValue("4.0", "Exif.Photo.FNumber", TAVExifData::CategoryExposure, false, false, true);
        const bool saved = image->saveMetadataToImage();
        *why = image->lastSaveFailure();
        if (!saved) {
            EXPECT_EQ(WrittenFileProbe::bytes(user), damaged);
        }
        QFile::remove(image->path());
        return saved;
    }
};

} // namespace

// The library reads a LONG byte count typed BYTE as its lowest byte, and
// kept 482 of goexif.tif's 18,382 bytes: the save is refused, naming the
// entry.
TEST_F(TiffPictureDamageTest, AByteCountOfAnotherTypeRefusesTheSave)
{
    const QString sample = ImageFixtures::sample("goexif.tif");
    QByteArray damaged = WrittenFileProbe::bytes(sample);
    const TiffView tiff(damaged);
    damaged.replace(tiff.entry(tiff.ifd0(), 0x0117) + 2, 2, tiff.number(1, 2));
    for (bool title : {true, false}) {
        QString why;
        EXPECT_FALSE(saveEdited(damaged, title, &why));
        EXPECT_TRUE(why.contains("the EXIF entry Exif.Image.StripByteCounts of the file is damaged"))
            << qPrintable(why);
    }
}

// The sweep over every picture-placing entry of the shared TIFFs, with a
// title or an FNumber edit each: no save loses a byte of the picture.
TEST_F(TiffPictureDamageTest, NoDamagedTypeOrCountLosesThePicture)
{
    const QStringList samples = {ImageFixtures::sample("goexif.tif"), ImageFixtures::sample("npm-arbitro.tiff")};
    int saves = 0;
    int refusals = 0;
    int losses = 0;
    for (const QString& sample : samples) {
        const QByteArray bytes = WrittenFileProbe::bytes(sample);
        const QByteArray picture = pictureOf(sample);
        ASSERT_GT(picture.size(), 1000) << qPrintable(sample);
        const TiffView tiff(bytes);
        for (uint16_t tag : kPictureTags) {
            const qsizetype count = tiff.read(tiff.ifd0(), 2);
            qsizetype entry = -1;
            for (qsizetype i = 0; i < count && entry < 0; ++i) {
                if (tiff.read(tiff.ifd0() + 2 + 12 * i, 2) == tag)
                    entry = tiff.ifd0() + 2 + 12 * i;
            }
            if (entry < 0)
                continue;
            const std::vector<ByteDamage> damages = damagesOf(tiff, entry);
            for (size_t i = 0; i < damages.size(); ++i) {
                QByteArray damaged = bytes;
                damaged[damages[i].at] = damages[i].value;
                QString why;
                if (!saveEdited(damaged, i % 2 == 0, &why)) {
                    ++refusals;
                    continue;
                }
                ++saves;
                if (pictureOf(tempPath("user/damaged.tif")) != picture) {
                    ++losses;
                    ADD_FAILURE() << qPrintable(QFileInfo(sample).fileName()) << " tag " << tag << " byte "
                                  << damages[i].at << " set to " << int(uint8_t(damages[i].value))
                                  << " lost picture bytes";
                }
            }
        }
    }
    std::cout << "picture sweep: " << saves << " saved, " << refusals << " refused, " << losses << " lost\n";
    EXPECT_GT(refusals, 0);
    EXPECT_EQ(losses, 0);
}

// An uncompressed strip's length is fixed by its directory's tags; a damaged
// shorter one made the library keep only that many bytes, and the rest of the
// picture was lost. Files as real writers make them, in 1, 8 and 16 bits, one
// strip or many, in one plane or three, are saved with their picture whole;
// each with its first or last strip's length one byte short refuses every
// save, naming the entry. A longer length (writers pad their strips) and a
// short compressed strip, whose length only its compressor knows, are saved
// as before.
TEST_F(TiffPictureDamageTest, AnUncompressedStripShorterThanItsRowsRefusesTheSave)
{
    const struct {
        const char* what;
        QByteArray bytes;
    } files[] = {
        {"1 bit", writtenTiff(QImage::Format_Mono)},
        {"8-bit grey", writtenTiff(QImage::Format_Grayscale8)},
        {"16-bit grey", writtenTiff(QImage::Format_Grayscale16)},
        {"8-bit RGBA", writtenTiff(QImage::Format_ARGB32)},
        {"16-bit RGBA in strips", writtenTiff(QImage::Format_RGBA64)},
        {"8-bit RGB in planes", inPlanes(writtenTiff(QImage::Format_RGB888))},
    };
    const QString user = tempPath("user/damaged.tif");
    for (const auto& file : files) {
        SCOPED_TRACE(file.what);
        QString why;
        ASSERT_TRUE(saveEdited(file.bytes, true, &why)) << qPrintable(why);
        ASSERT_TRUE(FileServices::writeFileAtomically(user, file.bytes));
        const QByteArray picture = pictureOf(user);
        ASSERT_TRUE(saveEdited(file.bytes, false, &why)) << qPrintable(why);
        EXPECT_EQ(pictureOf(user), picture);

        const TiffView tiff(file.bytes);
        const uint32_t strips = tiff.read(tiff.entry(tiff.ifd0(), 0x0117) + 4, 4);
        for (uint32_t index : {0u, strips - 1}) {
            for (bool title : {true, false}) {
                EXPECT_FALSE(saveEdited(withStripLength(file.bytes, index, -1), title, &why));
                EXPECT_TRUE(why.contains("the EXIF entry Exif.Image.StripByteCounts of the file is damaged"))
                    << qPrintable(why);
            }
        }
    }

    const QByteArray padded = withStripLength(writtenTiff(QImage::Format_RGBA64), 0, 8);
    ASSERT_TRUE(FileServices::writeFileAtomically(user, padded));
    const QByteArray picture = pictureOf(user);
    QString why;
    EXPECT_TRUE(saveEdited(padded, true, &why)) << qPrintable(why);
    EXPECT_EQ(pictureOf(user), picture);

    const QByteArray compressed = WrittenFileProbe::bytes(ImageFixtures::sample("npm-arbitro.tiff"));
    EXPECT_TRUE(saveEdited(withStripLength(compressed, 0, -1), true, &why)) << qPrintable(why);
}

// A document of six pages, of which the library reads four directories: an
// IPTC or EXIF edit keeps every page where exiftool finds it, or is refused
// with the file untouched, saying how many pages the document has.
TEST_F(TiffPictureDamageTest, AnEditOfAMultiPageTiffKeepsEveryPageOrIsRefused)
{
    const QByteArray document = withPages(WrittenFileProbe::bytes(ImageFixtures::sample("goexif.tif")), 6);
    const QString user = tempPath("user/damaged.tif");
    ASSERT_TRUE(FileServices::writeFileAtomically(user, document));
    const QList<QByteArray> pages = pagesOf(user);
    ASSERT_EQ(pages.size(), 6);
    for (bool title : {true, false}) {
        QString why;
        if (saveEdited(document, title, &why))
            EXPECT_EQ(pagesOf(user), pages);
        else
            EXPECT_TRUE(why.contains("the document has 6 pages")) << qPrintable(why);
    }
}
