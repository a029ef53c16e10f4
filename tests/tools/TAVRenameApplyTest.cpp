#include "RenameSheetFixture.h"

#include "commlib/VXProgressWindowController.h"
#include "foundation/FileServices.h"

#include "support/FileSizeLimit.h"
#include "support/QtPrinters.h"

#include <QCheckBox>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLineEdit>

#include <unistd.h>

namespace {

class RenameApplyTest : public RenameSheetTest {
protected:
    void SetUp() override
    {
        RenameSheetTest::SetUp();
        ASSERT_TRUE(QDir().mkpath(tempPath("photos")));
        ASSERT_TRUE(QDir().mkpath(tempPath("out")));
        output_ = tempPath("out");
    }

    // Real JPEGs photos/<name> for each name, handed to the sheet as the
    // images to rename.
    void useImages(const QStringList& names)
    {
        delegate_.images.clear();
        for (const QString& name : names) {
            delegate_.images << importedImage(tempPath("photos/" + name));
        }
    }
    TAVRenameWindowController& sheetInto(const QString& folder)
    {
        TAVRenameWindowController& sheet = openSheet();
        sheet.outputPath()->setText(folder);
        return sheet;
    }
    QStringList outputNames() const { return QDir(output_).entryList(QDir::Files, QDir::Name); }
    QString errorsAlert() const
    {
        for (const UiServices::AlertRequest& alert : ui_.alerts()) {
            if (alert.title == "Errors") {
                return alert.message;
            }
        }
        return QString();
    }

    QString output_;
};

} // namespace

TEST_F(RenameApplyTest, EmptyRuleCopiesUnderOwnNamesAndASecondRoundNumbersThem)
{
    useImages({"a.jpg", "b.jpg"});
    const QString source = delegate_.images.first()->srcPath();
    ASSERT_TRUE(FileServices::setFileDates(source, QDateTime::fromSecsSinceEpoch(1'500'000'000)));
    // The main window may put up its import progress sheet while handing back.
    VXProgressWindowController progress;
    delegate_.onReload = [&] { mainWindow_->beginSheetWindow(progress.window()); };

    sheetInto(output_).clickApply();
    EXPECT_EQ(outputNames(), (QStringList{"a.jpg", "b.jpg"}));
    EXPECT_EQ(FileServices::modificationDate(output_ + "/a.jpg"), QDateTime::fromSecsSinceEpoch(1'500'000'000));
    EXPECT_TRUE(FileServices::contentsEqual(source, output_ + "/a.jpg"));
    EXPECT_TRUE(QFile::exists(source)); // copied, not moved
    EXPECT_EQ(delegate_.images.at(1)->renamedPath(), output_ + "/b.jpg");
    EXPECT_EQ(delegate_.reloaded, delegate_.images);
    EXPECT_FALSE(sheet_->isSheetUp());
    EXPECT_TRUE(progress.isSheetUp());
    EXPECT_EQ(workspace_.openedFiles(), QStringList{output_});
    EXPECT_TRUE(ui_.alerts().isEmpty());

    mainWindow_->endSheetWindow(progress.window());
    delegate_.onReload = nullptr;
    sheetInto(output_).clickApply();
    EXPECT_EQ(outputNames(), (QStringList{"a(1).jpg", "a.jpg", "b(1).jpg", "b.jpg"}));
    EXPECT_EQ(delegate_.images.first()->renamedPath(), output_ + "/a(1).jpg");
}

// A photo reached through a relative link: the renamed copy holds the photo,
// not a copy of the link that would lead nowhere from the output folder.
TEST_F(RenameApplyTest, TheCopyOfAPhotoReachedThroughALinkHoldsThePhoto)
{
    useImages({"real.jpg"});
    const QString real = delegate_.images.first()->srcPath();
    const QString link = tempPath("photos/link.jpg");
    ASSERT_EQ(::symlink("real.jpg", QFile::encodeName(link).constData()), 0);
    delegate_.images.first()->setSrcPath(link);

    sheetInto(output_).clickApply();
    EXPECT_EQ(outputNames(), QStringList{"link.jpg"});
    EXPECT_FALSE(QFileInfo(output_ + "/link.jpg").isSymLink());
    EXPECT_TRUE(FileServices::contentsEqual(real, output_ + "/link.jpg"));
    EXPECT_TRUE(QFileInfo(link).isSymLink());
    EXPECT_TRUE(ui_.alerts().isEmpty());
}

TEST_F(RenameApplyTest, CounterCountsAMissingFileAndTheAlertNamesIt)
{
    useImages({"x.jpg", "y.jpg", "z.jpg"});
    const QString missing = delegate_.images.at(1)->srcPath();
    ASSERT_TRUE(QFile::remove(missing));
    TAVRenameWindowController& sheet = sheetInto(output_);
    sheet.doInsertFieldToTable({field("Numerical Sequences", "Numerical Sequences")}, 0);
    sheet.numSeq()->setText("1");
    sheet.increase()->setText("1");

    sheet.clickApply();
    EXPECT_EQ(outputNames(), (QStringList{"1.jpg", "3.jpg"}));
    EXPECT_TRUE(errorsAlert().contains(missing)) << errorsAlert().toStdString();
    EXPECT_EQ(delegate_.reloaded.size(), 2);
    EXPECT_TRUE(delegate_.images.at(1)->renamedPath().isEmpty());
    EXPECT_FALSE(sheet.isSheetUp()); // the sheet still ends and shows the folder
    EXPECT_EQ(workspace_.openedFiles(), QStringList{output_});
}

TEST_F(RenameApplyTest, RemoveBoxDeletesASourceOnlyAfterItsCopy)
{
    useImages({"keep.jpg"});
    const QString source = delegate_.images.first()->srcPath();
    TAVRenameWindowController* sheet = &sheetInto(output_);
    sheet->removeOrignailChk()->setChecked(true);
    sheet->clickApply();
    EXPECT_EQ(outputNames(), QStringList{"keep.jpg"});
    EXPECT_FALSE(QFile::exists(source));
    EXPECT_TRUE(ui_.alerts().isEmpty());

    // A folder that cannot exist: the copy fails and the source stays.
    useImages({"stay.jpg"});
    delegate_.reloaded.clear();
    const QString stay = delegate_.images.first()->srcPath();
    QFile plain(tempPath("plain-file"));
    ASSERT_TRUE(plain.open(QIODevice::WriteOnly));
    plain.close();
    sheet = &sheetInto(tempPath("plain-file/out"));
    sheet->removeOrignailChk()->setChecked(true);
    sheet->clickApply();
    EXPECT_TRUE(QFile::exists(stay));
    EXPECT_TRUE(errorsAlert().contains(stay)) << errorsAlert().toStdString();
    EXPECT_TRUE(delegate_.reloaded.isEmpty());
    EXPECT_EQ(delegate_.reloadCalls, 2);
}

// Writes past 16 KiB fail, as on a nearly full disk: a camera photo's copy
// comes up short, which is no copy, so its original stays although the box
// says to remove it, and no cut copy is left in the folder.
TEST_F(RenameApplyTest, ACopyCutShortByAFullDiskKeepsTheOriginal)
{
    const QString source = ImageFixtures::copySample("npm-lumia.jpg", tempPath("photos"));
    QFile original(source);
    ASSERT_TRUE(original.open(QIODevice::ReadOnly));
    const QByteArray photo = original.readAll();
    original.close();
    ASSERT_GT(photo.size(), 100 * 1024);
    delegate_.images = {imageOf(source)};
    TAVRenameWindowController& sheet = sheetInto(output_);
    sheet.removeOrignailChk()->setChecked(true);
    {
        const FileSizeLimit fullDisk(16 * 1024);
        ASSERT_TRUE(fullDisk.isActive());
        sheet.clickApply();
    }
    ASSERT_TRUE(original.open(QIODevice::ReadOnly));
    EXPECT_EQ(original.readAll(), photo);
    EXPECT_TRUE(outputNames().isEmpty());
    EXPECT_TRUE(errorsAlert().contains(source)) << errorsAlert().toStdString();
    EXPECT_TRUE(delegate_.images.first()->renamedPath().isEmpty());
    EXPECT_TRUE(delegate_.reloaded.isEmpty());
}

TEST_F(RenameApplyTest, UnsavedChangesOrABadOutputFolderStopBeforeAnyCopy)
{
    useImages({"a.jpg"});
    delegate_.unsaved = true;
    TAVRenameWindowController& sheet = sheetInto(output_);
    sheet.applyToAllBtn()->setChecked(true);
    sheet.clickApply();
    ASSERT_EQ(ui_.alerts().size(), 1);
    EXPECT_EQ(ui_.alerts().first().title, "Save the changes first");
    EXPECT_EQ(ui_.alerts().first().message,
        "You have unsaved exif changes for the image(s) to be renamed, please save them first.");
    EXPECT_EQ(ui_.alerts().first().buttons, QStringList{"OK"});
    EXPECT_TRUE(delegate_.askedAllImages);
    EXPECT_TRUE(sheet.isSheetUp());

    delegate_.unsaved = false;
    for (const QString& folder : {QString(""), QString("relative/out")}) {
        sheet.outputPath()->setText(folder);
        sheet.clickApply();
        EXPECT_EQ(ui_.alerts().last().title, "Error");
        EXPECT_EQ(ui_.alerts().last().message, "Please set the output path and try again.");
        EXPECT_TRUE(sheet.isSheetUp());
        EXPECT_FALSE(QFileInfo::exists("relative"));
    }
    EXPECT_EQ(delegate_.imageRequests, 0);
    EXPECT_EQ(delegate_.reloadCalls, 0);
    EXPECT_TRUE(outputNames().isEmpty());
    EXPECT_TRUE(workspace_.openedFiles().isEmpty());
}

TEST_F(RenameApplyTest, NameWithoutExtensionKeepsOneTrailingDot)
{
    useImages({"README.jpg"});
    ASSERT_TRUE(QFile::rename(delegate_.images.first()->srcPath(), tempPath("photos/README")));
    delegate_.images.first()->setSrcPath(tempPath("photos/README"));
    TAVRenameWindowController& sheet = sheetInto(output_);
    sheet.doInsertFieldToTable({field("File Details", "Filename")}, 0);
    sheet.clickApply();
    sheetInto(output_).doInsertFieldToTable({field("File Details", "Filename")}, 0);
    sheet_->clickApply();
    EXPECT_EQ(outputNames(), (QStringList{"README(1).", "README."}));
}

// Real photos without a capture date, renamed by their date: every copy is a
// visible file under the photo's own name, none ".jpg" or ".jpg(1).jpg".
TEST_F(RenameApplyTest, PhotosWithoutTheRulesFieldsKeepVisibleNamesOfTheirOwn)
{
    useImages({"harbour.jpg", "quay.JPG"});
    TAVRenameWindowController& sheet = sheetInto(output_);
    sheet.doInsertFieldToTable({field("Exif", "CreateDate")}, 0);
    sheet.doInsertFieldToTable({field("Exif", "CreateTime")}, 1);
    sheet.clickApply();
    sheetInto(output_).clickApply();
    EXPECT_EQ(QDir(output_).entryList(QDir::Files | QDir::Hidden, QDir::Name),
        (QStringList{"harbour(1).jpg", "harbour.jpg", "quay(1).JPG", "quay.JPG"}));
    EXPECT_TRUE(errorsAlert().isNull());
}
