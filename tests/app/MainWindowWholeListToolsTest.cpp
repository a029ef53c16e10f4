// Clone and Rename over the whole list, driven through the real main window
// on copies of camera files while the list's search hides most of them: they
// ask first, counting the hidden photos; the clone refuses a file another
// program changed; afterwards the list holds one row per file, with what the
// file now holds, in its order and filter. Read back by exiftool.
#include "MainWindowFixture.h"

#include "app/TAVPhotoListModel.h"
#include "app/TAVPhotosViewCltr.h"
#include "commlib/QtUiServices.h"
#include "commlib/VXProgressWindowController.h"
#include "support/ExifTool.h"
#include "support/Patience.h"
#include "tools/TAVClonWindowController.h"
#include "tools/TAVRenameWindowController.h"

#include <QAction>
#include <QCheckBox>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QTest>
#include <QToolButton>

#include <exiv2/exiv2.hpp>

namespace {

const QString kArtist = QStringLiteral("Exif.Image.Artist");
const QStringList kCameraFiles = {
    "npm-canon-s40.jpg", "npm-nikon-d90-photometric.jpg", "gowebp-pentax.jpg", "npm-windows-xmp.jpg", "npm-lumia.jpg"};

class MainWindowWholeListToolsTest : public MainWindowTest {
protected:
    TAVPhotosViewCltr* list() { return window().photosViewCltr(); }
    QList<TAVImageObjectPtr> images() { return list()->maryDataSource(); }

    // The five camera files imported, sorted by name descending, with the
    // search "canon" showing one of them.
    QStringList importCameraFilesUnderASearch()
    {
        const QStringList paths = samples(kCameraFiles);
        EXPECT_TRUE(importAndWait(paths));
        list()->tableViewSortDescriptorsDidChange(QStringLiteral("name"), false);
        list()->searchField()->setText(QStringLiteral("canon"));
        EXPECT_EQ(shownNames(), QStringList{"npm-canon-s40.jpg"});
        return paths;
    }

    QStringList shownNames()
    {
        QStringList names;
        TAVPhotoListModel* model = list()->listModel();
        for (int row = 0; row < model->rowCount(); ++row)
            names << model->imageAt(row)->imageTitle();
        return names;
    }
    QStringList listedNames()
    {
        QStringList names;
        for (const auto& image : images())
            names << image->imageTitle();
        return names;
    }
    // The import a tool started (its progress sheet up) has ended.
    bool waitForImport()
    {
        return QTest::qWaitFor([&] { return !window().progressWindowController()->isSheetUp(); }, kPatientMs);
    }
    bool waitForReimport(qsizetype count)
    {
        return QTest::qWaitFor(
            [&] {
                return images().size() == count && !window().progressWindowController()->isSheetUp()
                    && !list()->isCancel();
            },
            kPatientMs);
    }

    // What another program does to a file: a tag written in place.
    static QByteArray writeAsAnotherProgram(const QString& path)
    {
        auto image = Exiv2::ImageFactory::open(QFile::encodeName(path).toStdString());
        image->readMetadata();
        image->exifData()["Exif.Image.Artist"] = "Another program";
        image->writeMetadata();
        QFile file(path);
        return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
    }

    TAVClonWindowController* openCloneSheet()
    {
        window().toolbarAction("Clone")->trigger();
        return window().cloneWindowCtlr();
    }

    TAVRenameWindowController* openRenameSheet(const QString& out)
    {
        window().toolbarAction("Rename")->trigger();
        TAVRenameWindowController* sheet = window().renameWindowCtlr();
        sheet->outputPath()->setText(out);
        sheet->removeOrignailChk()->setChecked(true);
        sheet->applyToAllBtn()->setChecked(true);
        return sheet;
    }

    QString sourcePhoto()
    {
        QDir().mkpath(tempPath("source"));
        const QString path = tempPath("source/source.jpg");
        EXPECT_TRUE(QFile::copy(photoWithTags("made.jpg", {{kArtist, "Cloned"}}), path));
        return path;
    }
};

TEST_F(MainWindowWholeListToolsTest, CloneOfTheWholeListAsksCountingHiddenPhotosAndRefusesAFileChangedSinceImport)
{
    const QStringList paths = importCameraFilesUnderASearch();
    const QString changed = paths.at(4); // npm-lumia.jpg
    const QByteArray otherProgramBytes = writeAsAnotherProgram(changed);
    TAVClonWindowController* sheet = openCloneSheet();
    ASSERT_NE(sheet, nullptr);
    sheet->applyToAll()->setChecked(true);

    // No source yet: said at once, with no "are you sure" first.
    sheet->clickClone();
    ASSERT_EQ(ui_.alerts().size(), 1);
    EXPECT_EQ(ui_.alerts().last().title, "No source chosen");
    EXPECT_TRUE(sheet->isSheetUp());

    ASSERT_TRUE(sheet->doImportFile(QUrl::fromLocalFile(sourcePhoto())));
    ui_.answerAlerts({UiServices::SecondButton}); // Cancel
    sheet->clickClone();
    ASSERT_EQ(ui_.alerts().size(), 2);
    const UiServices::AlertRequest question = ui_.alerts().last();
    EXPECT_EQ(question.title, "Clone the metadata of source.jpg onto every photo in the list?");
    EXPECT_EQ(question.message,
        "This writes the metadata of the source photo into the files of all 5 photos. 4 of them are hidden by the "
        "search \"canon\". The files are written at once; this cannot be undone.");
    EXPECT_EQ(question.buttons, (QStringList{"Clone", "Cancel"}));
    EXPECT_EQ(question.buttons.at(question.defaultButton), "Cancel");
    for (const QString& path : paths)
        EXPECT_NE(ExifTool::read(path).value("IFD0:Artist").toString(), "Cloned") << path.toStdString();

    window().toolbarAction("Clone")->trigger();
    ui_.answerAlerts({UiServices::FirstButton}); // Clone
    sheet->clickClone();
    ASSERT_TRUE(waitForReimport(5));
    for (const QString& path : paths.mid(0, 4))
        EXPECT_EQ(ExifTool::read(path).value("IFD0:Artist").toString(), "Cloned") << path.toStdString();
    // The other program's version is refused with the save's own reason, untouched.
    QFile file(changed);
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    EXPECT_EQ(file.readAll(), otherProgramBytes);
    EXPECT_EQ(ExifTool::read(changed).value("IFD0:Artist").toString(), "Another program");
    const UiServices::AlertRequest result = ui_.alerts().last();
    EXPECT_EQ(result.title, "Errors");
    EXPECT_TRUE(
        result.message.endsWith("\nnpm-lumia.jpg: The file was changed by another program since it was imported"))
        << result.message.toStdString();
}

TEST_F(MainWindowWholeListToolsTest, RenameRemovingTheOriginalsOfTheWholeListAsksCountingHiddenPhotos)
{
    const QStringList paths = importCameraFilesUnderASearch();
    const QString out = tempPath("out");
    QDir().mkpath(out);
    TAVRenameWindowController* sheet = openRenameSheet(out);
    ASSERT_NE(sheet, nullptr);

    ui_.answerAlerts({UiServices::SecondButton}); // Cancel
    sheet->clickApply();
    ASSERT_EQ(ui_.alerts().size(), 1);
    const UiServices::AlertRequest question = ui_.alerts().last();
    EXPECT_EQ(question.title, "Move every photo in the list to its new name?");
    EXPECT_EQ(question.message,
        "This copies all 5 photos into the output folder under their new names and removes the original files. 4 of "
        "them are hidden by the search \"canon\".");
    EXPECT_EQ(question.buttons.at(question.defaultButton), "Cancel");
    EXPECT_TRUE(sheet->isSheetUp());
    EXPECT_TRUE(QDir(out).entryList(QDir::Files).isEmpty());
    for (const QString& path : paths)
        EXPECT_TRUE(QFileInfo::exists(path)) << path.toStdString();

    ui_.answerAlerts({UiServices::FirstButton}); // Rename
    sheet->clickApply();
    ASSERT_TRUE(QTest::qWaitFor([&] { return QDir(out).entryList(QDir::Files).size() == 5; }, kPatientMs));
    for (const QString& path : paths)
        EXPECT_FALSE(QFileInfo::exists(path)) << path.toStdString();
}

// The list after a rename (under new names) and a clone (with new content):
// one row per file, sorted as the list was, filtered by its search.
TEST_F(MainWindowWholeListToolsTest, AfterARenameOrACloneTheListHoldsOneRowPerFileInItsOrderAndFilter)
{
    importCameraFilesUnderASearch();
    const QString out = tempPath("out");
    QDir().mkpath(out);
    TAVRenameWindowController* rename = openRenameSheet(out);
    ui_.answerAlerts({UiServices::FirstButton});
    rename->clickApply();
    ASSERT_TRUE(waitForImport());
    QStringList descending = kCameraFiles;
    std::sort(descending.begin(), descending.end(), std::greater<>());
    EXPECT_EQ(images().size(), 5) << listedNames().join(' ').toStdString();
    for (const auto& image : images())
        EXPECT_TRUE(image->srcPath().startsWith(out)) << image->srcPath().toStdString();
    EXPECT_EQ(shownNames(), QStringList{"npm-canon-s40.jpg"});

    TAVClonWindowController* clone = openCloneSheet();
    ASSERT_TRUE(clone->doImportFile(QUrl::fromLocalFile(sourcePhoto())));
    clone->applyToAll()->setChecked(true);
    ui_.answerAlerts({UiServices::FirstButton});
    const QList<TAVImageObjectPtr> before = images();
    clone->clickClone();
    ASSERT_TRUE(waitForImport());
    EXPECT_FALSE(images().contains(before.first()));
    EXPECT_EQ(images().size(), 5) << listedNames().join(' ').toStdString();
    for (const auto& image : images()) {
        EXPECT_EQ(image->getValueForKey(kArtist, 0), "Cloned") << image->srcPath().toStdString();
        EXPECT_EQ(ExifTool::read(image->srcPath()).value("IFD0:Artist").toString(), "Cloned");
    }
    EXPECT_EQ(shownNames(), QStringList{"npm-canon-s40.jpg"});
    list()->searchField()->clear();
    EXPECT_EQ(shownNames(), descending);
}

TEST_F(MainWindowWholeListToolsTest, PhotosImportedWhileTheSearchHidesThemCanBeRemovedOnceItIsCleared)
{
    ASSERT_TRUE(importAndWait(samples({"npm-canon-s40.jpg"})));
    list()->searchField()->setText(QStringLiteral("no such photo"));
    const QStringList more = samples({"npm-nikon-d90-photometric.jpg", "gowebp-pentax.jpg"});
    ASSERT_TRUE(list()->addImagesFromDirectory(more));
    ASSERT_TRUE(waitForReimport(3));
    EXPECT_TRUE(shownNames().isEmpty());

    list()->searchField()->clear();
    ASSERT_EQ(shownNames().size(), 3);
    QToolButton* remove = list()->fileSegment(TAVPhotosViewCltr::SegmentRemove);
    QToolButton* clear = list()->fileSegment(TAVPhotosViewCltr::SegmentClear);
    EXPECT_TRUE(remove->isEnabled());
    EXPECT_TRUE(clear->isEnabled());
    clear->click();
    EXPECT_TRUE(images().isEmpty());
}

// Every question says in its title what it asks and answers Return with
// Cancel, since each changes photos or files in a way not taken back; the
// pictures of the new ones go to the gallery. Each is answered Cancel.
TEST_F(MainWindowWholeListToolsTest, QuestionsSayWhatTheyAskAndReturnAnswersCancel)
{
    importCameraFilesUnderASearch();
    const TAVImageObjectPtr shown = list()->getDataSourceForCurrentState().first();
    shown->exifData()->setValue("Edited", kArtist, 0, false, true, true);
    const int cancel = UiServices::SecondButton;
    ui_.answerAlerts({cancel, cancel, UiServices::FirstButton, cancel});
    window().clickClearAll();
    window().clickApplyToAll();
    window().clickFileNameToTag();
    QCoreApplication::processEvents();
    list()->clearAllImageObjects();
    TAVClonWindowController* clone = openCloneSheet();
    clone->applyToAll()->setChecked(true);
    clone->clickClone();
    ASSERT_TRUE(clone->doImportFile(QUrl::fromLocalFile(sourcePhoto())));
    ui_.answerAlerts({UiServices::FirstButton});
    clone->clickClone();
    shown->restore();
    ui_.answerAlerts({cancel});
    openCloneSheet()->clickClone();
    ui_.answerAlerts({cancel});
    TAVRenameWindowController* rename = openRenameSheet(tempPath("out"));
    rename->clickApply();
    window().endSheetWindow(rename->window());

    QStringList titles;
    for (const UiServices::AlertRequest& alert : ui_.alerts()) {
        titles << alert.title;
        if (alert.buttons.size() > 1) {
            EXPECT_EQ(alert.buttons.value(alert.defaultButton), "Cancel") << alert.title.toStdString();
        }
    }
    EXPECT_EQ(titles,
        (QStringList{"Clear all metadata of every photo in the list?",
            "Apply the changes shown to every photo in the list?", "Apply the file names to the Title field?",
            "Remove photos with unsaved changes?", "No source chosen", "Discard the unsaved changes and clone?",
            "Clone the metadata of source.jpg onto every photo in the list?",
            "Move every photo in the list to its new name?"}));
    EXPECT_EQ(images().size(), 5);
    for (const auto& image : images())
        EXPECT_NE(ExifTool::read(image->srcPath()).value("IFD0:Artist").toString(), "Cloned");

    // As the real alert boxes draw them over the window.
    const QList<std::pair<int, QString>> pictured = {{4, "alert-clone-no-source"},
        {5, "question-clone-discard-changes"}, {6, "question-clone-whole-list"}, {7, "question-rename-whole-list"}};
    for (const auto& [index, name] : pictured) {
        std::unique_ptr<QMessageBox> box(QtUiServices::makeAlert(ui_.alerts().at(index), nullptr));
        EXPECT_TRUE(captureOverWindow(box.get(), name));
        if (index > 4) {
            EXPECT_EQ(box->defaultButton()->text(), "Cancel");
        }
    }
}

} // namespace
