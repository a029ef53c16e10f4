// The rename and clone sheets driven end to end over the real main window, and
// the save loop's single alert for files changed by another program.
#include "MainWindowFixture.h"

#include "app/TAVPhotosViewCltr.h"
#include "commlib/VXProgressWindowController.h"
#include "support/Patience.h"
#include "support/QtPrinters.h"
#include "tools/TAVClonWindowController.h"
#include "tools/TAVRenameWindowController.h"

#include <QAction>
#include <QCheckBox>
#include <QDir>
#include <QFileInfo>
#include <QLineEdit>
#include <QTest>

namespace {

const QString kArtist = QStringLiteral("Exif.Image.Artist");

class MainWindowToolSheetsTest : public MainWindowTest {
protected:
    QStringList listedPaths()
    {
        QStringList paths;
        for (const auto& image : images())
            paths.append(image->srcPath());
        paths.sort();
        return paths;
    }

    // The rename sheet opened from the toolbar, copying into <temp>/out.
    TAVRenameWindowController* openRenameSheet(bool wholeList)
    {
        QDir().mkpath(tempPath(QStringLiteral("out")));
        window().toolbarAction("Rename")->trigger();
        TAVRenameWindowController* sheet = window().renameWindowCtlr();
        if (sheet) {
            sheet->outputPath()->setText(tempPath(QStringLiteral("out")));
            sheet->applyToAllBtn()->setChecked(wholeList);
        }
        return sheet;
    }

    bool progressSheetUp() { return window().progressWindowController()->isSheetUp(); }
};

TEST_F(MainWindowToolSheetsTest, RenamingTheWholeListReimportsEveryImageUnderTheImportSheet)
{
    ASSERT_TRUE(importAndWait({photoWithTags("a.jpg", {}), photoWithTags("b.jpg", {}), photoWithTags("c.jpg", {})}));
    select({1}); // the list is renamed, not just the selection
    TAVRenameWindowController* sheet = openRenameSheet(true);
    ASSERT_NE(sheet, nullptr);
    ASSERT_TRUE(sheet->isSheetUp());

    sheet->clickApply();
    // The import sheet opened while the rename sheet was closing must stay up.
    EXPECT_FALSE(sheet->isSheetUp());
    EXPECT_TRUE(progressSheetUp());
    const QString out = tempPath(QStringLiteral("out/"));
    const QStringList expected{out + "a.jpg", out + "b.jpg", out + "c.jpg"};
    ASSERT_TRUE(QTest::qWaitFor([&] { return listedPaths() == expected; }, kPatientMs))
        << listedPaths().join(", ").toStdString();
    EXPECT_TRUE(QTest::qWaitFor([&] { return !progressSheetUp(); }, kPatientMs));
    EXPECT_TRUE(ui_.alerts().isEmpty());
}

TEST_F(MainWindowToolSheetsTest, AnEditLeftModifiedInAnUnchangedImageStopsTheRenameWithItsQuestion)
{
    ASSERT_TRUE(importAndWait({photoWithTags("a.jpg", {}), photoWithTags("b.jpg", {})}));
    const QStringList before = listedPaths();
    images().at(1)->exifData()->setValue("Edited", kArtist, 0, false, true, true);
    select({0});
    window().clickApplyToAll(); // b stays in state 1 with its Artist modified
    ASSERT_EQ(images().at(1)->exifData()->enuModifyState(), TAVExifData::StateUnchanged);
    const qsizetype asked = ui_.alerts().size(); // Apply To All's question

    TAVRenameWindowController* sheet = openRenameSheet(true);
    ASSERT_NE(sheet, nullptr);
    sheet->clickApply();
    ASSERT_EQ(ui_.alerts().size(), asked + 1);
    EXPECT_EQ(ui_.alerts().last().title, "Save the changes first");
    EXPECT_TRUE(ui_.alerts().last().message.contains("unsaved exif changes"));
    EXPECT_TRUE(sheet->isSheetUp());
    EXPECT_TRUE(QDir(tempPath(QStringLiteral("out"))).entryList(QDir::Files).isEmpty());
    EXPECT_EQ(listedPaths(), before);
    EXPECT_EQ(images().at(1)->getValueForKey(kArtist, 0), "Edited");
}

TEST_F(MainWindowToolSheetsTest, CloneFromTheSheetReimportsItsTargetsWithTheClonedTags)
{
    const QString source = photoWithTags("source.jpg", {{kArtist, "Cloned"}});
    ASSERT_TRUE(importAndWait({photoWithTags("a.jpg", {{kArtist, "Old"}}), photoWithTags("b.jpg", {})}));
    const QList<TAVImageObjectPtr> old = images();
    window().toolbarAction("Clone")->trigger();
    TAVClonWindowController* sheet = window().cloneWindowCtlr();
    ASSERT_NE(sheet, nullptr);
    ASSERT_TRUE(sheet->doImportFile(QUrl::fromLocalFile(source)));
    sheet->applyToAll()->setChecked(true);
    ui_.answerAlerts({UiServices::FirstButton, UiServices::FirstButton}); // "OK", then "Dismiss"

    sheet->clickClone();
    EXPECT_FALSE(sheet->isSheetUp());
    ASSERT_TRUE(QTest::qWaitFor(
        [&] { return images().size() == 2 && !images().contains(old.at(0)) && !images().contains(old.at(1)); },
        kPatientMs));
    for (const auto& image : images())
        EXPECT_EQ(image->getValueForKey(kArtist, 0), "Cloned") << image->srcPath().toStdString();
    EXPECT_TRUE(QTest::qWaitFor([&] { return !progressSheetUp(); }, kPatientMs));
}

TEST_F(MainWindowToolSheetsTest, SaveAllNamesEveryFileChangedElsewhereInOneAlert)
{
    ASSERT_TRUE(importAndWait({photoWithTags("a.jpg", {}), photoWithTags("b.jpg", {}), photoWithTags("c.jpg", {})}));
    for (const auto& image : images())
        image->exifData()->setValue("Me", kArtist, 0, false, true, true);
    // Another program rewrites a and c after the import.
    photoWithTags("a.jpg", {{kArtist, "Elsewhere"}});
    photoWithTags("c.jpg", {{kArtist, "Elsewhere"}});

    window().clickSaveAll();
    ASSERT_TRUE(QTest::qWaitFor([&] { return !window().isLoopRunning(); }, kPatientMs));
    ASSERT_EQ(ui_.alerts().size(), 1);
    const QString message = ui_.alerts().first().message;
    EXPECT_TRUE(message.contains("a.jpg") && message.contains("c.jpg")) << message.toStdString();
    EXPECT_FALSE(message.contains("b.jpg"));
}

} // namespace
