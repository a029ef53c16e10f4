// The tool sheets opened from the main window and the questions they ask it.
#include "MainWindowFixture.h"

#include "app/TAVPhotosViewCltr.h"
#include "support/Patience.h"
#include "support/QtPrinters.h"
#include "tools/TAVClonWindowController.h"
#include "tools/TAVExportWindowController.h"
#include "tools/TAVRenameWindowController.h"
#include "tools/TAVReplaceWindowController.h"

#include <QAction>
#include <QFile>
#include <QFileInfo>
#include <QTest>

namespace {

const QString kArtist = QStringLiteral("Exif.Image.Artist");

class MainWindowToolsTest : public MainWindowTest {
protected:
    QStringList listedNames()
    {
        QStringList names;
        for (const auto& image : images())
            names.append(QFileInfo(image->srcPath()).fileName());
        names.sort();
        return names;
    }
};

TEST_F(MainWindowToolsTest, EachToolbarToolOpensItsSheetOverTheWindow)
{
    ASSERT_TRUE(importAndWait({photoWithTags("a.jpg", {{kArtist, "Me"}})}));
    window().toolbarAction("Rename")->trigger();
    ASSERT_NE(window().renameWindowCtlr(), nullptr);
    EXPECT_TRUE(window().renameWindowCtlr()->isSheetUp());
    window().endSheetWindow(window().renameWindowCtlr()->window());

    window().toolbarAction("Replace")->trigger();
    ASSERT_NE(window().replaceWindowCtlr(), nullptr);
    EXPECT_TRUE(window().replaceWindowCtlr()->isSheetUp());
    window().endSheetWindow(window().replaceWindowCtlr()->window());

    window().toolbarAction("Clone")->trigger();
    TAVClonWindowController* clone = window().cloneWindowCtlr();
    ASSERT_NE(clone, nullptr);
    EXPECT_TRUE(clone->isSheetUp());
    window().endSheetWindow(clone->window());
    window().toolbarAction("Clone")->trigger();
    EXPECT_EQ(window().cloneWindowCtlr(), clone); // kept for the window's life
    window().endSheetWindow(clone->window());

    window().toolbarAction("Export Exif")->trigger();
    ASSERT_NE(window().exportWindowCtlr(), nullptr);
    EXPECT_TRUE(window().exportWindowCtlr()->isSheetUp());
    window().endSheetWindow(window().exportWindowCtlr()->window());
}

TEST_F(MainWindowToolsTest, RenamingTheWholeListReimportsEveryImageUnderItsNewName)
{
    ASSERT_TRUE(importAndWait({photoWithTags("a.jpg", {}), photoWithTags("b.jpg", {}), photoWithTags("c.jpg", {})}));
    for (const auto& image : images()) {
        const QString renamed = tempPath(QStringLiteral("in/renamed-") + QFileInfo(image->srcPath()).fileName());
        ASSERT_TRUE(QFile::copy(image->srcPath(), renamed));
        image->setRenamedPath(renamed);
    }
    EXPECT_TRUE(window().renameWndControllerAskForImagesToApply(true) == images());
    // The very list the photo list holds: none may be left behind.
    window().reloadedAllRenamedFiles(window().photosViewCltr()->maryDataSource());
    ASSERT_TRUE(QTest::qWaitFor(
        [&] { return listedNames().size() == 3 && listedNames().first().startsWith("renamed"); }, kPatientMs));
    EXPECT_EQ(listedNames(), (QStringList{"renamed-a.jpg", "renamed-b.jpg", "renamed-c.jpg"}));
    EXPECT_FALSE(window().reimportRenamedImages({}));
}

TEST_F(MainWindowToolsTest, CloneFinishReimportsItsTargetsFromTheirFiles)
{
    ASSERT_TRUE(importAndWait({photoWithTags("a.jpg", {{kArtist, "OnDisk"}}), photoWithTags("b.jpg", {})}));
    const TAVImageObjectPtr target = images().at(0);
    target->exifData()->setValue("Unsaved", kArtist, 0, false, true, true);
    window().didCloneWindowControllerFinishClone({target});
    ASSERT_TRUE(QTest::qWaitFor([&] { return images().size() == 2 && !images().contains(target); }, kPatientMs));
    for (const auto& image : images()) {
        if (QFileInfo(image->srcPath()).fileName() == "a.jpg") {
            EXPECT_EQ(image->getValueForKey(kArtist, 0), "OnDisk");
        }
    }
}

// Apply To All from an unedited image leaves an edited image in state 1 with
// its entry still modified: that is still an unsaved edit.
TEST_F(MainWindowToolsTest, UnsavedEditsAreSeenAlsoWhenTheStateSaysUnchanged)
{
    ASSERT_TRUE(importAndWait({photoWithTags("a.jpg", {}), photoWithTags("b.jpg", {})}));
    EXPECT_FALSE(window().hasUnsaveModified(true));
    images().at(1)->exifData()->setValue("Edited", kArtist, 0, false, true, true);
    select({0});
    window().clickApplyToAll();
    ASSERT_EQ(images().at(1)->exifData()->enuModifyState(), TAVExifData::StateUnchanged);
    EXPECT_TRUE(window().hasUnsaveModified(true));
    EXPECT_FALSE(window().hasUnsaveModified(false)); // the selection (a) has none
    EXPECT_TRUE(window().didCloneWindowControllerAskForApplyImage(false) == QList<TAVImageObjectPtr>{images().at(0)});
}

} // namespace
