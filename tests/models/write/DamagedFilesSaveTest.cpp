// Saves of real camera files with one damaged field: a save keeps what the
// metadata library cannot read, or fails with the user's file untouched and
// says why. exiftool reads back what was saved.

#include "models/write/DamagedSamples.h"

using namespace DamagedSamples;

// One corrupted segment length (a quantisation or Huffman table declared
// 65535 bytes long, a frame header's length off by a few bytes) hides where
// the picture is: the library would write the file without most of it. In a
// small file the table runs past its end, and the library cannot read it.
TEST_F(DamagedFilesSaveTest, AJpegWhosePictureCannotBeLocatedIsRefused)
{
    struct Damage {
        const char* sample;
        uint8_t marker;
        std::function<uint16_t(uint16_t)> length;
        const char* why;
    };
    const auto longest = [](uint16_t) { return uint16_t(65535); };
    const char* const unlocated = "its picture data cannot be located";
    const Damage damages[] = {
        {"npm-iphone6p.jpg", 0xDB, longest, unlocated},
        {"npm-lumia.jpg", 0xC4, longest, unlocated},
        {"npm-canon-s40.jpg", 0xC0, [](uint16_t length) { return uint16_t(length + 3); }, unlocated},
        {"npm-windows-xmp.jpg", 0xDB, longest, "the file's metadata could not be read: "},
    };
    for (const Damage& damage : damages) {
        SCOPED_TRACE(damage.sample);
        const QString user = damagedSample(damage.sample, [&](QByteArray& bytes) {
            const qsizetype at = segmentAt(bytes, damage.marker);
            ASSERT_GT(at, 0);
            setBig16(bytes, at + 2, damage.length(qFromBigEndian<quint16>(bytes.constData() + at + 2)));
        });
        const QByteArray before = WrittenFileProbe::bytes(user);
        const auto image = openWorkingCopy(user);
        edit(image, "Exif.Image.Artist", "Lumetta Tester");
        expectRefused(image, before, damage.why);
        QFile::remove(user);
    }
}

// An IPTC block whose last dataset claims more bytes than the block holds:
// the library reads no dataset of it, other programs read all but that one.
// An edit elsewhere keeps the block byte for byte; an IPTC edit, which the
// library would write into an otherwise empty block, is refused.
TEST_F(DamagedFilesSaveTest, AnIptcBlockTheLibraryCannotReadIsKeptOrTheSaveRefused)
{
    const QString user = damagedSample("gowebp-pentax.jpg", [](QByteArray& bytes) {
        const QList<qsizetype> fields = iptcLengthFields(bytes);
        ASSERT_GE(fields.size(), 9);
        setBig16(bytes, fields.last(), 0x4000);
    });
    const QJsonObject iptcBefore = tagsOf(user, "IPTC:");
    ASSERT_GE(iptcBefore.size(), 9);

    const auto image = openWorkingCopy(user);
    // (The artist's twin is IPTC's By-line: an edit of it reaches the block.)
    image->exifData()->setValue("4.0", "Exif.Photo.FNumber", TAVExifData::CategoryExposure, false, false, true);
    ASSERT_TRUE(image->saveMetadataToImage()) << qPrintable(image->lastSaveFailure());
    EXPECT_EQ(ExifTool::read(user).value("ExifIFD:FNumber").toDouble(), 4.0);
    EXPECT_EQ(tagsOf(user, "IPTC:"), iptcBefore);

    const QByteArray saved = WrittenFileProbe::bytes(user);
    edit(image, "Iptc.Application2.ObjectName", "Coast");
    expectRefused(image, saved, "IPTC block is damaged");
}

// IFD0's pointer to the EXIF directory typed UNDEFINED instead of LONG: the
// library does not follow it, other programs do. An IPTC edit keeps the EXIF
// block byte for byte, with the maker note; an EXIF edit is refused.
TEST_F(DamagedFilesSaveTest, AnExifDirectoryTheLibraryCannotFollowIsKeptOrTheSaveRefused)
{
    const QString user = damagedSample("npm-canon-s40.jpg", [](QByteArray& bytes) {
        const qsizetype entry = ifd0Entry(bytes, 0x8769);
        ASSERT_GT(entry, 0);
        ASSERT_EQ(qFromLittleEndian<quint16>(bytes.constData() + entry + 2), 4);
        qToLittleEndian<quint16>(7, bytes.data() + entry + 2);
    });
    const QJsonObject exifBefore = tagsOf(user, "ExifIFD:");
    const QJsonObject makerBefore = tagsOf(user, "Canon:");
    ASSERT_GE(exifBefore.size(), 20);
    ASSERT_GE(makerBefore.size(), 20);
    const QByteArray before = WrittenFileProbe::bytes(user);

    const auto image = openWorkingCopy(user);
    edit(image, "Exif.Image.Artist", "Lumetta Tester");
    expectRefused(image, before, "EXIF directory Exif.Image.ExifTag");

    ASSERT_TRUE(QFile::remove(tempPath("work/npm-canon-s40.jpg")));
    const auto second = openWorkingCopy(user);
    edit(second, "Iptc.Application2.ObjectName", "Harbour");
    ASSERT_TRUE(second->saveMetadataToImage()) << qPrintable(second->lastSaveFailure());
    EXPECT_EQ(ExifTool::read(user).value("IPTC:ObjectName").toString(), QString("Harbour"));
    EXPECT_EQ(tagsOf(user, "ExifIFD:"), exifBefore);
    EXPECT_EQ(tagsOf(user, "Canon:"), makerBefore);
}

// A camera file whose EXIF block already nearly fills its 64 KB segment: an
// edit that makes it outgrow the segment is refused and says so; one that
// still fits is saved.
TEST_F(DamagedFilesSaveTest, AnEditThatOutgrowsTheExifSegmentSaysSo)
{
    const QString user = ImageFixtures::copySample("npm-canon-s40.jpg", tempPath("user"));
    const QString long19k(19000, 'a');
    ASSERT_TRUE(ImageFixtures::writeTags(user,
        {{"Exif.Image.ImageDescription", long19k, std::nullopt}, {"Exif.Image.Copyright", long19k, std::nullopt},
            {"Exif.Image.Artist", long19k, std::nullopt},
            {"Exif.Image.DocumentName", QString(1700, 'n'), std::nullopt}}));
    const QByteArray before = WrittenFileProbe::bytes(user);
    const qsizetype exifSegment = before.indexOf(QByteArray("Exif\0\0", 6)) - 2;
    ASSERT_GT(qFromBigEndian<quint16>(before.constData() + exifSegment), 65400);

    const auto image = openWorkingCopy(user);
    edit(image, "Exif.Image.Artist", long19k + QString(100, 'b'));
    expectRefused(image, before, "the metadata no longer fits in the file's EXIF segment");

    edit(image, "Exif.Image.Artist", "Lumetta Tester");
    ASSERT_TRUE(image->saveMetadataToImage()) << qPrintable(image->lastSaveFailure());
    const QJsonObject tags = ExifTool::read(user);
    EXPECT_EQ(tags.value("IFD0:Artist").toString(), QString("Lumetta Tester"));
    EXPECT_EQ(tags.value("IFD0:DocumentName").toString(), QString(1700, 'n'));
}

// A PNG's colour profile (iCCP: name, method, zlib data) with one byte
// changed, in its compressed data or in the byte that ends its name: the
// library reads some other profile out of it and would write that. A save
// keeps the chunk as the file held it; the edit lands beside it.
TEST_F(DamagedFilesSaveTest, ADamagedPngColourProfileIsKeptByteForByte)
{
    const auto profileChunk = [](const QByteArray& png) {
        const qsizetype type = png.indexOf("iCCP");
        return type < 4 ? QByteArray() : png.mid(type - 4, 12 + qFromBigEndian<quint32>(png.constData() + type - 4));
    };
    for (const qsizetype damagedByte : {qsizetype(3), qsizetype(2000)}) {
        SCOPED_TRACE(damagedByte);
        const QString user = damagedSample("png-nikon-d3.png", [&](QByteArray& bytes) {
            const qsizetype data = bytes.indexOf("iCCP") + 4;
            ASSERT_GT(data, 8);
            bytes[data + damagedByte] = char(bytes[data + damagedByte] ^ 0x55);
        });
        const QByteArray damaged = profileChunk(WrittenFileProbe::bytes(user));
        ASSERT_GT(damaged.size(), 8000);
        const auto image = openWorkingCopy(user);
        edit(image, "Exif.Image.Artist", "Lumetta Tester");
        ASSERT_TRUE(image->saveMetadataToImage()) << qPrintable(image->lastSaveFailure());
        EXPECT_EQ(profileChunk(WrittenFileProbe::bytes(user)), damaged);
        EXPECT_EQ(ExifTool::read(user).value("IFD0:Artist").toString(), QString("Lumetta Tester"));
        ASSERT_TRUE(QFile::remove(tempPath("work/png-nikon-d3.png")));
        QFile::remove(user);
    }
}

// A colour profile holding more bytes than its size field says: in a JPEG
// the library cuts the profile to that size (the sRGB profile of a Nikon
// lost its device model and its tone curves on a title edit), in a PNG it
// drops what follows the profile's zlib stream. The segment, or the chunk,
// goes back as the file held it; the edit lands beside it.
TEST_F(DamagedFilesSaveTest, AColourProfileLongerThanItSaysIsKeptByteForByte)
{
    const QString jpeg = damagedSample("npm-nikon-d90-photometric.jpg", [](QByteArray& bytes) {
        const qsizetype profile = bytes.indexOf(QByteArray("ICC_PROFILE\0", 12)) + 14;
        ASSERT_GT(profile, 14);
        qToBigEndian<quint32>(qFromBigEndian<quint32>(bytes.constData() + profile) - 1000, bytes.data() + profile);
    });
    const auto profileSegment = [](const QByteArray& bytes) {
        const qsizetype at = segmentAt(bytes, 0xE2);
        return at < 0 ? QByteArray() : bytes.mid(at, 2 + qFromBigEndian<quint16>(bytes.constData() + at + 2));
    };
    const QByteArray segment = profileSegment(WrittenFileProbe::bytes(jpeg));
    ASSERT_GT(segment.size(), 3000);
    const auto image = openWorkingCopy(jpeg);
    edit(image, "Iptc.Application2.ObjectName", "Harbour");
    ASSERT_TRUE(image->saveMetadataToImage()) << qPrintable(image->lastSaveFailure());
    EXPECT_EQ(profileSegment(WrittenFileProbe::bytes(jpeg)), segment);
    const QJsonObject tags = ExifTool::read(jpeg);
    EXPECT_EQ(tags.value("IPTC:ObjectName").toString(), QString("Harbour"));
    EXPECT_EQ(
        tags.value("ICC_Profile:DeviceModelDesc").toString(), QString("IEC 61966-2.1 Default RGB colour space - sRGB"));
    EXPECT_TRUE(tags.contains("ICC_Profile:RedTRC"));

    const auto profileChunk = [](const QByteArray& png) {
        const qsizetype type = png.indexOf("iCCP");
        return type < 4 ? QByteArray() : png.mid(type - 4, 12 + qFromBigEndian<quint32>(png.constData() + type - 4));
    };
    const QByteArray trailing("bytes after the stream");
    const QString png = damagedSample("png-nikon-d3.png", [&](QByteArray& bytes) {
        const qsizetype type = bytes.indexOf("iCCP");
        ASSERT_GT(type, 4);
        const quint32 length = qFromBigEndian<quint32>(bytes.constData() + type - 4);
        bytes.insert(type + 4 + length, trailing);
        qToBigEndian<quint32>(length + quint32(trailing.size()), bytes.data() + type - 4);
    });
    const QByteArray chunk = profileChunk(WrittenFileProbe::bytes(png));
    ASSERT_TRUE(chunk.contains(trailing));
    const auto pngImage = openWorkingCopy(png);
    edit(pngImage, "Exif.Image.Artist", "Lumetta Tester");
    ASSERT_TRUE(pngImage->saveMetadataToImage()) << qPrintable(pngImage->lastSaveFailure());
    EXPECT_EQ(profileChunk(WrittenFileProbe::bytes(png)), chunk);
    EXPECT_EQ(ExifTool::read(png).value("IFD0:Artist").toString(), QString("Lumetta Tester"));
}
