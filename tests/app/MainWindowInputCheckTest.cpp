// What a user types reaches the file only in a form other programs read:
// dates of the tag's own form, IPTC texts within their standard length.
#include "MainWindowFixture.h"

#include "app/ENTabBarView.h"
#include "app/TAVDetailViewCtlr.h"
#include "app/TAVPhotosViewCltr.h"
#include "app/TAVSummaryViewCtlr.h"
#include "commlib/TAVSearchableTagTableModel.h"
#include "commlib/TFDatePicker.h"
#include "models/values/TAVDateTagForms.h"
#include "support/ExifTool.h"
#include "support/Gallery.h"
#include "support/Patience.h"

#include <QJsonObject>
#include <QLayout>
#include <QLineEdit>
#include <QTest>

namespace {

const QString kOriginal = QStringLiteral("Exif.Photo.DateTimeOriginal");

class MainWindowInputCheckTest : public MainWindowTest {
protected:
    bool waitForLoop()
    {
        return QTest::qWaitFor([&] { return !window().isLoopRunning(); }, kPatientMs);
    }

    QModelIndex detailCell(const QString& key)
    {
        const TAVSearchableTagTable& table = window().detailTab()->model()->table();
        for (int row = 0; row < table.shownCount(); ++row) {
            if (table.shownRow(row)->entity->key() == key)
                return window().detailTab()->model()->index(row, 2);
        }
        return {};
    }

    // As the cell editor commits a typed text.
    bool typeIntoDetails(const QString& key, const QString& text)
    {
        const QModelIndex cell = detailCell(key);
        EXPECT_TRUE(cell.isValid()) << key.toStdString();
        TAVBaseTabViewCltr::setPendingEdits(true);
        const bool accepted = window().detailTab()->model()->setData(cell, text);
        QCoreApplication::processEvents();
        QCoreApplication::processEvents();
        return accepted;
    }
};

TEST_F(MainWindowInputCheckTest, DetailsRefuseTextsThatAreNoDateOfTheTagsForm)
{
    const QString path = photoWithTags("a.jpg",
        {{kOriginal, "2014:04:26 10:11:12"}, {"Iptc.Application2.DateCreated", "2014-04-26"},
            {"Iptc.Application2.TimeCreated", "10:11:12+02:00"}});
    ASSERT_TRUE(importAndWait({path}));
    window().tabBar()->selectTab(TAVMainWindowCtlr::TabDetail);

    const QList<std::pair<QString, QString>> refused = {
        {kOriginal, "yesterday"},
        {kOriginal, "2014:02:30 10:11:12"},
        {kOriginal, "2014-02-30 10:11:12"},
        {"Iptc.Application2.DateCreated", "2014-13-01"},
        {"Iptc.Application2.TimeCreated", "noon"},
    };
    for (const auto& [key, text] : refused) {
        SCOPED_TRACE(text.toStdString());
        const qsizetype alerts = ui_.alerts().size();
        EXPECT_FALSE(typeIntoDetails(key, text));
        ASSERT_EQ(ui_.alerts().size(), alerts + 1);
        // The refusal names the form the date takes.
        EXPECT_TRUE(
            ui_.alerts().last().message.startsWith(QStringLiteral("Please set a valid value for \"%1\": a ").arg(key)))
            << ui_.alerts().last().message.toStdString();
        EXPECT_TRUE(ui_.alerts().last().message.contains(QStringLiteral("such as"))) << key.toStdString();
    }
    EXPECT_NE(images().first()->exifData()->enuModifyState(), TAVExifData::StateModified);

    const qsizetype alerts = ui_.alerts().size();
    EXPECT_TRUE(typeIntoDetails(kOriginal, "2016:02:29 23:59:59"));
    EXPECT_EQ(ui_.alerts().size(), alerts);
    window().clickSave();
    ASSERT_TRUE(waitForLoop());
    EXPECT_EQ(ExifTool::read(path).value("ExifIFD:DateTimeOriginal").toString(), "2016:02:29 23:59:59");
}

TEST_F(MainWindowInputCheckTest, ALongTitleIsCutForIptcOnlyAndExiftoolValidatesTheFile)
{
    // The file has an XMP title, which the save keeps in step.
    const QString path = photoWithTags("a.jpg", {{"Xmp.dc.title", "Old"}});
    ASSERT_TRUE(importAndWait({path}));
    // Five thousand characters, an accented one at the IPTC limit.
    const QString title = QString(63, QLatin1Char('t')) + QChar(0x00e9) + QString(4936, QLatin1Char('u'));
    QLineEdit* field = summaryField("fldTitle");
    field->setText(title);
    emit field->textEdited(title);
    emit field->editingFinished();
    QCoreApplication::processEvents();
    window().clickSave();
    ASSERT_TRUE(waitForLoop());

    const QJsonObject tags = ExifTool::read(path);
    EXPECT_EQ(tags.value("IPTC:ObjectName").toString(), title.left(63)) << "the two-byte letter did not fit";
    EXPECT_TRUE(tags.value("XMP-dc:Title").toString() == title) << "XMP keeps the whole text";
    const QJsonObject validated = ExifTool::read(path, {"-validate", "-warning"});
    for (auto it = validated.begin(); it != validated.end(); ++it)
        EXPECT_FALSE(it.value().toString().contains("IPTC")) << it.value().toString().toStdString();
}

// Labels that turn bold when edited never push the fields aside, and a time
// shows a zone only when the file gives its offset.
TEST_F(MainWindowInputCheckTest, SummaryFormKeepsItsPlaceAndShowsOnlyTheFilesOwnZone)
{
    ASSERT_TRUE(importAndWait({photoWithTags("plain.jpg", {{kOriginal, "2014:04:26 12:01:44"}}),
        photoWithTags(
            "zoned.jpg", {{kOriginal, "2014:04:26 12:01:44"}, {"Exif.Photo.OffsetTimeOriginal", "+02:00"}})}));
    select({0});
    auto* time = window().summaryTab()->findChild<TFDatePicker*>(QStringLiteral("fldCreateTime"));
    ASSERT_NE(time, nullptr);
    EXPECT_EQ(time->text(), "12:01:44");
    QLineEdit* artist = summaryField("fldPhotographer");
    const int fieldsStart = artist->geometry().left();
    const int timeStart = time->geometry().left();

    artist->setText(QStringLiteral("Edited"));
    emit artist->textEdited(QStringLiteral("Edited"));
    QCoreApplication::processEvents();
    window().summaryTab()->layout()->activate();
    EXPECT_EQ(artist->geometry().left(), fieldsStart);
    EXPECT_EQ(time->geometry().left(), timeStart);
    EXPECT_TRUE(Gallery::capture(window().mainWindow(), "main-window-summary-edited-label"));

    select({1});
    EXPECT_EQ(time->text(), "12:01:44 +02:00");
}

TEST(TAVDateTagFormsTest, EachFamilyTakesItsOwnFormOfRealDatesAndTimes)
{
    struct Case {
        const char* key;
        const char* text;
        bool accepted;
    };
    const Case cases[] = {
        {"Exif.Photo.DateTimeOriginal", "2014:04:26 10:11:12", true},
        {"Exif.Photo.DateTimeOriginal", "", true},
        {"Exif.Photo.DateTimeOriginal", "yesterday", false},
        {"Exif.Photo.DateTimeOriginal", "2014:04:26", false},
        {"Exif.Photo.DateTimeOriginal", "2014:04:26 24:00:00", false},
        {"Exif.Image.DateTime", "2013:02:29 10:00:00", false},
        {"Exif.Photo.DateTimeDigitized", "2014:04:26T10:11:12", false},
        {"Exif.GPSInfo.GPSDateStamp", "2014:04:26", true},
        {"Exif.GPSInfo.GPSDateStamp", "2014:04:26 10:11:12", false},
        {"Iptc.Application2.DateCreated", "2014-04-26", true},
        {"Iptc.Application2.DateCreated", "20140426", true},
        {"Iptc.Application2.DateCreated", "2014-0426", false},
        {"Iptc.Application2.DateCreated", "26.04.2014", false},
        {"Iptc.Application2.TimeCreated", "10:11:12+02:00", true},
        {"Iptc.Application2.TimeCreated", "101112-0500", true},
        {"Iptc.Application2.TimeCreated", "10:11:12", true},
        {"Iptc.Application2.TimeCreated", "10:61:12", false},
        {"Iptc.Application2.TimeCreated", "noon", false},
        {"Xmp.xmp.CreateDate", "2014", true},
        {"Xmp.xmp.CreateDate", "2014-04", true},
        {"Xmp.xmp.CreateDate", "2014-04-26T10:11", true},
        {"Xmp.xmp.CreateDate", "2014-04-26T10:11:12.345+02:00", true},
        {"Xmp.photoshop.DateCreated", "2014-04-26T10:11:12Z", true},
        {"Xmp.exif.DateTimeOriginal", "2014-02-30", false},
        {"Xmp.xmp.CreateDate", "2014:04:26 10:11:12", false},
        // Keys that hold no date keep any text.
        {"Exif.Image.Artist", "yesterday", true},
        {"Iptc.Application2.City", "2014-13-45", true},
        {"Xmp.dc.title", "last week", true},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(TAVDateTagForms::acceptsText(QString::fromLatin1(c.key), QString::fromLatin1(c.text)), c.accepted)
            << c.key << " = " << c.text;
    }
    EXPECT_TRUE(TAVDateTagForms::isDateKey("Iptc.Envelope.DateSent"));
    EXPECT_FALSE(TAVDateTagForms::isDateKey("Iptc.Application2.ObjectName"));
}

} // namespace
