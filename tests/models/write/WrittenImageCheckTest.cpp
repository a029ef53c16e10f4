// The check of the bytes a save wrote: values that did not come back as meant
// fail it, values that came back as the same text pass it whatever their
// bytes, and a passing check hands back its parse of the new bytes. A changed
// picture, XMP no edit reached or image type fails it.

#include "models/write/WrittenImageCheck.h"

#include "models/formats/JpegSegments.h"
#include "models/formats/PngKeptChunks.h"
#include "models/formats/PngPhotoshopChunk.h"
#include "models/formats/SonyPreviewImage.h"
#include "models/formats/TiffIptcEntries.h"

#include "models/write/PngChunkMaker.h"
#include "support/ImageFixtures.h"
#include "support/QtPrinters.h"

#include <QBuffer>
#include <QFile>
#include <QImage>
#include <QtEndian>

#include <exiv2/exiv2.hpp>

#include <gtest/gtest.h>

#include <functional>
#include <utility>

namespace {

using ImagePtr = std::unique_ptr<Exiv2::Image>;

QByteArray sampleBytes(const char* name)
{
    QFile file(ImageFixtures::sample(QString::fromLatin1(name)));
    EXPECT_TRUE(file.open(QIODevice::ReadOnly));
    return file.readAll();
}

ImagePtr parse(const QByteArray& bytes)
{
    auto image = Exiv2::ImageFactory::open(
        reinterpret_cast<const Exiv2::byte*>(bytes.constData()), static_cast<long>(bytes.size()));
    image->readMetadata();
    return ImagePtr(image.release());
}

using ImageChange = std::function<void(Exiv2::Image&)>;

// The file after `change` is applied to its parsed image and written in memory.
QByteArray writtenWith(const QByteArray& original, const ImageChange& change)
{
    const ImagePtr image = parse(original);
    change(*image);
    image->writeMetadata();
    Exiv2::BasicIo& io = image->io();
    io.open();
    const Exiv2::DataBuf bytes = io.read(io.size());
    io.close();
    return QByteArray(reinterpret_cast<const char*>(bytes.pData_), qsizetype(bytes.size_));
}

// The file after `change` is applied to its EXIF data and written in memory.
QByteArray written(const QByteArray& original, const std::function<void(Exiv2::ExifData&)>& change)
{
    return writtenWith(original, [&](Exiv2::Image& image) { change(image.exifData()); });
}

// What a save meant to write: the original data after `change`.
WrittenImageCheck::Expected meant(const QByteArray& original, const std::function<void(Exiv2::ExifData&)>& change)
{
    const ImagePtr image = parse(original);
    change(image->exifData());
    return {image->exifData(), image->iptcData(), image->xmpData(), false, image->xmpPacket(), false};
}

void setArtist(Exiv2::ExifData& exif, const std::string& bytes)
{
    Exiv2::AsciiValue value;
    value.read(bytes);
    exif["Exif.Image.Artist"].setValue(&value);
}

// Sets the checksum of the PNG chunk at `at` (its length field) to match its
// type and data.
void fixPngChunkChecksum(QByteArray& png, qsizetype at)
{
    const auto byte = [&](qsizetype i) { return uint32_t(uint8_t(png.at(at + i))); };
    const qsizetype length = qsizetype((byte(0) << 24) | (byte(1) << 16) | (byte(2) << 8) | byte(3));
    uint32_t crc = 0xFFFFFFFFu;
    for (qsizetype i = at + 4; i < at + 8 + length; ++i) {
        crc ^= uint8_t(png.at(i));
        for (int bit = 0; bit < 8; ++bit) {
            crc = (crc >> 1) ^ (0xEDB88320u & (0u - (crc & 1u)));
        }
    }
    crc ^= 0xFFFFFFFFu;
    for (int i = 0; i < 4; ++i) {
        png[at + 8 + length + i] = char(crc >> (24 - 8 * i));
    }
}

void setComponents(Exiv2::ExifData& exif, const char* text)
{
    Exiv2::DataValue value(Exiv2::undefined);
    value.read(text);
    exif["Exif.Photo.ComponentsConfiguration"].setValue(&value);
}

} // namespace

TEST(WrittenImageCheckTest, WrittenValuesMustReadBackAsMeant)
{
    const QByteArray original = sampleBytes("npm-canon-s40.jpg");
    const auto ann = [](Exiv2::ExifData& exif) { setArtist(exif, "Ann"); };

    // As meant: the check passes and hands back its parse of the new bytes.
    const QByteArray good = written(original, ann);
    ImagePtr readBack;
    QString why;
    ASSERT_TRUE(WrittenImageCheck::confirm(original, good, meant(original, ann), &why, &readBack)) << qPrintable(why);
    ASSERT_TRUE(readBack);
    EXPECT_EQ(readBack->exifData()["Exif.Image.Artist"].toString(), "Ann");

    // A text cut short fails, named by its key.
    const QByteArray cut = written(original, [](Exiv2::ExifData& exif) { setArtist(exif, "An"); });
    readBack.reset();
    EXPECT_FALSE(WrittenImageCheck::confirm(original, cut, meant(original, ann), &why, &readBack));
    EXPECT_EQ(why, QString("Exif.Image.Artist does not read back as written"));
    EXPECT_FALSE(readBack);

    // One changed byte of a value held as bytes fails too.
    const auto components = [](Exiv2::ExifData& exif) { setComponents(exif, "1 2 3 0"); };
    const QByteArray changedByte = written(original, [](Exiv2::ExifData& exif) { setComponents(exif, "1 2 3 4"); });
    EXPECT_FALSE(WrittenImageCheck::confirm(original, changedByte, meant(original, components), &why));
    EXPECT_EQ(why, QString("Exif.Photo.ComponentsConfiguration does not read back as written"));
}

TEST(WrittenImageCheckTest, OtherBytesOfTheSameTextPass)
{
    const QByteArray original = sampleBytes("npm-canon-s40.jpg");
    // Text ends at the first NUL: both values read "Ann" although their bytes differ.
    const QByteArray plain = written(original, [](Exiv2::ExifData& exif) { setArtist(exif, "Ann"); });
    const auto padded = [](Exiv2::ExifData& exif) { setArtist(exif, std::string("Ann\0old", 7)); };
    QString why;
    EXPECT_TRUE(WrittenImageCheck::confirm(original, plain, meant(original, padded), &why)) << qPrintable(why);
}

// One byte of the picture changed where each format keeps it: a JPEG's scan,
// a TIFF's strip, a PNG's image data chunk (its checksum made to match, so
// that only the picture differs).
TEST(WrittenImageCheckTest, AChangedPictureFails)
{
    const auto same = [](Exiv2::ExifData&) {};
    const auto jpegScan = [](const QByteArray& bytes) { return bytes.size() - 100; };
    const auto tiffStrip = [](const QByteArray& bytes) {
        return qsizetype(parse(bytes)->exifData()["Exif.Image.StripOffsets"].toLong()) + 100;
    };
    const auto pngImageChunk = [](const QByteArray& bytes) { return bytes.indexOf("IDAT") + 4 + 100; };
    const std::pair<const char*, std::function<qsizetype(const QByteArray&)>> samples[]
        = {{"npm-canon-s40.jpg", jpegScan}, {"goexif.tif", tiffStrip}, {"png-nikon-d3.png", pngImageChunk}};
    for (const auto& [name, pictureByte] : samples) {
        const QByteArray original = sampleBytes(name);
        QByteArray damaged = written(original, same);
        const qsizetype at = pictureByte(damaged);
        ASSERT_TRUE(at > 0 && at < damaged.size()) << name;
        damaged[at] = char(damaged.at(at) ^ 0x55);
        if (QByteArray(name).endsWith(".png")) {
            fixPngChunkChecksum(damaged, damaged.indexOf("IDAT") - 4);
        }
        QString why;
        EXPECT_TRUE(WrittenImageCheck::confirm(original, written(original, same), meant(original, same), &why))
            << name << ": " << qPrintable(why);
        EXPECT_FALSE(WrittenImageCheck::confirm(original, damaged, meant(original, same), &why)) << name;
        EXPECT_EQ(why, QString("the picture data changed")) << name;
    }
}

// A PNG's text chunk that the library dropped (its keyword begins like the
// library's comment's) fails the check, and so does one renamed; put back
// as the file held it, the save passes.
TEST(WrittenImageCheckTest, APngChunkDroppedOrRenamedFails)
{
    QByteArray original = sampleBytes("png-nikon-d3.png");
    const QByteArray text("Descriptions\0Harbour at dawn", 28);
    QByteArray chunk(4, '\0');
    chunk[3] = char(text.size());
    chunk += "tEXt" + text + QByteArray(4, '\0');
    fixPngChunkChecksum(chunk, 0);
    original.insert(original.lastIndexOf("IEND") - 4, chunk);

    const auto same = [](Exiv2::ExifData&) {};
    const QByteArray dropped = written(original, same);
    ASSERT_FALSE(dropped.contains(chunk));
    QString why;
    EXPECT_FALSE(WrittenImageCheck::confirm(original, dropped, meant(original, same), &why));
    EXPECT_EQ(why, QString("the PNG chunk tEXt \"Descriptions\" would not be kept as the file holds it"));

    const QByteArray kept = PngKeptChunks::withKeptChunks(dropped, original);
    EXPECT_TRUE(WrittenImageCheck::confirm(original, kept, meant(original, same), &why)) << qPrintable(why);
    QByteArray renamed = kept;
    const qsizetype at = renamed.indexOf(chunk);
    ASSERT_GT(at, 0);
    renamed[at + 8 + 11] = 'z';
    fixPngChunkChecksum(renamed, at);
    EXPECT_FALSE(WrittenImageCheck::confirm(original, renamed, meant(original, same), &why));
    EXPECT_EQ(why, QString("the PNG chunk tEXt \"Descriptions\" would not be kept as the file holds it"));
}

// A clear of everything takes a PNG's text chunks and its modification time
// and nothing else: the check passes the picture's chunks alone, and fails a
// save that keeps a text chunk or the time, or that drops a picture chunk;
// another save must keep the text chunks and the time. A clear of the GPS
// takes the copies of the GPS tags and no other.
TEST(WrittenImageCheckTest, APngClearTakesExactlyItsTextChunks)
{
    const QByteArray original = sampleBytes("png-sony-gps.png");
    const auto chunkAt = [&original](const QByteArray& type) {
        const qsizetype at = original.indexOf(type) - 4;
        return original.mid(at, 12 + qFromBigEndian<quint32>(original.constData() + at));
    };
    QByteArray picture = original.first(8);
    for (const char* type : {"IHDR", "iCCP", "cHRM", "bKGD", "pHYs", "caNv", "IDAT", "IEND"})
        picture += chunkAt(type);
    using Cleared = PngKeptChunks::Cleared;
    EXPECT_EQ(PngKeptChunks::changeIn(original, picture, Cleared::All), QString());
    EXPECT_EQ(PngKeptChunks::changeIn(original, original, Cleared::All), QString("a PNG chunk tIME would be added"));
    QByteArray withText = picture;
    withText.insert(withText.indexOf("IEND") - 4, chunkAt("tEXt"));
    EXPECT_EQ(PngKeptChunks::changeIn(original, withText, Cleared::All),
        QString("a PNG chunk tEXt \"date:create\" would be added"));
    QByteArray withoutBackground = picture;
    withoutBackground.remove(withoutBackground.indexOf("bKGD") - 4, chunkAt("bKGD").size());
    EXPECT_EQ(PngKeptChunks::changeIn(original, withoutBackground, Cleared::All),
        QString("the PNG chunk bKGD would not be kept as the file holds it"));
    // Clear > GPS takes the copies of the GPS tags alone.
    const auto without = [](QByteArray png, const QByteArray& keyword) {
        const qsizetype at = png.indexOf(QByteArray("tEXt") + keyword + '\0') - 4;
        png.remove(at, 12 + qFromBigEndian<quint32>(png.constData() + at));
        return png;
    };
    QByteArray withoutGps = original;
    for (const char* keyword : {"exif:GPSDifferential", "exif:GPSInfo", "exif:GPSMapDatum", "exif:GPSStatus"})
        withoutGps = without(withoutGps, keyword);
    EXPECT_EQ(PngKeptChunks::changeIn(original, withoutGps, Cleared::Gps), QString());
    EXPECT_EQ(PngKeptChunks::changeIn(original, original, Cleared::Gps),
        QString("a PNG chunk tEXt \"exif:GPSDifferential\" would be added"));
    EXPECT_EQ(PngKeptChunks::changeIn(original, withoutGps),
        QString("the PNG chunk tEXt \"exif:GPSDifferential\" would not be kept as the file holds it"));
    const QByteArray withoutArtist = without(withoutGps, "exif:Artist");
    EXPECT_EQ(PngKeptChunks::changeIn(original, withoutArtist, Cleared::Gps),
        QString("the PNG chunk tEXt \"exif:Artist\" would not be kept as the file holds it"));
    EXPECT_EQ(PngKeptChunks::changeIn(original, withoutArtist, Cleared::Exif),
        QString("a PNG chunk tEXt \"exif:BrightnessValue\" would be added"));
    EXPECT_EQ(PngKeptChunks::changeIn(original, picture, Cleared::Exif),
        QString("the PNG chunk tIME would not be kept as the file holds it"));
    EXPECT_EQ(PngKeptChunks::changeIn(original, picture),
        QString("the PNG chunk tIME would not be kept as the file holds it"));
}

// A converter's PNG holds its IPTC among its Photoshop resources and in an
// IPTC chunk: where the two were alike, resources left as they were beside a
// changed IPTC chunk fail the check, and pass once they hold the new block;
// resources that held another block pass as they were.
TEST(WrittenImageCheckTest, PngPhotoshopResourcesFollowTheIptcTheyCopied)
{
    using namespace PngChunkMaker;
    const QByteArray iptc = dataset(5, "BUSH") + dataset(120, "The president speaks");
    const QByteArray edited = dataset(5, "Harbour") + dataset(120, "The president speaks");
    const QByteArray resources = resource(0x03ED, QByteArray::fromHex("00480000000100010048000000010001"));
    const auto withProfiles = [](const QByteArray& chunks) {
        QByteArray png = sampleBytes("png-nikon-d3.png");
        png.insert(png.indexOf("IDAT") - 4, chunks);
        return png;
    };
    const QByteArray photoshop = photoshopChunk(resources + resource(0x0404, iptc));
    const QByteArray before = withProfiles(photoshop + rawProfileChunk("iptc", iptc));
    const QByteArray stale = withProfiles(photoshop + rawProfileChunk("iptc", edited));
    EXPECT_EQ(PngKeptChunks::changeIn(before, stale),
        QString("the PNG chunk zTXt \"Raw profile type 8bim\" would not be kept as the file holds it"));
    const auto inStep = PngPhotoshopChunk::withIptcInStep(stale);
    ASSERT_TRUE(inStep);
    EXPECT_TRUE(inStep->contains(photoshopChunk(resources + resource(0x0404, edited))));
    EXPECT_EQ(PngKeptChunks::changeIn(before, *inStep), QString());

    const QByteArray differing = withProfiles(photoshop + rawProfileChunk("iptc", edited));
    const QByteArray edit = withProfiles(photoshop + rawProfileChunk("iptc", iptc + dataset(80, "Eric Draper")));
    EXPECT_EQ(PngKeptChunks::changeIn(differing, edit), QString());
}

// Written as the save writes a packet no edit reached (from the packet as
// read), the XMP passes; a property changed or lost on the way fails.
TEST(WrittenImageCheckTest, XmpNoEditReachedMustReadBackUnchanged)
{
    const QByteArray original = sampleBytes("1x1_exif_xmp.jpg");
    const WrittenImageCheck::Expected expected = meant(original, [](Exiv2::ExifData&) {});
    ASSERT_FALSE(expected.xmpPacket.empty());
    QString why;
    const QByteArray asRead = writtenWith(original, [](Exiv2::Image& image) { image.writeXmpFromPacket(true); });
    EXPECT_TRUE(WrittenImageCheck::confirm(original, asRead, expected, &why)) << qPrintable(why);

    const std::pair<const char*, std::function<void(Exiv2::XmpData&)>> changes[] = {
        {"changed", [](Exiv2::XmpData& xmp) { xmp["Xmp.xmpMM.DocumentID"] = "gimp:docid:another"; }},
        {"lost", [](Exiv2::XmpData& xmp) { xmp.erase(xmp.findKey(Exiv2::XmpKey("Xmp.xmpMM.InstanceID"))); }},
    };
    for (const auto& [what, change] : changes) {
        const auto& changeRef = change;
        const QByteArray bytes = writtenWith(original, [&](Exiv2::Image& image) { changeRef(image.xmpData()); });
        why.clear();
        EXPECT_FALSE(WrittenImageCheck::confirm(original, bytes, expected, &why)) << what;
        EXPECT_FALSE(why.isEmpty()) << what;
    }
}

// A file that came back as another type is refused even where its picture
// decodes to the same size and no metadata differs (a WebP written as a JPEG).
TEST(WrittenImageCheckTest, AnotherImageTypeFails)
{
    QImage picture(8, 8, QImage::Format_RGB32);
    picture.fill(Qt::darkCyan);
    const auto encoded = [&](const char* format) {
        QByteArray bytes;
        QBuffer buffer(&bytes);
        EXPECT_TRUE(buffer.open(QIODevice::WriteOnly) && picture.save(&buffer, format)) << format;
        return bytes;
    };
    const QByteArray webp = encoded("WEBP");
    const WrittenImageCheck::Expected expected = meant(webp, [](Exiv2::ExifData&) {});
    QString why;
    EXPECT_TRUE(WrittenImageCheck::confirm(webp, encoded("WEBP"), expected, &why)) << qPrintable(why);
    EXPECT_FALSE(WrittenImageCheck::confirm(webp, encoded("JPEG"), expected, &why));
    EXPECT_EQ(why, QString("the written file is no longer of its image type"));
}

namespace {

// What a save meant to write: the original metadata after `change`.
WrittenImageCheck::Expected meantWith(const QByteArray& original, const ImageChange& change, bool xmpEdited)
{
    const ImagePtr image = parse(original);
    change(*image);
    return {image->exifData(), image->iptcData(), image->xmpData(), xmpEdited, image->xmpPacket(), false};
}

// The XMP properties go back re-encoded from their parsed form.
void reencodeXmp(Exiv2::Image& image)
{
    image.writeXmpFromPacket(false);
    image.xmpData().usePacket(false);
}

QString whyRefused(const QByteArray& original, const QByteArray& written, const WrittenImageCheck::Expected& expected)
{
    QString why;
    return WrittenImageCheck::confirm(original, written, expected, &why) ? QString() : why;
}

} // namespace

// What the library drops or moves on a write passes; the same loss of any
// other value does not.
TEST(WrittenImageCheckTest, OnlyTheLibrarysKnownChangesPass)
{
    // The library drops IFD0's PhotometricInterpretation from every JPEG.
    const QByteArray photometric = sampleBytes("npm-nikon-d90-photometric.jpg");
    const auto none = [](Exiv2::Image&) {};
    ASSERT_TRUE(parse(photometric)->exifData().findKey(Exiv2::ExifKey("Exif.Image.PhotometricInterpretation"))
        != parse(photometric)->exifData().end());
    EXPECT_EQ(whyRefused(photometric, writtenWith(photometric, none), meantWith(photometric, none, false)), QString());
    const auto dropModel = [](Exiv2::Image& image) {
        image.exifData().erase(image.exifData().findKey(Exiv2::ExifKey("Exif.Image.Model")));
    };
    EXPECT_EQ(whyRefused(photometric, writtenWith(photometric, dropModel), meantWith(photometric, none, false)),
        QString("Exif.Image.Model does not read back as written"));

    // A longer artist moves the directories and the thumbnail: they are
    // followed. A thumbnail whose bytes changed is refused.
    const QByteArray canon = sampleBytes("npm-canon-s40.jpg");
    const auto ann = [](Exiv2::Image& image) { image.exifData()["Exif.Image.Artist"] = std::string("Ann Longname"); };
    EXPECT_EQ(whyRefused(canon, writtenWith(canon, ann), meantWith(canon, ann, false)), QString());
    const auto otherThumbnail = [&](Exiv2::Image& image) {
        ann(image);
        Exiv2::ExifThumb thumbnail(image.exifData());
        const Exiv2::DataBuf old = thumbnail.copy();
        std::vector<Exiv2::byte> changed(old.pData_, old.pData_ + old.size_);
        changed[changed.size() / 2] ^= 0x55;
        thumbnail.setJpegThumbnail(changed.data(), long(changed.size()));
    };
    EXPECT_EQ(whyRefused(canon, writtenWith(canon, otherThumbnail), meantWith(canon, ann, false)),
        QString("Exif.Thumbnail.JPEGInterchangeFormat does not read back as written"));
}

// XMP passes when its properties are the same, however the packet is
// written, and fails on a changed array order, language or an added property.
TEST(WrittenImageCheckTest, XmpIsComparedByItsProperties)
{
    const QByteArray windows = sampleBytes("npm-windows-xmp.jpg");
    const QByteArray reencoded = writtenWith(windows, reencodeXmp);
    ASSERT_NE(parse(reencoded)->xmpPacket(), parse(windows)->xmpPacket());
    EXPECT_EQ(whyRefused(windows, reencoded,
                  meantWith(
                      windows, [](Exiv2::Image&) {}, false)),
        QString());

    const QByteArray pentax = sampleBytes("gowebp-pentax.jpg");
    const auto subject = [](const char* first, const char* second) {
        return [=](Exiv2::Image& image) {
            reencodeXmp(image);
            Exiv2::XmpArrayValue words(Exiv2::xmpBag);
            words.read(first);
            words.read(second);
            image.xmpData()["Xmp.dc.subject"].setValue(&words);
        };
    };
    const auto meant = meantWith(pentax, subject("sea", "sand"), true);
    EXPECT_EQ(whyRefused(pentax, writtenWith(pentax, subject("sea", "sand")), meant), QString());
    EXPECT_EQ(whyRefused(pentax, writtenWith(pentax, subject("sand", "sea")), meant),
        QString("Xmp.dc.subject does not read back as written"));
    const auto titled = [](const char* language) {
        return [=](Exiv2::Image& image) {
            reencodeXmp(image);
            Exiv2::LangAltValue title;
            title.read(std::string("lang=") + language + " Coast");
            image.xmpData()["Xmp.dc.title"].setValue(&title);
        };
    };
    EXPECT_EQ(whyRefused(pentax, writtenWith(pentax, titled("de")), meantWith(pentax, titled("en"), true)),
        QString("Xmp.dc.title does not read back as written"));
    const auto labelled = [](Exiv2::Image& image) {
        reencodeXmp(image);
        image.xmpData()["Xmp.xmp.Nickname"] = std::string("extra");
    };
    EXPECT_EQ(whyRefused(pentax, writtenWith(pentax, labelled), meantWith(pentax, reencodeXmp, true)),
        QString("Xmp.xmp.Nickname appeared in the XMP packet"));
}

// A Sony preview must still be named by the maker note after the library
// wrote, which it is only once the save pointed the entry at it again; and a
// written file may hold one EXIF block only.
TEST(WrittenImageCheckTest, ASonyPreviewLostOrASecondExifBlockFails)
{
    const QByteArray sony = sampleBytes("npm-sony-a6000.jpg");
    const auto artist = [](Exiv2::Image& image) { image.exifData()["Exif.Image.Artist"] = std::string("Ann"); };
    QByteArray written = writtenWith(sony, artist);
    ASSERT_TRUE(SonyPreviewImage::previewIn(sony));
    EXPECT_FALSE(SonyPreviewImage::previewIn(written));
    EXPECT_EQ(whyRefused(sony, written, meantWith(sony, artist, false)),
        QString("the Sony preview image is no longer found"));
    QString why;
    ASSERT_TRUE(SonyPreviewImage::keepPreview(sony, written, &why)) << qPrintable(why);
    EXPECT_EQ(SonyPreviewImage::previewIn(written), SonyPreviewImage::previewIn(sony));
    EXPECT_EQ(whyRefused(sony, written, meantWith(sony, artist, false)), QString());

    const QByteArray canon = sampleBytes("npm-canon-s40.jpg");
    const auto exif = JpegSegments::exifSegments(canon);
    ASSERT_EQ(exif.size(), 1u);
    QByteArray twice = canon;
    twice.insert(exif[0].offset, canon.mid(exif[0].offset, exif[0].size));
    EXPECT_EQ(whyRefused(canon, twice,
                  meantWith(
                      canon, [](Exiv2::Image&) {}, false)),
        QString("the written file holds more than one EXIF block"));
}

// The preview entry is set only where the preview's bytes truly are: a save
// whose preview bytes did not come through is refused.
TEST(WrittenImageCheckTest, ASonyPreviewWhoseBytesChangedIsNotPointedAt)
{
    const QByteArray sony = sampleBytes("npm-sony-a6000.jpg");
    QByteArray written = writtenWith(sony, [](Exiv2::Image&) {});
    const auto preview = SonyPreviewImage::previewIn(sony);
    ASSERT_TRUE(preview);
    const qsizetype at = preview->data() - sony.constData() + written.size() - sony.size();
    written[at + preview->size() / 2] = char(written[at + preview->size() / 2] ^ 0x55);
    const QByteArray damaged = written;
    QString why;
    EXPECT_FALSE(SonyPreviewImage::keepPreview(sony, written, &why));
    EXPECT_EQ(why, QString("the Sony preview's bytes are not where the save moved them"));
    EXPECT_EQ(written, damaged);
}

// A TIFF names its picture in its directories; when the library finds none
// there (a first-directory pointer two bytes off), nothing it writes can be
// shown to keep the picture.
TEST(WrittenImageCheckTest, ATiffWhosePictureCannotBeFoundFails)
{
    QByteArray tiff = sampleBytes("goexif.tif");
    tiff[4] = char(uint8_t(tiff[4]) + 2);
    const auto none = [](Exiv2::Image&) {};
    EXPECT_EQ(whyRefused(tiff, writtenWith(tiff, none), meantWith(tiff, none, false)),
        QString("the library cannot locate the picture data to keep it"));
    const QByteArray intact = sampleBytes("goexif.tif");
    EXPECT_EQ(whyRefused(intact, writtenWith(intact, none), meantWith(intact, none, false)), QString());
}

namespace {

// The file after `change`, its XMP segment written back as the file held it
// (as a save that edits no XMP writes it).
QByteArray writtenKeepingXmp(const QByteArray& original, const std::function<void(Exiv2::ExifData&)>& change)
{
    return writtenWith(original, [&](Exiv2::Image& image) {
        change(image.exifData());
        image.writeXmpFromPacket(true);
        image.xmpPacket() = JpegSegments::xmpPacket(original).value_or(QByteArray()).toStdString();
    });
}

} // namespace

// XMP segments a save kept byte for byte are not read again: the check's parse
// holds the XMP read before, and every segment that changed is still read.
TEST(WrittenImageCheckTest, KeptXmpIsNotReadAgainWhatChangedIs)
{
    const QByteArray original = sampleBytes("npm-windows-xmp.jpg");
    const auto ann = [](Exiv2::ExifData& exif) { setArtist(exif, "Ann"); };
    const WrittenImageCheck::Expected expected = meant(original, ann);
    ASSERT_FALSE(expected.xmpData.empty());

    const QByteArray good = writtenKeepingXmp(original, ann);
    ASSERT_EQ(JpegSegments::xmpPacket(good), JpegSegments::xmpPacket(original));
    WrittenImageCheck::ReadBack readBack;
    QString why;
    ASSERT_TRUE(WrittenImageCheck::confirm(original, good, expected, &why, &readBack)) << qPrintable(why);
    // Only the changed segments were parsed, not the picture.
    EXPECT_FALSE(readBack.parsedBytes.isEmpty());
    EXPECT_LT(readBack.parsedBytes.size(), good.size() / 2);
    EXPECT_EQ(readBack.image->exifData()["Exif.Image.Artist"].toString(), "Ann");
    EXPECT_EQ(readBack.image->xmpData().count(), parse(good)->xmpData().count());
    EXPECT_EQ(readBack.image->pixelWidth(), parse(good)->pixelWidth());

    // A damaged EXIF segment beside the kept XMP is still seen.
    const QByteArray cut = writtenKeepingXmp(original, [](Exiv2::ExifData& exif) { setArtist(exif, "An"); });
    EXPECT_FALSE(WrittenImageCheck::confirm(original, cut, expected, &why, &readBack));
    EXPECT_EQ(why, QString("Exif.Image.Artist does not read back as written"));

    // An XMP segment one byte off is no kept segment: it is read and refused.
    QByteArray changedXmp = good;
    const qsizetype at = changedXmp.indexOf("<rdf:Description") + 1;
    ASSERT_GT(at, 0);
    const qsizetype value = changedXmp.indexOf(">", changedXmp.indexOf("<dc:", at)) + 1;
    ASSERT_GT(value, 0);
    changedXmp[value] = char(changedXmp.at(value) == 'x' ? 'y' : 'x');
    readBack = {};
    EXPECT_FALSE(WrittenImageCheck::confirm(original, changedXmp, expected, &why, &readBack));
    EXPECT_FALSE(readBack.image);

    // So is a changed picture.
    QByteArray changedPicture = good;
    changedPicture[changedPicture.size() - 100] = char(changedPicture.at(changedPicture.size() - 100) ^ 0x55);
    EXPECT_FALSE(WrittenImageCheck::confirm(original, changedPicture, expected, &why, &readBack));
    EXPECT_EQ(why, QString("the picture data changed"));
}

// With the picture's place as the save read it, the original is not read
// again, and a changed strip is still found.
TEST(WrittenImageCheckTest, ATiffsPictureIsComparedFromTheSavesOwnRead)
{
    const QByteArray original = sampleBytes("goexif.tif");
    const auto same = [](Exiv2::ExifData&) {};
    const Exiv2::ExifData pictureTags = WrittenImageCheck::pictureTagsOf(parse(original)->exifData());
    ASSERT_FALSE(pictureTags.empty());
    WrittenImageCheck::Expected expected = meant(original, same);
    expected.beforePictureTags = &pictureTags;
    QString why;
    const QByteArray good = written(original, same);
    EXPECT_TRUE(WrittenImageCheck::confirm(original, good, expected, &why)) << qPrintable(why);

    QByteArray damaged = good;
    const qsizetype at = qsizetype(parse(good)->exifData()["Exif.Image.StripOffsets"].toLong()) + 100;
    damaged[at] = char(damaged.at(at) ^ 0x55);
    EXPECT_FALSE(WrittenImageCheck::confirm(original, damaged, expected, &why));
    EXPECT_EQ(why, QString("the picture data changed"));
}

// A save that changes no IPTC dataset must keep the IPTC block byte for
// byte: the library's own block, sorted in a TIFF and moved after the header
// in a PNG, fails the check; the file's block in its place passes.
TEST(WrittenImageCheckTest, AnUneditedIptcBlockMustComeBackAsItWas)
{
    const auto withIptc = [](Exiv2::Image& image) {
        image.iptcData()["Iptc.Envelope.ModelVersion"] = uint16_t(4);
        image.iptcData()["Iptc.Application2.ObjectName"] = "Harbour";
    };
    QByteArray tiff = writtenWith(sampleBytes("goexif.tif"), withIptc);
    // The record-2 dataset first, where the library writes record 1 first.
    qsizetype entry = qFromLittleEndian<quint32>(tiff.constData() + 4) + 2;
    while (qFromLittleEndian<quint16>(tiff.constData() + entry) != 0x83BB)
        entry += 12;
    const QByteArray version = QByteArray::fromHex("1c010000020004");
    const qsizetype value = qFromLittleEndian<quint32>(tiff.constData() + entry + 8);
    ASSERT_EQ(tiff.mid(value, version.size()), version);
    tiff.replace(value, 19, PngChunkMaker::dataset(5, "Harbour") + version);

    QByteArray png = sampleBytes("png-nikon-d3.png");
    PngChunkMaker::insertBeforeEnd(
        png, PngChunkMaker::rawProfileChunk("iptc", PngChunkMaker::dataset(5, "Harbour") + QByteArray(2, '\0')));

    for (const QByteArray& original : {tiff, png}) {
        // The library writes a TIFF's values into the memory it reads.
        const QByteArray library = writtenWith(QByteArray(original.constData(), original.size()), [](Exiv2::Image&) {});
        const bool isPng = original == png;
        WrittenImageCheck::Expected expected = meantWith(
            original, [](Exiv2::Image&) {}, false);
        const QByteArray own = isPng ? PngKeptChunks::withKeptChunks(library, original) : library;
        EXPECT_EQ(whyRefused(original, own, expected), QString());
        expected.iptcKept = true;
        EXPECT_EQ(whyRefused(original, own, expected),
            isPng ? QString("the PNG chunk tEXt \"Raw profile type iptc\" would not be kept as the file holds it")
                  : QString("the file's IPTC block, which no edit changed, would not be kept as it was"));
        const QByteArray kept = isPng ? PngKeptChunks::withKeptChunks(library, original, {}, true)
                                      : *TiffIptcEntries::withEntriesOf(library, original);
        EXPECT_EQ(whyRefused(original, kept, expected), QString());
    }
}
