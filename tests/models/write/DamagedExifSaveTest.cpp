// Saves of real camera files whose EXIF block holds a directory or an entry
// the metadata library reads as absent, damaged by the test: a save that does
// not reach the EXIF block keeps it byte for byte, one that does is refused
// with the user's file untouched. exiftool reads back what was saved, with the
// damaged field mended again.

#include "models/write/DamagedSamples.h"
#include "models/write/TiffView.h"

#include <QJsonDocument>
#include <QtEndian>

using namespace DamagedSamples;

namespace {

// One field of a sample's TIFF structure overwritten, as the bytes it held
// and the bytes it holds now, at an offset from the TIFF start.
struct Field {
    qsizetype at = 0;
    QByteArray damaged;
};

struct Damage {
    const char* sample;
    const char* what;
    std::function<Field(const TiffView&)> field;
};

Field typeOf(const TiffView& tiff, qsizetype entry, uint16_t type)
{
    return {entry + 2, tiff.number(type, 2)};
}

// Writes the field's bytes into the file at `path`; answers the bytes it held.
QByteArray overwrite(const QString& path, const Field& field)
{
    QByteArray bytes = WrittenFileProbe::bytes(path);
    const TiffView tiff(bytes);
    const qsizetype at = tiff.start + field.at;
    const QByteArray held = bytes.mid(at, field.damaged.size());
    bytes.replace(at, field.damaged.size(), field.damaged);
    EXPECT_TRUE(FileServices::writeFileAtomically(path, bytes));
    return held;
}

// What exiftool reads of the EXIF block, every directory and maker note, as
// lines of text (a difference shows as a diff). The thumbnail's offset is
// told from the file's start: an IPTC segment put before the block moves it.
std::string exifRows(const QString& path)
{
    QJsonObject rows;
    const QJsonObject tags = ExifTool::read(path);
    static const QStringList others
        = {"SourceFile", "ExifTool:", "System:", "File:", "JFIF:", "IPTC:", "Photoshop:", "Composite:", "XMP"};
    for (auto it = tags.begin(); it != tags.end(); ++it) {
        if (it.key() != "IFD1:ThumbnailOffset" && std::none_of(others.begin(), others.end(), [&](const QString& other) {
                return it.key().startsWith(other);
            }))
            rows.insert(it.key(), it.value());
    }
    return QJsonDocument(rows).toJson().toStdString();
}

class DamagedExifSaveTest : public DamagedFilesSaveTest {
protected:
    // The sample with the damage made, its field as it held before.
    QString damaged(const Damage& damage, Field* mended)
    {
        const QString user = ImageFixtures::copySample(damage.sample, tempPath("user"));
        const QByteArray bytes = WrittenFileProbe::bytes(user);
        const Field field = damage.field(TiffView(bytes));
        *mended = Field{field.at, overwrite(user, field)};
        return user;
    }

    void forgetWorkingCopy(const QString& user)
    {
        ASSERT_TRUE(QFile::remove(tempPath("work/" + QFileInfo(user).fileName())));
    }
};

Field ifd0AtOffsetZero(const TiffView& tiff)
{
    return Field{4, tiff.number(0, 4)};
}

Field ifd0WithNoEntries(const TiffView& tiff)
{
    return Field{tiff.ifd0(), tiff.number(0, 2)};
}

} // namespace

// Each damage makes the library read a directory or an entry as absent: IFD0
// with no entries or at offset 0, IFD1 (the thumbnail's) behind a next pointer
// out of bounds, a directory pointer of a type the library
// does not follow (0 and 14-19 are no TIFF type; it refused only 1-12), a known
// tag of type 0, an entry whose bytes run past the block (its count or offset
// damaged; the thumbnail's by its length). An EXIF edit would write the block without it; an IPTC edit
// keeps the block as the file holds it, so mending the field brings back every
// row exiftool read from the undamaged sample.
TEST_F(DamagedExifSaveTest, AnExifBlockReadAsEmptyIsKeptOrTheSaveRefused)
{
    const Damage damages[] = {
        {"npm-canon-s40.jpg", "IFD0 with no entries", ifd0WithNoEntries},
        {"npm-iphone6p.jpg", "IFD0 at offset 0", ifd0AtOffsetZero},
        {"npm-lumia.jpg", "IFD0's next pointer out of bounds",
            [](const TiffView& t) {
                return Field{t.ifd0() + 2 + 12 * qsizetype(t.read(t.ifd0(), 2)), t.number(0x00FFFFFF, 4)};
            }},
        {"npm-canon-s40.jpg", "ExifTag of type 0",
            [](const TiffView& t) { return typeOf(t, t.entry(t.ifd0(), 0x8769), 0); }},
        {"npm-iphone6p.jpg", "ExifTag of type 15",
            [](const TiffView& t) { return typeOf(t, t.entry(t.ifd0(), 0x8769), 15); }},
        {"npm-lumia.jpg", "InteroperabilityTag of type 19",
            [](const TiffView& t) { return typeOf(t, t.entry(t.exifDirectory(), 0xA005), 19); }},
        {"npm-canon-s40.jpg", "Make of type 0",
            [](const TiffView& t) { return typeOf(t, t.entry(t.ifd0(), 0x010F), 0); }},
        {"npm-canon-s40.jpg", "Make's count running past the block",
            [](const TiffView& t) {
                return Field{t.entry(t.ifd0(), 0x010F) + 4, t.number(0x10000, 4)};
            }},
        {"npm-iphone6p.jpg", "the maker note's offset past the block",
            [](const TiffView& t) {
                return Field{t.entry(t.exifDirectory(), 0x927C) + 8, t.number(0x00FFFF00, 4)};
            }},
        {"npm-lumia.jpg", "the thumbnail's length running past the block",
            [](const TiffView& t) {
                return Field{t.entry(t.ifd1(), 0x0202) + 8, t.number(0x00100000, 4)};
            }},
        // The library reads Make as "II*" and then takes the maker note for
        // no Canon's: its rows would be lost for good.
        {"npm-canon-s40.jpg", "Make's offset 0",
            [](const TiffView& t) {
                return Field{t.entry(t.ifd0(), 0x010F) + 8, t.number(0, 4)};
            }},
        // Every reader hid this longitude ("Suspicious GPS offset"); a save
        // would have written the directory's bytes as a place.
        {"npm-iphone6p.jpg", "GPSLongitude's offset in its own directory",
            [](const TiffView& t) {
                return Field{t.entry(t.gpsDirectory(), 0x0004) + 8, t.number(uint32_t(t.gpsDirectory() + 2), 4)};
            }},
        {"npm-canon-s40.jpg", "a Canon maker-note entry's offset 0",
            [](const TiffView& t) {
                return Field{t.entry(t.makerNote(), 0x0001) + 8, t.number(0, 4)};
            }},
        {"npm-canon-s40.jpg", "a Canon maker-note entry running past the block",
            [](const TiffView& t) {
                return Field{t.entry(t.makerNote(), 0x0004) + 4, t.number(0x8000, 4)};
            }},
    };
    for (const Damage& damage : damages) {
        SCOPED_TRACE(damage.what);
        const std::string undamaged = exifRows(ImageFixtures::sample(damage.sample));
        ASSERT_GE(std::count(undamaged.begin(), undamaged.end(), '\n'), 40);
        Field mended;
        const QString user = damaged(damage, &mended);
        expectEditRefused(user, "Exif.Image.Artist", TAVExifData::CategorySummary,
            "is damaged and cannot be read, so the EXIF data cannot be edited");

        const auto second = openWorkingCopy(user);
        edit(second, "Iptc.Application2.ObjectName", "Harbour");
        ASSERT_TRUE(second->saveMetadataToImage()) << qPrintable(second->lastSaveFailure());
        EXPECT_EQ(ExifTool::read(user).value("IPTC:ObjectName").toString(), QString("Harbour"));
        overwrite(user, mended);
        EXPECT_EQ(exifRows(user), undamaged);
        forgetWorkingCopy(user);
        QFile::remove(user);
    }
}

// A PNG or a TIFF cannot keep its EXIF block apart from what the library
// writes: a save of anything is refused, whatever it edits. The maker notes
// of a Nikon and a Sony are read as the library reads them.
TEST_F(DamagedExifSaveTest, AFileThatCannotKeepItsDamagedExifBlockRefusesEverySave)
{
    const Damage damages[] = {
        {"png-sony-gps.png", "IFD0 at offset 0", ifd0AtOffsetZero},
        {"png-nikon-d3.png", "ExifTag of type 0",
            [](const TiffView& t) { return typeOf(t, t.entry(t.ifd0(), 0x8769), 0); }},
        {"goexif.tif", "ImageDescription of type 0",
            [](const TiffView& t) { return typeOf(t, t.entry(t.ifd0(), 0x010E), 0); }},
        // A Nikon maker note counts its offsets from a TIFF header of its own.
        {"png-nikon-d3.png", "the Nikon serial number's offset 0",
            [](const TiffView& t) {
                const TiffView nikon = t.inner(t.makerNote() + 10);
                return Field{t.makerNote() + 10 + nikon.entry(nikon.ifd0(), 0x001D) + 8, nikon.number(0, 4)};
            }},
        {"png-nikon-d3.png", "the Nikon serial number running past the block",
            [](const TiffView& t) {
                const TiffView nikon = t.inner(t.makerNote() + 10);
                return Field{t.makerNote() + 10 + nikon.entry(nikon.ifd0(), 0x001D) + 8, nikon.number(0xFF00, 4)};
            }},
        {"png-sony-gps.png", "a Sony maker-note entry running past the block",
            [](const TiffView& t) {
                return Field{t.entry(t.makerNote(), 0x1003) + 8, t.number(0xFF00, 4)};
            }},
    };
    for (const Damage& damage : damages) {
        SCOPED_TRACE(damage.what);
        Field mended;
        const QString user = damaged(damage, &mended);
        expectEditRefused(user, "Iptc.Application2.ObjectName", TAVExifData::CategorySummary,
            "is damaged and cannot be read, so the file cannot be saved without losing it");
        QFile::remove(user);
    }
}

// A GPS directory the library cannot follow (its pointer typed SLONG8): an
// EXIF edit is refused, and every GPS row stays in the file.
TEST_F(DamagedExifSaveTest, AGpsDirectoryTheLibraryCannotFollowRefusesAnExifEditAndKeepsItsRows)
{
    const QJsonObject gps = tagsOf(ImageFixtures::sample("gowebp-pentax.jpg"), "GPS:");
    ASSERT_GE(gps.size(), 15);
    const Damage damage{"gowebp-pentax.jpg", "GPSTag of type 17",
        [](const TiffView& t) { return typeOf(t, t.entry(t.ifd0(), 0x8825), 17); }};
    Field mended;
    const QString user = damaged(damage, &mended);
    expectEditRefused(user, "Exif.Photo.FNumber", TAVExifData::CategoryExposure,
        "the EXIF directory Exif.Image.GPSTag of the file is damaged");
    overwrite(user, mended);
    EXPECT_EQ(tagsOf(user, "GPS:"), gps);
}

// A Sony JPEG names its preview by an offset from the EXIF block to past the
// picture. With IFD0 damaged the block goes back byte for byte, so a save that
// moves the preview (a title adds an IPTC segment) would leave the offset
// naming other bytes: it is refused, the file untouched.
TEST_F(DamagedExifSaveTest, ASonyPreviewThatADamagedExifBlockCannotFollowRefusesTheSave)
{
    for (const auto& field : {ifd0WithNoEntries, ifd0AtOffsetZero}) {
        Field mended;
        const QString user = damaged(Damage{"npm-sony-a6000.jpg", "", field}, &mended);
        expectEditRefused(
            user, "Iptc.Application2.ObjectName", TAVExifData::CategorySummary, "the Sony preview image", "Harbour");
        QFile::remove(user);
    }
}

// The same file's preview as its multi-picture index names it (its maker
// note's header damaged too, and its preview entry emptied, so that nothing
// in the kept block names it: a damaged header alone leaves the entry naming
// the preview, and such a save is refused): the index counts its offsets
// across the bytes up to the picture, so the kept EXIF segment goes back
// before it, where it lay, and a title edit saves with the preview still
// found.
TEST_F(DamagedExifSaveTest, APreviewNamedByAMultiPictureIndexIsFoundAfterADamagedExifBlockIsKept)
{
    const QByteArray preview = ExifTool::binary(ImageFixtures::sample("npm-sony-a6000.jpg"), "MPF:PreviewImage");
    ASSERT_GT(preview.size(), 500000);
    Field mended;
    const QString user = damaged(Damage{"npm-sony-a6000.jpg", "", ifd0WithNoEntries}, &mended);
    QByteArray bytes = WrittenFileProbe::bytes(user);
    const qsizetype sony = bytes.indexOf("SONY DSC ");
    ASSERT_GT(sony, 0);
    bytes[sony] = 'Z';
    const TiffView tiff(bytes);
    const qsizetype entry = tiff.start + tiff.entry(sony - tiff.start + 12, 0x2001);
    bytes.replace(entry + 4, 4, tiff.number(0, 4));
    ASSERT_TRUE(FileServices::writeFileAtomically(user, bytes));

    const auto image = openWorkingCopy(user);
    edit(image, "Iptc.Application2.ObjectName", "Harbour");
    ASSERT_TRUE(image->saveMetadataToImage()) << qPrintable(image->lastSaveFailure());
    EXPECT_EQ(ExifTool::read(user).value("IPTC:ObjectName").toString(), QString("Harbour"));
    EXPECT_EQ(ExifTool::binary(user, "MPF:PreviewImage"), preview);
}

// A directory that declares no entries holds nothing a save could lose, and
// exiftool reads it without a word: an EXIF edit is saved. One whose entries
// still follow its count (the count damaged to 0) is damage, as above.
TEST_F(DamagedExifSaveTest, AnEmptyDirectoryIsNoDamage)
{
    const QString user = ImageFixtures::copySample("npm-lumia.jpg", tempPath("user"));
    QByteArray bytes = WrittenFileProbe::bytes(user);
    const TiffView tiff(bytes);
    const qsizetype interop = tiff.read(tiff.entry(tiff.exifDirectory(), 0xA005) + 8, 4);
    ASSERT_GT(tiff.read(interop, 2), 0u);
    // The count, and the first entry's bytes where the next pointer now lies.
    bytes.replace(tiff.start + interop, 14, QByteArray(14, '\0'));
    ASSERT_TRUE(FileServices::writeFileAtomically(user, bytes));
    ASSERT_EQ(ExifTool::warnings(user), ExifTool::warnings(ImageFixtures::sample("npm-lumia.jpg")));

    const auto image = openWorkingCopy(user);
    edit(image, "Exif.Image.Artist", "Lumetta Tester");
    ASSERT_TRUE(image->saveMetadataToImage()) << qPrintable(image->lastSaveFailure());
    const QJsonObject tags = ExifTool::read(user);
    EXPECT_EQ(tags.value("IFD0:Artist").toString(), QString("Lumetta Tester"));
    EXPECT_EQ(tags.value("ExifIFD:ExposureTime"),
        ExifTool::read(ImageFixtures::sample("npm-lumia.jpg")).value("ExifIFD:ExposureTime"));
}
