// Nothing the user did not ask for reaches a photo, and nothing typed is
// lost without a question: an empty date stays empty until a whole date is
// typed, Restore leaves no time shift armed, removal and Restore All ask
// about the edits they would throw away. Driven in the real window on copies
// of camera files, by key, wheel and mouse, read back by exiftool; each also
// over 1,000 photos.
#include "MainWindowFixture.h"

#include "app/TAVPhotosViewCltr.h"
#include "app/TAVSummaryViewCtlr.h"
#include "commlib/QtUiServices.h"
#include "commlib/TFDatePicker.h"
#include "commlib/VXKeyPressTableView.h"
#include "commlib/VXProgressWindowController.h"
#include "support/ExifTool.h"
#include "support/Gallery.h"
#include "support/ImageFixtures.h"

#include <QCheckBox>
#include <QCryptographicHash>
#include <QFile>
#include <QJsonObject>
#include <QLabel>
#include <QLineEdit>
#include <QMainWindow>
#include <QMessageBox>
#include <QTest>
#include <QToolButton>
#include <QWheelEvent>

#include <memory>

namespace {

const QString kArtist = QStringLiteral("Exif.Image.Artist");
const char* const kDateTags[] = {"ExifIFD:DateTimeOriginal", "ExifIFD:CreateDate", "IFD0:ModifyDate"};

class MainWindowUnaskedChangesTest : public MainWindowTest {
protected:
    void SetUp() override
    {
        MainWindowTest::SetUp();
        if (!ExifTool::available())
            GTEST_SKIP() << "exiftool missing";
    }

    // Two camera photos with different dates and one without any date.
    QStringList cameraPhotos()
    {
        return samples({"npm-canon-s40.jpg", "npm-nikon-d90-photometric.jpg", "npm-windows-xmp.jpg"});
    }
    // `count` copies of the three, in turn: a selection of all of them shows
    // empty date and time pickers.
    QStringList manyPhotos(int count)
    {
        const QStringList kinds = cameraPhotos();
        QStringList paths;
        for (int i = 0; i < count; ++i) {
            const QString path = tempPath(QStringLiteral("in/p%1.jpg").arg(i, 4, 10, QLatin1Char('0')));
            EXPECT_TRUE(QFile::copy(kinds.at(i % 3), path));
            paths.append(path);
        }
        return paths;
    }
    void selectAll()
    {
        QList<int> rows;
        for (int row = 0; row < images().size(); ++row)
            rows.append(row);
        select(rows);
    }
    static QByteArray digestOf(const QString& path)
    {
        QFile file(path);
        return file.open(QIODevice::ReadOnly) ? QCryptographicHash::hash(file.readAll(), QCryptographicHash::Sha1)
                                              : QByteArray();
    }
    static QList<QByteArray> digestsOf(const QStringList& paths)
    {
        QList<QByteArray> digests;
        for (const QString& path : paths)
            digests.append(digestOf(path));
        return digests;
    }
    static QStringList datesOf(const QString& path)
    {
        const QJsonObject tags = ExifTool::read(path);
        QStringList dates;
        for (const char* tag : kDateTags)
            dates.append(tags.value(QLatin1String(tag)).toString());
        return dates;
    }

    TFDatePicker* picker(const char* name) { return window().summaryTab()->findChild<TFDatePicker*>(name); }
    QLabel* labelOf(QWidget* field)
    {
        for (QLabel* label : window().summaryTab()->findChildren<QLabel*>()) {
            if (label->buddy() == field)
                return label;
        }
        return nullptr;
    }
    static bool isStyledEdited(QLabel* label) { return label && label->font().italic(); }
    static void turnWheel(QWidget* widget, int notches)
    {
        const QPointF centre = QRectF(widget->rect()).center();
        QWheelEvent wheel(centre, widget->mapToGlobal(centre), QPoint(), QPoint(0, 120 * notches), Qt::NoButton,
            Qt::NoModifier, Qt::NoScrollPhase, false);
        QCoreApplication::sendEvent(widget, &wheel);
    }
    void leaveField() { window().photosViewCltr()->tableView()->setFocus(Qt::MouseFocusReason); }
    // What a user passing through the empty pickers does: a wheel turn and
    // an arrow step; a digit typed and deleted; a part of a date typed and
    // left.
    void touchEmptyPickers()
    {
        activate();
        for (const char* name : {"fldCreateDate", "fldCreateTime"}) {
            SCOPED_TRACE(name);
            TFDatePicker* field = picker(name);
            ASSERT_TRUE(field->isEmpty());
            turnWheel(field, 1);
            turnWheel(field, -2);
            EXPECT_TRUE(field->isEmpty()) << "a wheel turn starts no date";
            field->setFocus(Qt::MouseFocusReason);
            QTest::keyClick(field, Qt::Key_Up);
            QTest::keyClick(field, Qt::Key_Down);
            EXPECT_TRUE(field->isEmpty()) << "an arrow starts no date";
            QTest::keyClick(field, Qt::Key_2);
            EXPECT_FALSE(field->dateValue().isValid()) << "a digit is no date yet";
            QTest::keyClick(field, Qt::Key_Backspace);
            EXPECT_TRUE(field->isEmpty()) << "the digit deleted, the field is empty again";
            QTest::keyClick(field, Qt::Key_Tab);
            EXPECT_TRUE(field->isEmpty());
            field->setFocus(Qt::MouseFocusReason);
            QTest::keyClicks(field, "20");
            leaveField();
            EXPECT_TRUE(field->isEmpty()) << "a part of a date left is no date";
            EXPECT_FALSE(isStyledEdited(labelOf(field)));
        }
    }
    bool save()
    {
        window().clickSave();
        return waitForLoop();
    }
    QCheckBox* shiftBox() { return window().summaryTab()->findChild<QCheckBox*>("btnTimeOffset"); }
    QLineEdit* shiftHours() { return summaryField("fldOffsetTimeValue"); }
    QLineEdit* shiftDays() { return summaryField("fldOffsetDateValue"); }
    // Ticks "Shift by" and types `hours` into its Hours field, then Tab.
    void armShift(const char* hours)
    {
        activate();
        shiftBox()->click();
        shiftHours()->setFocus(Qt::MouseFocusReason);
        shiftHours()->selectAll();
        QTest::keyClicks(shiftHours(), hours);
        QTest::keyClick(shiftHours(), Qt::Key_Tab);
    }
    bool anyShiftArmed()
    {
        for (const auto& image : images()) {
            if (image->exifData()->createdDateTimeOffset())
                return true;
        }
        return false;
    }
    // The user clicks into Photographer and types, leaving the focus there.
    void typeArtist(const QString& artist)
    {
        activate();
        QLineEdit* field = summaryField("fldPhotographer");
        field->setFocus(Qt::MouseFocusReason);
        field->selectAll();
        QTest::keyClicks(field, artist);
    }
};

} // namespace

// "2", Backspace, Tab typed into the empty Date of photos with different
// dates, or a notch of the wheel over it, wrote today into every one of
// them. The same for one photo without a date; a whole date typed is taken.
TEST_F(MainWindowUnaskedChangesTest, AnEmptyDatePickerTakesOnlyAWholeTypedDate)
{
    const QStringList paths = cameraPhotos();
    const QStringList before[] = {datesOf(paths.at(0)), datesOf(paths.at(1))};
    ASSERT_TRUE(importAndWait(paths));
    for (const QList<int>& rows : {QList<int>{0, 1}, QList<int>{2}}) {
        SCOPED_TRACE(rows.size());
        select(rows);
        touchEmptyPickers();
        EXPECT_FALSE(anyPhotoModified());
    }

    // A whole date typed over the emptied field is the user's.
    TFDatePicker* date = picker("fldCreateDate");
    date->setFocus(Qt::MouseFocusReason);
    QTest::keyClicks(date, "2019-06-30");
    EXPECT_TRUE(isStyledEdited(labelOf(date)));
    leaveField();
    EXPECT_EQ(date->dateValue().date(), QDate(2019, 6, 30));
    EXPECT_TRUE(images().at(2)->exifData()->isModifiedForKey(QStringLiteral("Exif.Image.CreateDate"), 0));
    window().clickRestore();

    window().clickSaveAll();
    ASSERT_TRUE(waitForLoop());
    EXPECT_EQ(datesOf(paths.at(0)), before[0]);
    EXPECT_EQ(datesOf(paths.at(1)), before[1]);
    EXPECT_EQ(datesOf(paths.at(2)), (QStringList{"", "", ""}));
}

// Restore brings a photo back to what was read: a ticked shift with it. And
// a photo's form shows its own shift or none, so ticking the box there arms
// nothing the user typed for another photo.
TEST_F(MainWindowUnaskedChangesTest, RestoreLeavesNoShiftArmedAndEachPhotoShowsItsOwnShift)
{
    const QStringList paths = cameraPhotos();
    const QStringList before[] = {datesOf(paths.at(0)), datesOf(paths.at(1))};
    ASSERT_TRUE(importAndWait(paths));
    for (const QList<int>& rows : {QList<int>{0}, QList<int>{0, 1}}) {
        SCOPED_TRACE(rows.size());
        select(rows);
        armShift("2");
        ASSERT_TRUE(images().at(0)->exifData()->createdDateTimeOffset().has_value());
        window().clickRestore();
        EXPECT_FALSE(shiftBox()->isChecked());
        EXPECT_EQ(shiftHours()->text(), "0");
        EXPECT_FALSE(anyShiftArmed());
        EXPECT_FALSE(anyPhotoModified());
    }
    window().clickSaveAll();
    ASSERT_TRUE(waitForLoop());
    EXPECT_EQ(datesOf(paths.at(0)), before[0]);
    EXPECT_EQ(datesOf(paths.at(1)), before[1]);

    // Three days for the first photo; the second shows no shift, and a tick
    // there arms none.
    select({0});
    activate();
    shiftBox()->click();
    shiftDays()->setFocus(Qt::MouseFocusReason);
    shiftDays()->selectAll();
    QTest::keyClicks(shiftDays(), "3");
    leaveField();
    select({1});
    EXPECT_FALSE(shiftBox()->isChecked());
    EXPECT_EQ(shiftDays()->text(), "0");
    shiftBox()->click();
    select({0, 1});
    EXPECT_FALSE(shiftBox()->isChecked()) << "the two photos have no shift in common";
    window().clickSaveAll();
    ASSERT_TRUE(waitForLoop());
    EXPECT_EQ(datesOf(paths.at(0)).first(), "2003:12:17 12:01:44");
    EXPECT_EQ(datesOf(paths.at(1)), before[1]);
}

// Text typed into Photographer and not yet taken is an unsaved edit to "−"
// and to the list's Clear: they ask, and Cancel keeps the photo and the text.
TEST_F(MainWindowUnaskedChangesTest, RemovalTakesTypedTextFirstAndAsks)
{
    const QStringList paths = cameraPhotos();
    ASSERT_TRUE(importAndWait(paths));
    TAVPhotosViewCltr* list = window().photosViewCltr();
    for (const int segment : {TAVPhotosViewCltr::SegmentRemove, TAVPhotosViewCltr::SegmentClear}) {
        SCOPED_TRACE(segment);
        select({0});
        typeArtist(segment == TAVPhotosViewCltr::SegmentClear ? "Bo" : "Ann");
        const qsizetype asked = ui_.alerts().size();
        ui_.answerAlerts({UiServices::SecondButton});
        QTest::mouseClick(list->fileSegment(segment), Qt::LeftButton);
        ASSERT_EQ(ui_.alerts().size(), asked + 1) << "the removal asks";
        EXPECT_EQ(ui_.alerts().last().title, "Remove photos with unsaved changes?");
        EXPECT_EQ(ui_.alerts().last().defaultButton, 1);
        EXPECT_EQ(images().size(), 3);
    }
    EXPECT_EQ(images().at(0)->exifData()->getValueForKey(kArtist, 0), "Bo");
    window().clickSaveAll();
    ASSERT_TRUE(waitForLoop());
    EXPECT_EQ(ExifTool::read(paths.at(0)).value("IFD0:Artist").toString(), "Bo");
}

// Restore All throws edits away: it asks as Clear All does, Cancel first,
// naming the edited photos the search hides; nothing edited, nothing to ask.
TEST_F(MainWindowUnaskedChangesTest, RestoreAllAsksBeforeThrowingEditsAway)
{
    const QStringList paths = cameraPhotos();
    ASSERT_TRUE(importAndWait(paths));
    window().clickRestoreAll();
    EXPECT_TRUE(ui_.alerts().isEmpty()) << "nothing to lose, nothing to ask";

    select({0, 2});
    typeArtist("Ann");
    window().photosViewCltr()->searchField()->setText("nikon");
    ui_.answerAlerts({UiServices::SecondButton});
    window().clickRestoreAll();
    ASSERT_EQ(ui_.alerts().size(), 1);
    const UiServices::AlertRequest question = ui_.alerts().last();
    EXPECT_EQ(question.title, "Restore every photo in the list?");
    EXPECT_EQ(question.message,
        "This throws away the unsaved changes of 2 of the 3 photos in the list. 2 of them are hidden by the search "
        "\"nikon\". This cannot be undone.");
    EXPECT_EQ(question.buttons, (QStringList{"Restore All", "Cancel"}));
    EXPECT_EQ(question.defaultButton, 1);
    std::unique_ptr<QMessageBox> box(QtUiServices::makeAlert(question, nullptr));
    EXPECT_TRUE(captureOverWindow(box.get(), "restore-all-question"));

    window().photosViewCltr()->searchField()->setText("");
    window().clickSaveAll();
    ASSERT_TRUE(waitForLoop());
    EXPECT_EQ(ExifTool::read(paths.at(0)).value("IFD0:Artist").toString(), "Ann");
    EXPECT_EQ(ExifTool::read(paths.at(2)).value("IFD0:Artist").toString(), "Ann");
}

// The user at the keyboard with 1,000 photos selected: the empty pickers
// touched, a shift armed and Restore All, text typed and Clear, Restore All
// of 1,000 edits. The records are what a save writes; a few photos of each
// kind are saved and read back.
TEST_F(MainWindowUnaskedChangesTest, AThousandPhotosSelectedGetNothingTheUserDidNotAskFor)
{
    const QStringList paths = manyPhotos(1000);
    ASSERT_TRUE(importAndWait(paths));
    selectAll();
    touchEmptyPickers();
    turnWheel(picker("fldCreateDate"), 1);
    EXPECT_TRUE(picker("fldCreateDate")->isEmpty());
    EXPECT_TRUE(Gallery::capture(window().mainWindow(), "date-picker-empty-after-wheel-turn"));
    EXPECT_FALSE(anyPhotoModified());

    armShift("1");
    ASSERT_TRUE(images().at(999)->exifData()->createdDateTimeOffset().has_value());
    ui_.answerAlerts({UiServices::FirstButton});
    window().clickRestoreAll();
    ASSERT_EQ(ui_.alerts().size(), 1);
    EXPECT_EQ(ui_.alerts().last().message,
        "This throws away the unsaved changes of all 1000 photos in the list. This cannot be undone.");
    EXPECT_FALSE(shiftBox()->isChecked());
    EXPECT_FALSE(anyShiftArmed());
    EXPECT_FALSE(anyPhotoModified());

    typeArtist("Ann");
    ui_.answerAlerts({UiServices::SecondButton});
    QTest::mouseClick(window().photosViewCltr()->fileSegment(TAVPhotosViewCltr::SegmentClear), Qt::LeftButton);
    ASSERT_EQ(ui_.alerts().size(), 2);
    EXPECT_EQ(ui_.alerts().last().title, "Remove photos with unsaved changes?");
    ASSERT_EQ(images().size(), 1000);
    EXPECT_EQ(images().at(999)->exifData()->getValueForKey(kArtist, 0), "Ann");

    ui_.answerAlerts({UiServices::SecondButton});
    window().clickRestoreAll();
    ASSERT_EQ(ui_.alerts().size(), 3);
    EXPECT_EQ(images().at(500)->exifData()->getValueForKey(kArtist, 0), "Ann") << "Cancel keeps every edit";

    // Three photos of each kind saved: the typed artist, and no date or shift.
    select({0, 1, 2, 997, 998, 999});
    ASSERT_TRUE(save());
    for (const int row : {0, 1, 2, 997, 998, 999}) {
        SCOPED_TRACE(row);
        const QJsonObject tags = ExifTool::read(paths.at(row));
        EXPECT_EQ(tags.value("IFD0:Artist").toString(), "Ann");
        EXPECT_EQ(datesOf(paths.at(row)), datesOf(paths.at(row % 3 + 3)));
    }
}

// A shift armed for one photo stays that photo's through a selection of
// several: a Photographer typed for both neither drops it nor hands it to
// the other. A shift the user sets (or unticks) in that selection's form
// reaches every photo of it.
TEST_F(MainWindowUnaskedChangesTest, AShiftArmedForOnePhotoSurvivesASelectionOfSeveral)
{
    const QStringList paths = samples({"npm-canon-s40.jpg", "npm-nikon-d90-photometric.jpg"});
    const QStringList nikonBefore = datesOf(paths.at(1));
    ASSERT_TRUE(importAndWait(paths));
    select({0});
    armShift("2");
    select({0, 1});
    EXPECT_FALSE(shiftBox()->isChecked()) << "the two photos have no shift in common";
    typeArtist("Ann");
    window().clickSaveAll();
    ASSERT_TRUE(waitForLoop());
    EXPECT_EQ(datesOf(paths.at(0)).first(), "2003:12:14 14:01:44");
    EXPECT_EQ(datesOf(paths.at(1)), nikonBefore);
    for (const QString& path : paths)
        EXPECT_EQ(ExifTool::read(path).value("IFD0:Artist").toString(), "Ann") << qPrintable(path);

    // One hour set in the form of both replaces the first photo's own two.
    select({0});
    armShift("2");
    select({0, 1});
    armShift("1");
    typeArtist("Bo");
    window().clickSaveAll();
    ASSERT_TRUE(waitForLoop());
    EXPECT_EQ(datesOf(paths.at(0)).first(), "2003:12:14 15:01:44");
    EXPECT_EQ(datesOf(paths.at(1)).first(), "2011:08:15 13:24:54");
    EXPECT_EQ(ExifTool::read(paths.at(1)).value("IFD0:Artist").toString(), "Bo");

    // Ticked and unticked in the form of both: neither keeps a shift.
    select({1});
    armShift("4");
    select({0, 1});
    shiftBox()->click();
    shiftBox()->click();
    EXPECT_FALSE(anyShiftArmed());
    window().clickSaveAll();
    ASSERT_TRUE(waitForLoop());
    EXPECT_EQ(datesOf(paths.at(1)).first(), "2011:08:15 13:24:54");
}

// The same over 1,000 selected photos: the one photo's shift survives a
// Photographer typed for all of them, and a shift set for all reaches all.
// The records are what a save writes; a few photos are saved and read back.
TEST_F(MainWindowUnaskedChangesTest, AShiftArmedForOnePhotoSurvivesASelectionOfAThousand)
{
    const QStringList paths = manyPhotos(1000);
    ASSERT_TRUE(importAndWait(paths));
    select({0});
    armShift("2");
    selectAll();
    EXPECT_FALSE(shiftBox()->isChecked());
    typeArtist("Ann");
    leaveField();
    ASSERT_EQ(images().at(999)->exifData()->getValueForKey(kArtist, 0), "Ann");
    ASSERT_TRUE(images().at(0)->exifData()->createdDateTimeOffset().has_value());
    EXPECT_EQ(images().at(0)->exifData()->createdDateTimeOffset()->timeOffsetNum(), 2);
    for (qsizetype row = 1; row < images().size(); ++row)
        ASSERT_FALSE(images().at(row)->exifData()->createdDateTimeOffset().has_value()) << row;
    select({0, 1, 999});
    ASSERT_TRUE(save());
    EXPECT_EQ(datesOf(paths.at(0)).first(), "2003:12:14 14:01:44");
    EXPECT_EQ(datesOf(paths.at(1)), datesOf(paths.at(4)));
    EXPECT_EQ(datesOf(paths.at(999)), datesOf(paths.at(3)));
    for (const int row : {0, 1, 999})
        EXPECT_EQ(ExifTool::read(paths.at(row)).value("IFD0:Artist").toString(), "Ann") << row;

    selectAll();
    armShift("1");
    for (const auto& image : images()) {
        const auto& shift = image->exifData()->createdDateTimeOffset();
        ASSERT_TRUE(shift.has_value() && shift->timeOffsetNum() == 1) << qPrintable(image->srcPath());
    }
    select({0, 3});
    ASSERT_TRUE(save());
    EXPECT_EQ(datesOf(paths.at(0)).first(), "2003:12:14 15:01:44");
    EXPECT_EQ(datesOf(paths.at(3)).first(), "2003:12:14 13:01:44");
}
