// Saves of the shared TIFFs with the type or the count of an entry that
// places their picture (StripOffsets, StripByteCounts, TileOffsets,
// TileByteCounts) damaged by the test, one byte at a time: each save is
// refused with the file untouched, or saved with every byte of the picture
// still where exiftool finds it.

#include "models/write/DamagedSamples.h"
#include "models/write/TiffView.h"

#include <iostream>
#include <set>

using namespace DamagedSamples;

namespace {

constexpr uint16_t kPictureTags[] = {0x0111, 0x0117, 0x0144, 0x0145};

// The bytes of every strip and tile of IFD0 as exiftool places them, joined;
// a marker when the offsets and lengths it reads do not pair up.
QByteArray pictureOf(const QString& path)
{
    const QJsonObject tags = ExifTool::read(path, {"-n"});
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
