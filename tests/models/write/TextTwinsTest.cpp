// A title, caption or keyword is one text wherever the file keeps it: IPTC's
// cut copy never replaces the whole text, the caption's three twins stay in
// step, and Photoshop's digest of the IPTC block follows an IPTC edit.
#include "models/image/TAVImageObject.h"

#include "models/image/ImageImportTest.h"
#include "support/ExifTool.h"
#include "support/FakeUiServices.h"
#include "support/ImageFixtures.h"
#include "support/QtPrinters.h"

#include <QFile>
#include <QJsonObject>

#include <exiv2/exiv2.hpp>

#include <gtest/gtest.h>

namespace {

const char* const kTitle = "Iptc.Application2.ObjectName";
const char* const kCaption = "Iptc.Application2.Caption";
const char* const kDescription = "Exif.Image.ImageDescription";
const char* const kKeywords = "Iptc.Application2.Keywords";

class TextTwinsTest : public ImageImportTest<FakeUiServices> {
protected:
    void SetUp() override
    {
        ImageImportTest::SetUp();
        if (!ExifTool::available())
            GTEST_SKIP() << "exiftool missing";
    }

    static void edit(const TAVImageObjectPtr& image, const char* key, const QString& value)
    {
        image->exifData()->setValue(value, QLatin1String(key), 0, true, true, true);
    }

    static QString shown(const TAVImageObjectPtr& image, const char* key)
    {
        return image->getValueForKey(QLatin1String(key), 0);
    }

    // Stores `bytes` as the key's value as they are (EXIF ASCII or IPTC
    // text), or an XMP value in the library's text form.
    static bool storeRaw(const QString& path, const char* key, const std::string& bytes)
    {
        auto image = Exiv2::ImageFactory::open(QFile::encodeName(path).toStdString());
        image->readMetadata();
        const std::string name(key);
        if (name.rfind("Exif.", 0) == 0) {
            Exiv2::AsciiValue value(bytes);
            image->exifData()[name].setValue(&value);
        } else if (name.rfind("Iptc.", 0) == 0) {
            Exiv2::StringValue value(bytes);
            image->iptcData()[name].setValue(&value);
        } else {
            image->xmpData()[name] = bytes;
        }
        image->writeMetadata();
        return true;
    }
};

} // namespace

// A title longer than IPTC's 64 bytes, on a camera file without XMP: the
// packet is made for the whole title, the record shows it whole, and a later
// save of something else leaves it whole.
TEST_F(TextTwinsTest, ALongTitleIsKeptWholeInXmpAndShownWhole)
{
    const auto image = importSample("npm-canon-s40.jpg");
    ASSERT_FALSE(ExifTool::read(image->srcPath()).contains("XMP-dc:Title"));
    QString title = QStringLiteral("Harbour");
    for (int i = 0; title.size() < 5000; ++i)
        title += QStringLiteral(" %1").arg(i);
    edit(image, kTitle, title);
    ASSERT_TRUE(image->saveMetadataToImage());
    QJsonObject tags = ExifTool::read(image->srcPath());
    EXPECT_EQ(tags.value("XMP-dc:Title").toString(), title);
    const QString cut = tags.value("IPTC:ObjectName").toString();
    EXPECT_LE(cut.toUtf8().size(), 64);
    EXPECT_TRUE(title.startsWith(cut)) << qPrintable(cut);
    EXPECT_EQ(shown(image, kTitle), title);

    edit(image, "Exif.Image.Artist", "Ann");
    ASSERT_TRUE(image->saveMetadataToImage());
    tags = ExifTool::read(image->srcPath());
    EXPECT_EQ(tags.value("XMP-dc:Title").toString(), title);
    EXPECT_EQ(shown(image, kTitle), title);

    // A short title on a file without XMP makes no packet.
    const auto plain = import("plain.jpg", {{"Exif.Image.Make", "Canon"}});
    edit(plain, kTitle, "Harbour");
    ASSERT_TRUE(plain->saveMetadataToImage());
    EXPECT_FALSE(ExifTool::read(plain->srcPath()).contains("XMP-dc:Title"));
}

// A file that already keeps a long title whole in XMP and cut in IPTC shows
// the whole one; so do a long keyword and a caption past 2000 bytes.
TEST_F(TextTwinsTest, TheTwinThatHoldsTheWholeTextIsRead)
{
    const QString keyword = QString(80, QLatin1Char('k'));
    const QString caption = QString(2100, QLatin1Char('c'));
    const auto image = importSample("gowebp-pentax.jpg");
    edit(image, kKeywords, "Malaga, " + keyword);
    edit(image, kCaption, caption);
    ASSERT_TRUE(image->saveMetadataToImage());
    const QJsonObject tags = ExifTool::read(image->srcPath());
    EXPECT_EQ(tags.value("XMP-dc:Subject").toVariant().toStringList(), QStringList({"Malaga", keyword}));
    EXPECT_EQ(tags.value("IPTC:Keywords").toVariant().toStringList().value(1), keyword.left(64));
    EXPECT_EQ(tags.value("XMP-dc:Description").toString(), caption);
    EXPECT_EQ(tags.value("IPTC:Caption-Abstract").toString(), caption.left(2000));

    const auto reopened = TAVImageObject::create(image->srcPath());
    EXPECT_EQ(shown(reopened, kKeywords), "Malaga, " + keyword);
    EXPECT_EQ(shown(reopened, kCaption), caption);
}

// The caption, the XMP description and the EXIF image description are one
// text: an edit of either field leaves all three saying it.
TEST_F(TextTwinsTest, CaptionAndDescriptionAreOneText)
{
    const auto image = importSample("npm-nikon-d90-photometric.jpg");
    const auto expectEverywhere = [&](const QString& text) {
        const QJsonObject tags = ExifTool::read(image->srcPath());
        EXPECT_EQ(tags.value("IPTC:Caption-Abstract").toString(), text);
        EXPECT_EQ(tags.value("XMP-dc:Description").toString(), text);
        EXPECT_EQ(tags.value("IFD0:ImageDescription").toString(), text);
        EXPECT_EQ(shown(image, kCaption), text);
        EXPECT_EQ(shown(image, kDescription), text);
    };
    edit(image, kCaption, QString::fromUtf8("Lucques, vue de la tour"));
    ASSERT_TRUE(image->saveMetadataToImage());
    expectEverywhere(QString::fromUtf8("Lucques, vue de la tour"));

    edit(image, kDescription, "Lucca from the Guinigi tower");
    ASSERT_TRUE(image->saveMetadataToImage());
    expectEverywhere("Lucca from the Guinigi tower");

    // An emptied caption leaves no twin to show it again.
    edit(image, kCaption, "");
    ASSERT_TRUE(image->saveMetadataToImage()) << qPrintable(image->lastSaveFailure());
    const QJsonObject tags = ExifTool::read(image->srcPath());
    EXPECT_FALSE(tags.contains("XMP-dc:Description"));
    EXPECT_FALSE(tags.contains("IFD0:ImageDescription"));
    EXPECT_TRUE(shown(image, kDescription).isEmpty());
}

// A caption and a description holding two texts are two values. Typed in one
// save over one text, each field takes its own; the caption emptied leaves
// the credit in the description, and a long caption then goes whole into
// XMP beside it, which the next caption replaces. Where XMP's description
// holds the credit too, only IPTC's cut would keep a long caption: it is
// refused, and a short one leaves both credits. A file whose IPTC lacks a
// caption takes a typed description.
TEST_F(TextTwinsTest, TwinsHoldingAnotherTextKeepItThroughEveryEdit)
{
    const QString credit = QStringLiteral("(c)2016 Someone 2033335");
    const QString longCaption(2100, QLatin1Char('c'));
    const auto image = importSample("npm-nikon-d90-photometric.jpg");
    edit(image, kCaption, "Harbour");
    edit(image, kDescription, credit);
    ASSERT_TRUE(image->saveMetadataToImage()) << qPrintable(image->lastSaveFailure());
    QJsonObject tags = ExifTool::read(image->srcPath());
    EXPECT_EQ(tags.value("IPTC:Caption-Abstract").toString(), "Harbour");
    EXPECT_EQ(tags.value("IFD0:ImageDescription").toString(), credit);

    edit(image, kCaption, "");
    ASSERT_TRUE(image->saveMetadataToImage()) << qPrintable(image->lastSaveFailure());
    tags = ExifTool::read(image->srcPath());
    EXPECT_FALSE(tags.contains("IPTC:Caption-Abstract"));
    EXPECT_EQ(tags.value("IFD0:ImageDescription").toString(), credit);
    edit(image, kCaption, longCaption);
    ASSERT_TRUE(image->saveMetadataToImage()) << qPrintable(image->lastSaveFailure());
    tags = ExifTool::read(image->srcPath());
    EXPECT_EQ(tags.value("XMP-dc:Description").toString(), longCaption);
    EXPECT_EQ(tags.value("IFD0:ImageDescription").toString(), credit);
    // IPTC's cut of the long caption and its whole copy are one text.
    edit(image, kCaption, "Harbour");
    ASSERT_TRUE(image->saveMetadataToImage()) << qPrintable(image->lastSaveFailure());
    EXPECT_EQ(ExifTool::read(image->srcPath()).value("XMP-dc:Description").toString(), "Harbour");

    const QString user = ImageFixtures::copySample("npm-nikon-d90-photometric.jpg", tempPath("user"), "credits.jpg");
    ASSERT_TRUE(ImageFixtures::writeTags(
        user, {{kDescription, credit, std::nullopt}, {"Xmp.dc.description", credit, std::nullopt}}));
    const auto credited = openWorkingCopy(user);
    edit(credited, kCaption, longCaption);
    EXPECT_FALSE(credited->saveMetadataToImage());
    EXPECT_TRUE(credited->lastSaveFailure().contains("the whole caption could not be kept"));
    edit(credited, kCaption, "Harbour");
    ASSERT_TRUE(credited->saveMetadataToImage()) << qPrintable(credited->lastSaveFailure());
    tags = ExifTool::read(user);
    EXPECT_EQ(tags.value("IPTC:Caption-Abstract").toString(), "Harbour");
    EXPECT_EQ(tags.value("IFD0:ImageDescription").toString(), credit);
    EXPECT_EQ(tags.value("XMP-dc:Description").toString(), credit);

    const auto pentax = importSample("gowebp-pentax.jpg");
    edit(pentax, kDescription, "Benalmadena beach");
    ASSERT_TRUE(pentax->saveMetadataToImage());
    EXPECT_EQ(ExifTool::read(pentax->srcPath()).value("IPTC:Caption-Abstract").toString(), "Benalmadena beach");
}

// Photoshop's digest of the IPTC block is written anew after an IPTC edit, so
// that other programs do not take the XMP for out of date.
TEST_F(TextTwinsTest, AnIptcEditWritesTheDigestOfTheNewBlock)
{
    for (const char* sample : {"gowebp-pentax.jpg", "npm-nikon-d90-photometric.jpg"}) {
        const auto image = importSample(QLatin1String(sample));
        edit(image, "Exif.Image.Artist", "Ann Ander");
        edit(image, "Exif.Image.Copyright", "(c) Ann Ander");
        ASSERT_TRUE(image->saveMetadataToImage()) << sample;
        const QJsonObject tags = ExifTool::read(image->srcPath(), {"-IPTCDigest", "-CurrentIPTCDigest", "-IPTC:all"});
        EXPECT_EQ(tags.value("IPTC:By-line").toString(), "Ann Ander") << sample;
        EXPECT_FALSE(tags.value("Photoshop:IPTCDigest").toString().isEmpty()) << sample;
        EXPECT_EQ(tags.value("Photoshop:IPTCDigest"), tags.value("File:CurrentIPTCDigest")) << sample;
        EXPECT_EQ(ExifTool::warnings(image->srcPath()), QStringList()) << sample;
    }
}

// Windows' texts the form never shows (its comments and subject beside the
// caption, its author beside no photographer) are other texts: a caption, a
// description and a photographer typed leave them. The twins that held what
// the edited field showed take the edit: Windows' title and keywords, XMP's
// description and keywords. A By-line or copyright notice holding another
// name keeps it too.
TEST_F(TextTwinsTest, TwinsTheFormNeverShowsTakeAnEditOnlyWhereTheyHeldItsText)
{
    const QString user = ImageFixtures::copySample("npm-windows-xmp.jpg", tempPath("user"));
    // "Old" in UTF-16LE with its closing NUL pair.
    ASSERT_TRUE(ImageFixtures::writeTags(user, {{"Exif.Image.XPAuthor", "79 0 108 0 100 0 0 0", {}}}));
    const auto image = openWorkingCopy(user);
    edit(image, kCaption, "Boats leaving the quay");
    edit(image, "Exif.Image.Artist", "Ann Lee");
    ASSERT_TRUE(image->saveMetadataToImage()) << qPrintable(image->lastSaveFailure());
    QJsonObject tags = ExifTool::read(user);
    EXPECT_EQ(tags.value("IPTC:Caption-Abstract").toString(), "Boats leaving the quay");
    EXPECT_EQ(tags.value("IFD0:XPComment").toString(), "Comments");
    EXPECT_EQ(tags.value("IFD0:XPSubject").toString(), "Subject");
    EXPECT_EQ(tags.value("IFD0:ImageDescription").toString(), "Title");
    EXPECT_EQ(tags.value("XMP-dc:Description").toString(), "Title");
    EXPECT_EQ(tags.value("IFD0:Artist").toString(), "Ann Lee");
    EXPECT_EQ(tags.value("IFD0:XPAuthor").toString(), "Old");

    edit(image, kTitle, "Harbour at dusk");
    edit(image, kDescription, "The quay");
    edit(image, kKeywords, "tag1, tag2, boats");
    ASSERT_TRUE(image->saveMetadataToImage()) << qPrintable(image->lastSaveFailure());
    tags = ExifTool::read(user);
    EXPECT_EQ(tags.value("IFD0:XPTitle").toString(), "Harbour at dusk");
    EXPECT_EQ(tags.value("XMP-dc:Title").toString(), "Harbour at dusk");
    EXPECT_EQ(tags.value("IFD0:ImageDescription").toString(), "The quay");
    EXPECT_EQ(tags.value("XMP-dc:Description").toString(), "The quay");
    EXPECT_EQ(tags.value("IFD0:XPComment").toString(), "Comments");
    EXPECT_EQ(tags.value("IFD0:XPSubject").toString(), "Subject");
    // The caption held another text than the description showed.
    EXPECT_EQ(tags.value("IPTC:Caption-Abstract").toString(), "Boats leaving the quay");
    EXPECT_EQ(tags.value("IFD0:XPKeywords").toString(), "tag1;tag2;boats");
    EXPECT_EQ(tags.value("XMP-dc:Subject").toVariant().toStringList(), QStringList({"tag1", "tag2", "boats"}));
    EXPECT_EQ(
        tags.value("XMP-microsoft:LastKeywordXMP").toVariant().toStringList(), QStringList({"tag1", "tag2", "boats"}));

    const auto credited = import("credits.jpg",
        {{"Exif.Image.Copyright", "(c) Ann Lee"}, {"Iptc.Application2.Byline", "Studio North"},
            {"Iptc.Application2.Copyright", "(c) Agency"}, {"Xmp.dc.rights", "(c) Ann Lee"}});
    edit(credited, "Exif.Image.Artist", "Ann Lee");
    edit(credited, "Exif.Image.Copyright", "(c) 2026 Ann Lee");
    ASSERT_TRUE(credited->saveMetadataToImage()) << qPrintable(credited->lastSaveFailure());
    tags = ExifTool::read(credited->srcPath());
    EXPECT_EQ(tags.value("IPTC:By-line").toString(), "Studio North");
    EXPECT_EQ(tags.value("IPTC:CopyrightNotice").toString(), "(c) Agency");
    EXPECT_EQ(tags.value("XMP-dc:Rights").toString(), "(c) 2026 Ann Lee");
}

// A description and an XMP description whose stored values read as no text
// (Latin-1 bytes in the ASCII tag, a description in English alone) are other
// texts: a caption edit leaves their bytes.
TEST_F(TextTwinsTest, TwinsWhoseBytesReadAsNoTextKeepThemUnderACaptionEdit)
{
    const QString user = tempPath("user/unread.jpg");
    ASSERT_TRUE(ImageFixtures::makeImageWithTags(user, {{kCaption, "Harbour", std::nullopt}}));
    ASSERT_TRUE(storeRaw(user, kDescription, "Caf\xe9 du port"));
    ASSERT_TRUE(storeRaw(user, "Xmp.dc.description", "lang=\"en-US\" Harbour credit"));
    const auto image = openWorkingCopy(user);
    edit(image, kCaption, "Boats");
    ASSERT_TRUE(image->saveMetadataToImage()) << qPrintable(image->lastSaveFailure());
    EXPECT_EQ(ExifTool::binary(user, "IFD0:ImageDescription"), QByteArray("Caf\xe9 du port"));
    const QJsonObject tags = ExifTool::read(user);
    EXPECT_EQ(tags.value("IPTC:Caption-Abstract").toString(), "Boats");
    EXPECT_EQ(tags.value("XMP-dc:Description-en-US").toString(), "Harbour credit");
    EXPECT_FALSE(tags.contains("XMP-dc:Description"));
}

// A twin is compared whole: a description that begins with the caption's
// text and goes on with a credit is another text, kept under a caption edit.
// On a file without a description of its own, the description field shows
// the caption, and the caption and XMP description that held it take a
// typed description.
TEST_F(TextTwinsTest, TwinsAreComparedWholeAndTheShownFallbackDecidesTheCopies)
{
    const auto credited = import("credit.jpg",
        {{kCaption, "Harbour"}, {kDescription, "Harbour (c)2016 Someone"}, {"Xmp.dc.description", "Harbour"}});
    edit(credited, kCaption, "Boats");
    ASSERT_TRUE(credited->saveMetadataToImage()) << qPrintable(credited->lastSaveFailure());
    QJsonObject tags = ExifTool::read(credited->srcPath());
    EXPECT_EQ(tags.value("IFD0:ImageDescription").toString(), "Harbour (c)2016 Someone");
    EXPECT_EQ(tags.value("IPTC:Caption-Abstract").toString(), "Boats");
    EXPECT_EQ(tags.value("XMP-dc:Description").toString(), "Boats");

    const auto undescribed = import("caption.jpg", {{kCaption, "Harbour"}, {"Xmp.dc.description", "Harbour"}});
    ASSERT_EQ(shown(undescribed, kDescription), "Harbour");
    edit(undescribed, kDescription, "Boats at dusk");
    ASSERT_TRUE(undescribed->saveMetadataToImage()) << qPrintable(undescribed->lastSaveFailure());
    tags = ExifTool::read(undescribed->srcPath());
    EXPECT_EQ(tags.value("IFD0:ImageDescription").toString(), "Boats at dusk");
    EXPECT_EQ(tags.value("IPTC:Caption-Abstract").toString(), "Boats at dusk");
    EXPECT_EQ(tags.value("XMP-dc:Description").toString(), "Boats at dusk");
}

// An emptied text field removes its tag (EXIF kept no empty tag of a lone
// NUL), as an emptied caption does; a caption holding another text stays,
// and the description field then shows it as it shows a caption of a file
// without a description.
TEST_F(TextTwinsTest, AnEmptiedTextFieldRemovesItsTag)
{
    const auto image = import("texts.jpg",
        {{kDescription, "Harbour credit"}, {kCaption, "Boats"}, {"Exif.Image.Make", "Canon"},
            {"Exif.Image.Model", "S40"}, {"Exif.Image.Software", "Firmware 1"}, {"Exif.Photo.LensMake", "Canon"},
            {"Exif.Photo.LensModel", "Zoom"}, {"Exif.Image.Artist", "Ann"}, {"Exif.Image.Copyright", "(c) Ann"}});
    for (const char* key : {kDescription, "Exif.Image.Make", "Exif.Image.Model", "Exif.Image.Software",
             "Exif.Photo.LensMake", "Exif.Photo.LensModel", "Exif.Image.Artist", "Exif.Image.Copyright"})
        edit(image, key, "");
    ASSERT_TRUE(image->saveMetadataToImage()) << qPrintable(image->lastSaveFailure());
    const QJsonObject tags = ExifTool::read(image->srcPath());
    for (const char* tag : {"IFD0:ImageDescription", "IFD0:Make", "IFD0:Model", "IFD0:Software", "ExifIFD:LensMake",
             "ExifIFD:LensModel", "IFD0:Artist", "IFD0:Copyright"})
        EXPECT_FALSE(tags.contains(tag)) << tag;
    EXPECT_EQ(tags.value("IPTC:Caption-Abstract").toString(), "Boats");
    EXPECT_EQ(shown(image, kDescription), "Boats");
}
