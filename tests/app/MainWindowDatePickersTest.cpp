// The Date and Time pickers of the window's form, driven with the keys and
// the wheel a user moves, on copies of camera files read back by exiftool:
// a date or time typed whole is saved exactly as typed, in every date tag
// that holds it; a part the picker cannot take writes nothing; the wheel
// changes only a picker the user chose. Over one photo, two, and 1,000.
#include "MainWindowFixture.h"
#include "TabPostRecorder.h"

#include "app/TAVPhotosViewCltr.h"
#include "app/TAVSummaryViewCtlr.h"
#include "commlib/TFDatePicker.h"
#include "commlib/VXKeyPressTableView.h"
#include "commlib/VXProgressWindowController.h"
#include "models/tables/TAVKeyLists.h"
#include "support/ExifTool.h"
#include "support/KeyboardTyping.h"
#include "support/MouseWheel.h"
#include "support/WheelCounter.h"

#include <QFontMetrics>
#include <QJsonObject>
#include <QLineEdit>
#include <QMainWindow>
#include <QTest>

namespace {

const QStringList kTimeTags = {"ExifIFD:DateTimeOriginal", "ExifIFD:CreateDate", "XMP-xmp:CreateDate",
    "XMP-photoshop:DateCreated", "IPTC:TimeCreated"};

class MainWindowDatePickersTest : public MainWindowTest {
protected:
    void SetUp() override
    {
        MainWindowTest::SetUp();
        if (!ExifTool::available())
            GTEST_SKIP() << "exiftool missing";
    }
    TFDatePicker* picker(const char* name) { return window().summaryTab()->findChild<TFDatePicker*>(name); }
    TFDatePicker* date() { return picker("fldCreateDate"); }
    TFDatePicker* time() { return picker("fldCreateTime"); }
    // A click on the first character of the picker's text, the window
    // active again after any sheet.
    void clickInto(TFDatePicker* field)
    {
        activate();
        auto* edit = field->findChild<QLineEdit*>();
        const int x = 3 + QFontMetrics(edit->font()).horizontalAdvance('0') / 2;
        QTest::mouseClick(edit, Qt::LeftButton, Qt::NoModifier, QPoint(x, edit->height() / 2));
        EXPECT_TRUE(field->hasFocus());
    }
    // What the user does: a click on the field, a key to place the cursor
    // (none, Ctrl+A or Home), the text typed as a keyboard sends it, Tab.
    void typeInto(TFDatePicker* field, const char* placing, const char* text)
    {
        clickInto(field);
        if (QByteArray(placing) == "Ctrl+A")
            QTest::keyClick(field, Qt::Key_A, Qt::ControlModifier);
        else if (QByteArray(placing) == "Home")
            QTest::keyClick(field, Qt::Key_Home);
        KeyboardTyping::type(field, QLatin1String(text));
        QTest::keyClick(field, Qt::Key_Tab);
    }
    bool save()
    {
        window().clickSave();
        return waitForLoop();
    }
    void selectAll()
    {
        QList<int> rows;
        for (int row = 0; row < images().size(); ++row)
            rows.append(row);
        select(rows);
    }
    // Each date tag of the file that holds a time, as exiftool reads it.
    static QMap<QString, QString> timesOf(const QString& path) { return tagsOf(path, kTimeTags); }
};

} // namespace

// "10:11:12" typed with its colons over two photos showed 10:18:11 and
// emptied on Tab; over one photo after Ctrl+A it saved 00:11:12; "2024-05-07"
// after Home kept the old year. Each is now saved as typed, in EXIF, XMP and
// IPTC; "24" in the hour writes nothing.
TEST_F(MainWindowDatePickersTest, ADateOrTimeTypedWholeIsSavedExactlyAsTyped)
{
    const QStringList cameras = samples({"npm-nikon-d90-photometric.jpg", "npm-canon-s40.jpg"});
    const QString nikon = cameras.at(0);
    const QString canon = cameras.at(1);
    const QString secondNikon = copyOf(nikon, "second-nikon.jpg");
    ASSERT_TRUE(importAndWait({nikon, canon, secondNikon}));
    activate();

    // One photo: Ctrl+A and the time, Home and the date.
    select({rowOf(nikon)});
    typeInto(time(), "Ctrl+A", "10:11:12");
    EXPECT_EQ(time()->text(), "10:11:12");
    typeInto(date(), "Home", "2024-05-07");
    EXPECT_EQ(date()->text(), "2024-05-07");
    ASSERT_TRUE(save());
    const QMap<QString, QString> nikonTimes = timesOf(nikon);
    ASSERT_EQ(nikonTimes.size(), 5) << nikonTimes.keys().join(", ").toStdString();
    for (auto tag = nikonTimes.cbegin(); tag != nikonTimes.cend(); ++tag) {
        SCOPED_TRACE(tag.key().toStdString());
        if (tag.key() == "IPTC:TimeCreated")
            EXPECT_TRUE(tag.value().startsWith("10:11:12")) << tag.value().toStdString();
        else
            EXPECT_EQ(tag.value(), "2024:05:07 10:11:12");
    }
    EXPECT_EQ(ExifTool::read(nikon).value("IPTC:DateCreated").toString(), "2024:05:07");

    // Two photos with different dates: the Time picker is empty; the time
    // typed into it reaches both, each keeping its own date.
    select({rowOf(canon), rowOf(secondNikon)});
    ASSERT_TRUE(time()->isEmpty());
    typeInto(time(), "", "10:11:12");
    EXPECT_EQ(time()->text(), "10:11:12") << "Tab keeps the typed time";
    ASSERT_TRUE(save());
    EXPECT_EQ(timesOf(canon).value("ExifIFD:DateTimeOriginal"), "2003:12:14 10:11:12");
    EXPECT_EQ(timesOf(canon).value("ExifIFD:CreateDate"), "2003:12:14 10:11:12");
    const QMap<QString, QString> secondTimes = timesOf(secondNikon);
    for (auto tag = secondTimes.cbegin(); tag != secondTimes.cend(); ++tag) {
        SCOPED_TRACE(tag.key().toStdString());
        EXPECT_TRUE(tag.value().contains("10:11:12")) << tag.value().toStdString();
        if (tag.key() != "IPTC:TimeCreated") {
            EXPECT_TRUE(tag.value().startsWith("2011:08:15")) << tag.value().toStdString();
        }
    }

    // An hour of 24 is refused whole: a beep, the time back, nothing written.
    select({rowOf(canon)});
    const QByteArray before = digestOf(canon);
    typeInto(time(), "Home", "24:30:00");
    EXPECT_GE(ui_.beeps(), 1);
    EXPECT_EQ(time()->text(), "10:11:12");
    EXPECT_FALSE(isStyledModified(labelOf(window().summaryTab(), time())));
    EXPECT_FALSE(anyPhotoModified());
    window().clickSaveAll();
    ASSERT_TRUE(waitForLoop());
    EXPECT_EQ(digestOf(canon), before);
}

// One notch over the Date of a photo dated 2017-08-23, with the pointer only
// passing, gave 2016-08-23 and Save All wrote it. A picker not chosen leaves
// the turn to the form, holding a date or empty.
TEST_F(MainWindowDatePickersTest, TheWheelChangesOnlyAPickerInUse)
{
    const QStringList paths = samples({"npm-canon-s40.jpg", "npm-nikon-d90-photometric.jpg"});
    const QList<QByteArray> before = {digestOf(paths.at(0)), digestOf(paths.at(1))};
    ASSERT_TRUE(importAndWait(paths));
    activate();
    WheelCounter form(window().summaryTab());
    int turns = 0;
    for (const QList<int>& rows : {QList<int>{rowOf(paths.at(0))}, QList<int>{0, 1}}) {
        SCOPED_TRACE(rows.size());
        select(rows);
        window().photosViewCltr()->tableView()->setFocus(Qt::MouseFocusReason);
        for (TFDatePicker* field : {date(), time()}) {
            SCOPED_TRACE(field->objectName().toStdString());
            const QString shown = field->text();
            EXPECT_EQ(field->isEmpty(), rows.size() == 2);
            MouseWheel::turnOver(field, 1);
            MouseWheel::turnOver(field, -2);
            turns += 2;
            EXPECT_EQ(form.turns, turns) << "the turns go on to the form";
            EXPECT_FALSE(field->hasFocus());
            EXPECT_EQ(field->text(), shown);
            EXPECT_FALSE(isStyledModified(labelOf(window().summaryTab(), field)));
        }
        EXPECT_FALSE(anyPhotoModified());
    }
    window().clickSaveAll();
    ASSERT_TRUE(waitForLoop());
    EXPECT_EQ(digestOf(paths.at(0)), before.at(0));
    EXPECT_EQ(digestOf(paths.at(1)), before.at(1));

    // The picker the user clicked into takes the wheel: the year steps.
    select({rowOf(paths.at(0))});
    clickInto(date());
    MouseWheel::turnOver(date(), -1);
    EXPECT_EQ(form.turns, turns);
    EXPECT_EQ(date()->text(), "2002-12-14");
    EXPECT_TRUE(isStyledModified(labelOf(window().summaryTab(), date())));
}

// The user at the keyboard with 1,000 photos selected (their Date and Time
// pickers empty): wheel turns write nothing, an hour of 24 writes nothing,
// and "10:11:12" typed with its colons reaches every photo with a date. A
// few photos of each dated kind are saved and read back.
TEST_F(MainWindowDatePickersTest, AThousandPhotosSelectedTakeATypedTimeAndNoWheelTurn)
{
    const QStringList kinds = samples({"npm-canon-s40.jpg", "npm-nikon-d90-photometric.jpg", "npm-windows-xmp.jpg"});
    QStringList paths;
    for (int i = 0; i < 1000; ++i)
        paths.append(copyOf(kinds.at(i % 3), QStringLiteral("p%1.jpg").arg(i, 4, 10, QLatin1Char('0'))));
    ASSERT_TRUE(importAndWait(paths));
    selectAll();
    activate();
    WheelCounter form(window().summaryTab());
    for (TFDatePicker* field : {date(), time()}) {
        ASSERT_TRUE(field->isEmpty());
        MouseWheel::turnOver(field, 1);
        EXPECT_TRUE(field->isEmpty());
    }
    EXPECT_EQ(form.turns, 2);
    typeInto(time(), "", "24:00:00");
    EXPECT_TRUE(time()->isEmpty());
    EXPECT_GE(ui_.beeps(), 1);
    EXPECT_FALSE(anyPhotoModified());

    typeInto(time(), "", "10:11:12");
    EXPECT_EQ(time()->text(), "10:11:12");
    int timed = 0;
    for (const auto& image : images()) {
        const QString taken = image->exifData()->getValueForKey(TAVKeyLists::createTimeKey(), 0);
        if (!image->exifData()->getValueForKey(TAVKeyLists::createDateKey(), 0).isEmpty()) {
            EXPECT_EQ(taken, "10:11:12");
            ++timed;
        }
    }
    EXPECT_EQ(timed, 667) << "every photo with a date";

    // Photos with a date (a time alone has no date to go with).
    const QList<int> saved = {0, 1, 997, 999};
    QList<int> rows;
    for (const int index : saved)
        rows.append(rowOf(paths.at(index)));
    select(rows);
    const qsizetype alerts = ui_.alerts().size();
    ASSERT_TRUE(save());
    EXPECT_EQ(ui_.alerts().size(), alerts);
    for (const int index : saved) {
        SCOPED_TRACE(index);
        const QMap<QString, QString> times = timesOf(paths.at(index));
        EXPECT_GE(times.size(), 2);
        for (const QString& value : times)
            EXPECT_TRUE(value.contains("10:11:12")) << value.toStdString();
    }
}
