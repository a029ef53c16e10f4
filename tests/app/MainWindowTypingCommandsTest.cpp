// Commands run while a date or time is being typed, and text pasted into the
// pickers, in the real window with its real menu bar, on copies of camera
// files read back by exiftool: a shortcut or a menu item first ends the
// typing as Tab does (taken whole, or refused and put back), so nothing
// half-typed is written; a paste goes through the checks of typing; a click
// ends the typing before it.
#include "MainWindowFixture.h"

#include "app/TAVAppDelegate.h"
#include "app/TAVSummaryViewCtlr.h"
#include "commlib/TFDatePicker.h"
#include "commlib/VXDropDownButton.h"
#include "support/ExifTool.h"
#include "support/KeyboardTyping.h"
#include "tools/TAVClonWindowController.h"
#include "tools/TAVRenameWindowController.h"

#include <QAction>
#include <QClipboard>
#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QFontMetrics>
#include <QGuiApplication>
#include <QJsonObject>
#include <QLineEdit>
#include <QMainWindow>
#include <QTest>
#include <QToolBar>
#include <QToolButton>

#include <memory>

namespace {

// The application's menu bar on the test's window: its items and shortcuts
// reach the window they were made for.
class SameWindow : public TAVMainWindowCommands {
public:
    explicit SameWindow(TAVMainWindowCtlr& window)
        : window_(window)
    {
    }
    QWidget* window() override { return window_.window(); }
    void showWindow() override { window_.showWindow(); }
    void clickPre() override { window_.clickPre(); }
    void clickNext() override { window_.clickNext(); }
    void clickClear() override { window_.clickClear(); }
    void clickRestore() override { window_.clickRestore(); }
    void clickSave() override { window_.clickSave(); }
    void clickClearAll() override { window_.clickClearAll(); }
    void clickRestoreAll() override { window_.clickRestoreAll(); }
    void clickSaveAll() override { window_.clickSaveAll(); }
    void clickImportFiles() override { window_.clickImportFiles(); }
    bool validateMenuItem(const QString& title) override { return window_.validateMenuItem(title); }

private:
    TAVMainWindowCtlr& window_;
};

class MainWindowTypingCommandsTest : public MainWindowTest {
protected:
    void SetUp() override
    {
        // The introduction the window offers a second after its first
        // activation (when the window is shown, before the import) would take
        // the keyboard from the form on a slow machine.
        TAVMainWindowCtlr::setIntroductionDelayMs(3600 * 1000);
        MainWindowTest::SetUp();
        if (!ExifTool::available())
            GTEST_SKIP() << "exiftool missing";
        delegate_.setMainWindowFactory([this] { return std::make_unique<SameWindow>(window()); });
        ASSERT_TRUE(delegate_.awakeFromNib());
        // The offscreen platform's theme binds no key to Quit; the desktops'
        // themes bind Ctrl+Q, as a user presses it.
        QAction* quit = delegate_.menuItem(QStringLiteral("Quit"));
        if (quit->shortcut().isEmpty())
            quit->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_Q));
    }
    void TearDown() override
    {
        TAVMainWindowCtlr::setIntroductionDelayMs(1000);
        MainWindowTest::TearDown();
    }
    TFDatePicker* date() { return window().summaryTab()->findChild<TFDatePicker*>("fldCreateDate"); }
    TFDatePicker* time() { return window().summaryTab()->findChild<TFDatePicker*>("fldCreateTime"); }
    // A click on the character `at` of the picker's text, the window active.
    void clickAt(TFDatePicker* field, int at)
    {
        activate();
        auto* edit = field->findChild<QLineEdit*>();
        const QFontMetrics metrics(edit->font());
        const int x = 3 + metrics.horizontalAdvance(edit->text().left(at)) + metrics.horizontalAdvance('0') / 2;
        QTest::mouseClick(edit, Qt::LeftButton, Qt::NoModifier, QPoint(x, edit->height() / 2));
        ASSERT_TRUE(field->hasFocus());
    }
    void selectAllAndType(TFDatePicker* field, const char* text)
    {
        clickAt(field, 0);
        QTest::keyClick(field, Qt::Key_A, Qt::ControlModifier);
        KeyboardTyping::type(field, QLatin1String(text));
    }
    void pasteInto(TFDatePicker* field, const char* text)
    {
        QGuiApplication::clipboard()->setText(QLatin1String(text));
        clickAt(field, 0);
        QTest::keyClick(field, Qt::Key_A, Qt::ControlModifier);
        QTest::keyClick(field, Qt::Key_V, Qt::ControlModifier);
    }
    static QString originalOf(const QString& path)
    {
        return ExifTool::read(path).value("ExifIFD:DateTimeOriginal").toString();
    }
    static QString digestOf(const QString& path)
    {
        QFile file(path);
        return file.open(QIODevice::ReadOnly)
            ? QString::fromLatin1(QCryptographicHash::hash(file.readAll(), QCryptographicHash::Sha1).toHex())
            : QString();
    }

    TAVAppDelegate delegate_;
};

} // namespace

// Canon S40, taken 2003-12-14 12:01:44. "2018-1" then Ctrl+S wrote the month
// it was typed over; "10:3" then Ctrl+Shift+S kept the earlier minute; a
// refused "2018-0" was written.
TEST_F(MainWindowTypingCommandsTest, SaveShortcutsPressedWhileTypingWriteWhatTabTakes)
{
    const QString canon = samples({"npm-canon-s40.jpg"}).first();
    ASSERT_TRUE(importAndWait({canon}));

    selectAllAndType(date(), "2018-1");
    QTest::keyClick(date(), Qt::Key_S, Qt::ControlModifier);
    ASSERT_TRUE(waitForLoop());
    EXPECT_EQ(originalOf(canon), "2018:01:14 12:01:44");

    clickAt(time(), 0);
    KeyboardTyping::type(time(), "10:3");
    QTest::keyClick(time(), Qt::Key_S, Qt::ControlModifier | Qt::ShiftModifier);
    ASSERT_TRUE(waitForLoop());
    EXPECT_EQ(originalOf(canon), "2018:01:14 10:03:44");

    const QString saved = digestOf(canon);
    const int beeps = ui_.beeps();
    selectAllAndType(date(), "2018-0");
    QTest::keyClick(date(), Qt::Key_S, Qt::ControlModifier);
    ASSERT_TRUE(waitForLoop());
    EXPECT_EQ(ui_.beeps(), beeps + 1);
    EXPECT_EQ(date()->text(), "2018-01-14") << "the earlier date back";
    EXPECT_EQ(digestOf(canon), saved);
}

// Ctrl+Q asked about a time of 10:01:44 after "10:3" and saved it; after
// "2018-0" it saved 2018-02-03 where Tab refuses.
TEST_F(MainWindowTypingCommandsTest, QuitPressedWhileTypingAsksAboutAndSavesWhatTabTakes)
{
    const QString canon = samples({"npm-canon-s40.jpg"}).first();
    ASSERT_TRUE(importAndWait({canon}));

    const qsizetype asked = ui_.alerts().size();
    clickAt(time(), 0);
    KeyboardTyping::type(time(), "10:3");
    ui_.answerAlerts({UiServices::ThirdButton});
    QTest::keyClick(time(), Qt::Key_Q, Qt::ControlModifier);
    ASSERT_EQ(ui_.alerts().size(), asked + 1);
    EXPECT_EQ(ui_.alerts().last().title, "Do you want to save the changes you made to 1 image?");
    EXPECT_EQ(time()->text(), "10:03:44");
    ASSERT_TRUE(window().mainWindow()->isVisible()) << "Cancel keeps the window";

    const int beeps = ui_.beeps();
    selectAllAndType(date(), "2018-0");
    ui_.answerAlerts({UiServices::FirstButton});
    QTest::keyClick(date(), Qt::Key_Q, Qt::ControlModifier);
    EXPECT_EQ(ui_.beeps(), beeps + 1);
    ASSERT_EQ(ui_.alerts().size(), asked + 2);
    ASSERT_TRUE(waitForLoop());
    EXPECT_FALSE(window().mainWindow()->isVisible());
    EXPECT_EQ(originalOf(canon), "2003:12:14 10:03:44");
}

// The menu's Next walked on with the time half typed into the photo left;
// its Save wrote a refused date.
TEST_F(MainWindowTypingCommandsTest, MenuItemsChosenWhileTypingActOnWhatTabTakes)
{
    const QStringList paths = samples({"npm-canon-s40.jpg", "npm-lumia.jpg"});
    ASSERT_TRUE(importAndWait(paths));
    const bool canonFirst = rowOf(paths.at(0)) == 0;
    const QString first = canonFirst ? paths.at(0) : paths.at(1);
    const QString second = canonFirst ? paths.at(1) : paths.at(0);
    const QString secondBefore = digestOf(second);
    select({0});

    clickAt(time(), 0);
    KeyboardTyping::type(time(), "10:3");
    delegate_.menuItem(QStringLiteral("Next"))->trigger();
    ASSERT_EQ(rowOf(second), 1);
    ASSERT_EQ(window().selectedImages().size(), 1);
    EXPECT_TRUE(window().selectedImages().first()->srcPath().endsWith(QFileInfo(second).fileName()));

    const int beeps = ui_.beeps();
    selectAllAndType(date(), "2018-0");
    delegate_.menuItem(QStringLiteral("Save"))->trigger();
    ASSERT_TRUE(waitForLoop());
    EXPECT_EQ(ui_.beeps(), beeps + 1);
    EXPECT_EQ(digestOf(second), secondBefore);

    delegate_.menuItem(QStringLiteral("Save All"))->trigger();
    ASSERT_TRUE(waitForLoop());
    EXPECT_EQ(originalOf(first), canonFirst ? "2003:12:14 10:03:44" : "2013:05:10 10:03:35");
    EXPECT_EQ(digestOf(second), secondBefore);
}

// "2019-04-31" pasted became 2019-04-30 and "2023-02-29" 2023-02-28, and
// were saved; typed key by key they are refused, and so is a pasted hour 25.
TEST_F(MainWindowTypingCommandsTest, AnImpossibleDatePastedIsRefusedAndAPossibleOneSaved)
{
    const QString canon = samples({"npm-canon-s40.jpg"}).first();
    ASSERT_TRUE(importAndWait({canon}));
    const QString before = digestOf(canon);
    for (const char* pasted : {"2019-04-31", "2023-02-29"}) {
        SCOPED_TRACE(pasted);
        const int beeps = ui_.beeps();
        pasteInto(date(), pasted);
        EXPECT_EQ(ui_.beeps(), beeps + 1);
        EXPECT_EQ(date()->text(), "2003-12-14");
    }
    pasteInto(time(), "25:00:00");
    EXPECT_EQ(time()->text(), "12:01:44");
    window().clickSaveAll();
    ASSERT_TRUE(waitForLoop());
    EXPECT_EQ(digestOf(canon), before);

    pasteInto(date(), "2019-04-30");
    delegate_.menuItem(QStringLiteral("Save"))->trigger();
    ASSERT_TRUE(waitForLoop());
    EXPECT_EQ(originalOf(canon), "2019:04:30 12:01:44");
}

// Lumia, taken 15:21:35: "1" typed into the hour, then a click on the
// seconds and "5" typed there. Were the click not the end of the first
// typing, the two keys would make an hour of 15.
TEST_F(MainWindowTypingCommandsTest, AClickOnAnotherPartEndsTheTypingBeforeIt)
{
    const QString lumia = samples({"npm-lumia.jpg"}).first();
    ASSERT_TRUE(importAndWait({lumia}));
    clickAt(time(), 0);
    KeyboardTyping::type(time(), "1");
    clickAt(time(), 6);
    KeyboardTyping::type(time(), "5");
    QTest::keyClick(time(), Qt::Key_Tab);
    EXPECT_EQ(time()->text(), "01:21:05");
    delegate_.menuItem(QStringLiteral("Save"))->trigger();
    ASSERT_TRUE(waitForLoop());
    EXPECT_EQ(originalOf(lumia), "2013:05:10 01:21:05");
}

// Canon S40, taken 12:01:44. "10:3" typed into the time, then the Restore
// button: the typing goes with the photo's other unsaved changes, and Save All
// writes nothing; the time the user threw away had been written. "10:3" again,
// then the Clear button: the clear takes the typed date with the rest, and
// Save All leaves no capture date; it had been left in the file.
TEST_F(MainWindowTypingCommandsTest, RestoreAndClearPressedWhileTypingTakeTheTypingWithThem)
{
    const QString canon = samples({"npm-canon-s40.jpg"}).first();
    ASSERT_TRUE(importAndWait({canon}));
    const QString before = digestOf(canon);

    clickAt(time(), 0);
    KeyboardTyping::type(time(), "10:3");
    QTest::mouseClick(window().btnRestore(), Qt::LeftButton);
    EXPECT_EQ(time()->text(), "12:01:44");
    window().clickSaveAll();
    ASSERT_TRUE(waitForLoop());
    EXPECT_EQ(digestOf(canon), before);
    EXPECT_EQ(originalOf(canon), "2003:12:14 12:01:44");

    clickAt(time(), 0);
    KeyboardTyping::type(time(), "10:3");
    QTest::mouseClick(window().btnClearOne(), Qt::LeftButton, Qt::NoModifier, QPoint(10, 10));
    EXPECT_TRUE(time()->isEmpty());
    window().clickSaveAll();
    ASSERT_TRUE(waitForLoop());
    const QJsonObject saved = ExifTool::read(canon);
    for (const char* tag : {"ExifIFD:DateTimeOriginal", "ExifIFD:CreateDate", "IFD0:ModifyDate"})
        EXPECT_FALSE(saved.contains(tag)) << tag << " " << saved.value(tag).toString().toStdString();
}

// Canon S40 shown, Lumia beside it: "10:3" typed into the Canon's time, then
// Apply To All. The typed time goes to both photos, each keeping its day; the
// Lumia had kept its own time, the typing reaching the Canon alone.
TEST_F(MainWindowTypingCommandsTest, ApplyToAllPressedWhileTypingAppliesWhatTabTakes)
{
    const QStringList paths = samples({"npm-canon-s40.jpg", "npm-lumia.jpg"});
    ASSERT_TRUE(importAndWait(paths));
    select({rowOf(paths.at(0))});

    clickAt(time(), 0);
    KeyboardTyping::type(time(), "10:3");
    ui_.answerAlerts({UiServices::FirstButton});
    QTest::mouseClick(window().btnApplyToAll(), Qt::LeftButton);
    window().clickSaveAll();
    ASSERT_TRUE(waitForLoop());
    EXPECT_EQ(originalOf(paths.at(0)), "2003:12:14 10:03:44");
    EXPECT_EQ(originalOf(paths.at(1)), "2013:05:10 10:03:44");
}

// Canon S40: "10:3" typed into the time, then the toolbar's Rename and its
// Apply. The rename asks that the typed time be saved first and copies
// nothing; it had renamed the photo and imported it afresh, the typing
// thrown away unasked. "11:4" typed, then the toolbar's Clone from the Nikon:
// the clone asks before it discards the typed time. Save All writes it.
TEST_F(MainWindowTypingCommandsTest, TheToolbarsToolsClickedWhileTypingSeeWhatTabTakes)
{
    const QStringList paths = samples({"npm-canon-s40.jpg", "npm-nikon-d90-photometric.jpg"});
    const QString canon = paths.at(0);
    ASSERT_TRUE(importAndWait({canon}));
    const auto clickTool = [this](const char* tool) {
        QTest::mouseClick(window().toolbar()->widgetForAction(window().toolbarAction(tool)), Qt::LeftButton);
    };

    clickAt(time(), 0);
    KeyboardTyping::type(time(), "10:3");
    clickTool("Rename");
    TAVRenameWindowController* rename = window().renameWindowCtlr();
    ASSERT_TRUE(rename && rename->isSheetUp());
    const QString out = tempPath(QStringLiteral("out"));
    ASSERT_TRUE(QDir().mkpath(out));
    rename->outputPath()->setText(out);
    const qsizetype asked = ui_.alerts().size();
    rename->clickApply();
    ASSERT_EQ(ui_.alerts().size(), asked + 1);
    EXPECT_EQ(ui_.alerts().last().title, "Save the changes first");
    EXPECT_TRUE(QDir(out).isEmpty());
    window().endSheetWindow(rename->window());

    clickAt(time(), 0);
    KeyboardTyping::type(time(), "11:4");
    clickTool("Clone");
    TAVClonWindowController* clone = window().cloneWindowCtlr();
    ASSERT_TRUE(clone && clone->isSheetUp());
    ASSERT_TRUE(clone->doImportFile(QUrl::fromLocalFile(paths.at(1))));
    ui_.answerAlerts({UiServices::FirstButton});
    clone->clickClone();
    ASSERT_EQ(ui_.alerts().size(), asked + 2);
    EXPECT_EQ(ui_.alerts().last().title, "Discard the unsaved changes and clone?");
    EXPECT_EQ(ui_.alerts().last().buttons.value(0), "Cancel");
    window().endSheetWindow(clone->window());

    window().clickSaveAll();
    ASSERT_TRUE(waitForLoop());
    EXPECT_EQ(originalOf(canon), "2003:12:14 11:04:44");
}
