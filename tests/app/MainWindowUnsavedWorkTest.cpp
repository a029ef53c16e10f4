// The user's edits are never lost without a word: closing or quitting asks
// first, and a save loop that failed says which files and why.
#include "MainWindowFixture.h"

#include "app/TAVAppDelegate.h"
#include "app/TAVPhotoListModel.h"
#include "app/TAVPhotosViewCltr.h"
#include "app/TAVSaveFailureReport.h"
#include "commlib/QtUiServices.h"
#include "foundation/UserDefaults.h"
#include "support/ExifTool.h"
#include "support/Patience.h"

#include <QAction>
#include <QFile>
#include <QLineEdit>
#include <QMainWindow>
#include <QMessageBox>
#include <QTest>
#include <QToolButton>

#include <algorithm>
#include <memory>

namespace {

const QString kArtist = QStringLiteral("Exif.Image.Artist");

class MainWindowUnsavedWorkTest : public MainWindowTest {
protected:
    void SetUp() override
    {
        MainWindowTest::SetUp();
        // The preference's default: the loop goes on after an error.
        UserDefaults::standard().setBool(true, QStringLiteral("save_continue_after_error"));
    }
    void TearDown() override
    {
        UserDefaults::standard().removeObjectForKey(QStringLiteral("save_continue_after_error"));
        MainWindowTest::TearDown();
    }

    bool waitForLoop()
    {
        return QTest::qWaitFor([&] { return !window().isLoopRunning(); }, kPatientMs);
    }

    static void edit(const TAVImageObjectPtr& image, const QString& key, const QString& value, int category = 0)
    {
        image->exifData()->setValue(value, key, category, false, true, true);
    }

    QStringList photos(const QStringList& names)
    {
        QStringList paths;
        for (const QString& name : names)
            paths.append(photoWithTags(name, {{QStringLiteral("Exif.Image.Make"), name}}));
        return paths;
    }

    QString artistOf(const QString& path) { return ExifTool::read(path).value("IFD0:Artist").toString(); }

    // Another program writes the file after the import.
    static void changeBehindOurBack(const QString& path)
    {
        QFile file(path);
        ASSERT_TRUE(file.open(QIODevice::Append));
        file.write("\0", 1);
    }

    QVariant stateTip(int row)
    {
        TAVPhotoListModel* model = window().photosViewCltr()->listModel();
        return model->data(model->index(row, TAVPhotoListModel::ColumnState), Qt::ToolTipRole);
    }

    bool windowOpen() { return window().mainWindow()->isVisible(); }
};

TEST_F(MainWindowUnsavedWorkTest, ClosingWithUnsavedEditsAsksAndCancelKeepsTheWindow)
{
    const QStringList paths = photos({"a.jpg", "b.jpg"});
    ASSERT_TRUE(importAndWait(paths));

    // Nothing unsaved: no question.
    window().mainWindow()->close();
    EXPECT_TRUE(ui_.alerts().isEmpty());
    EXPECT_FALSE(windowOpen());
    window().mainWindow()->show();

    // An edit typed into the Artist field but not yet handed to the image counts.
    summaryField("fldPhotographer")->setText(QStringLiteral("Typed"));
    emit summaryField("fldPhotographer")->textEdited(QStringLiteral("Typed"));
    QCoreApplication::processEvents();
    ui_.answerAlerts({UiServices::ThirdButton});
    window().mainWindow()->close();
    ASSERT_EQ(ui_.alerts().size(), 1);
    const UiServices::AlertRequest question = ui_.alerts().last();
    EXPECT_EQ(question.title, "Do you want to save the changes you made to 1 image?");
    EXPECT_EQ(question.message, "Your changes will be lost if you don't save them.");
    EXPECT_EQ(question.buttons, (QStringList{"Save", "Don't Save", "Cancel"}));
    EXPECT_TRUE(windowOpen());
    EXPECT_EQ(images().at(0)->exifData()->getValueForKey(kArtist, 0), "Typed");

    std::unique_ptr<QMessageBox> box(QtUiServices::makeAlert(question, nullptr));
    EXPECT_TRUE(captureOverWindow(box.get(), "quit-unsaved-question"));

    // Don't Save closes and leaves the file as it was.
    ui_.answerAlerts({UiServices::SecondButton});
    window().mainWindow()->close();
    EXPECT_FALSE(windowOpen());
    EXPECT_TRUE(ExifTool::read(paths.at(0)).value("IFD0:Artist").isUndefined());
}

TEST_F(MainWindowUnsavedWorkTest, SaveOnCloseQuitsOnlyOnceEveryImageSaved)
{
    const QStringList paths = photos({"a.jpg", "b.jpg", "c.jpg"});
    ASSERT_TRUE(importAndWait(paths));
    edit(images().at(0), kArtist, QStringLiteral("One"));
    edit(images().at(1), kArtist, QStringLiteral("Two"));
    changeBehindOurBack(paths.at(1));

    // b cannot be saved: the window stays, with b's edit.
    ui_.answerAlerts({UiServices::FirstButton});
    window().mainWindow()->close();
    EXPECT_EQ(ui_.alerts().last().title, "Do you want to save the changes you made to 2 images?");
    ASSERT_TRUE(waitForLoop());
    EXPECT_TRUE(windowOpen());
    EXPECT_EQ(artistOf(paths.at(0)), "One");
    EXPECT_EQ(window().imagesWithUnsavedEdits(), QList<TAVImageObjectPtr>{images().at(1)});
    EXPECT_EQ(ui_.alerts().last().title, "An image could not be saved");

    // With b re-imported the save goes through and the window closes. Its
    // failed edit is unsaved work: removing it asks first.
    select({1});
    const qsizetype alerts = ui_.alerts().size();
    window().photosViewCltr()->removeSelectedImageObjects();
    ASSERT_EQ(ui_.alerts().size(), alerts + 1);
    EXPECT_EQ(ui_.alerts().last().message, "Some Image(s) contains unsaved change, do you really want to remove?");
    ASSERT_TRUE(importAndWait({paths.at(1)}));
    // The list keeps its order by name: b comes back between a and c.
    const QList<TAVImageObjectPtr> listed = images();
    const auto reimported = std::find_if(listed.cbegin(), listed.cend(),
        [&](const TAVImageObjectPtr& image) { return image->srcPath() == paths.at(1); });
    ASSERT_NE(reimported, listed.cend());
    edit(*reimported, kArtist, QStringLiteral("Two"));
    ui_.answerAlerts({UiServices::FirstButton});
    window().mainWindow()->close();
    ASSERT_TRUE(waitForLoop());
    EXPECT_FALSE(windowOpen());
    EXPECT_EQ(artistOf(paths.at(1)), "Two");
    EXPECT_TRUE(ExifTool::read(paths.at(2)).value("IFD0:Artist").isUndefined());
}

// Apply To All from an unedited photo marks the others unchanged but leaves
// their own edits in place, and Save All writes them: removing such a photo
// or quitting asks first, and Save on quit writes the edit.
TEST_F(MainWindowUnsavedWorkTest, AnEditLeftUnderAnUnchangedStateIsAskedAboutAndSaved)
{
    const QStringList paths = photos({"a.jpg", "b.jpg"});
    ASSERT_TRUE(importAndWait(paths));
    edit(images().at(1), kArtist, QStringLiteral("Kept"));
    select({0});
    window().clickApplyToAll();
    ASSERT_EQ(images().at(1)->exifData()->enuModifyState(), TAVExifData::StateUnchanged);

    select({1});
    const qsizetype asked = ui_.alerts().size();
    ui_.answerAlerts({UiServices::SecondButton});
    window().photosViewCltr()->removeSelectedImageObjects();
    ASSERT_EQ(ui_.alerts().size(), asked + 1);
    EXPECT_EQ(ui_.alerts().last().title, "Remove photos with unsaved changes?");
    EXPECT_EQ(images().size(), 2);

    ui_.answerAlerts({UiServices::FirstButton});
    window().mainWindow()->close();
    ASSERT_EQ(ui_.alerts().size(), asked + 2);
    EXPECT_EQ(ui_.alerts().last().title, "Do you want to save the changes you made to 1 image?");
    ASSERT_TRUE(waitForLoop());
    EXPECT_FALSE(windowOpen());
    EXPECT_EQ(artistOf(paths.at(1)), "Kept");
    EXPECT_TRUE(ExifTool::read(paths.at(0)).value("IFD0:Artist").isUndefined());
}

TEST_F(MainWindowUnsavedWorkTest, QuitInTheApplicationMenuAsksTheSameQuestion)
{
    TAVAppDelegate delegate;
    TAVMainWindowCtlr* main = nullptr;
    delegate.setMainWindowFactory([this, &main] {
        auto made = std::make_unique<TAVMainWindowCtlr>(tempPath(QStringLiteral("src_temp")));
        main = made.get();
        return made;
    });
    ASSERT_TRUE(delegate.awakeFromNib());
    ASSERT_NE(main, nullptr);
    main->showWindow();
    QAction* quit = delegate.menuItem(QStringLiteral("Quit"));
    ASSERT_NE(quit, nullptr);
    EXPECT_EQ(quit->shortcut(), QKeySequence(QKeySequence::Quit));

    const QStringList paths = photos({"a.jpg"});
    ASSERT_TRUE(main->photosViewCltr()->addImagesFromDirectory(paths));
    ASSERT_TRUE(QTest::qWaitFor([&] { return main->photosViewCltr()->maryDataSource().size() == 1; }, kPatientMs));
    edit(main->photosViewCltr()->maryDataSource().first(), kArtist, QStringLiteral("Kept"));

    const qsizetype before = ui_.alerts().size();
    ui_.answerAlerts({UiServices::ThirdButton});
    quit->trigger();
    ASSERT_EQ(ui_.alerts().size(), before + 1);
    EXPECT_EQ(ui_.alerts().last().buttons, (QStringList{"Save", "Don't Save", "Cancel"}));
    EXPECT_TRUE(main->mainWindow()->isVisible());

    ui_.answerAlerts({UiServices::FirstButton});
    quit->trigger();
    ASSERT_TRUE(QTest::qWaitFor([&] { return !main->isLoopRunning(); }, kPatientMs));
    EXPECT_FALSE(main->mainWindow()->isVisible());
    EXPECT_EQ(artistOf(paths.first()), "Kept");
}

TEST_F(MainWindowUnsavedWorkTest, AFailedSaveSaysWhyInTheStateTipAndOneAlertAtTheEnd)
{
    const QStringList paths = photos({"a.jpg", "b.jpg", "c.jpg"});
    ASSERT_TRUE(importAndWait(paths));
    for (const auto& image : images())
        edit(image, kArtist, QStringLiteral("Saved"));
    changeBehindOurBack(paths.at(1));
    edit(images().at(2), QStringLiteral("Exif.Photo.ISOSpeedRatings"), QStringLiteral("-100"), 1);

    window().clickSaveAll();
    ASSERT_TRUE(waitForLoop());
    EXPECT_EQ(artistOf(paths.at(0)), "Saved");
    EXPECT_TRUE(ExifTool::read(paths.at(2)).value("IFD0:Artist").isUndefined());

    // One alert, after the loop, naming each failed file and its reason.
    ASSERT_EQ(ui_.alerts().size(), 1);
    const UiServices::AlertRequest alert = ui_.alerts().last();
    EXPECT_EQ(alert.title, "2 images could not be saved");
    EXPECT_EQ(alert.message,
        "b.jpg: The file was changed by another program since it was imported\n"
        "c.jpg: These values could not be written: Exif.Photo.ISOSpeedRatings");
    std::unique_ptr<QMessageBox> box(QtUiServices::makeAlert(alert, nullptr));
    EXPECT_TRUE(captureOverWindow(box.get(), "save-failure-alert"));

    EXPECT_EQ(stateTip(0).toString(), paths.at(0));
    EXPECT_EQ(stateTip(1).toString(), "The file was changed by another program since it was imported");
    EXPECT_EQ(stateTip(2).toString(), "These values could not be written: Exif.Photo.ISOSpeedRatings");

    // A save with no failure shows nothing.
    edit(images().at(0), kArtist, QStringLiteral("Again"));
    select({0});
    window().clickSave();
    ASSERT_TRUE(waitForLoop());
    EXPECT_EQ(ui_.alerts().size(), 1);
}

// A file deleted after the import is said to be gone, not changed; once its
// edits are restored, Batch Save has nothing to save for it and says nothing.
TEST_F(MainWindowUnsavedWorkTest, AFileDeletedAfterTheImportIsGoneAndARestoredPhotoIsNotSavedAgain)
{
    const QStringList paths = photos({"a.jpg", "b.jpg"});
    ASSERT_TRUE(importAndWait(paths));
    for (const auto& image : images())
        edit(image, kArtist, QStringLiteral("Saved"));
    ASSERT_TRUE(QFile::remove(paths.at(1)));
    window().clickSaveAll();
    ASSERT_TRUE(waitForLoop());
    ASSERT_EQ(ui_.alerts().size(), 1);
    EXPECT_EQ(ui_.alerts().last().title, "An image could not be saved");
    EXPECT_EQ(ui_.alerts().last().message, "b.jpg: The file is gone: it was deleted or moved since it was imported");
    EXPECT_EQ(stateTip(1).toString(), "The file is gone: it was deleted or moved since it was imported");
    EXPECT_EQ(artistOf(paths.at(0)), "Saved");
    EXPECT_FALSE(QFile::exists(paths.at(1))) << "nothing was written in its place";

    // The failed photo's edits are unsaved: Restore All asks before it takes them back.
    window().clickRestoreAll();
    ASSERT_EQ(ui_.alerts().size(), 2);
    EXPECT_EQ(ui_.alerts().last().message,
        "This throws away the unsaved changes of 1 of the 2 photos in the list. This cannot be undone.");
    ASSERT_TRUE(window().btnBatchSave()->isEnabled());
    window().btnBatchSave()->click();
    ASSERT_TRUE(waitForLoop());
    EXPECT_EQ(ui_.alerts().size(), 2) << qPrintable(ui_.alerts().last().message);
    EXPECT_EQ(images().at(1)->exifData()->enuModifyState(), TAVExifData::StateUnchanged);
    EXPECT_FALSE(QFile::exists(paths.at(1)));
    EXPECT_EQ(artistOf(paths.at(0)), "Saved");

    // Edited again, it is saved again, and fails again for the same reason.
    edit(images().at(1), kArtist, QStringLiteral("Again"));
    window().btnBatchSave()->click();
    ASSERT_TRUE(waitForLoop());
    ASSERT_EQ(ui_.alerts().size(), 3);
    EXPECT_TRUE(ui_.alerts().last().message.startsWith("b.jpg: The file is gone"));
}

TEST(TAVSaveFailureReportTest, PhotosLeftUnshiftedAreToldApartFromTheFailures)
{
    FakeUiServices ui;
    UiServices::setShared(&ui);
    TAVSaveFailureReport onlyUnshifted;
    onlyUnshifted.addUnshifted(QStringLiteral("undated.jpg"));
    onlyUnshifted.show(nullptr);
    ASSERT_EQ(ui.alerts().size(), 1);
    EXPECT_EQ(ui.alerts().last().title, "A photo was not shifted: it holds no date");
    EXPECT_EQ(ui.alerts().last().message, "undated.jpg");
    EXPECT_EQ(ui.alerts().last().style, UiServices::AlertStyle::Informational);

    TAVSaveFailureReport both;
    both.add(QStringLiteral("b.jpg"), QStringLiteral("The save failed"));
    for (int i = 1; i <= 22; ++i)
        both.addUnshifted(QStringLiteral("u%1.jpg").arg(i));
    both.show(nullptr);
    ASSERT_EQ(ui.alerts().size(), 3);
    EXPECT_EQ(ui.alerts().at(1).title, "An image could not be saved");
    EXPECT_EQ(ui.alerts().at(1).message, "b.jpg: The save failed");
    EXPECT_EQ(ui.alerts().at(2).title, "22 photos were not shifted: they hold no date");
    EXPECT_TRUE(ui.alerts().at(2).message.startsWith("u1.jpg\nu2.jpg\n"));
    EXPECT_TRUE(ui.alerts().at(2).message.endsWith("\nu20.jpg\nand 2 other photos."));
    UiServices::setShared(nullptr);
}

TEST(TAVSaveFailureReportTest, TwentyFilesAreNamedAndTheRestCounted)
{
    TAVSaveFailureReport report;
    EXPECT_TRUE(report.isEmpty());
    for (int i = 1; i <= 23; ++i)
        report.add(QStringLiteral("p%1.jpg").arg(i), QStringLiteral("reason %1").arg(i));
    const QStringList lines = report.message().split('\n');
    ASSERT_EQ(lines.size(), 21);
    EXPECT_EQ(lines.first(), "p1.jpg: reason 1");
    EXPECT_EQ(lines.at(19), "p20.jpg: reason 20");
    EXPECT_EQ(lines.last(), "and 3 other images.");
    EXPECT_EQ(report.title(), "23 images could not be saved");

    TAVSaveFailureReport twentyOne;
    for (int i = 1; i <= 21; ++i)
        twentyOne.add(QStringLiteral("p%1.jpg").arg(i), QStringLiteral("r"));
    EXPECT_TRUE(twentyOne.message().endsWith("\nand 1 other image."));
}

} // namespace
