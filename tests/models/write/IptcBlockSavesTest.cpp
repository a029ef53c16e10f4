// IPTC on real camera files, read back by exiftool: its byte limits cut a
// copy on a character boundary while XMP keeps the whole text, and
// Photoshop's digest of the block follows an edit wherever the block lies.
#include "models/image/TAVImageObject.h"

#include "foundation/FileServices.h"
#include "models/formats/JpegSegments.h"

#include "models/write/CameraFileSaveTest.h"
#include "models/write/WrittenFileProbe.h"
#include "support/ExifTool.h"
#include "support/ImageFixtures.h"
#include "support/QtPrinters.h"

#include <QJsonObject>
#include <QtEndian>

#include <exiv2/exiv2.hpp>

#include <gtest/gtest.h>

namespace {

const QByteArray kPhotoshopHeader("Photoshop 3.0\0", 14);

using IptcBlockSavesTest = CameraFileSaveTest;

// The JPEG's Photoshop segments (APP13 with Photoshop's header).
std::vector<JpegSegments::Segment> photoshopSegments(const QByteArray& jpeg)
{
    std::vector<JpegSegments::Segment> found;
    // Held here: a loop over a member of the returned temporary would read
    // it after its end.
    const auto header = JpegSegments::header(jpeg);
    for (const JpegSegments::Segment& segment : header->segments) {
        if (segment.marker == 0xED && jpeg.mid(segment.dataOffset(), kPhotoshopHeader.size()) == kPhotoshopHeader)
            found.push_back(segment);
    }
    return found;
}

// The JPEG with its one Photoshop segment's resources led by a plug-in
// resource of `size` bytes and spread over two segments, as programs write
// resources that outgrow one: the first segment full, the rest in the second.
QByteArray withResourcesInTwoSegments(const QByteArray& jpeg, qsizetype size)
{
    const std::vector<JpegSegments::Segment> segments = photoshopSegments(jpeg);
    EXPECT_EQ(segments.size(), size_t(1));
    const JpegSegments::Segment& old = segments.front();
    QByteArray resources("8BIM\x0f\xa0\0\0", 8);
    resources.append(4, '\0');
    qToBigEndian<quint32>(quint32(size), resources.data() + 8);
    for (qsizetype i = 0; i < size; ++i)
        resources.append(char(i * 7));
    resources.append(jpeg.mid(old.dataOffset() + kPhotoshopHeader.size(), old.dataSize() - kPhotoshopHeader.size()));
    const qsizetype firstPart = 65533 - kPhotoshopHeader.size();
    EXPECT_GT(resources.size(), firstPart);
    QByteArray twoSegments;
    for (const QByteArray& part : {resources.left(firstPart), resources.mid(firstPart)}) {
        QByteArray length(2, '\0');
        qToBigEndian<quint16>(quint16(2 + kPhotoshopHeader.size() + part.size()), length.data());
        twoSegments += QByteArray("\xff\xed", 2) + length + kPhotoshopHeader + part;
    }
    return jpeg.left(old.offset) + twoSegments + jpeg.mid(old.offset + old.size);
}

} // namespace

// IPTC's limits are bytes: a Greek title of 40 letters (80 bytes) keeps its
// whole text in XMP, and its IPTC copy is cut to 64 bytes or less, never
// inside a letter; a title that fits is whole in both.
TEST_F(IptcBlockSavesTest, ATitleIsCutInBytesOnALetter)
{
    for (const char* sample : {"npm-canon-s40.jpg", "npm-nikon-d90-photometric.jpg"}) {
        SCOPED_TRACE(sample);
        const auto image = importSample(QLatin1String(sample));
        // One Latin letter first, so that the 64th byte falls inside a Greek one.
        const QString letters = QString::fromUtf8("αβγδεζηθικλμνξοπρστυφχψω");
        QString title = QStringLiteral("A");
        while (title.size() < 40)
            title += letters.at(title.size() % letters.size());
        edit(image, "Iptc.Application2.ObjectName", title);
        ASSERT_TRUE(image->saveMetadataToImage()) << qPrintable(image->lastSaveFailure());
        const QJsonObject tags = ExifTool::read(image->srcPath());
        EXPECT_EQ(tags.value("XMP-dc:Title").toString(), title);
        const QString cut = tags.value("IPTC:ObjectName").toString();
        EXPECT_EQ(cut, title.left(32));
        EXPECT_EQ(cut.toUtf8().size(), 63);

        const QString fits = QString::fromUtf8("Αθήνα");
        edit(image, "Iptc.Application2.ObjectName", fits);
        ASSERT_TRUE(image->saveMetadataToImage()) << qPrintable(image->lastSaveFailure());
        EXPECT_EQ(ExifTool::read(image->srcPath()).value("IPTC:ObjectName").toString(), fits);
    }
}

// Photoshop's resources spread over two segments, the digest of the IPTC
// block in the second: an IPTC edit writes the new block's digest into the
// digest's own bytes, and other programs read every resource cleanly.
TEST_F(IptcBlockSavesTest, TheDigestIsWrittenInPlaceWhenTheResourcesSpanTwoSegments)
{
    const QString user = ImageFixtures::copySample("npm-nikon-d90-photometric.jpg", tempPath("user"));
    ASSERT_TRUE(
        FileServices::writeFileAtomically(user, withResourcesInTwoSegments(WrittenFileProbe::bytes(user), 65400)));
    ASSERT_EQ(ExifTool::warnings(user), QStringList());
    const auto image = openWorkingCopy(user);

    edit(image, "Iptc.Application2.ObjectName", "Lucca from the tower");
    ASSERT_TRUE(image->saveMetadataToImage()) << qPrintable(image->lastSaveFailure());
    EXPECT_EQ(photoshopSegments(WrittenFileProbe::bytes(user)).size(), size_t(2));
    const QJsonObject tags = ExifTool::read(user, {"-IPTCDigest", "-CurrentIPTCDigest", "-IPTC:all"});
    EXPECT_EQ(tags.value("IPTC:ObjectName").toString(), QString("Lucca from the tower"));
    EXPECT_FALSE(tags.value("Photoshop:IPTCDigest").toString().isEmpty());
    EXPECT_EQ(tags.value("Photoshop:IPTCDigest"), tags.value("File:CurrentIPTCDigest"));
    EXPECT_EQ(ExifTool::warnings(user), QStringList());
}

namespace {

// The sample's IPTC as older programs wrote it: Latin-1 texts, no coded
// character set unless `declared` (ISO 2022's Latin-1 designation), and a
// copyright notice with a sign outside ASCII.
QString latin1IptcSample(const QString& folder, bool declared)
{
    const QString user = ImageFixtures::copySample("gowebp-pentax.jpg", folder);
    auto image = Exiv2::ImageFactory::open(user.toStdString());
    image->readMetadata();
    Exiv2::IptcData& iptc = image->iptcData();
    const auto marker = iptc.findKey(Exiv2::IptcKey("Iptc.Envelope.CharacterSet"));
    EXPECT_NE(marker, iptc.end());
    if (marker != iptc.end())
        iptc.erase(marker);
    for (Exiv2::Iptcdatum& datum : iptc) {
        if (datum.typeId() == Exiv2::string)
            datum.setValue(QString::fromStdString(datum.toString()).toLatin1().toStdString());
    }
    iptc["Iptc.Application2.Copyright"] = std::string("\xA9 Bj\xF8rn");
    if (declared)
        iptc["Iptc.Envelope.CharacterSet"] = std::string("\x1b.A");
    image->writeMetadata();
    return user;
}

} // namespace

// A Latin-1 block reads as Latin-1 (its city and copyright shown, not empty)
// and holds one character set after an edit: a title whose letters fit goes
// in as Latin-1; one whose letters do not turns a block declaring Latin-1
// UTF-8, marked so, and is refused for a block that does not declare its set,
// whose texts would be re-encoded on a guess. exiftool, which reads an
// unmarked block as Latin-1, shows every text.
TEST_F(IptcBlockSavesTest, ALatin1BlockKeepsOneCharacterSet)
{
    const auto shown = [](const TAVImageObjectPtr& image, const char* key) {
        QString text;
        for (int32_t category = 0; category < 4 && text.isNull(); ++category)
            text = image->getValueForKey(QLatin1String(key), category);
        return text;
    };
    for (const bool declared : {false, true}) {
        SCOPED_TRACE(declared ? "declared" : "undeclared");
        const QString user = latin1IptcSample(tempPath("user"), declared);
        ASSERT_EQ(ExifTool::read(user).value("IPTC:City").toString(), QString::fromUtf8("Benalmádena"));
        const auto image = openWorkingCopy(user);
        EXPECT_EQ(shown(image, "Iptc.Application2.City"), QString::fromUtf8("Benalmádena"));
        EXPECT_EQ(shown(image, "Iptc.Application2.Copyright"), QString::fromUtf8("© Bjørn"));

        for (const char* title : {"Fuzz title é", "Αθήνα"}) {
            SCOPED_TRACE(title);
            const bool utf8 = QString::fromUtf8(title) == "Αθήνα";
            const QByteArray before = WrittenFileProbe::bytes(user);
            edit(image, "Iptc.Application2.ObjectName", QString::fromUtf8(title));
            if (utf8 && !declared) {
                EXPECT_FALSE(image->saveMetadataToImage());
                EXPECT_TRUE(image->lastSaveFailure().contains(
                    QStringLiteral("the file's IPTC block does not declare its character set")))
                    << qPrintable(image->lastSaveFailure());
                EXPECT_EQ(WrittenFileProbe::bytes(user), before);
                continue;
            }
            ASSERT_TRUE(image->saveMetadataToImage()) << qPrintable(image->lastSaveFailure());
            const QJsonObject tags = ExifTool::read(user);
            EXPECT_EQ(tags.value("IPTC:ObjectName").toString(), QString::fromUtf8(title));
            EXPECT_EQ(tags.value("IPTC:City").toString(), QString::fromUtf8("Benalmádena"));
            EXPECT_EQ(tags.value("IPTC:CopyrightNotice").toString(), QString::fromUtf8("© Bjørn"));
            EXPECT_EQ(tags.value("IPTC:CodedCharacterSet").toString() == "UTF8", utf8);
            EXPECT_EQ(shown(image, "Iptc.Application2.City"), QString::fromUtf8("Benalmádena"));
        }
        EXPECT_TRUE(QFile::remove(user));
        EXPECT_TRUE(QFile::remove(tempPath("work/") + QFileInfo(user).fileName()));
    }
}
