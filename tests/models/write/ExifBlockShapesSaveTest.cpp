// Saves of camera files whose EXIF block has a shape made by the test: one
// that loses nothing (a last directory without its next pointer) is saved
// like any other; damage (a directory's entry count set to 0, an entry turned
// into a thumbnail offset, a Sony preview's length past the file) is kept
// byte for byte or refused. Clear All takes a damaged block whole. exiftool
// reads back what was saved.

#include "models/write/DamagedSamples.h"
#include "models/write/TiffView.h"

#include <QDir>
#include <QtEndian>

#include <zlib.h>

#include <algorithm>

using namespace DamagedSamples;

namespace {

constexpr uint16_t kExifPointer = 0x8769;
constexpr uint16_t kGpsPointer = 0x8825;
constexpr uint16_t kInteropPointer = 0xA005;
const QString kDamagedExif = QStringLiteral("is damaged and cannot be read, so the EXIF data cannot be edited");

bool isTiff(const QByteArray& file)
{
    return file.startsWith("II") || file.startsWith("MM");
}

// Where the EXIF block ends in the file: its JPEG segment, its PNG chunk's
// data, or the TIFF file.
qsizetype blockEnd(const QByteArray& file)
{
    if (file.startsWith("\x89PNG")) {
        const qsizetype chunk = file.indexOf("eXIf") - 4;
        return chunk + 8 + qFromBigEndian<quint32>(file.constData() + chunk);
    }
    if (isTiff(file))
        return file.size();
    const qsizetype segment = segmentAt(file, 0xE1);
    return segment + 2 + qFromBigEndian<quint16>(file.constData() + segment + 2);
}

// Puts `bytes` at the EXIF block's end, on a word boundary, with the block's
// length (and a PNG chunk's checksum) made to hold them; answers their
// offset from the TIFF start.
qsizetype appendToBlock(QByteArray& file, QByteArray bytes)
{
    const qsizetype start = TiffView(file).start;
    const qsizetype end = blockEnd(file);
    const qsizetype pad = (end - start) % 2;
    bytes.prepend(QByteArray(pad, '\0'));
    file.insert(end, bytes);
    if (file.startsWith("\x89PNG")) {
        const qsizetype chunk = start - 8;
        const quint32 length = qFromBigEndian<quint32>(file.constData() + chunk) + quint32(bytes.size());
        qToBigEndian<quint32>(length, file.data() + chunk);
        const uLong crc = crc32(0, reinterpret_cast<const Bytef*>(file.constData() + chunk + 4), uInt(length + 4));
        qToBigEndian<quint32>(quint32(crc), file.data() + chunk + 8 + length);
    } else if (!isTiff(file)) {
        const qsizetype segment = segmentAt(file, 0xE1);
        setBig16(file, segment + 2, uint16_t(qFromBigEndian<quint16>(file.constData() + segment + 2) + bytes.size()));
    }
    return end + pad - start;
}

// The directory one of the block's pointers names, copied to the block's
// end without its next pointer and named there instead: the shape of a
// block whose writer put its Exif, GPS or Interoperability directory last
// and left that pointer out.
QByteArray withDirectoryLast(const QByteArray& sample, const std::function<qsizetype(const TiffView&)>& pointer)
{
    QByteArray file = sample;
    const TiffView before(file);
    const qsizetype entry = pointer(before);
    const qsizetype directory = before.read(entry + 8, 4);
    const QByteArray copied = file.mid(before.start + directory, 2 + 12 * qsizetype(before.read(directory, 2)));
    const qsizetype at = appendToBlock(file, copied);
    const TiffView after(file);
    file.replace(after.start + entry + 8, 4, after.number(uint32_t(at), 4));
    return file;
}

QByteArray entryOf(const TiffView& tiff, uint16_t tag, uint16_t type, uint32_t count, const QByteArray& value)
{
    return tiff.number(tag, 2) + tiff.number(type, 2) + tiff.number(count, 4) + value;
}

// A TIFF with no Exif directory given one of two values (an exposure
// program and an ISO) as the file's last bytes, with no next pointer: IFD0
// is written again after the picture with a pointer to it.
QByteArray tiffWithExifDirectoryLast(const QByteArray& sample)
{
    QByteArray file = sample;
    const TiffView tiff(file);
    const qsizetype ifd0 = tiff.ifd0();
    const int count = int(tiff.read(ifd0, 2));
    const qsizetype newIfd0 = file.size() + file.size() % 2;
    const qsizetype exif = newIfd0 + 2 + 12 * (count + 1) + 4;
    QList<QByteArray> entries;
    for (int i = 0; i < count; ++i)
        entries.append(file.mid(ifd0 + 2 + 12 * i, 12));
    entries.append(entryOf(tiff, kExifPointer, 4, 1, tiff.number(uint32_t(exif), 4)));
    const auto tagOf = [&tiff](const QByteArray& entry) {
        return tiff.little ? qFromLittleEndian<quint16>(entry.constData()) : qFromBigEndian<quint16>(entry.constData());
    };
    std::sort(
        entries.begin(), entries.end(), [&](const QByteArray& a, const QByteArray& b) { return tagOf(a) < tagOf(b); });
    const QByteArray shortValue = QByteArray(2, '\0');
    QByteArray added(file.size() % 2, '\0');
    added += tiff.number(uint32_t(count + 1), 2) + entries.join() + tiff.number(0, 4);
    added += tiff.number(2, 2) + entryOf(tiff, 0x8822, 3, 1, tiff.number(2, 2) + shortValue)
        + entryOf(tiff, 0x8827, 3, 1, tiff.number(200, 2) + shortValue);
    file.append(added);
    file.replace(4, 4, tiff.number(uint32_t(newIfd0), 4));
    return file;
}

class ExifBlockShapesSaveTest : public DamagedFilesSaveTest {
protected:
    // The bytes as the user's file `name`.
    QString userFile(const QString& name, const QByteArray& bytes)
    {
        const QString user = tempPath("user/" + name);
        EXPECT_TRUE(FileServices::writeFileAtomically(user, bytes));
        return user;
    }

    // An edit of the user's file saved; false, with the reason shown, when
    // it was refused.
    bool saved(const QString& user, const QString& key, int32_t category, const QString& value)
    {
        const auto image = openWorkingCopy(user);
        image->exifData()->setValue(value, key, category, false, false, true);
        const bool done = image->saveMetadataToImage();
        EXPECT_TRUE(done) << qPrintable(key + ": " + image->lastSaveFailure());
        QFile::remove(image->path());
        return done;
    }

    bool clearedAll(const QString& user)
    {
        const auto image = openWorkingCopy(user);
        image->clear(0);
        const bool done = image->saveMetadataToImage();
        EXPECT_TRUE(done) << qPrintable(image->lastSaveFailure());
        QFile::remove(image->path());
        return done;
    }
};

struct Shape {
    const char* sample;
    const char* group; // exiftool's group of the moved directory's rows
    std::function<QByteArray(const QByteArray&)> make;
};

QByteArray withPointerLast(const QByteArray& sample, uint16_t tag)
{
    return withDirectoryLast(sample, [tag](const TiffView& t) {
        if (tag == kInteropPointer)
            return t.entry(t.exifDirectory(), tag);
        return t.entry(t.ifd0(), tag);
    });
}

} // namespace

// An Exif, GPS or Interoperability directory has no successor: one that ends
// the block without a next pointer lost nothing, and exiftool reads it
// without a word. EXIF and IPTC edits and Clear All are saved, every row of
// the directory read back as it was.
TEST_F(ExifBlockShapesSaveTest, ALastDirectoryWithoutItsNextPointerIsSaved)
{
    const Shape shapes[] = {
        {"npm-iphone6p.jpg", "GPS:", [](const QByteArray& s) { return withPointerLast(s, kGpsPointer); }},
        {"npm-lumia.jpg", "InteropIFD:", [](const QByteArray& s) { return withPointerLast(s, kInteropPointer); }},
        {"npm-canon-s40.jpg", "ExifIFD:", [](const QByteArray& s) { return withPointerLast(s, kExifPointer); }},
        {"png-sony-gps.png", "ExifIFD:", [](const QByteArray& s) { return withPointerLast(s, kExifPointer); }},
        {"goexif.tif", "ExifIFD:", tiffWithExifDirectoryLast},
    };
    for (const Shape& shape : shapes) {
        SCOPED_TRACE(shape.sample);
        const QString sample = ImageFixtures::sample(shape.sample);
        const QByteArray bytes = shape.make(WrittenFileProbe::bytes(sample));
        const QString user = userFile(shape.sample, bytes);
        ASSERT_EQ(ExifTool::warnings(user), ExifTool::warnings(sample));
        const QJsonObject rows = tagsOf(user, shape.group);
        ASSERT_GE(rows.size(), 2);
        if (!isTiff(bytes)) {
            ASSERT_EQ(rows, tagsOf(sample, shape.group));
        }

        ASSERT_TRUE(saved(user, "Exif.Image.Artist", TAVExifData::CategorySummary, "Lumetta Tester"));
        EXPECT_EQ(ExifTool::read(user).value("IFD0:Artist").toString(), QString("Lumetta Tester"));
        EXPECT_EQ(tagsOf(user, shape.group), rows);
        if (bytes.startsWith("\xFF\xD8")) {
            const QString again = userFile(QStringLiteral("again.jpg"), bytes);
            ASSERT_TRUE(saved(again, "Iptc.Application2.ObjectName", TAVExifData::CategorySummary, "Harbour"));
            EXPECT_EQ(ExifTool::read(again).value("IPTC:ObjectName").toString(), QString("Harbour"));
            EXPECT_EQ(tagsOf(again, shape.group), rows);
            ASSERT_TRUE(clearedAll(again));
            EXPECT_TRUE(tagsOf(again, "IFD0:").isEmpty());
            QFile::remove(again);
        }
        QFile::remove(user);
    }
}

// Clear All takes a JPEG's or PNG's EXIF block whole, with whatever damage
// it holds: IFD0 at offset 0 refuses every EXIF edit, not the clear.
TEST_F(ExifBlockShapesSaveTest, ClearAllTakesADamagedExifBlockWhole)
{
    for (const char* name : {"npm-iphone6p.jpg", "png-sony-gps.png"}) {
        SCOPED_TRACE(name);
        const QString user = damagedSample(name, [](QByteArray& bytes) {
            const TiffView tiff(bytes);
            bytes.replace(tiff.start + 4, 4, tiff.number(0, 4));
        });
        const QJsonObject before = ExifTool::read(user);
        expectEditRefused(user, "Exif.Image.Artist", TAVExifData::CategorySummary, "EXIF directory IFD0");

        const qsizetype alerts = ui_.alerts().size();
        ASSERT_TRUE(clearedAll(user));
        const QByteArray after = WrittenFileProbe::bytes(user);
        EXPECT_LT(after.indexOf(QByteArray("Exif\0\0", 6)), 0);
        EXPECT_LT(after.indexOf("eXIf"), 0);
        EXPECT_EQ(ExifTool::read(user).value("File:ImageWidth"), before.value("File:ImageWidth"));
        EXPECT_EQ(ui_.alerts().size(), alerts);
        QFile::remove(user);
    }
}

// A TIFF keeps its first directory, which describes the picture: a Clear All
// of one whose EXIF block is damaged is refused, and told in the alert every
// refused save raises.
TEST_F(ExifBlockShapesSaveTest, ARefusedClearAllRaisesTheSaveAlert)
{
    const QString user = damagedSample("goexif.tif", [](QByteArray& bytes) {
        const TiffView tiff(bytes);
        bytes.replace(tiff.entry(tiff.ifd0(), 0x010E) + 2, 2, tiff.number(0, 2));
    });
    const QByteArray before = WrittenFileProbe::bytes(user);
    const auto image = openWorkingCopy(user);
    image->clear(0);
    expectRefused(image, before, "EXIF entry Exif.Image.ImageDescription");
    EXPECT_TRUE(image->lastSaveFailure().startsWith("The metadata could not be cleared"));
    ASSERT_EQ(ui_.alerts().size(), 1);
    EXPECT_EQ(ui_.alerts().first().message, QString("Some error occurred when save modifications"));
}

// A directory whose entry count was damaged to 0 while its entries still
// follow reads as empty to the library, which would write it so: an EXIF edit
// is refused, an IPTC edit keeps the block byte for byte, and with the count
// mended exiftool reads every row again.
TEST_F(ExifBlockShapesSaveTest, ADirectoryCountDamagedToZeroIsKeptOrRefused)
{
    const struct {
        const char* sample;
        const char* group;
        uint16_t pointer;
    } cases[] = {{"npm-lumia.jpg", "ExifIFD:", kExifPointer}, {"npm-iphone6p.jpg", "GPS:", kGpsPointer}};
    for (const auto& damage : cases) {
        SCOPED_TRACE(damage.sample);
        const QJsonObject rows = tagsOf(ImageFixtures::sample(damage.sample), damage.group);
        ASSERT_GE(rows.size(), 5);
        qsizetype countAt = 0;
        QByteArray count;
        const QString user = damagedSample(damage.sample, [&](QByteArray& bytes) {
            const TiffView tiff(bytes);
            countAt = tiff.start + tiff.read(tiff.entry(tiff.ifd0(), damage.pointer) + 8, 4);
            count = bytes.mid(countAt, 2);
            bytes.replace(countAt, 2, QByteArray(2, '\0'));
        });
        expectEditRefused(user, "Exif.Image.Artist", TAVExifData::CategorySummary,
            "EXIF directory Exif.Image." + QString(damage.pointer == kGpsPointer ? "GPSTag" : "ExifTag"),
            "Lumetta Tester");
        ASSERT_TRUE(saved(user, "Iptc.Application2.ObjectName", TAVExifData::CategorySummary, "Harbour"));
        QByteArray mended = WrittenFileProbe::bytes(user);
        const qsizetype moved = mended.indexOf(QByteArray("Exif\0\0", 6))
            - WrittenFileProbe::bytes(ImageFixtures::sample(damage.sample)).indexOf(QByteArray("Exif\0\0", 6));
        mended.replace(countAt + moved, 2, count);
        ASSERT_TRUE(FileServices::writeFileAtomically(user, mended));
        EXPECT_EQ(tagsOf(user, damage.group), rows);
        EXPECT_EQ(ExifTool::read(user).value("IPTC:ObjectName").toString(), QString("Harbour"));
        QFile::remove(user);
    }
}

// An IFD0 entry whose tag was damaged into the thumbnail's offset (0x0201)
// names no JPEG: the library would drop it from a JPEG, or write it as 0 into
// a TIFF, with the value it held. A JPEG keeps its block byte for byte on an
// IPTC edit (with the tag mended, exiftool reads the Make again) and refuses
// an EXIF edit; a TIFF refuses both.
TEST_F(ExifBlockShapesSaveTest, AnIfd0EntryDamagedIntoAThumbnailOffsetIsKeptOrRefused)
{
    const QString make = ExifTool::read(ImageFixtures::sample("npm-canon-s40.jpg")).value("IFD0:Make").toString();
    ASSERT_FALSE(make.isEmpty());
    qsizetype tagAt = 0;
    const QString jpeg = damagedSample("npm-canon-s40.jpg", [&tagAt](QByteArray& bytes) {
        const TiffView tiff(bytes);
        tagAt = tiff.start + tiff.entry(tiff.ifd0(), 0x010F);
        bytes.replace(tagAt, 2, tiff.number(0x0201, 2));
    });
    expectEditRefused(jpeg, "Exif.Image.Artist", TAVExifData::CategorySummary,
        "EXIF entry Exif.Image.JPEGInterchangeFormat", "Lumetta Tester");
    ASSERT_TRUE(saved(jpeg, "Iptc.Application2.ObjectName", TAVExifData::CategorySummary, "Harbour"));
    QByteArray mended = WrittenFileProbe::bytes(jpeg);
    const qsizetype tiffStart = mended.indexOf(QByteArray("Exif\0\0", 6)) + 6;
    const qsizetype moved = tiffStart
        - WrittenFileProbe::bytes(ImageFixtures::sample("npm-canon-s40.jpg")).indexOf(QByteArray("Exif\0\0", 6)) - 6;
    mended.replace(tagAt + moved, 2, TiffView(mended).number(0x010F, 2));
    ASSERT_TRUE(FileServices::writeFileAtomically(jpeg, mended));
    const QJsonObject tags = ExifTool::read(jpeg);
    EXPECT_EQ(tags.value("IFD0:Make").toString(), make);
    EXPECT_EQ(tags.value("IPTC:ObjectName").toString(), QString("Harbour"));
    QFile::remove(jpeg);

    const QString tiff = damagedSample("goexif.tif", [](QByteArray& bytes) {
        const TiffView view(bytes);
        bytes.replace(view.entry(view.ifd0(), 0x010E), 2, view.number(0x0201, 2));
    });
    expectEditRefused(tiff, "Iptc.Application2.ObjectName", TAVExifData::CategorySummary,
        "EXIF entry Exif.Image.JPEGInterchangeFormat", "Harbour");
}

// A Sony maker note's preview entry (0x2001) whose length runs past the file
// names no bytes the check could compare: a save keeps the length as stored,
// and moves the offset as the bytes after the picture moved.
TEST_F(ExifBlockShapesSaveTest, ASonyPreviewLengthPastTheFileIsKept)
{
    qsizetype entryAt = 0;
    uint32_t offset = 0;
    const QString user = damagedSample("npm-sony-a6000.jpg", [&](QByteArray& bytes) {
        const TiffView tiff(bytes);
        const qsizetype note = tiff.makerNote();
        ASSERT_EQ(bytes.mid(tiff.start + note, 9), QByteArray("SONY DSC "));
        entryAt = tiff.entry(note + 12, 0x2001);
        offset = tiff.read(entryAt + 8, 4);
        bytes.replace(tiff.start + entryAt + 4, 4, tiff.number(uint32_t(bytes.size()), 4));
    });
    const struct {
        const char* key;
        int32_t category;
        const char* value;
        const char* tag;
        const char* read;
    } edits[]
        = {{"Iptc.Application2.ObjectName", TAVExifData::CategorySummary, "Harbour", "IPTC:ObjectName", "Harbour"},
            {"Exif.Photo.FNumber", TAVExifData::CategoryExposure, "4.0", "ExifIFD:FNumber", "4"}};
    for (const auto& edit : edits) {
        SCOPED_TRACE(edit.key);
        const QByteArray before = WrittenFileProbe::bytes(user);
        ASSERT_TRUE(saved(user, edit.key, edit.category, edit.value));
        const QByteArray after = WrittenFileProbe::bytes(user);
        EXPECT_EQ(ExifTool::read(user).value(edit.tag).toVariant().toString(), QString(edit.read));
        const TiffView tiff(after);
        const qsizetype entry = tiff.entry(tiff.makerNote() + 12, 0x2001);
        EXPECT_EQ(tiff.read(entry + 4, 4),
            uint32_t(WrittenFileProbe::bytes(ImageFixtures::sample("npm-sony-a6000.jpg")).size()));
        const qsizetype wasAt = TiffView(before).start + offset;
        EXPECT_EQ(tiff.start + tiff.read(entry + 8, 4), wasAt + after.size() - before.size());
        offset = uint32_t(wasAt + after.size() - before.size() - tiff.start);
    }
}

// The check that an IFD0 thumbnail offset names a JPEG reads its start
// marker whole: one naming bytes FF 00 (in the thumbnail's coded data)
// names none, and an EXIF edit is refused.
TEST_F(ExifBlockShapesSaveTest, AnIfd0ThumbnailOffsetNamingFF00IsDamage)
{
    const QString jpeg = damagedSample("npm-canon-s40.jpg", [](QByteArray& bytes) {
        const TiffView tiff(bytes);
        const qsizetype thumbnail = tiff.read(tiff.entry(tiff.ifd1(), 0x0201) + 8, 4);
        const qsizetype stuffed = bytes.indexOf(QByteArray("\xFF\x00", 2), tiff.start + thumbnail + 2);
        ASSERT_GT(stuffed, 0);
        const qsizetype entry = tiff.entry(tiff.ifd0(), 0x010F);
        bytes.replace(tiff.start + entry, 2, tiff.number(0x0201, 2));
        bytes.replace(tiff.start + entry + 4, 8, tiff.number(1, 4) + tiff.number(uint32_t(stuffed - tiff.start), 4));
    });
    expectEditRefused(jpeg, "Exif.Image.Artist", TAVExifData::CategorySummary,
        "EXIF entry Exif.Image.JPEGInterchangeFormat", "Lumetta Tester");
}

// IFD1's thumbnail offset with a count of 0 or 2, or its length typed BYTE:
// the library reads no thumbnail, or 72 of its 5,448 bytes, and an EXIF edit
// wrote the block without it (a phone photo kept no other copy). The EXIF
// edit is refused naming the entry; a title edit keeps the block byte for
// byte, and exiftool still finds the whole thumbnail where it was.
TEST_F(ExifBlockShapesSaveTest, AThumbnailPlaceTheLibraryReadsInPartIsKeptOrRefused)
{
    const struct {
        const char* sample;
        uint16_t tag;
        qsizetype field; // in the entry: 2 the type, 4 the count
        uint32_t value;
    } damages[] = {
        {"npm-iphone6p.jpg", 0x0201, 4, 0},
        {"npm-iphone6p.jpg", 0x0201, 4, 2},
        {"npm-canon-s40.jpg", 0x0201, 4, 0},
        {"npm-canon-s40.jpg", 0x0202, 2, 1},
    };
    for (const auto& damage : damages) {
        SCOPED_TRACE(QStringLiteral("%1 0x%2 field %3 set to %4")
                         .arg(damage.sample)
                         .arg(damage.tag, 4, 16, QLatin1Char('0'))
                         .arg(damage.field)
                         .arg(damage.value)
                         .toStdString());
        const QByteArray thumbnail = ExifTool::binary(ImageFixtures::sample(damage.sample), "ThumbnailImage");
        ASSERT_GT(thumbnail.size(), 1000);
        const QString user = damagedSample(damage.sample, [&damage](QByteArray& bytes) {
            const TiffView tiff(bytes);
            const qsizetype at = tiff.start + tiff.entry(tiff.ifd1(), damage.tag) + damage.field;
            const int width = damage.field == 2 ? 2 : 4;
            bytes.replace(at, width, tiff.number(damage.value, width));
        });
        const QString key = damage.tag == 0x0201 ? "Exif.Thumbnail.JPEGInterchangeFormat"
                                                 : "Exif.Thumbnail.JPEGInterchangeFormatLength";
        expectEditRefused(
            user, "Exif.Image.Artist", TAVExifData::CategorySummary, "EXIF entry " + key, "Lumetta Tester");
        const auto exifSegment = [](const QByteArray& bytes) {
            const qsizetype segment = segmentAt(bytes, 0xE1);
            return bytes.mid(segment, 2 + qFromBigEndian<quint16>(bytes.constData() + segment + 2));
        };
        const QByteArray damaged = exifSegment(WrittenFileProbe::bytes(user));
        ASSERT_TRUE(saved(user, "Iptc.Application2.ObjectName", TAVExifData::CategorySummary, "Harbour"));
        EXPECT_EQ(exifSegment(WrittenFileProbe::bytes(user)), damaged);
        EXPECT_EQ(ExifTool::read(user).value("IPTC:ObjectName").toString(), QString("Harbour"));
        QFile::remove(user);
    }
}

// A Sony maker note whose header lost a byte ("SONY DSC!") is read by no
// one, and the block is kept byte for byte; its preview entry still counts
// from the block's TIFF header to the preview after the picture, which a
// title edit would move. The edit is refused with the file untouched, so a
// repaired header finds the preview again; the same edit of the file whose
// preview after the picture is gone (cut off) is saved.
TEST_F(ExifBlockShapesSaveTest, ADamagedBlockPointingPastThePictureKeepsWhatItPointsAt)
{
    qsizetype pictureEnd = 0;
    const auto damageHeader = [&pictureEnd](QByteArray& bytes) {
        const TiffView tiff(bytes);
        const qsizetype note = tiff.start + tiff.makerNote();
        ASSERT_EQ(bytes.mid(note, 9), QByteArray("SONY DSC "));
        bytes[note + 8] = '!';
        // The preview lies in the picture stored after the photo's own.
        const qsizetype preview = tiff.start + tiff.read(tiff.entry(note - tiff.start + 12, 0x2001) + 8, 4);
        const qsizetype stored = bytes.lastIndexOf(QByteArray("\xFF\xD8\xFF", 3), preview);
        pictureEnd = bytes.lastIndexOf(QByteArray("\xFF\xD9", 2), stored) + 2;
    };
    const QString user = damagedSample("npm-sony-a6000.jpg", damageHeader);
    expectEditRefused(user, "Iptc.Application2.ObjectName", TAVExifData::CategorySummary,
        "points at data stored after the picture", "Harbour");

    const QString cut = damagedSample("npm-sony-a6000.jpg", [&](QByteArray& bytes) {
        damageHeader(bytes);
        ASSERT_GT(pictureEnd, 1000);
        ASSERT_LT(pictureEnd, bytes.size());
        bytes.truncate(pictureEnd);
    });
    ASSERT_TRUE(saved(cut, "Iptc.Application2.ObjectName", TAVExifData::CategorySummary, "Harbour"));
    EXPECT_EQ(ExifTool::read(cut).value("IPTC:ObjectName").toString(), QString("Harbour"));
}

// A JPEG's or PNG's EXIF block describes no strips or tiles: an IFD0 entry
// that names them, or another tag the library leaves out of such a block,
// is another tag's number damaged (an Orientation whose 0x12 became 0x11
// reads as StripOffsets) or a block kept nowhere else, and a save wrote the
// block without it. A JPEG keeps the block byte for byte on a keyword edit
// (with the tag mended, exiftool reads the rotation again) and refuses an
// EXIF edit naming the entry; a PNG, which cannot keep its block apart from
// the library's, refuses both.
TEST_F(ExifBlockShapesSaveTest, AnIfd0EntryDamagedIntoATagTheLibraryDropsIsKeptOrRefused)
{
    const struct {
        const char* sample;
        uint16_t was;
        uint16_t now;
        const char* key;
    } damages[] = {
        {"npm-canon-s40.jpg", 0x0112, 0x0111, "StripOffsets"},
        {"npm-lumia.jpg", 0x0112, 0x0116, "RowsPerStrip"},
        {"npm-iphone6p.jpg", 0x0112, 0x0117, "StripByteCounts"},
        {"npm-lumia.jpg", 0x0112, 0x0144, "TileOffsets"},
        {"npm-canon-s40.jpg", 0x010F, 0x0106, "PhotometricInterpretation"},
        {"npm-canon-s40.jpg", 0x010F, 0x0202, "JPEGInterchangeFormatLength"},
        {"npm-lumia.jpg", 0x010F, 0x83BB, "IPTCNAA"},
        {"png-sony-gps.png", 0x0112, 0x0111, "StripOffsets"},
    };
    for (const auto& damage : damages) {
        SCOPED_TRACE(QStringLiteral("%1 %2").arg(damage.sample, damage.key).toStdString());
        qsizetype tagAt = 0;
        const QString user = damagedSample(damage.sample, [&](QByteArray& bytes) {
            const TiffView tiff(bytes);
            tagAt = tiff.start + tiff.entry(tiff.ifd0(), damage.was);
            bytes.replace(tagAt, 2, tiff.number(damage.now, 2));
        });
        const QString why = QStringLiteral("EXIF entry Exif.Image.%1").arg(damage.key);
        expectEditRefused(user, "Exif.Photo.FNumber", TAVExifData::CategoryExposure, why);
        if (QString(damage.sample).endsWith(".png")) {
            expectEditRefused(user, "Iptc.Application2.Keywords", TAVExifData::CategorySummary, why, "boat");
            continue;
        }
        const QByteArray before = WrittenFileProbe::bytes(user);
        const QByteArray segment = before.mid(segmentAt(before, 0xE1), tagAt + 2 - segmentAt(before, 0xE1));
        ASSERT_TRUE(saved(user, "Iptc.Application2.Keywords", TAVExifData::CategorySummary, "boat"));
        QByteArray after = WrittenFileProbe::bytes(user);
        const qsizetype moved = segmentAt(after, 0xE1) - segmentAt(before, 0xE1);
        ASSERT_EQ(after.mid(segmentAt(after, 0xE1), segment.size()), segment);
        after.replace(tagAt + moved, 2, TiffView(after).number(damage.was, 2));
        ASSERT_TRUE(FileServices::writeFileAtomically(user, after));
        const QJsonObject tags = ExifTool::read(user);
        EXPECT_EQ(tags.value("IPTC:Keywords").toString(), QString("boat"));
        const QJsonObject held = ExifTool::read(ImageFixtures::sample(damage.sample));
        for (const char* tag : {"IFD0:Orientation", "IFD0:Make"})
            EXPECT_EQ(tags.value(tag), held.value(tag)) << tag;
        QFile::remove(user);
    }
}

// A TIFF's Photoshop resources (IFD0's ImageResources) that do not read as
// whole resources up to their end, as a count that lost one byte (46 read
// as 45) or a zero byte after the last resource leaves them: the library
// wrote the file without them on an FNumber edit. Every save is refused,
// naming the entry (an IPTC edit too, which was told only that its title did
// not read back); whole resources come back byte for byte.
TEST_F(ExifBlockShapesSaveTest, ATiffsDamagedPhotoshopResourcesAreRefused)
{
    // Resolution 300 dpi and a grid and guides resource of 6 bytes: 46 bytes.
    const QByteArray resources = QByteArray::fromHex("3842494d03ed000000000010012c000000010001012c000000010001"
                                                     "3842494d0408000000000006000000010000");
    // The TIFF given `block`, then `change` made to the resources' bytes as
    // the file holds them (at their offset, their count at -4).
    const auto tiffWithResources
        = [&](const QString& name, const QByteArray& block, const std::function<void(QByteArray&, qsizetype)>& change) {
              QStringList numbers;
              for (const char byte : block)
                  numbers.append(QString::number(uint8_t(byte)));
              EXPECT_TRUE(QDir().mkpath(tempPath("user/" + name)));
              const QString path = ImageFixtures::copySample("npm-arbitro.tiff", tempPath("user/" + name));
              EXPECT_TRUE(ImageFixtures::writeTags(path, {{"Exif.Image.ImageResources", numbers.join(' '), 7}}));
              QByteArray file = WrittenFileProbe::bytes(path);
              const TiffView tiff(file);
              const qsizetype entry = tiff.entry(tiff.ifd0(), 0x8649);
              change(file, entry + 4);
              change(file, tiff.read(entry + 8, 4));
              EXPECT_TRUE(FileServices::writeFileAtomically(path, file));
              return path;
          };
    const auto resourcesOf = [](const QString& path) {
        const QByteArray file = WrittenFileProbe::bytes(path);
        const TiffView tiff(file);
        const qsizetype entry = tiff.entry(tiff.ifd0(), 0x8649);
        return file.mid(tiff.read(entry + 8, 4), tiff.read(entry + 4, 4));
    };
    const QString why = QStringLiteral("EXIF entry Exif.Image.ImageResources");
    // The count 46 made 45; the last resource's size 7 made 6, its seventh
    // byte (0) left after it.
    const QString shortened = tiffWithResources("short", resources, [](QByteArray& file, qsizetype at) {
        if (file.mid(at, 4) == QByteArray::fromHex("0000002e"))
            file[at + 3] = 45;
    });
    const QString trailing = tiffWithResources(
        "zero", resources.left(39) + QByteArray::fromHex("0700000001000000"), [](QByteArray& file, qsizetype at) {
            if (file.mid(at, 4) == QByteArray("8BIM"))
                file[at + 28 + 11] = 6;
        });
    for (const QString& user : {shortened, trailing}) {
        SCOPED_TRACE(user.toStdString());
        ASSERT_NE(WrittenFileProbe::bytes(user).indexOf(resources.left(39)), -1);
        expectEditRefused(user, "Exif.Photo.FNumber", TAVExifData::CategoryExposure, why);
        expectEditRefused(user, "Exif.Image.Artist", TAVExifData::CategorySummary, why, "Lumetta Tester");
        expectEditRefused(user, "Iptc.Application2.ObjectName", TAVExifData::CategorySummary, why, "Harbour");
    }

    const QString whole = tiffWithResources("whole", resources, [](QByteArray&, qsizetype) {});
    ASSERT_TRUE(saved(whole, "Exif.Photo.FNumber", TAVExifData::CategoryExposure, "4.0"));
    EXPECT_EQ(resourcesOf(whole), resources);
    const QJsonObject tags = ExifTool::read(whole);
    EXPECT_EQ(tags.value("ExifIFD:FNumber").toVariant().toString(), QString("4"));
    EXPECT_EQ(tags.value("Photoshop:XResolution").toInt(), 300);
}

// IFD1's thumbnail offset typed SHORT: in the iPhone's big-endian block the
// SHORT reads the offset's two high bytes (0), in the Canon's little-endian
// one the whole offset. An Artist edit is refused naming the entry, or saved
// with the thumbnail exiftool finds whole; never saved without it.
TEST_F(ExifBlockShapesSaveTest, AThumbnailOffsetTypedShortIsRefusedOrKeepsTheThumbnail)
{
    for (const char* sample : {"npm-iphone6p.jpg", "npm-canon-s40.jpg"}) {
        SCOPED_TRACE(sample);
        const QByteArray thumbnail = ExifTool::binary(ImageFixtures::sample(sample), "ThumbnailImage");
        ASSERT_GT(thumbnail.size(), 1000);
        const QString user = damagedSample(sample, [](QByteArray& bytes) {
            const TiffView tiff(bytes);
            bytes.replace(tiff.start + tiff.entry(tiff.ifd1(), 0x0201) + 2, 2, tiff.number(3, 2));
        });
        const QByteArray before = WrittenFileProbe::bytes(user);
        const auto image = openWorkingCopy(user);
        image->exifData()->setValue("Lumetta Tester", "Exif.Image.Artist", 0, false, false, true);
        if (image->saveMetadataToImage()) {
            EXPECT_EQ(ExifTool::binary(user, "ThumbnailImage"), thumbnail);
            EXPECT_EQ(ExifTool::read(user).value("IFD0:Artist").toString(), QString("Lumetta Tester"));
        } else {
            EXPECT_TRUE(image->lastSaveFailure().contains("EXIF entry Exif.Thumbnail.JPEGInterchangeFormat"))
                << qPrintable(image->lastSaveFailure());
            EXPECT_EQ(WrittenFileProbe::bytes(user), before);
        }
        QFile::remove(image->path());
    }
}

// A Sony maker note whose header lost a byte, kept as it is, with its
// preview entry naming data that starts exactly where the picture ends, or
// that runs to the file's last byte: the title edit, which would move that
// data away from the block, is refused with the file untouched.
TEST_F(ExifBlockShapesSaveTest, ADamagedBlockNamingDataAtThePicturesEndOrToTheFilesEndIsRefused)
{
    for (const bool toLastByte : {false, true}) {
        SCOPED_TRACE(toLastByte ? "to the file's last byte" : "from the picture's end");
        const QString user = damagedSample("npm-sony-a6000.jpg", [toLastByte](QByteArray& bytes) {
            const TiffView tiff(bytes);
            const qsizetype note = tiff.start + tiff.makerNote();
            ASSERT_EQ(bytes.mid(note, 9), QByteArray("SONY DSC "));
            bytes[note + 8] = '!';
            const qsizetype entry = tiff.start + tiff.entry(note - tiff.start + 12, 0x2001);
            const qsizetype preview = tiff.start + tiff.read(entry - tiff.start + 8, 4);
            const qsizetype stored = bytes.lastIndexOf(QByteArray("\xFF\xD8\xFF", 3), preview);
            const qsizetype pictureEnd = bytes.lastIndexOf(QByteArray("\xFF\xD9", 2), stored) + 2;
            ASSERT_LT(pictureEnd + 100, bytes.size());
            // From the picture's end, 100 bytes; or the file's last 100.
            const qsizetype from = toLastByte ? bytes.size() - 100 : pictureEnd;
            bytes.replace(entry + 4, 8, tiff.number(100, 4) + tiff.number(uint32_t(from - tiff.start), 4));
        });
        expectEditRefused(user, "Iptc.Application2.ObjectName", TAVExifData::CategorySummary,
            "points at data stored after the picture", "Harbour");
    }
}
