// Saves of a real photo whose XMP packet the metadata library cannot decode,
// damaged in place by the test: the packet is kept byte for byte, so a title
// or keyword longer than its IPTC dataset, which only XMP would keep whole,
// is refused and says why instead of being cut unseen.

#include "models/write/DamagedSamples.h"

#include "models/formats/JpegSegments.h"
#include "models/read/TAVMetadataReaderMgr.h"

#include <algorithm>

using namespace DamagedSamples;

namespace {

class UnreadableXmpSaveTest : public DamagedFilesSaveTest { };

} // namespace

TEST_F(UnreadableXmpSaveTest, ATextIptcWouldCutIsRefusedWhenOnlyAnUnreadablePacketCouldKeepItWhole)
{
    struct Damage {
        const char* what;
        QByteArray from;
        QByteArray to;
    };
    const Damage damages[] = {
        {"a repeated property", "xmp:ModifyDate=", "xmp:CreateDate="},
        {"a broken closing tag", "</rdf:Description>", "</rdf:Descriptiom>"},
    };
    const char* const why = "the file's XMP cannot be read, so the whole text, which IPTC cuts to 64 bytes";
    for (const Damage& damage : damages) {
        SCOPED_TRACE(damage.what);
        const QString user = damagedSample("npm-nikon-d90-photometric.jpg", [&](QByteArray& bytes) {
            const qsizetype at = bytes.indexOf(damage.from);
            ASSERT_GT(at, 0);
            bytes.replace(at, damage.from.size(), damage.to);
        });
        const auto packet = JpegSegments::xmpPacket(WrittenFileProbe::bytes(user));
        ASSERT_TRUE(packet.has_value());

        expectEditRefused(user, "Iptc.Application2.ObjectName", TAVExifData::CategorySummary, why, QString(80, 't'));
        expectEditRefused(
            user, "Iptc.Application2.Keywords", TAVExifData::CategorySummary, why, "harbour, " + QString(70, 'k'));

        const auto image = openWorkingCopy(user);
        image->exifData()->setValue("Harbour", "Iptc.Application2.ObjectName", 0, false, false, true);
        ASSERT_TRUE(image->saveMetadataToImage()) << qPrintable(image->lastSaveFailure());
        EXPECT_EQ(ExifTool::read(user).value("IPTC:ObjectName").toString(), QString("Harbour"));
        EXPECT_EQ(JpegSegments::xmpPacket(WrittenFileProbe::bytes(user)), packet);
        ASSERT_TRUE(QFile::remove(tempPath("work/npm-nikon-d90-photometric.jpg")));
        QFile::remove(user);
    }
}

namespace {

// A phone photo given a packet that repeats a property, as some phones write
// them: the library rejects it, other readers read its position, camera,
// capture date, title and copyright.
QString phonePhotoWithUnreadablePacket(const QString& folder)
{
    const QString path = ImageFixtures::copySample("npm-iphone6p.jpg", folder);
    const std::string packet
        = "<?xpacket begin=\"\" id=\"W5M0MpCehiHzreSzNTczkc9d\"?><x:xmpmeta xmlns:x=\"adobe:ns:meta/\">"
          "<rdf:RDF xmlns:rdf=\"http://www.w3.org/1999/02/22-rdf-syntax-ns#\"><rdf:Description rdf:about=\"\" "
          "xmlns:xmp=\"http://ns.adobe.com/xap/1.0/\" xmlns:exif=\"http://ns.adobe.com/exif/1.0/\" "
          "xmlns:tiff=\"http://ns.adobe.com/tiff/1.0/\" xmlns:dc=\"http://purl.org/dc/elements/1.1/\" "
          "xmp:Rating=\"3\" exif:GPSLongitude=\"151,12.5E\" exif:GPSLatitude=\"33,51.5S\" "
          "exif:GPSAltitude=\"25/1\" exif:DateTimeOriginal=\"2016-03-24T14:49:51\" tiff:Make=\"Apple\" "
          "tiff:Model=\"iPhone 6 Plus\"><xmp:Ratinh>4</xmp:Ratinh><dc:title><rdf:Alt><rdf:li "
          "xml:lang=\"x-default\">Harbour</rdf:li></rdf:Alt></dc:title><dc:rights><rdf:Alt><rdf:li "
          "xml:lang=\"x-default\">Ann</rdf:li></rdf:Alt></dc:rights></rdf:Description></rdf:RDF></x:xmpmeta>"
          "<?xpacket end=\"w\"?>";
    EXPECT_TRUE(ImageFixtures::writeXmpPacket(path, packet));
    QByteArray bytes = WrittenFileProbe::bytes(path);
    bytes.replace("xmp:Ratinh", "xmp:Rating");
    EXPECT_TRUE(FileServices::writeFileAtomically(path, bytes));
    return path;
}

bool holdsGroup(const QJsonObject& tags, const QString& prefix)
{
    const QStringList keys = tags.keys();
    return std::any_of(keys.begin(), keys.end(), [&prefix](const QString& key) { return key.startsWith(prefix); });
}

} // namespace

// Clear > All takes an unreadable packet with everything else; Clear > GPS,
// which cannot take the position out of it, saves the EXIF side and tells
// the window the packet was kept.
TEST_F(UnreadableXmpSaveTest, ClearAllTakesAnUnreadablePacketAndClearGpsSaysItKeptIt)
{
    const QString user = phonePhotoWithUnreadablePacket(tempPath("user"));
    QJsonObject tags = ExifTool::read(user);
    ASSERT_FALSE(tags.value("XMP-exif:GPSLongitude").toString().isEmpty());
    ASSERT_TRUE(holdsGroup(tags, "GPS:"));

    auto image = openWorkingCopy(user);
    ASSERT_TRUE(image->readerMgr()->xmpUndecodable());
    image->exifData()->clear(TAVExifData::ClearGps);
    ASSERT_TRUE(image->saveMetadataToImage()) << qPrintable(image->lastSaveFailure());
    EXPECT_TRUE(image->lastSaveKeptXmp());
    tags = ExifTool::read(user);
    EXPECT_FALSE(holdsGroup(tags, "GPS:"));
    EXPECT_FALSE(tags.value("XMP-exif:GPSLongitude").toString().isEmpty());

    image->exifData()->clear(TAVExifData::ClearAll);
    ASSERT_TRUE(image->saveMetadataToImage()) << qPrintable(image->lastSaveFailure());
    EXPECT_FALSE(image->lastSaveKeptXmp());
    tags = ExifTool::read(user);
    EXPECT_FALSE(JpegSegments::xmpPacket(WrittenFileProbe::bytes(user)).has_value());
    for (const char* group : {"XMP", "GPS:", "IFD0:", "ExifIFD:", "IPTC:"}) {
        EXPECT_FALSE(holdsGroup(tags, group)) << group;
    }
}

// An edit whose XMP twin sits in a packet the library rejects could not
// reach that twin, which other programs read: it is refused, naming the
// unreadable XMP. A twin the packet does not hold refuses nothing (the D90's
// title, in the test above).
TEST_F(UnreadableXmpSaveTest, AnEditWhoseTwinSitsInAnUnreadablePacketIsRefused)
{
    const char* const why = "the file's XMP cannot be read, so its copy of the text";
    const auto repeatModifyDate = [](QByteArray& bytes) {
        const qsizetype at = bytes.indexOf("xmp:ModifyDate=");
        ASSERT_GT(at, 0);
        bytes.replace(at, 15, "xmp:CreateDate=");
    };
    const struct {
        const char* sample;
        std::vector<std::pair<const char*, const char*>> edits;
    } photos[] = {
        {"gowebp-pentax.jpg", {{"Exif.Image.Artist", "Bea"}, {"Iptc.Application2.Keywords", "harbour, sea"}}},
        {"npm-nikon-d90-photometric.jpg",
            {{"Exif.Image.ImageDescription", "Lucca"}, {"Iptc.Application2.Caption", ""}}},
        {"npm-iphone6p.jpg", {{"Exif.Image.Copyright", "Bea"}, {"Iptc.Application2.ObjectName", "Ships"}}},
    };
    for (const auto& photo : photos) {
        const QString user = QString(photo.sample) == "npm-iphone6p.jpg"
            ? phonePhotoWithUnreadablePacket(tempPath("user"))
            : damagedSample(photo.sample, repeatModifyDate);
        for (const auto& [key, value] : photo.edits)
            expectEditRefused(user, key, TAVExifData::CategorySummary, why, value);
        ASSERT_TRUE(QFile::remove(user));
    }
}

namespace {

// A camera file given a packet on one line, as some converters write them,
// holding the title, creator, keywords and the capture date; its Dublin
// Core under `dcUri`.
QString photoWithOneLinePacket(const QString& folder, const std::string& dcUri)
{
    const QString path = ImageFixtures::copySample("npm-canon-s40.jpg", folder);
    const std::string packet
        = "<?xpacket begin=\"\" id=\"W5M0MpCehiHzreSzNTczkc9d\"?><x:xmpmeta xmlns:x=\"adobe:ns:meta/\"><rdf:RDF "
          "xmlns:rdf=\"http://www.w3.org/1999/02/22-rdf-syntax-ns#\"><rdf:Description rdf:about=\"\" "
          "xmlns:xap=\"http://ns.adobe.com/xap/1.0/\" xmlns:dc=\""
        + dcUri
        + "\" xmlns:photoshop=\"http://ns.adobe.com/photoshop/1.0/\" xap:CreateDate=\"2003-12-14T12:01:44\" "
          "photoshop:DateCreated=\"2003-12-14T12:01:44\"><dc:title><rdf:Alt><rdf:li "
          "xml:lang=\"x-default\">Harbour</rdf:li></rdf:Alt></dc:title><dc:creator><rdf:Seq><rdf:li>Ann</rdf:li>"
          "</rdf:Seq></dc:creator><dc:subject><rdf:Bag><rdf:li>sea</rdf:li></rdf:Bag></dc:subject>"
          "</rdf:Description></rdf:RDF></x:xmpmeta><?xpacket end=\"w\"?>";
    EXPECT_TRUE(ImageFixtures::writeXmpPacket(path, packet));
    return path;
}

} // namespace

// Damage that hides whether a packet declares the Dublin Core or the XMP
// namespace (a quote lost runs one declaration into the next, a misspelt
// "xmlns", a declaration that cannot be read at all), or a segment whose XMP
// signature is damaged (readers that go by the content read it all the
// same): the packet cannot be told not to hold the title, creator, keywords
// or capture date, so their edits are refused; an edit with no XMP twin
// saves and keeps the packet byte for byte. A packet that only repeats a
// property declares the old Dublin Core URI intact, which other programs
// read as today's: it holds the title, creator and keywords all the same.
TEST_F(UnreadableXmpSaveTest, APacketWhoseDeclarationsCannotBeToldCountsAsHoldingEveryTwin)
{
    const std::string dcUri = "http://purl.org/dc/elements/1.1/";
    const std::string oldDcUri = "http://purl.org/dc/1.1/";
    const struct {
        const char* what;
        std::string dcUri;
        QByteArray from;
        QByteArray to;
    } damages[] = {
        {"the closing quote of the xap declaration", dcUri, "xap/1.0/\" xmlns:dc", "xap/1.0/x xmlns:dc"},
        {"the same, the old Dublin Core URI", oldDcUri, "xap/1.0/\" xmlns:dc", "xap/1.0/x xmlns:dc"},
        {"a misspelt xmlns", dcUri, "xmlns:dc=", "xmlms:dc="},
        {"a misspelt xmlns, the old Dublin Core URI", oldDcUri, "xmlns:dc=", "xmlms:dc="},
        {"a declaration that cannot be scanned", dcUri, "xmlns:xap=\"", "xmlns:xap=<"},
        {"a damaged segment signature", dcUri, QByteArray("http://ns.adobe.com/xap/1.0/\0", 29),
            QByteArray("http://ns.adobe.com/xap/1.O/\0", 29)},
        {"a repeated property, the old Dublin Core URI declared intact", oldDcUri,
            "photoshop:DateCreated=", "xap:CreateDate       ="},
    };
    const char* const why = "the file's XMP cannot be read, so its copy of the";
    for (const auto& damage : damages) {
        SCOPED_TRACE(damage.what);
        const QString user = photoWithOneLinePacket(tempPath("user"), damage.dcUri);
        QByteArray bytes = WrittenFileProbe::bytes(user);
        const qsizetype at = bytes.indexOf(damage.from);
        ASSERT_GT(at, 0);
        bytes.replace(at, damage.from.size(), damage.to);
        ASSERT_TRUE(FileServices::writeFileAtomically(user, bytes));
        const qsizetype start = bytes.indexOf("<?xpacket begin");
        const QByteArray packet = bytes.mid(start, bytes.indexOf("<?xpacket end", start) - start);

        expectEditRefused(user, "Iptc.Application2.ObjectName", TAVExifData::CategorySummary, why, "Ships");
        expectEditRefused(user, "Exif.Image.Artist", TAVExifData::CategorySummary, why, "Bea");
        expectEditRefused(user, "Iptc.Application2.Keywords", TAVExifData::CategorySummary, why, "harbour, sun");
        expectEditRefused(user, "Exif.Image.CreateDate", TAVExifData::CategorySummary, why, "2024-03-28");

        const auto image = openWorkingCopy(user);
        image->exifData()->setValue("4.0", "Exif.Photo.FNumber", TAVExifData::CategoryExposure, false, false, true);
        ASSERT_TRUE(image->saveMetadataToImage()) << qPrintable(image->lastSaveFailure());
        EXPECT_EQ(ExifTool::read(user).value("ExifIFD:FNumber").toDouble(), 4.0);
        EXPECT_TRUE(WrittenFileProbe::bytes(user).contains(packet));
        ASSERT_TRUE(QFile::remove(tempPath("work/npm-canon-s40.jpg")));
        ASSERT_TRUE(QFile::remove(user));
    }
}

// Clear > All of a photo whose XMP segment has a damaged signature, which
// other programs read by its content: a segment that is an XMP packet whole
// goes with everything else. One whose packet wrapper is damaged as well is
// not XMP for certain: it stays byte for byte and the save says so, as
// Clear > GPS does.
TEST_F(UnreadableXmpSaveTest, ClearAllTakesAnXmpSegmentWithADamagedSignatureOrSaysItKeptIt)
{
    const struct {
        const char* what;
        QByteArray wrapper;
        bool taken;
    } segments[] = {
        {"an XMP packet whole", "<?xpacket begin=", true},
        {"its packet wrapper damaged too", "<?xpacket bexin=", false},
    };
    for (const auto& segment : segments) {
        SCOPED_TRACE(segment.what);
        const QString user = photoWithOneLinePacket(tempPath("user"), "http://purl.org/dc/elements/1.1/");
        QByteArray bytes = WrittenFileProbe::bytes(user);
        const QByteArray signature("http://ns.adobe.com/xap/1.0/\0", 29);
        const qsizetype at = bytes.indexOf(signature);
        ASSERT_GT(at, 0);
        bytes.replace(at, 4, "ht\xffp");
        bytes.replace(bytes.indexOf("<?xpacket begin="), 16, segment.wrapper);
        ASSERT_TRUE(FileServices::writeFileAtomically(user, bytes));
        const qsizetype length = (uchar(bytes.at(at - 2)) << 8) | uchar(bytes.at(at - 1));
        const QByteArray app1 = bytes.mid(at - 4, length + 2);
        if (segment.taken) {
            ASSERT_EQ(ExifTool::read(user).value("XMP-dc:Title").toString(), "Harbour");
        }

        const auto image = openWorkingCopy(user);
        image->exifData()->clear(TAVExifData::ClearAll);
        ASSERT_TRUE(image->saveMetadataToImage()) << qPrintable(image->lastSaveFailure());
        EXPECT_EQ(image->lastSaveKeptXmp(), !segment.taken);
        const QJsonObject tags = ExifTool::read(user);
        for (const char* group : {"GPS:", "IFD0:", "ExifIFD:", "IPTC:"}) {
            EXPECT_FALSE(holdsGroup(tags, group)) << group;
        }
        if (segment.taken) {
            EXPECT_FALSE(holdsGroup(tags, "XMP"));
        }
        EXPECT_EQ(WrittenFileProbe::bytes(user).contains(app1), !segment.taken);
        EXPECT_EQ(WrittenFileProbe::bytes(user).contains("Harbour"), !segment.taken);
        ASSERT_TRUE(QFile::remove(tempPath("work/npm-canon-s40.jpg")));
        ASSERT_TRUE(QFile::remove(user));
    }
}
