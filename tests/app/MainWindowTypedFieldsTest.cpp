// Typed text in the window's fields, on copies of camera files read back by
// exiftool: a field typed into and brought back to what it showed is no
// edit; typed text reaches the photos once, when its field's text is taken,
// and nothing the window does loses it; a shift count refuses a sign
// visibly; a cleared date takes a typed one; a kept XMP packet is said to
// keep the position a clear took from EXIF.
#include "MainWindowFixture.h"
#include "TabPostRecorder.h"

#include "app/ENTabBarView.h"
#include "app/TAVDetailViewCtlr.h"
#include "app/TAVExposureViewCtlr.h"
#include "app/TAVPhotoListModel.h"
#include "app/TAVPhotosViewCltr.h"
#include "app/TAVSummaryViewCtlr.h"
#include "commlib/TAVSearchableTagTableModel.h"
#include "commlib/TFDatePicker.h"
#include "commlib/VXKeyPressTableView.h"
#include "support/ExifTool.h"
#include "support/Gallery.h"
#include "support/ImageFixtures.h"

#include <QAction>
#include <QCheckBox>
#include <QJsonObject>
#include <QLineEdit>
#include <QMainWindow>
#include <QPlainTextEdit>
#include <QTableView>
#include <QTest>

namespace {

const QString kTitleKey = QStringLiteral("Iptc.Application2.ObjectName");
const QString kOriginal = QStringLiteral("Exif.Photo.DateTimeOriginal");

class MainWindowTypedFieldsTest : public MainWindowTest {
protected:
    void SetUp() override
    {
        MainWindowTest::SetUp();
        if (!ExifTool::available())
            GTEST_SKIP() << "exiftool missing";
    }

    bool saveSelected()
    {
        window().clickSave();
        return waitForLoop();
    }

    // Two camera files, each with its own title, description, aperture and
    // artist, so that a selection of both shows these fields empty.
    QStringList twoCameraPhotos()
    {
        const QStringList paths = samples({"npm-canon-s40.jpg", "npm-nikon-d90-photometric.jpg"});
        const char* titles[] = {"Harbour", "Bridge"};
        const char* apertures[] = {"28/10", "56/10"};
        for (int i = 0; i < 2; ++i) {
            EXPECT_TRUE(ImageFixtures::writeTags(paths.at(i),
                {{kTitleKey, titles[i], std::nullopt}, {"Xmp.dc.title", titles[i], std::nullopt},
                    {"Exif.Image.ImageDescription", titles[i], std::nullopt},
                    {"Exif.Photo.FNumber", apertures[i], std::nullopt},
                    {"Exif.Image.Artist", titles[i], std::nullopt}}));
        }
        return paths;
    }

    // The user clicks into the field after its text, types and leaves the
    // focus there.
    static void typeInto(QWidget* field, const QString& text)
    {
        field->setFocus(Qt::MouseFocusReason);
        if (auto* view = qobject_cast<QPlainTextEdit*>(field))
            view->moveCursor(QTextCursor::End);
        QTest::keyClicks(field, text);
    }
    // A digit after the text, which every field takes, and Backspace.
    static void typeAndUndo(QWidget* field)
    {
        field->setFocus(Qt::MouseFocusReason);
        const bool view = qobject_cast<QPlainTextEdit*>(field) != nullptr;
        QTest::keyClick(field, Qt::Key_End, view ? Qt::ControlModifier : Qt::NoModifier);
        QTest::keyClicks(field, "5");
        QTest::keyClick(field, Qt::Key_Backspace);
    }
    // The focus leaves for the photo list, as a click there would.
    void leaveField() { window().photosViewCltr()->tableView()->setFocus(Qt::MouseFocusReason); }

    bool badged(int row)
    {
        return !window().photosViewCltr()->listModel()->index(row, 0).data(Qt::DecorationRole).isNull();
    }
    QWidget* summaryChild(const char* name) { return window().summaryTab()->findChild<QWidget*>(QLatin1String(name)); }
};

// Two photos with different titles show an empty Title; a letter typed
// there and taken back with Backspace, and the same in every other kind of
// field, erased the title of both on save.
TEST_F(MainWindowTypedFieldsTest, AFieldTypedIntoAndBroughtBackIsNoEditForSeveralPhotosOrOne)
{
    const QStringList paths = twoCameraPhotos();
    ASSERT_TRUE(importAndWait(paths));
    TAVSummaryViewCtlr* summary = window().summaryTab();
    for (const QList<int>& rows : {QList<int>{0, 1}, QList<int>{0}}) {
        SCOPED_TRACE(rows.size());
        select(rows);
        QLineEdit* title = summaryField("fldTitle");
        ASSERT_EQ(title->text(), rows.size() == 2 ? "" : "Harbour");
        for (const char* name : {"fldTitle", "fldPhotographer", "tvDescription", "fldCreateDate"}) {
            SCOPED_TRACE(name);
            QWidget* field = summaryChild(name);
            ASSERT_NE(field, nullptr);
            if (auto* picker = qobject_cast<TFDatePicker*>(field)) {
                // A step and back: another date, then the one shown.
                picker->setFocus(Qt::MouseFocusReason);
                const bool empty = picker->isEmpty();
                QTest::keyClick(picker, Qt::Key_Up);
                QTest::keyClick(picker, empty ? Qt::Key_Delete : Qt::Key_Down);
            } else {
                typeAndUndo(field);
            }
            EXPECT_TRUE(isStyledPlain(labelOf(summary, field))) << "the label is back as it was";
            leaveField();
            EXPECT_TRUE(isStyledPlain(labelOf(summary, field)));
        }
        window().tabBar()->selectTab(TAVMainWindowCtlr::TabExposure);
        QLineEdit* aperture = window().exposureTab()->findChild<QLineEdit*>("fldAperture");
        typeAndUndo(aperture);
        leaveField();
        window().tabBar()->selectTab(TAVMainWindowCtlr::TabDetail);
        QTableView* table = window().detailTab()->tableView();
        table->edit(detailCell("Exif.Image.Artist"));
        auto* editor = table->viewport()->findChild<QLineEdit*>();
        ASSERT_NE(editor, nullptr);
        typeAndUndo(editor);
        leaveField();
        window().tabBar()->selectTab(TAVMainWindowCtlr::TabSummary);

        EXPECT_FALSE(anyPhotoModified());
        QCoreApplication::processEvents();
        EXPECT_FALSE(badged(0));
        EXPECT_FALSE(badged(1));
        ASSERT_TRUE(saveSelected());
    }
    const char* titles[] = {"Harbour", "Bridge"};
    for (int i = 0; i < 2; ++i) {
        const QJsonObject tags = ExifTool::read(paths.at(i), {"-n"});
        EXPECT_EQ(tags.value("IPTC:ObjectName").toString(), titles[i]);
        EXPECT_EQ(tags.value("XMP-dc:Title").toString(), titles[i]);
        EXPECT_EQ(tags.value("IFD0:ImageDescription").toString(), titles[i]);
        EXPECT_EQ(tags.value("IFD0:Artist").toString(), titles[i]);
        EXPECT_EQ(tags.value("ExifIFD:FNumber").toDouble(), i == 0 ? 2.8 : 5.6);
        EXPECT_TRUE(tags.contains("ExifIFD:DateTimeOriginal"));
    }
}

// A keystroke with several photos selected touches none of them: the typed
// text reaches every selected photo once, when its field's text is taken,
// and a save, a selection change, a tab change or a close with the focus
// still in the field takes it first.
TEST_F(MainWindowTypedFieldsTest, TypedTextReachesThePhotosOnceAndNothingTheWindowDoesLosesIt)
{
    const QStringList paths = twoCameraPhotos();
    ASSERT_TRUE(importAndWait(paths));
    select({0, 1});
    TabPostRecorder recorder;
    QLineEdit* artist = summaryField("fldPhotographer");
    typeInto(artist, "Ann");
    EXPECT_TRUE(recorder.posts.empty()) << "no hand-over per keystroke";
    EXPECT_EQ(images().at(1)->exifData()->getValueForKey("Exif.Image.Artist", 0), "Bridge");
    EXPECT_TRUE(isStyledModified(labelOf(window().summaryTab(), artist))) << "the field shows it is edited";
    ASSERT_TRUE(saveSelected());
    EXPECT_EQ(recorder.posts.size(), 1u);
    for (const QString& path : paths)
        EXPECT_EQ(ExifTool::read(path).value("IFD0:Artist").toString(), "Ann");

    // A selection change: the text goes to the photos it was typed for.
    select({0});
    typeInto(summaryField("fldTitle"), " at dusk");
    select({1});
    EXPECT_EQ(images().at(0)->exifData()->getValueForKey(kTitleKey, 0), "Harbour at dusk");
    EXPECT_EQ(images().at(1)->exifData()->getValueForKey(kTitleKey, 0), "Bridge");

    // A tab change, from a number field and from a text view.
    window().tabBar()->selectTab(TAVMainWindowCtlr::TabExposure);
    QLineEdit* aperture = window().exposureTab()->findChild<QLineEdit*>("fldAperture");
    aperture->selectAll();
    typeInto(aperture, "8");
    window().tabBar()->selectTab(TAVMainWindowCtlr::TabSummary);
    EXPECT_EQ(images().at(1)->exifData()->getValueForKey("Exif.Photo.FNumber", 1), "8");
    typeInto(summaryChild("tvDescription"), " by night");
    window().tabBar()->selectTab(TAVMainWindowCtlr::TabDetail);
    EXPECT_EQ(images().at(1)->exifData()->getValueForKey("Exif.Image.ImageDescription", 0), "Bridge by night");

    // A close with the focus in a field still asks, and saves what was typed.
    window().tabBar()->selectTab(TAVMainWindowCtlr::TabSummary);
    QLineEdit* title = summaryField("fldTitle");
    title->selectAll();
    typeInto(title, "Pier");
    ui_.answerAlerts({UiServices::FirstButton});
    window().mainWindow()->close();
    ASSERT_TRUE(waitForLoop());
    const QJsonObject first = ExifTool::read(paths.at(0));
    EXPECT_EQ(first.value("IPTC:ObjectName").toString(), "Harbour at dusk");
    const QJsonObject second = ExifTool::read(paths.at(1), {"-n"});
    EXPECT_EQ(second.value("IPTC:ObjectName").toString(), "Pier");
    EXPECT_EQ(second.value("XMP-dc:Title").toString(), "Pier");
    EXPECT_EQ(second.value("IFD0:ImageDescription").toString(), "Bridge by night");
    EXPECT_EQ(second.value("ExifIFD:FNumber").toDouble(), 8.0);
}

// "-10" typed as the hours of a shift: the sign is refused with a visible
// alert, the field keeps what it held, and the save moves no date.
TEST_F(MainWindowTypedFieldsTest, ASignInAShiftCountIsRefusedWithAnAlertAndShiftsNothing)
{
    const QString path = samples({"npm-canon-s40.jpg"}).first();
    ASSERT_TRUE(ImageFixtures::writeTags(path, {{kOriginal, "2014:09:01 15:03:47", std::nullopt}}));
    ASSERT_TRUE(importAndWait({path}));
    window().summaryTab()->findChild<QCheckBox*>("btnTimeOffset")->click();
    QLineEdit* hours = summaryField("fldOffsetTimeValue");
    hours->setFocus(Qt::MouseFocusReason);
    hours->selectAll();
    const qsizetype alerts = ui_.alerts().size();
    QTest::keyClick(hours, Qt::Key_Minus);
    ASSERT_EQ(ui_.alerts().size(), alerts + 1);
    EXPECT_EQ(ui_.alerts().last().title, "Error");
    EXPECT_TRUE(ui_.alerts().last().message.contains("no sign")) << ui_.alerts().last().message.toStdString();
    EXPECT_EQ(ui_.beeps(), 0) << "the alert says it, not a beep";
    EXPECT_EQ(hours->text(), "0");
    leaveField();
    ASSERT_TRUE(saveSelected());
    EXPECT_EQ(ExifTool::read(path).value("ExifIFD:DateTimeOriginal").toString(), "2014:09:01 15:03:47");
}

// After the Date field's clear button a typed date is taken as in a field
// that was empty from the start.
TEST_F(MainWindowTypedFieldsTest, AClearedDateFieldTakesATypedDate)
{
    const QString path = samples({"npm-canon-s40.jpg"}).first();
    ASSERT_TRUE(ImageFixtures::writeTags(path, {{kOriginal, "2014:09:01 15:03:47", std::nullopt}}));
    ASSERT_TRUE(importAndWait({path}));
    auto* date = window().summaryTab()->findChild<TFDatePicker*>("fldCreateDate");
    auto* edit = date->findChild<QLineEdit*>();
    date->setFocus(Qt::MouseFocusReason);
    ASSERT_EQ(edit->actions().size(), 1);
    edit->actions().first()->trigger();
    ASSERT_TRUE(date->isEmpty());

    QTest::keyClicks(date, "2024-03-28");
    EXPECT_EQ(edit->text(), "2024-03-28");
    EXPECT_EQ(date->dateValue().date(), QDate(2024, 3, 28));
    QTest::keyClick(date, Qt::Key_Return);
    EXPECT_TRUE(Gallery::capture(window().mainWindow(), "main-window-summary-date-typed-after-clear"));
    ASSERT_TRUE(saveSelected());
    EXPECT_EQ(ExifTool::read(path).value("ExifIFD:DateTimeOriginal").toString(), "2024:03:28 15:03:47");
}

// Clear > GPS of a photo whose XMP cannot be read: EXIF loses the position,
// the packet is kept, and the alert says that the position is still there.
TEST_F(MainWindowTypedFieldsTest, AKeptXmpAlertSaysTheClearedPositionIsStillInTheFile)
{
    const QString path = samples({"npm-canon-s40.jpg"}).first();
    ASSERT_TRUE(ImageFixtures::writeTags(path,
        {{"Exif.GPSInfo.GPSLatitudeRef", "N", std::nullopt},
            {"Exif.GPSInfo.GPSLatitude", "37/1 46/1 30/1", std::nullopt},
            {"Exif.GPSInfo.GPSLongitudeRef", "W", std::nullopt},
            {"Exif.GPSInfo.GPSLongitude", "122/1 25/1 10/1", std::nullopt}}));
    ASSERT_TRUE(ImageFixtures::giveUndecodableXmpPacket(path));
    ASSERT_TRUE(importAndWait({path}));
    window().clickClearKind(2);
    const qsizetype alerts = ui_.alerts().size();
    ASSERT_TRUE(saveSelected());

    ASSERT_EQ(ui_.alerts().size(), alerts + 1);
    EXPECT_EQ(ui_.alerts().last().title, "XMP metadata kept");
    EXPECT_EQ(ui_.alerts().last().message,
        "The XMP metadata of this photo could not be read, so it was kept as it was: npm-canon-s40.jpg. Its GPS "
        "position was cleared from EXIF only: the position its XMP holds is still in the file.");
    const QJsonObject tags = ExifTool::read(path);
    EXPECT_FALSE(tags.contains("GPS:GPSLatitude"));
    EXPECT_EQ(tags.value("XMP-dc:Title").toString(), "Harbour");
}

} // namespace
