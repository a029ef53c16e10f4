// The capture date typed or cleared in the Summary tab, on copies of camera
// files read back by exiftool: every family's copy of it moves or goes with
// it, in its own form, and nothing else of the file is touched.
#include "MainWindowFixture.h"

#include "app/TAVSummaryViewCtlr.h"
#include "commlib/TFDatePicker.h"
#include "support/ExifTool.h"
#include "support/ImageFixtures.h"

#include <QAction>
#include <QFile>
#include <QJsonObject>
#include <QLineEdit>
#include <QTest>

namespace {

class MainWindowDateTwinsTest : public MainWindowTest {
protected:
    void SetUp() override
    {
        MainWindowTest::SetUp();
        if (!ExifTool::available())
            GTEST_SKIP() << "exiftool missing";
    }

    // The Pentax file holds the capture date in EXIF, IPTC (both pairs) and
    // XMP (photoshop:DateCreated, xmp:CreateDate); given XMP's copies of the
    // EXIF dates as well, as cameras and converters write them.
    QString pentaxWithXmpExifDates()
    {
        const QString path = samples({"gowebp-pentax.jpg"}).first();
        EXPECT_TRUE(ImageFixtures::writeTags(path,
            {{"Xmp.exif.DateTimeOriginal", "2017-10-27T08:38:52", std::nullopt},
                {"Xmp.exif.DateTimeDigitized", "2017-10-27T08:38:52", std::nullopt}}));
        return path;
    }

    TFDatePicker* picker(const char* name) { return window().summaryTab()->findChild<TFDatePicker*>(name); }

    // The picker's clear button, as the user clicks it.
    void clearPicker(const char* name)
    {
        TFDatePicker* field = picker(name);
        field->setFocus(Qt::MouseFocusReason);
        auto* edit = field->findChild<QLineEdit*>();
        ASSERT_EQ(edit->actions().size(), 1);
        edit->actions().first()->trigger();
        ASSERT_TRUE(field->isEmpty());
    }

    // Types into the picker and presses Return. Each part of a date or time
    // filled moves on to the next, so a time is typed as its digits.
    static void typeInto(TFDatePicker* field, const char* text)
    {
        field->setFocus(Qt::MouseFocusReason);
        QTest::keyClicks(field, text);
        QTest::keyClick(field, Qt::Key_Return);
    }

    // Types a new title into the Summary tab and presses Return.
    void retitle(const char* title)
    {
        QLineEdit* field = summaryField("fldTitle");
        field->setFocus(Qt::MouseFocusReason);
        field->selectAll();
        QTest::keyClick(field, Qt::Key_Backspace);
        QTest::keyClicks(field, QLatin1String(title));
        QTest::keyClick(field, Qt::Key_Return);
    }

    bool saveSelected()
    {
        window().clickSave();
        return waitForLoop();
    }
};

// A typed day moves the capture date of every family the file holds it in,
// XMP's copies of the EXIF dates included, each in its own form; a photo
// whose XMP holds no such copy gets none.
TEST_F(MainWindowDateTwinsTest, ATypedDateMovesEveryCopyOfTheCaptureDateTheFileHolds)
{
    const QString pentax = pentaxWithXmpExifDates();
    const QString nikon = samples({"npm-nikon-d90-photometric.jpg"}).first();
    ASSERT_TRUE(importAndWait({pentax, nikon}));
    for (const QString& path : {pentax, nikon}) {
        SCOPED_TRACE(path.toStdString());
        select({rowOf(path)});
        clearPicker("fldCreateDate");
        typeInto(picker("fldCreateDate"), "2024-03-28");
        ASSERT_TRUE(saveSelected());
    }

    QJsonObject tags = ExifTool::read(pentax);
    for (const char* tag : {"ExifIFD:DateTimeOriginal", "ExifIFD:CreateDate", "XMP-exif:DateTimeOriginal",
             "XMP-exif:DateTimeDigitized", "XMP-xmp:CreateDate", "XMP-photoshop:DateCreated"})
        EXPECT_EQ(tags.value(tag).toString(), "2024:03:28 08:38:52") << tag;
    EXPECT_EQ(tags.value("IPTC:DateCreated").toString(), "2024:03:28");
    EXPECT_EQ(tags.value("IPTC:DigitalCreationDate").toString(), "2024:03:28");
    EXPECT_TRUE(tags.value("IPTC:TimeCreated").toString().startsWith("08:38:52"));

    tags = ExifTool::read(nikon);
    EXPECT_EQ(tags.value("XMP-xmp:CreateDate").toString(), "2024:03:28 12:24:54");
    EXPECT_EQ(tags.value("IPTC:DateCreated").toString(), "2024:03:28");
    EXPECT_EQ(tags.value("IPTC:TimeCreated").toString(), "12:24:54+00:00");
    for (const char* absent : {"XMP-exif:DateTimeOriginal", "XMP-exif:DateTimeDigitized", "IPTC:DigitalCreationDate"})
        EXPECT_FALSE(tags.contains(absent)) << absent;
}

// Date and Time cleared: the capture date goes from EXIF, IPTC and XMP; the
// dates of the file's last change stay, and so does every other tag.
TEST_F(MainWindowDateTwinsTest, AClearedCaptureDateGoesFromEveryFamilyAndTheModifyDateStays)
{
    const QString path = pentaxWithXmpExifDates();
    ASSERT_TRUE(importAndWait({path}));
    clearPicker("fldCreateDate");
    clearPicker("fldCreateTime");
    const qsizetype alerts = ui_.alerts().size();
    ASSERT_TRUE(saveSelected());
    EXPECT_EQ(ui_.alerts().size(), alerts);

    const QJsonObject tags = ExifTool::read(path);
    for (const char* gone : {"ExifIFD:DateTimeOriginal", "ExifIFD:CreateDate", "IPTC:DateCreated", "IPTC:TimeCreated",
             "IPTC:DigitalCreationDate", "IPTC:DigitalCreationTime", "XMP-exif:DateTimeOriginal",
             "XMP-exif:DateTimeDigitized", "XMP-photoshop:DateCreated", "XMP-xmp:CreateDate"})
        EXPECT_FALSE(tags.contains(gone)) << gone;
    EXPECT_EQ(tags.value("IFD0:ModifyDate").toString(), "2017:11:23 09:56:54");
    EXPECT_EQ(tags.value("XMP-xmp:ModifyDate").toString(), "2017:11:23 09:56:54+01:00");
    EXPECT_EQ(tags.value("IPTC:City").toString(), "Benalmádena");
}

// A time typed for a photo that holds no date: no family keeps a time
// without its day, so the save is refused, saying so in the user's words.
TEST_F(MainWindowDateTwinsTest, ATimeWithoutADateIsRefusedSayingItNeedsADate)
{
    const QString path = samples({"npm-windows-xmp.jpg"}).first();
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    const QByteArray before = file.readAll();
    file.close();
    ASSERT_TRUE(importAndWait({path}));
    ASSERT_TRUE(picker("fldCreateDate")->isEmpty());
    ASSERT_TRUE(picker("fldCreateTime")->isEmpty());
    typeInto(picker("fldCreateTime"), "101500");
    ASSERT_EQ(picker("fldCreateTime")->text(), "10:15:00");
    ASSERT_EQ(images().first()->exifData()->getValueForKey("Summary.CreateTime", 0), "10:15:00");
    const qsizetype alerts = ui_.alerts().size();
    ASSERT_TRUE(saveSelected());

    ASSERT_GT(ui_.alerts().size(), alerts);
    const QString message = ui_.alerts().last().message;
    EXPECT_TRUE(message.contains("A time needs a date")) << message.toStdString();
    EXPECT_FALSE(message.contains("Exif.Image.DateTime")) << message.toStdString();
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    EXPECT_EQ(file.readAll(), before);
}

// A date and time typed for a photo whose XMP segment has a damaged signature, which
// other programs still read with its dates: the save is refused, naming the
// capture date the user typed, once, and the file keeps its date.
TEST_F(MainWindowDateTwinsTest, ARefusedTypedDateNamesTheCaptureDateOnce)
{
    const QString path = samples({"gowebp-pentax.jpg"}).first();
    ASSERT_FALSE(ImageFixtures::damageXmpSignature(path).isEmpty());
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    const QByteArray bytes = file.readAll();
    file.close();
    ASSERT_EQ(ExifTool::read(path).value("XMP-xmp:CreateDate").toString(), "2017:10:27 08:38:52");
    ASSERT_TRUE(importAndWait({path}));
    typeInto(picker("fldCreateDate"), "2024-03-28");
    typeInto(picker("fldCreateTime"), "101500");
    const qsizetype alerts = ui_.alerts().size();
    ASSERT_TRUE(saveSelected());

    ASSERT_GT(ui_.alerts().size(), alerts);
    const QString message = ui_.alerts().last().message;
    EXPECT_EQ(message.count("Exif.Photo.DateTimeOriginal"), 1) << message.toStdString();
    EXPECT_FALSE(message.contains("Exif.Image.DateTime")) << message.toStdString();
    EXPECT_TRUE(message.contains("the file's XMP cannot be read")) << message.toStdString();
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    EXPECT_EQ(file.readAll(), bytes);
    EXPECT_EQ(ExifTool::read(path).value("ExifIFD:DateTimeOriginal").toString(), "2017:10:27 08:38:52");
}

} // namespace

// A capture date typed after Clear > EXIF is the photo's new date: the clear
// takes the rest of the file's EXIF, and the typed date stays in every EXIF
// and XMP date the clear would have taken.
TEST_F(MainWindowDateTwinsTest, ADateTypedAfterClearingExifIsThePhotosNewDate)
{
    const QString pentax = pentaxWithXmpExifDates();
    const QString canon = samples({"npm-canon-s40.jpg"}).first();
    ASSERT_TRUE(importAndWait({pentax, canon}));
    for (const QString& path : {pentax, canon}) {
        SCOPED_TRACE(path.toStdString());
        select({rowOf(path)});
        window().clickClearKind(1);
        typeInto(picker("fldCreateDate"), "2024-03-28");
        typeInto(picker("fldCreateTime"), "101500");
        ASSERT_TRUE(saveSelected());
        const QJsonObject tags = ExifTool::read(path);
        for (const char* tag : {"ExifIFD:DateTimeOriginal", "ExifIFD:CreateDate"})
            EXPECT_EQ(tags.value(tag).toString(), "2024:03:28 10:15:00") << tag;
        for (const char* gone : {"IFD0:Make", "IFD0:Model", "ExifIFD:FNumber"})
            EXPECT_FALSE(tags.contains(gone)) << gone;

        // The clear was saved with the date: a later save of a title edit
        // clears nothing again.
        retitle("Harbour");
        ASSERT_TRUE(saveSelected());
        const QJsonObject retitled = ExifTool::read(path);
        for (const char* tag : {"ExifIFD:DateTimeOriginal", "ExifIFD:CreateDate"})
            EXPECT_EQ(retitled.value(tag).toString(), "2024:03:28 10:15:00") << tag;
        EXPECT_EQ(retitled.value("IPTC:ObjectName").toString(), "Harbour");
    }
    const QJsonObject tags = ExifTool::read(pentax);
    for (const char* tag : {"XMP-exif:DateTimeOriginal", "XMP-xmp:CreateDate", "XMP-photoshop:DateCreated"})
        EXPECT_EQ(tags.value(tag).toString(), "2024:03:28 10:15:00") << tag;
    EXPECT_EQ(tags.value("IPTC:DateCreated").toString(), "2024:03:28");
}

// Clear > EXIF taken back by Restore clears nothing: a title edit saved next
// keeps the camera, the aperture and every date.
TEST_F(MainWindowDateTwinsTest, AClearOfExifTakenBackByRestoreClearsNothing)
{
    const QString canon = samples({"npm-canon-s40.jpg"}).first();
    const char* const kept[] = {"IFD0:Make", "IFD0:Model", "ExifIFD:FNumber", "ExifIFD:DateTimeOriginal",
        "ExifIFD:CreateDate", "IFD0:ModifyDate"};
    const QJsonObject before = ExifTool::read(canon);
    for (const char* tag : kept)
        ASSERT_TRUE(before.contains(tag)) << tag;
    ASSERT_TRUE(importAndWait({canon}));
    window().clickClearKind(1);
    window().clickRestore();
    retitle("Harbour");
    ASSERT_TRUE(saveSelected());
    const QJsonObject tags = ExifTool::read(canon);
    for (const char* tag : kept)
        EXPECT_EQ(tags.value(tag).toVariant().toString(), before.value(tag).toVariant().toString()) << tag;
    EXPECT_EQ(tags.value("IPTC:ObjectName").toString(), "Harbour");
}
