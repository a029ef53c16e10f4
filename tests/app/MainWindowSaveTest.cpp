// Clear, restore, apply to all, the save loop and filename to tags, on real
// files read back by exiftool.
#include "MainWindowFixture.h"

#include "app/TAVPhotoListModel.h"
#include "app/TAVPhotosViewCltr.h"
#include "app/TAVSummaryViewCtlr.h"
#include "commlib/VXDropDownButton.h"
#include "commlib/VXProgressWindowController.h"
#include "foundation/FileServices.h"
#include "support/ExifTool.h"
#include "support/FileSizeLimit.h"
#include "support/Gallery.h"
#include "support/ImageFixtures.h"
#include "support/Patience.h"
#include "support/ProcessMemory.h"
#include "support/QtPrinters.h"
#include "support/StrictUmask.h"
#include "support/UnprivilegedStep.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QJsonObject>
#include <QLabel>
#include <QLineEdit>
#include <QMainWindow>
#include <QMenu>
#include <QPainter>
#include <QPixmap>
#include <QProgressBar>
#include <QPushButton>
#include <QTest>
#include <QToolButton>

namespace {

const QString kArtist = QStringLiteral("Exif.Image.Artist");
const QString kLatitude = QStringLiteral("Exif.GPSInfo.GPSLatitude");
const QString kMake = QStringLiteral("Exif.Image.Make");

class MainWindowSaveTest : public MainWindowTest {
protected:
    bool waitForLoop()
    {
        return QTest::qWaitFor([&] { return !window().isLoopRunning(); }, kPatientMs);
    }

    static void edit(const TAVImageObjectPtr& image, const QString& key, const QString& value, int category = 0)
    {
        image->exifData()->setValue(value, key, category, false, true, true);
    }

    // Clicks Cancel on the sheet at the loop's next progress report. A save
    // reports 0 after its first image, so its caller first moves the indicator
    // off 0 (the loop's worker waits for the GUI thread until then).
    void cancelAtNextProgress()
    {
        QProgressBar* bar = window().progressWindowController()->prgIndicator();
        auto once = std::make_shared<bool>(false);
        QObject::connect(bar, &QProgressBar::valueChanged, bar, [this, once](int) {
            if (*once || !window().isLoopRunning())
                return;
            *once = true;
            sheetUpAtCancel_ = window().progressWindowController()->isSheetUp();
            window().progressWindowController()->btnCancel()->click();
        });
    }

    void cancelSaveAfterFirst()
    {
        window().progressWindowController()->prgIndicator()->setValue(1);
        cancelAtNextProgress();
    }

    // Three photos taken at the same moment, named a, b and c.
    QStringList threeAtOneMoment(const QList<std::pair<QString, QString>>& extra = {})
    {
        QStringList paths;
        for (const char* name : {"a.jpg", "b.jpg", "c.jpg"}) {
            std::vector<std::pair<QString, QString>> tags{
                {QStringLiteral("Exif.Photo.DateTimeOriginal"), QStringLiteral("2015:03:01 10:00:00")},
                {kMake, QString::fromLatin1(name)}};
            for (const auto& tag : extra)
                tags.push_back(tag);
            paths.append(photoWithTags(QString::fromLatin1(name), tags));
        }
        return paths;
    }

    void shiftInSummaryTab(const char* countField, int count, int unit)
    {
        auto* box = window().summaryTab()->findChild<QCheckBox*>(QStringLiteral("btnTimeOffset"));
        if (!box->isChecked())
            box->click();
        QLineEdit* field = summaryField(countField);
        field->selectAll();
        QTest::keyClicks(field, QString::number(count));
        QTest::keyClick(field, Qt::Key_Return);
        auto* units = window().summaryTab()->findChild<QComboBox*>(
            QLatin1String(countField) == QLatin1String("fldOffsetDateValue") ? "popupDayUnit" : "popupTimeUnit");
        units->setCurrentIndex(unit);
        emit units->activated(unit);
        QCoreApplication::processEvents();
    }

    static QString originalDate(const QString& path)
    {
        return ExifTool::read(path).value(QStringLiteral("ExifIFD:DateTimeOriginal")).toString();
    }

    bool sheetUpAtCancel_ = false;
};

TEST_F(MainWindowSaveTest, SaveWritesTheSelectionUnderTheSheetAndSaveAllWritesEveryImage)
{
    const QStringList paths = threeAtOneMoment();
    ASSERT_TRUE(importAndWait(paths));
    edit(images().at(0), kArtist, QStringLiteral("One"));
    select({0});
    window().clickSave();
    EXPECT_TRUE(window().progressWindowController()->isSheetUp());
    EXPECT_EQ(window().progressWindowController()->progressValue(), 0.0);
    ASSERT_TRUE(waitForLoop());
    EXPECT_FALSE(window().progressWindowController()->isSheetUp());
    EXPECT_EQ(ExifTool::read(paths.at(0)).value("IFD0:Artist").toString(), "One");
    EXPECT_TRUE(ExifTool::read(paths.at(1)).value("IFD0:Artist").isUndefined());

    // Save All does not hand the shown record out first: only each image's own edits go.
    edit(images().at(1), kArtist, QStringLiteral("Two"));
    window().clickSaveAll();
    ASSERT_TRUE(waitForLoop());
    EXPECT_EQ(ExifTool::read(paths.at(0)).value("IFD0:Artist").toString(), "One");
    EXPECT_EQ(ExifTool::read(paths.at(1)).value("IFD0:Artist").toString(), "Two");
    EXPECT_TRUE(ExifTool::read(paths.at(2)).value("IFD0:Artist").isUndefined());
}

// Save All over two camera photos, one of them of mode 0444 in a writable
// folder, by a user who is not root: the writable one is saved, the other is
// named with its reason and stays byte for byte.
TEST_F(MainWindowSaveTest, SaveRefusesAPhotoTheUserMayNotWriteAndSavesTheOthers)
{
    const QStringList paths = samples({"npm-canon-s40.jpg", "npm-lumia.jpg"});
    ASSERT_TRUE(importAndWait(paths));
    ASSERT_TRUE(StrictUmask::setMode(paths.at(0), 0444));
    ASSERT_TRUE(UnprivilegedStep::handOver(tempFolder()));
    if (const QString closed = UnprivilegedStep::unreachable(tempFolder()); !closed.isEmpty())
        GTEST_SKIP() << qPrintable(closed);
    QFile original(paths.at(0));
    ASSERT_TRUE(original.open(QIODevice::ReadOnly));
    const QByteArray bytes = original.readAll();
    for (const TAVImageObjectPtr& image : images())
        edit(image, kArtist, QStringLiteral("Saved by Lumetta"));
    {
        const UnprivilegedStep step;
        ASSERT_TRUE(step.isUnprivileged());
        window().clickSaveAll();
        ASSERT_TRUE(waitForLoop());
    }
    QFile after(paths.at(0));
    ASSERT_TRUE(after.open(QIODevice::ReadOnly));
    EXPECT_EQ(after.readAll(), bytes);
    EXPECT_EQ(StrictUmask::modeOf(paths.at(0)), mode_t(0444));
    EXPECT_TRUE(ExifTool::read(paths.at(0)).value("IFD0:Artist").isUndefined());
    EXPECT_EQ(ExifTool::read(paths.at(1)).value("IFD0:Artist").toString(), "Saved by Lumetta");
    ASSERT_FALSE(ui_.alerts().isEmpty());
    EXPECT_EQ(ui_.alerts().last().title, QStringLiteral("An image could not be saved"));
    EXPECT_EQ(ui_.alerts().last().message,
        QStringLiteral("npm-canon-s40.jpg: The file is read-only: you do not have permission to change it, so it "
                       "was left as it was"));
}

// A folder on the way to the photo closed to the user after the import: the
// file is still there, so the user hears that it cannot be reached, not that
// it is gone.
TEST_F(MainWindowSaveTest, APhotoInAFolderTheUserMayNotEnterIsReportedAsUnreachable)
{
    QDir().mkpath(tempPath("in/closed"));
    const QString path = ImageFixtures::copySample("npm-canon-s40.jpg", tempPath("in/closed"));
    ASSERT_TRUE(importAndWait({path}));
    ASSERT_TRUE(UnprivilegedStep::handOver(tempFolder()));
    if (const QString closed = UnprivilegedStep::unreachable(tempFolder()); !closed.isEmpty())
        GTEST_SKIP() << qPrintable(closed);
    ASSERT_TRUE(StrictUmask::setMode(tempPath("in/closed"), 0));
    edit(images().first(), kArtist, QStringLiteral("Saved by Lumetta"));
    {
        const UnprivilegedStep step;
        window().clickSaveAll();
        ASSERT_TRUE(waitForLoop());
    }
    ASSERT_TRUE(StrictUmask::setMode(tempPath("in/closed"), 0755));
    EXPECT_TRUE(ExifTool::read(path).value("IFD0:Artist").isUndefined());
    ASSERT_FALSE(ui_.alerts().isEmpty());
    EXPECT_EQ(ui_.alerts().last().message,
        QStringLiteral("npm-canon-s40.jpg: The file cannot be reached: you do not have permission to open its "
                       "folder, so it was left as it was"));
}

// "Also set the file's creation date" holds for every image Save All saves,
// the ones not selected and not edited too: each file gets its own photo's date.
TEST_F(MainWindowSaveTest, SaveAllDatesEveryFileByItsOwnPhotoWhenTheBoxIsTicked)
{
    const QString date = QStringLiteral("Exif.Photo.DateTimeOriginal");
    const QStringList paths{photoWithTags(QStringLiteral("a.jpg"), {{date, QStringLiteral("2015:03:01 10:00:00")}}),
        photoWithTags(QStringLiteral("b.jpg"), {{date, QStringLiteral("2016:07:08 09:10:11")}})};
    ASSERT_TRUE(importAndWait(paths));
    select({0});
    window().summaryTab()->findChild<QCheckBox*>(QStringLiteral("applyToFileCreate"))->click();
    window().clickSaveAll();
    ASSERT_TRUE(waitForLoop());
    EXPECT_EQ(FileServices::modificationDate(paths.at(0)), QDateTime(QDate(2015, 3, 1), QTime(10, 0)));
    EXPECT_EQ(FileServices::modificationDate(paths.at(1)), QDateTime(QDate(2016, 7, 8), QTime(9, 10, 11)));
}

TEST_F(MainWindowSaveTest, CancelStopsTheSaveAfterTheImageBeingSavedAndTheSheetEndsAfterIt)
{
    const QStringList paths = threeAtOneMoment();
    ASSERT_TRUE(importAndWait(paths));
    for (const auto& image : images())
        edit(image, kArtist, QStringLiteral("Saved"));
    window().clickSaveAll();
    cancelSaveAfterFirst();
    ASSERT_TRUE(waitForLoop());
    EXPECT_TRUE(sheetUpAtCancel_);
    EXPECT_FALSE(window().progressWindowController()->isSheetUp());
    EXPECT_EQ(ExifTool::read(paths.at(0)).value("IFD0:Artist").toString(), "Saved");
    EXPECT_TRUE(ExifTool::read(paths.at(1)).value("IFD0:Artist").isUndefined());
    EXPECT_TRUE(ExifTool::read(paths.at(2)).value("IFD0:Artist").isUndefined());
    EXPECT_EQ(images().at(1)->exifData()->getValueForKey(kArtist, 0), "Saved");
}

TEST_F(MainWindowSaveTest, ClearRestoreAndApplyToAllReachTheImagesTheyName)
{
    const QStringList paths = threeAtOneMoment({{QStringLiteral("Exif.GPSInfo.GPSLatitudeRef"), "N"},
        {kLatitude, "48/1 51/1 0/1"}, {QStringLiteral("Exif.GPSInfo.GPSLongitudeRef"), "E"},
        {QStringLiteral("Exif.GPSInfo.GPSLongitude"), "2/1 21/1 0/1"}});
    ASSERT_TRUE(importAndWait(paths));
    select({0});
    const QString latitude = images().at(0)->getValueForKey(kLatitude, TAVExifData::CategoryGps);
    ASSERT_FALSE(latitude.isEmpty());

    // The Clear button's "GPS" item clears the GPS of the selected image only.
    window().btnClearOne()->menu()->actions().at(2)->trigger();
    EXPECT_EQ(images().at(0)->getValueForKey(kLatitude, TAVExifData::CategoryGps), "");
    EXPECT_EQ(images().at(0)->getValueForKey(kMake, 0), "a.jpg");
    EXPECT_EQ(images().at(1)->getValueForKey(kLatitude, TAVExifData::CategoryGps), latitude);

    // The batch menu's "GPS" clears it everywhere.
    window().clickClearAllType();
    QAction* gps = window().clearKindMenu()->actions().at(2);
    window().clearKindMenu()->hide();
    ASSERT_EQ(gps->data().toInt(), 2);
    gps->trigger();
    for (const auto& image : images())
        EXPECT_EQ(image->getValueForKey(kLatitude, TAVExifData::CategoryGps), "");

    // Restore All brings every read value back, and the shown record follows.
    window().clickRestoreAll();
    for (const auto& image : images()) {
        EXPECT_EQ(image->getValueForKey(kLatitude, TAVExifData::CategoryGps), latitude);
        EXPECT_EQ(image->exifData()->enuModifyState(), 1);
    }
    EXPECT_EQ(window().curExifData()->getValueForKey(kLatitude, TAVExifData::CategoryGps), latitude);

    // Apply To All from one image hands its modified entries to the whole list.
    edit(images().at(0), kArtist, QStringLiteral("Everyone"));
    window().btnApplyToAll()->click();
    for (const auto& image : images())
        EXPECT_EQ(image->getValueForKey(kArtist, 0), "Everyone");
    EXPECT_EQ(images().at(2)->getValueForKey(kMake, 0), "c.jpg");
}

// "Shift by 2 Hours" over camera photos, Save All: each photo's dates move
// by two hours and none gains a date it did not hold. A Nikon photo holding
// only its capture date gains no creation or modify date; a photo whose
// only capture date is IPTC's, at midnight, gains no EXIF date "02:00:00"
// contradicting its XMP creation date of another day.
TEST_F(MainWindowSaveTest, AShiftAndSaveAllMoveTheDatesEachPhotoHoldsAndAddNone)
{
    if (!ExifTool::available())
        GTEST_SKIP() << "exiftool missing";
    const QStringList paths{copyOf(ImageFixtures::sample("npm-nikon-d90-photometric.jpg"), "nikon.jpg"),
        copyOf(ImageFixtures::sample("npm-canon-s40.jpg"), "news.jpg")};
    ASSERT_TRUE(ImageFixtures::eraseTags(paths.at(0),
        {"Exif.Photo.DateTimeDigitized", "Exif.Image.DateTime", "Iptc.Application2.DateCreated",
            "Iptc.Application2.TimeCreated", "Xmp.xmp.CreateDate", "Xmp.xmp.ModifyDate", "Xmp.xmp.MetadataDate",
            "Xmp.photoshop.DateCreated"}));
    ASSERT_TRUE(ImageFixtures::eraseTags(
        paths.at(1), {"Exif.Photo.DateTimeOriginal", "Exif.Photo.DateTimeDigitized", "Exif.Image.DateTime"}));
    ASSERT_TRUE(ImageFixtures::writeTags(paths.at(1),
        {{"Iptc.Application2.DateCreated", "2009-06-13", std::nullopt},
            {"Iptc.Application2.TimeCreated", "00:00:00+00:00", std::nullopt},
            {"Xmp.xmp.CreateDate", "2009-06-12T16:30:00", std::nullopt}}));
    QList<QMap<QString, QString>> expected{ExifTool::dates(paths.at(0)), ExifTool::dates(paths.at(1))};
    ASSERT_EQ(expected.at(0).value("ExifIFD:DateTimeOriginal"), "2011:08:15 12:24:54");
    expected[0].insert("ExifIFD:DateTimeOriginal", "2011:08:15 14:24:54");
    expected[1].insert("IPTC:TimeCreated", "02:00:00+00:00");
    expected[1].insert("XMP-xmp:CreateDate", "2009:06:12 18:30:00");

    ASSERT_TRUE(importAndWait(paths));
    select({rowOf(paths.at(0)), rowOf(paths.at(1))});
    shiftInSummaryTab("fldOffsetTimeValue", 2, 0);
    window().clickSaveAll();
    ASSERT_TRUE(waitForLoop());
    EXPECT_TRUE(ui_.alerts().isEmpty());
    EXPECT_EQ(ExifTool::dates(paths.at(0)), expected.at(0));
    EXPECT_EQ(ExifTool::dates(paths.at(1)), expected.at(1));
}

// A shift is used once per image: a retry after a failed save, or a save after
// a cancelled one, must not move a date the engine already moved.
TEST_F(MainWindowSaveTest, TimeShiftIsAppliedOncePerImageAcrossFailuresAndCancels)
{
    // b carries a long comment, so a file-size limit that a, c pass fails b's save.
    const QStringList paths = threeAtOneMoment();
    const QString bulky = QString(40000, QLatin1Char('x'));
    ASSERT_TRUE(
        ImageFixtures::writeTags(paths.at(1), {{QStringLiteral("Exif.Photo.UserComment"), bulky, std::nullopt}}));
    ASSERT_TRUE(importAndWait(paths));
    select({0, 1, 2});
    shiftInSummaryTab("fldOffsetDateValue", 2, 0);

    bool ended = false;
    {
        const FileSizeLimit fullDisk(30 * 1024);
        ASSERT_TRUE(fullDisk.isActive());
        window().clickSave();
        ended = waitForLoop();
    }
    ASSERT_TRUE(ended);
    EXPECT_EQ(originalDate(paths.at(0)), "2015:03:03 10:00:00");
    EXPECT_EQ(originalDate(paths.at(1)), "2015:03:01 10:00:00"); // its save failed
    EXPECT_FALSE(window().summaryTab()->getDatetimeOffsetInfo().has_value());

    // The cause removed, an Artist edit and Save: every date moved by 2 days, once.
    summaryField("fldPhotographer")->selectAll();
    QTest::keyClicks(summaryField("fldPhotographer"), QStringLiteral("Retry"));
    QTest::keyClick(summaryField("fldPhotographer"), Qt::Key_Return);
    window().clickSave();
    ASSERT_TRUE(waitForLoop());
    for (const QString& path : paths) {
        EXPECT_EQ(originalDate(path), "2015:03:03 10:00:00") << qPrintable(path);
        EXPECT_EQ(ExifTool::read(path).value("IFD0:Artist").toString(), "Retry") << qPrintable(path);
        // The retried shift is still a shift: no date the photo lacked.
        EXPECT_EQ(ExifTool::dates(path).keys(), QStringList{"ExifIFD:DateTimeOriginal"}) << qPrintable(path);
    }
}

// A news photo dated only in IPTC, a photo with no date at all and a
// camera photo, shifted together in the Summary tab: the news photo moves
// from its capture date, and the undated one is named in an alert of its own
// and loses its unsaved state.
TEST_F(MainWindowSaveTest, AShiftMovesEachPhotosCaptureDateAndNamesThePhotosWithoutOne)
{
    const QStringList paths{
        photoWithTags("news.jpg",
            {{"Exif.Image.DateTime", "2008:05:10 14:00:00"}, {"Iptc.Application2.DateCreated", "2003-08-30"},
                {"Iptc.Application2.TimeCreated", "10:15:00-07:00"}}),
        photoWithTags("undated.jpg", {{kMake, "Canon"}}),
        photoWithTags("camera.jpg", {{"Exif.Photo.DateTimeOriginal", "2015:03:01 10:00:00"}})};
    ASSERT_TRUE(importAndWait(paths));
    select({0, 1, 2});
    shiftInSummaryTab("fldOffsetTimeValue", 1, 0);
    const qsizetype alertsBefore = ui_.alerts().size();
    window().clickSave();
    ASSERT_TRUE(waitForLoop());

    const QJsonObject news = ExifTool::read(paths.at(0));
    EXPECT_FALSE(news.contains("ExifIFD:DateTimeOriginal"));
    EXPECT_EQ(news.value("IFD0:ModifyDate").toString(), "2008:05:10 15:00:00");
    EXPECT_EQ(news.value("IPTC:TimeCreated").toString(), "11:15:00-07:00");
    EXPECT_EQ(originalDate(paths.at(2)), "2015:03:01 11:00:00");
    EXPECT_FALSE(ExifTool::read(paths.at(1)).contains("ExifIFD:DateTimeOriginal"));

    // No failure: the undated photo is named under a title of its own.
    ASSERT_EQ(ui_.alerts().size(), alertsBefore + 1);
    EXPECT_EQ(ui_.alerts().last().title, "A photo was not shifted: it holds no date");
    EXPECT_EQ(ui_.alerts().last().message, "undated.jpg");
    for (const auto& image : images()) {
        if (image->srcPath() == paths.at(1))
            EXPECT_EQ(image->getImageForImageState(), QString());
        else
            EXPECT_EQ(image->getImageForImageState(), "finish.png") << qPrintable(image->srcPath());
    }
}

TEST_F(MainWindowSaveTest, ImagesACancelledSaveDidNotReachKeepTheirShiftForTheNextSave)
{
    const QStringList paths = threeAtOneMoment();
    ASSERT_TRUE(importAndWait(paths));
    select({0, 1, 2});
    shiftInSummaryTab("fldOffsetTimeValue", 1, 0);
    window().clickSave();
    cancelSaveAfterFirst();
    ASSERT_TRUE(waitForLoop());
    EXPECT_EQ(originalDate(paths.at(0)), "2015:03:01 11:00:00");
    EXPECT_EQ(originalDate(paths.at(1)), "2015:03:01 10:00:00");

    window().clickSave();
    ASSERT_TRUE(waitForLoop());
    for (const QString& path : paths)
        EXPECT_EQ(originalDate(path), "2015:03:01 11:00:00") << qPrintable(path);
}

// What a save's workers freed (every file's bytes, written and read back)
// goes back to the system when the loop ends: the allocator would keep it in
// its threads' arenas, and each save of the list would leave the process
// larger. Large camera files make that share large.
TEST_F(MainWindowSaveTest, ASaveOfTheListKeepsNoMemoryOnceItHasEnded)
{
    if (!ProcessMemory::resetPeak())
        GTEST_SKIP() << "this build's allocator keeps freed memory on purpose";
    QStringList paths;
    for (int i = 0; i < 8; ++i)
        paths << ImageFixtures::copySample(
            QStringLiteral("npm-sony-a6000.jpg"), tempPath("in"), QStringLiteral("sony%1.jpg").arg(i));
    ASSERT_TRUE(importAndWait(paths));
    QList<qint64> resident;
    for (int round = 0; round < 3; ++round) {
        for (const auto& image : images())
            edit(image, kArtist, QStringLiteral("Round %1").arg(round));
        window().clickSaveAll();
        ASSERT_TRUE(waitForLoop());
        QTest::qWait(20);
        resident << ProcessMemory::residentBytes();
    }
    EXPECT_EQ(ExifTool::read(paths.last()).value("IFD0:Artist").toString(), "Round 2");
    const qint64 grown = *std::max_element(resident.begin(), resident.end()) - resident.first();
    EXPECT_LT(grown, qint64(16) * 1024 * 1024)
        << "after each round: " << resident.at(0) << ", " << resident.at(1) << ", " << resident.at(2) << " bytes";
}

// A save tells the list of each photo it saved, and the list reads that
// photo's row again, not every row: the browser sizes every cell it is told
// of, so telling of the whole list for each saved photo made a Save All of
// thousands of photos walk thousands of rows per photo while its worker
// waited. Each row still shows its photo's new state.
TEST_F(MainWindowSaveTest, SaveAllTellsTheListOfEachSavedPhotosOwnRow)
{
    QStringList paths;
    for (int i = 0; i < 12; ++i)
        paths << ImageFixtures::copySample(
            QStringLiteral("npm-canon-s40.jpg"), tempPath("in"), QStringLiteral("photo%1.jpg").arg(i));
    ASSERT_TRUE(importAndWait(paths));
    for (const auto& image : images())
        edit(image, kArtist, QStringLiteral("Told"));
    TAVPhotoListModel* model = window().photosViewCltr()->listModel();
    QList<int> toldRows;
    const auto connection = QObject::connect(model, &TAVPhotoListModel::dataChanged, model,
        [&toldRows](const QModelIndex& topLeft, const QModelIndex& bottomRight) {
            for (int row = topLeft.row(); row <= bottomRight.row(); ++row)
                toldRows << row;
        });
    window().clickSaveAll();
    ASSERT_TRUE(waitForLoop());
    QObject::disconnect(connection);

    for (int row = 0; row < paths.size(); ++row) {
        EXPECT_TRUE(toldRows.contains(row)) << "row " << row << " was never told of its save";
        const QModelIndex state = model->index(row, TAVPhotoListModel::ColumnState);
        EXPECT_EQ(model->data(state, TAVPhotoListModel::StateImageRole).value<QImage>(),
            TAVPhotoListModel::stateImage(QStringLiteral("finish.png")))
            << "row " << row;
    }
    // Two notices a photo (its record read again, its save finished) and
    // room for a few of the window's own: far from twelve rows a photo.
    EXPECT_LE(toldRows.size(), 4 * paths.size()) << "rows told during the save: " << toldRows.size();
    EXPECT_EQ(ExifTool::read(paths.last()).value("IFD0:Artist").toString(), "Told");
}

// Save All writes the photos with something to save and no other: every
// other file keeps its inode and date (a photo with nothing to write was
// replaced by the same bytes, one photo at a time). An edit, a shift typed
// in the Summary tab and an edit the search hides are written; an edit taken
// back by Restore is not. A photo edited while the save runs stays edited
// and is written by the next Save All.
TEST_F(MainWindowSaveTest, SaveAllWritesOnlyThePhotosWithSomethingToSave)
{
    const QStringList kinds{"npm-canon-s40.jpg", "npm-nikon-d90-photometric.jpg", "npm-lumia.jpg"};
    QStringList paths;
    for (int i = 0; i < 30; ++i)
        paths << ImageFixtures::copySample(
            kinds.at(i % 3), tempPath("in"), QStringLiteral("p%1.jpg").arg(i, 2, 10, QLatin1Char('0')));
    ASSERT_TRUE(importAndWait(paths));
    const auto imageOf = [&](int index) {
        for (const auto& image : images()) {
            if (image->srcPath() == paths.at(index))
                return image;
        }
        return TAVImageObjectPtr();
    };
    const auto identities = [&paths] {
        QList<FileServices::Identity> list;
        for (const QString& path : paths)
            list << FileServices::identityOf(path);
        return list;
    };
    edit(imageOf(4), kArtist, QStringLiteral("Four"));
    select({rowOf(paths.at(12))});
    shiftInSummaryTab("fldOffsetTimeValue", 2, 0);
    edit(imageOf(17), kArtist, QStringLiteral("Seventeen"));
    edit(imageOf(22), kArtist, QStringLiteral("Taken back"));
    select({rowOf(paths.at(22))});
    window().clickRestore();
    window().photosViewCltr()->searchField()->setText(QStringLiteral("nikon"));
    ASSERT_FALSE(window().photosViewCltr()->getDataSourceForCurrentState().contains(imageOf(17)));
    const QList<FileServices::Identity> before = identities();

    // The photo edited at the save's first report was not among those to save.
    window().progressWindowController()->prgIndicator()->setValue(1);
    QProgressBar* bar = window().progressWindowController()->prgIndicator();
    const auto editedMidSave = QObject::connect(
        bar, &QProgressBar::valueChanged, bar, [&] { edit(imageOf(25), kArtist, QStringLiteral("Mid-save")); });
    window().clickSaveAll();
    ASSERT_TRUE(waitForLoop());
    QObject::disconnect(editedMidSave);
    EXPECT_TRUE(ui_.alerts().isEmpty());
    const QList<FileServices::Identity> after = identities();
    for (int i = 0; i < paths.size(); ++i) {
        const bool written = i == 4 || i == 12 || i == 17;
        EXPECT_EQ(after.at(i) == before.at(i), !written) << qPrintable(paths.at(i));
    }
    EXPECT_EQ(ExifTool::read(paths.at(4)).value("IFD0:Artist").toString(), "Four");
    EXPECT_EQ(originalDate(paths.at(12)), "2003:12:14 14:01:44");
    EXPECT_EQ(ExifTool::read(paths.at(17)).value("IFD0:Artist").toString(), "Seventeen");
    EXPECT_TRUE(ExifTool::read(paths.at(22)).value("IFD0:Artist").isUndefined());
    EXPECT_EQ(imageOf(25)->exifData()->enuModifyState(), TAVExifData::StateModified);

    window().clickSaveAll();
    ASSERT_TRUE(waitForLoop());
    const QList<FileServices::Identity> again = identities();
    for (int i = 0; i < paths.size(); ++i)
        EXPECT_EQ(again.at(i) == after.at(i), i != 25) << qPrintable(paths.at(i));
    EXPECT_EQ(ExifTool::read(paths.at(25)).value("IFD0:Artist").toString(), "Mid-save");
}

// An Apply To All from a photo without a shift leaves another photo's
// state unchanged over its edited Artist: Save All still writes that edit,
// and only it.
TEST_F(MainWindowSaveTest, SaveAllWritesAnEditLeftUnderAnUnchangedState)
{
    const QStringList paths = threeAtOneMoment();
    ASSERT_TRUE(importAndWait(paths));
    edit(images().at(1), kArtist, QStringLiteral("Kept"));
    select({0});
    window().clickApplyToAll();
    ASSERT_EQ(images().at(1)->exifData()->enuModifyState(), TAVExifData::StateUnchanged);
    const FileServices::Identity untouched = FileServices::identityOf(paths.at(2));
    window().clickSaveAll();
    ASSERT_TRUE(waitForLoop());
    EXPECT_EQ(ExifTool::read(paths.at(1)).value("IFD0:Artist").toString(), "Kept");
    EXPECT_EQ(FileServices::identityOf(paths.at(2)), untouched);
}

TEST_F(MainWindowSaveTest, GallerySaveSheetOverTheWindowMidLoop)
{
    ASSERT_TRUE(importAndWait(threeAtOneMoment()));
    window().showSaveProgressWindow();
    window().updateSaveProgress(1.0 / 3.0);
    QCoreApplication::processEvents();
    EXPECT_TRUE(captureOverWindow(window().progressWindowController()->window(), "save-progress"));
    window().endProgressWindow();
    window().endProgressWindow(); // ending an ended sheet does nothing
    EXPECT_FALSE(window().progressWindowController()->isSheetUp());
}

TEST_F(MainWindowSaveTest, FilenameToTagsFillsBothTitleKeysOnlyAfterOk)
{
    const QStringList paths{
        photoWithTags("IMG_0042.JPG", {}), photoWithTags("IMG_0043.JPG", {}), photoWithTags("IMG_0044.JPG", {})};
    ASSERT_TRUE(importAndWait(paths));
    const QByteArray before = [&] {
        QFile file(paths.at(0));
        file.open(QIODevice::ReadOnly);
        return file.readAll();
    }();
    const QString xpTitle = QStringLiteral("Exif.Image.XPTitle");
    const QString objectName = QStringLiteral("Iptc.Application2.ObjectName");

    // Cancel in the alert changes nothing.
    ui_.answerAlerts({UiServices::FirstButton});
    window().clickFileNameToTag();
    QTest::qWait(20);
    EXPECT_FALSE(window().isLoopRunning());
    EXPECT_EQ(images().at(0)->getValueForKey(objectName, 0), "");

    // Cancel after the first of three leaves the others as they were.
    select({0, 1, 2});
    cancelAtNextProgress();
    ui_.answerAlerts({UiServices::SecondButton});
    window().clickFileNameToTag();
    ASSERT_TRUE(QTest::qWaitFor([&] { return window().isLoopRunning(); }, kPatientMs));
    ASSERT_TRUE(waitForLoop());
    EXPECT_EQ(ui_.alerts().last().message, "Do you really want to apply the name of file(s) to the Title field?");
    const TAVExifDataPtr& first = images().at(0)->exifData();
    EXPECT_EQ(first->getValueForKey(xpTitle, TAVExifData::CategoryOther), "IMG_0042");
    EXPECT_EQ(first->getValueForKey(objectName, 0), "IMG_0042");
    EXPECT_TRUE(first->isModifiedForKey(xpTitle, TAVExifData::CategoryOther));
    EXPECT_TRUE(first->isModifiedForKey(objectName, 0));
    EXPECT_EQ(images().at(1)->getValueForKey(objectName, 0), "");
    EXPECT_EQ(images().at(2)->getValueForKey(xpTitle, TAVExifData::CategoryOther), "");
    QFile file(paths.at(0));
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    EXPECT_EQ(file.readAll(), before);

    // Saved, both tags are in the file.
    select({0});
    window().clickSave();
    ASSERT_TRUE(waitForLoop());
    const QJsonObject tags = ExifTool::read(paths.at(0));
    EXPECT_EQ(tags.value("IFD0:XPTitle").toString(), "IMG_0042");
    EXPECT_EQ(tags.value("IPTC:ObjectName").toString(), "IMG_0042");
}

TEST_F(MainWindowSaveTest, ClosingTheWindowDuringASaveStopsTheLoopAndClosesAfterIt)
{
    const QStringList paths = threeAtOneMoment();
    ASSERT_TRUE(importAndWait(paths));
    for (const auto& image : images())
        edit(image, kArtist, QStringLiteral("Saved"));
    window().clickSaveAll();
    // The images the cancelled loop did not reach are asked about before the
    // window goes; the user lets them go.
    ui_.answerAlerts({UiServices::SecondButton});
    window().mainWindow()->close();
    EXPECT_TRUE(window().mainWindow()->isVisible() || !window().isLoopRunning());
    ASSERT_TRUE(waitForLoop());
    EXPECT_FALSE(window().mainWindow()->isVisible());
    ASSERT_FALSE(ui_.alerts().isEmpty());
    EXPECT_EQ(ui_.alerts().last().buttons, (QStringList{"Save", "Don't Save", "Cancel"}));
    EXPECT_TRUE(ExifTool::read(paths.at(2)).value("IFD0:Artist").isUndefined());
}

} // namespace
