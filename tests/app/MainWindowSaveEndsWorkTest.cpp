// A save leaves nothing unsaved behind it, and writes no file it would not
// change: on copies of camera files, read back by exiftool and by inode.
#include "MainWindowFixture.h"

#include "app/TAVPhotoListModel.h"
#include "app/TAVPhotosViewCltr.h"
#include "app/TAVSummaryViewCtlr.h"
#include "foundation/FileServices.h"
#include "support/ExifTool.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonObject>
#include <QLineEdit>
#include <QMainWindow>
#include <QTest>
#include <QToolButton>

#include <sys/stat.h>
#include <unistd.h>

namespace {

class MainWindowSaveEndsWorkTest : public MainWindowExifToolTest {
protected:
    QImage markOf(const QString& path)
    {
        TAVPhotoListModel* model = window().photosViewCltr()->listModel();
        return model->data(model->index(rowOf(path), TAVPhotoListModel::ColumnState), TAVPhotoListModel::StateImageRole)
            .value<QImage>();
    }
    static QImage mark(const char* name) { return TAVPhotoListModel::stateImage(QLatin1String(name)); }

    // What exiftool finds of the metadata a Clear All takes.
    static QStringList metadataLeft(const QString& path)
    {
        QStringList left;
        const QJsonObject tags = ExifTool::read(path);
        for (auto tag = tags.constBegin(); tag != tags.constEnd(); ++tag) {
            if (tag.key().startsWith(QLatin1String("IFD0:")) || tag.key().startsWith(QLatin1String("ExifIFD:"))
                || tag.key().startsWith(QLatin1String("IPTC:")))
                left << tag.key();
        }
        return left;
    }

    static struct stat statOf(const QString& path)
    {
        struct stat status { };
        ::stat(QFile::encodeName(path).constData(), &status);
        return status;
    }

    bool windowOpen() { return window().mainWindow()->isVisible(); }
};

} // namespace

// Clear All and Save cleared the files, but each photo kept its edited mark,
// a second save found it still to save, and quitting asked about it.
TEST_F(MainWindowSaveEndsWorkTest, ASavedClearAllLeavesNoUnsavedWork)
{
    const QStringList paths = samples({"npm-canon-s40.jpg", "npm-nikon-d90-photometric.jpg"});
    ASSERT_TRUE(importAndWait(paths));
    ui_.answerAlerts({UiServices::FirstButton});
    window().btnClearAll()->click();
    ASSERT_EQ(markOf(paths.at(1)), mark("modified.png"));

    window().clickSaveAll();
    ASSERT_TRUE(waitForLoop());
    for (const QString& path : paths) {
        EXPECT_EQ(metadataLeft(path), QStringList()) << qPrintable(path);
        EXPECT_EQ(markOf(path), mark("finish.png")) << qPrintable(path);
    }
    EXPECT_TRUE(window().imagesWithUnsavedEdits().isEmpty());

    // Nothing left to write: neither save replaces a file.
    const FileServices::Identity saved = FileServices::identityOf(paths.at(0));
    select({rowOf(paths.at(0))});
    window().clickSave();
    ASSERT_TRUE(waitForLoop());
    window().clickSaveAll();
    ASSERT_TRUE(waitForLoop());
    EXPECT_EQ(FileServices::identityOf(paths.at(0)), saved);
    EXPECT_EQ(markOf(paths.at(0)), mark("finish.png"));

    // A clear of files with nothing left to clear writes the same bytes:
    // they are not written again, and the photos count as saved.
    ui_.answerAlerts({UiServices::FirstButton});
    window().btnClearAll()->click();
    ASSERT_EQ(markOf(paths.at(0)), mark("modified.png"));
    window().clickSaveAll();
    ASSERT_TRUE(waitForLoop());
    EXPECT_EQ(FileServices::identityOf(paths.at(0)), saved);
    EXPECT_EQ(markOf(paths.at(0)), mark("finish.png"));
    EXPECT_TRUE(window().imagesWithUnsavedEdits().isEmpty());

    const qsizetype alerts = ui_.alerts().size();
    window().mainWindow()->close();
    EXPECT_EQ(ui_.alerts().size(), alerts) << "asked about saved work";
    EXPECT_FALSE(windowOpen());
}

// Quitting after Clear > All asked to save the photo; its Save cleared the
// file and then neither quit nor said why.
TEST_F(MainWindowSaveEndsWorkTest, SaveAnsweredToTheQuitQuestionAfterAClearSavesAndQuits)
{
    const QStringList paths = samples({"npm-canon-s40.jpg", "npm-nikon-d90-photometric.jpg"});
    ASSERT_TRUE(importAndWait(paths));
    select({rowOf(paths.at(0))});
    window().clickClearKind(0);

    ui_.answerAlerts({UiServices::FirstButton});
    window().mainWindow()->close();
    ASSERT_EQ(ui_.alerts().size(), 1);
    EXPECT_EQ(ui_.alerts().last().title, "Do you want to save the changes you made to 1 image?");
    ASSERT_TRUE(waitForLoop());
    EXPECT_FALSE(windowOpen());
    EXPECT_EQ(ui_.alerts().size(), 1);
    EXPECT_EQ(metadataLeft(paths.at(0)), QStringList());
    EXPECT_EQ(ExifTool::read(paths.at(1)).value("IFD0:Make").toString(), "NIKON CORPORATION");
}

// A 2-hour shift armed over a dated Canon photo and a Windows-made photo
// with no date: the Windows file, which the shift cannot change, was replaced
// by a copy of the same bytes, and its hard link parted from it. It is now
// left as it was, yet counts as saved. Files that are only to take their
// photo's date take it in place.
TEST_F(MainWindowSaveEndsWorkTest, AFileTheSaveWouldNotChangeIsNotWritten)
{
    const QStringList paths = samples({"npm-canon-s40.jpg", "npm-windows-xmp.jpg"});
    const QString dated = paths.at(0);
    const QString undated = paths.at(1);
    QDir().mkpath(tempPath("links"));
    const QString link = tempPath("links/windows.jpg");
    ASSERT_EQ(::link(QFile::encodeName(undated).constData(), QFile::encodeName(link).constData()), 0);
    ASSERT_TRUE(importAndWait(paths));
    const FileServices::Identity undatedBefore = FileServices::identityOf(undated);
    const QByteArray undatedBytes = digestOf(undated);

    select({rowOf(dated), rowOf(undated)});
    auto* shift = window().summaryTab()->findChild<QCheckBox*>(QStringLiteral("btnTimeOffset"));
    shift->click();
    QLineEdit* hours = summaryField("fldOffsetTimeValue");
    hours->setFocus(Qt::MouseFocusReason);
    hours->selectAll();
    QTest::keyClicks(hours, QStringLiteral("2"));
    QTest::keyClick(hours, Qt::Key_Tab);
    window().clickSaveAll();
    ASSERT_TRUE(waitForLoop());

    EXPECT_EQ(ExifTool::read(dated).value("ExifIFD:DateTimeOriginal").toString(), "2003:12:14 14:01:44");
    EXPECT_EQ(FileServices::identityOf(undated), undatedBefore);
    EXPECT_EQ(digestOf(undated), undatedBytes);
    EXPECT_EQ(statOf(link).st_ino, statOf(undated).st_ino);
    EXPECT_EQ(statOf(undated).st_nlink, nlink_t(2));
    EXPECT_TRUE(ExifTool::read(undated).value("ExifIFD:DateTimeOriginal").isUndefined());
    // Saved, no failure: the photo without a date is only named as such.
    EXPECT_EQ(ui_.alerts().size(), 1);
    EXPECT_EQ(ui_.alerts().last().title, "A photo was not shifted: it holds no date");
    EXPECT_TRUE(markOf(undated).isNull());
    EXPECT_EQ(markOf(dated), mark("finish.png"));
    EXPECT_TRUE(window().imagesWithUnsavedEdits().isEmpty());

    // The files are to take their photo's date: the Canon file takes its new
    // capture date in place, and the one without a date stays as it is.
    const FileServices::Identity datedBefore = FileServices::identityOf(dated);
    window().summaryTab()->findChild<QCheckBox*>(QStringLiteral("applyToFileCreate"))->click();
    window().clickSaveAll();
    ASSERT_TRUE(waitForLoop());
    const FileServices::Identity datedAfter = FileServices::identityOf(dated);
    EXPECT_EQ(datedAfter.inode, datedBefore.inode);
    EXPECT_EQ(FileServices::modificationDate(dated).toLocalTime(),
        QDateTime(QDate(2003, 12, 14), QTime(14, 1, 44), Qt::LocalTime));
    EXPECT_EQ(FileServices::identityOf(undated), undatedBefore);
    EXPECT_EQ(ui_.alerts().size(), 1);
    EXPECT_TRUE(window().imagesWithUnsavedEdits().isEmpty());
}
