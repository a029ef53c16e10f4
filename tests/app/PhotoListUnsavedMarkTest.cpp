// The photo list's edited mark counts the same unsaved work as Save All and
// the quit question, on copies of camera files read back by exiftool.
#include "MainWindowFixture.h"

#include "app/TAVPhotoListModel.h"
#include "app/TAVPhotosViewCltr.h"
#include "support/ExifTool.h"

#include <QImage>
#include <QLineEdit>
#include <QTest>

namespace {

class PhotoListUnsavedMarkTest : public MainWindowTest {
protected:
    void SetUp() override
    {
        MainWindowTest::SetUp();
        if (!ExifTool::available())
            GTEST_SKIP() << "exiftool missing";
    }
    // The mark the list's State column and the image browser show.
    QImage markOf(const QString& path)
    {
        TAVPhotoListModel* model = window().photosViewCltr()->listModel();
        return model->data(model->index(rowOf(path), TAVPhotoListModel::ColumnState), TAVPhotoListModel::StateImageRole)
            .value<QImage>();
    }
    static QImage mark(const char* name) { return TAVPhotoListModel::stateImage(QLatin1String(name)); }
};

} // namespace

// After Apply To All from an unedited photo, a photo whose Photographer was
// typed and not saved lost its edited mark, though quitting asked about it
// and Save All wrote it. Its mark stays until the save.
TEST_F(PhotoListUnsavedMarkTest, AnEditLeftByApplyToAllKeepsItsMarkUntilSaved)
{
    const QStringList paths = samples({"npm-canon-s40.jpg", "npm-nikon-d90-photometric.jpg"});
    const QString plain = paths.at(0);
    const QString edited = paths.at(1);
    ASSERT_TRUE(importAndWait(paths));
    activate();
    select({rowOf(edited)});
    QLineEdit* artist = summaryField("fldPhotographer");
    artist->setFocus(Qt::MouseFocusReason);
    artist->selectAll();
    QTest::keyClicks(artist, QStringLiteral("Kept"));
    QTest::keyClick(artist, Qt::Key_Tab);
    select({rowOf(plain)});
    ASSERT_EQ(markOf(edited), mark("modified.png"));

    ui_.answerAlerts({UiServices::FirstButton});
    window().clickApplyToAll();
    QCoreApplication::processEvents();
    ASSERT_EQ(images().at(rowOf(edited))->exifData()->enuModifyState(), TAVExifData::StateUnchanged);
    EXPECT_EQ(markOf(edited), mark("modified.png"));
    EXPECT_TRUE(markOf(plain).isNull());

    window().clickSaveAll();
    ASSERT_TRUE(waitForLoop());
    EXPECT_EQ(ExifTool::read(edited).value("IFD0:Artist").toString(), "Kept");
    EXPECT_EQ(markOf(edited), mark("finish.png"));
    EXPECT_TRUE(markOf(plain).isNull());
}
