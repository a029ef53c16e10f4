// What users did to real photos in the real window, read back by exiftool:
// the name Filename to Tags writes, the question before a command changes
// every listed photo, clears that take their XMP twins, dates typed as they
// are listed, tags of the file's structure, shift counts, GPS places to 1e-7
// degree, what a clone leaves the target, and typed text that a close hands
// over first.
#include "MainWindowFixture.h"

#include "app/ENTabBarView.h"
#include "app/TAVDetailViewCtlr.h"
#include "app/TAVPhotosViewCltr.h"
#include "app/TAVSummaryViewCtlr.h"
#include "commlib/NotLossFoucsSearchField.h"
#include "commlib/QtUiServices.h"
#include "commlib/TAVSearchableTagTableModel.h"
#include "gps/TAVGPSViewController.h"
#include "support/ExifTool.h"
#include "support/ImageFixtures.h"
#include "support/Patience.h"
#include "tools/TAVClonWindowController.h"
#include "tools/TAVReplaceWindowController.h"

#include <QAction>
#include <QCheckBox>
#include <QFile>
#include <QJsonObject>
#include <QLineEdit>
#include <QMainWindow>
#include <QMessageBox>
#include <QTableView>
#include <QTest>

#include <algorithm>
#include <cmath>
#include <memory>

namespace {

const QString kOriginal = QStringLiteral("Exif.Photo.DateTimeOriginal");

class MainWindowPhotoWalkTest : public MainWindowTest {
protected:
    void SetUp() override
    {
        MainWindowTest::SetUp();
        if (!ExifTool::available())
            GTEST_SKIP() << "exiftool missing";
    }

    bool waitForLoop()
    {
        return QTest::qWaitFor([&] { return !window().isLoopRunning(); }, kPatientMs);
    }
    bool saveAll()
    {
        window().clickSaveAll();
        return waitForLoop();
    }

    // The tags of the groups whose names begin with `group` ("XMP-"), less
    // the name of the toolkit that wrote a packet.
    static QStringList tagsOf(const QString& path, const QString& group)
    {
        QStringList names;
        const QJsonObject tags = ExifTool::read(path);
        for (auto it = tags.begin(); it != tags.end(); ++it) {
            if (it.key().startsWith(group) && it.key() != QLatin1String("XMP-x:XMPToolkit"))
                names << it.key();
        }
        return names;
    }

    void selectNamed(const QString& name)
    {
        const QList<TAVImageObjectPtr>& shown = window().photosViewCltr()->getDataSourceForCurrentState();
        for (int row = 0; row < shown.size(); ++row) {
            if (shown.at(row)->imageTitle() == name)
                select({row});
        }
        ASSERT_EQ(window().selectedImages().value(0), imageNamed(name));
    }

    TAVImageObjectPtr imageNamed(const QString& name)
    {
        for (const TAVImageObjectPtr& image : images()) {
            if (image->imageTitle() == name)
                return image;
        }
        return nullptr;
    }

    QModelIndex detailCell(const QString& key)
    {
        window().tabBar()->selectTab(TAVMainWindowCtlr::TabDetail);
        const TAVSearchableTagTable& table = window().detailTab()->model()->table();
        for (int row = 0; row < table.shownCount(); ++row) {
            if (table.shownRow(row)->entity->key() == key)
                return window().detailTab()->model()->index(row, 2);
        }
        return {};
    }

    static bool editorOpen(QTableView* table)
    {
        const QList<QLineEdit*> editors = table->viewport()->findChildren<QLineEdit*>();
        return std::any_of(editors.begin(), editors.end(), [](QLineEdit* editor) { return !editor->isHidden(); });
    }

    TAVGPSViewController* gps()
    {
        window().tabBar()->selectTab(TAVMainWindowCtlr::TabGps);
        return qobject_cast<TAVGPSViewController*>(window().tabSelectedView());
    }

    static void typeAndReturn(QLineEdit* field, const QString& text)
    {
        field->selectAll();
        QTest::keyClicks(field, text);
        QTest::keyClick(field, Qt::Key_Return);
        QCoreApplication::processEvents();
    }
};

} // namespace

// The title comes from the user's file, never from the "(1)" of a working
// copy made beside an older one; the search matches the name the list shows.
TEST_F(MainWindowPhotoWalkTest, FilenameToTagsAndTheSearchUseTheUsersFileName)
{
    const QString path = photoWithTags("harbour.jpg", {{"Exif.Image.Artist", "Ann"}});
    ASSERT_TRUE(importAndWait({path}));
    window().photosViewCltr()->clearAllImageObjects();
    ASSERT_TRUE(importAndWait({path}));
    const TAVImageObjectPtr image = images().first();
    ASSERT_TRUE(image->path().contains("(1)")) << image->path().toStdString();

    window().photosViewCltr()->typeInSearchField("(1)");
    EXPECT_TRUE(window().photosViewCltr()->getDataSourceForCurrentState().isEmpty());
    window().photosViewCltr()->typeInSearchField("harb");
    EXPECT_EQ(window().photosViewCltr()->getDataSourceForCurrentState().size(), 1);
    window().photosViewCltr()->typeInSearchField("");
    select({0});

    ui_.answerAlerts({UiServices::SecondButton});
    window().clickFileNameToTag();
    ASSERT_TRUE(
        QTest::qWaitFor([&] { return image->exifData()->isModifiedForKey("Exif.Image.XPTitle", 3); }, kPatientMs));
    ASSERT_TRUE(waitForLoop());
    ASSERT_TRUE(saveAll());
    const QJsonObject tags = ExifTool::read(path);
    EXPECT_EQ(tags.value("IFD0:XPTitle").toString(), "harbour");
    EXPECT_EQ(tags.value("IPTC:ObjectName").toString(), "harbour");
}

// "lumia" typed in the search, then Clear All and Batch Save. The question
// says how many photos change and how many the search hides; Cancel keeps
// every file as it was, and the scope stays the whole list.
TEST_F(MainWindowPhotoWalkTest, ClearAllAndApplyToAllAskFirstNamingThePhotosTheSearchHides)
{
    QStringList paths = samples({"npm-lumia.jpg"});
    for (const char* name : {"a.jpg", "b.jpg", "c.jpg"})
        paths << photoWithTags(name, {{"Exif.Image.Orientation", "6"}, {"Exif.Image.Artist", "Ann"}});
    ASSERT_TRUE(importAndWait(paths));
    window().photosViewCltr()->searchField()->setText("lumia");
    ASSERT_EQ(window().photosViewCltr()->getDataSourceForCurrentState().size(), 1);

    ui_.answerAlerts({UiServices::SecondButton});
    window().clickClearAll();
    ASSERT_FALSE(ui_.alerts().isEmpty());
    const UiServices::AlertRequest question = ui_.alerts().last();
    EXPECT_EQ(question.title, "Clear all metadata of every photo in the list?");
    EXPECT_EQ(question.message,
        "This clears all metadata of all 4 photos. 3 of them are hidden by the search \"lumia\". Saving then makes "
        "the change permanent.");
    EXPECT_EQ(question.buttons, (QStringList{"Clear All", "Cancel"}));
    std::unique_ptr<QMessageBox> box(QtUiServices::makeAlert(question, nullptr));
    EXPECT_TRUE(captureOverWindow(box.get(), "clear-all-question"));

    ASSERT_TRUE(saveAll());
    for (const QString& path : paths.mid(1))
        EXPECT_EQ(ExifTool::read(path, {"-n"}).value("IFD0:Orientation").toInt(), 6) << path.toStdString();

    // The batch menu's kinds ask the same, and Apply To All too.
    ui_.answerAlerts({UiServices::SecondButton});
    QAction gpsKind;
    gpsKind.setData(2);
    window().onMenuClick(&gpsKind);
    EXPECT_EQ(ui_.alerts().last().title, "Clear the GPS metadata of every photo in the list?");
    window().summaryTab()->findChild<QLineEdit*>("fldPhotographer")->setText("Bo");
    emit window().summaryTab()->findChild<QLineEdit*>("fldPhotographer")->textEdited("Bo");
    ui_.answerAlerts({UiServices::SecondButton});
    window().clickApplyToAll();
    EXPECT_EQ(ui_.alerts().last().title, "Apply the changes shown to every photo in the list?");
    EXPECT_TRUE(ui_.alerts().last().message.contains("3 of them are hidden by the search \"lumia\""));
    EXPECT_EQ(imageNamed("a.jpg")->getValueForKey("Exif.Image.Artist", 0), "Ann");

    // Agreed to, the clear takes every photo of the list, hidden ones too.
    ui_.answerAlerts({UiServices::FirstButton});
    window().clickClearAll();
    for (const TAVImageObjectPtr& image : images())
        EXPECT_EQ(image->exifData()->enuModifyState(), TAVExifData::StateModified);
}

// A clear of a family clears the XMP that mirrors it alone (Photoshop's
// credit goes with IPTC), and keeps what other families share (Dublin
// Core's title and creator); All empties the packet; a packet the library cannot read is
// kept, and the save says so.
TEST_F(MainWindowPhotoWalkTest, ClearsTakeTheXmpTwinsAndSayWhenAPacketWasKept)
{
    const QString path = photoWithTags("twins.jpg",
        {{"Exif.Image.Artist", "Ann"}, {"Iptc.Application2.ObjectName", "Harbour"}, {"Xmp.dc.title", "Harbour"},
            {"Xmp.photoshop.Credit", "Ann"}, {"Xmp.dc.creator", "Ann"}, {"Xmp.aux.SerialNumber", "1234"},
            {"Xmp.exif.GPSLatitude", "37,46.5N"}, {"Xmp.xmp.Rating", "3"}, {"Xmp.iptc.Location", "Pier"}});
    ASSERT_TRUE(importAndWait({path}));

    window().clickClearKind(3);
    window().clickSave();
    ASSERT_TRUE(waitForLoop());
    EXPECT_EQ(tagsOf(path, "IPTC:"), QStringList());
    QStringList left = tagsOf(path, "XMP-");
    left.sort();
    EXPECT_EQ(left,
        (QStringList{
            "XMP-aux:SerialNumber", "XMP-dc:Creator", "XMP-dc:Title", "XMP-exif:GPSLatitude", "XMP-xmp:Rating"}));
    EXPECT_EQ(ExifTool::read(path).value("IFD0:Artist").toString(), "Ann");

    window().clickClearKind(1);
    window().clickSave();
    ASSERT_TRUE(waitForLoop());
    EXPECT_FALSE(ExifTool::read(path).contains("IFD0:Artist"));
    left = tagsOf(path, "XMP-");
    left.sort();
    EXPECT_EQ(left, (QStringList{"XMP-dc:Creator", "XMP-dc:Title", "XMP-xmp:Rating"}));

    // A photo whose packet a Windows tool wrote: All leaves no XMP.
    const QString windows = samples({"npm-windows-xmp.jpg"}).first();
    ASSERT_FALSE(tagsOf(windows, "XMP-").isEmpty());
    const QString damaged = photoWithTags("damaged.jpg", {{"Exif.GPSInfo.GPSLatitudeRef", "N"}});
    ASSERT_TRUE(ImageFixtures::giveUndecodableXmpPacket(damaged));
    ASSERT_TRUE(importAndWait({windows, damaged}));
    selectNamed("npm-windows-xmp.jpg");
    window().clickClear();
    selectNamed("damaged.jpg");
    window().clickClearKind(2);
    const qsizetype alerts = ui_.alerts().size();
    ASSERT_TRUE(saveAll());
    EXPECT_EQ(tagsOf(windows, "XMP-"), QStringList());
    EXPECT_EQ(ExifTool::read(damaged).value("XMP-dc:Title").toString(), "Harbour");
    ASSERT_EQ(ui_.alerts().size(), alerts + 1);
    EXPECT_EQ(ui_.alerts().last().title, "XMP metadata kept");
    EXPECT_EQ(ui_.alerts().last().message,
        "The XMP metadata of this photo could not be read, so it was kept as it was: damaged.jpg. Its GPS position "
        "was cleared from EXIF only: the position its XMP holds is still in the file.");
}

// Dates are listed as "2014-09-01 15:03:47": Replace and the Details tab take
// that form and write the tag's own; a refusal names the form it wants.
TEST_F(MainWindowPhotoWalkTest, DatesTypedAsListedAreTakenAndARefusalNamesTheForm)
{
    const QString path = photoWithTags("dated.jpg",
        {{kOriginal, "2014:09:01 15:03:47"}, {"Exif.Photo.DateTimeDigitized", "2014:09:01 15:03:47"},
            {"Exif.Image.Artist", "Ann 2014"}});
    ASSERT_TRUE(importAndWait({path}));
    window().toolbarAction("Replace")->trigger();
    TAVReplaceWindowController* sheet = window().replaceWindowCtlr();
    ASSERT_NE(sheet, nullptr);
    sheet->searchTextField()->setText("2014");
    sheet->replaceTextField()->setText("2015");
    const qsizetype alerts = ui_.alerts().size();
    sheet->clickReplaceAll();
    EXPECT_EQ(ui_.alerts().size(), alerts);
    sheet->clickApply();
    window().clickSave();
    ASSERT_TRUE(waitForLoop());
    QJsonObject tags = ExifTool::read(path);
    EXPECT_EQ(tags.value("ExifIFD:DateTimeOriginal").toString(), "2015:09:01 15:03:47");
    EXPECT_EQ(tags.value("ExifIFD:CreateDate").toString(), "2015:09:01 15:03:47");
    EXPECT_EQ(tags.value("IFD0:Artist").toString(), "Ann 2015");

    // Replace All tells of the values it had to leave.
    window().toolbarAction("Replace")->trigger();
    sheet = window().replaceWindowCtlr();
    sheet->searchTextField()->setText("09-01");
    sheet->replaceTextField()->setText("13-01");
    sheet->clickReplaceAll();
    ASSERT_EQ(ui_.alerts().size(), alerts + 1);
    EXPECT_TRUE(ui_.alerts().last().message.contains(
        kOriginal + " (it takes a date and time as YYYY-MM-DD HH:MM:SS, such as 2014-09-01 15:03:47)"));
    sheet->clickCancel();

    ASSERT_TRUE(detailCell(kOriginal).isValid());
    TAVBaseTabViewCltr::setPendingEdits(true);
    EXPECT_FALSE(window().detailTab()->model()->setData(detailCell(kOriginal), "yesterday"));
    EXPECT_EQ(ui_.alerts().last().message,
        "Please set a valid value for \"" + kOriginal
            + "\": a date and time as YYYY-MM-DD HH:MM:SS, such as 2014-09-01 15:03:47.");
    TAVBaseTabViewCltr::setPendingEdits(true);
    EXPECT_TRUE(window().detailTab()->model()->setData(detailCell(kOriginal), "2016-02-29 23:59:59"));
    QCoreApplication::processEvents();
    window().clickSave();
    ASSERT_TRUE(waitForLoop());
    EXPECT_EQ(ExifTool::read(path).value("ExifIFD:DateTimeOriginal").toString(), "2016:02:29 23:59:59");
}

// The GPS directory's pointer is the file's structure: the Details tab opens
// no editor on it, so no edit shows as saved while the save writes nothing.
TEST_F(MainWindowPhotoWalkTest, StructureTagsOpenNoEditorInTheDetailsTab)
{
    const QString path = photoWithTags("located.jpg",
        {{"Exif.GPSInfo.GPSLatitudeRef", "N"}, {"Exif.GPSInfo.GPSLatitude", "37/1 46/1 30/1"},
            {"Exif.Image.Artist", "Ann"}});
    ASSERT_TRUE(importAndWait({path}));
    QTableView* table = window().detailTab()->tableView();
    const QModelIndex pointer = detailCell("Exif.Image.GPSTag");
    ASSERT_TRUE(pointer.isValid());
    const qsizetype alerts = ui_.alerts().size();
    table->edit(pointer);
    EXPECT_FALSE(editorOpen(table));
    ASSERT_EQ(ui_.alerts().size(), alerts + 1);
    EXPECT_EQ(ui_.alerts().last().title, "This tag cannot be edited");
    EXPECT_FALSE(window().detailTab()->model()->setData(pointer, "26"));
    EXPECT_NE(images().first()->exifData()->enuModifyState(), TAVExifData::StateModified);

    table->edit(detailCell("Exif.Image.Artist"));
    EXPECT_TRUE(editorOpen(table));
}

// "-10" typed as the hours of a shift. A sign is refused in the field with an
// alert; a forward shift goes on to the file.
TEST_F(MainWindowPhotoWalkTest, ANegativeShiftIsRefusedInTheFieldAndAPositiveOneIsSaved)
{
    const QString path = photoWithTags("shift.jpg", {{kOriginal, "2014:09:01 15:03:47"}});
    ASSERT_TRUE(importAndWait({path}));
    auto* box = window().summaryTab()->findChild<QCheckBox*>("btnTimeOffset");
    box->click();
    QLineEdit* hours = summaryField("fldOffsetTimeValue");
    hours->selectAll();
    const qsizetype alerts = ui_.alerts().size();
    QTest::keyClicks(hours, "-");
    EXPECT_EQ(ui_.alerts().size(), alerts + 1);
    EXPECT_EQ(hours->text(), "0");
    const auto shift = images().first()->exifData()->createdDateTimeOffset();
    EXPECT_TRUE(!shift || shift->timeOffsetNum() >= 0);

    typeAndReturn(hours, "10");
    window().clickSave();
    ASSERT_TRUE(waitForLoop());
    EXPECT_EQ(ExifTool::read(path).value("ExifIFD:DateTimeOriginal").toString(), "2014:09:02 01:03:47");
}

// Seven decimals typed reach the file's rationals to 1e-7 degree; the
// altitude shows in metres.
TEST_F(MainWindowPhotoWalkTest, GpsTypedToSevenDecimalsKeepsThemAndAltitudeShowsInMetres)
{
    const QString path = photoWithTags("tower.jpg",
        {{"Exif.GPSInfo.GPSAltitudeRef", "0"}, {"Exif.GPSInfo.GPSAltitude", "29/1"}, {"Exif.Image.Artist", "Ann"}});
    ASSERT_TRUE(importAndWait({path}));
    TAVGPSViewController* tab = gps();
    ASSERT_NE(tab, nullptr);
    EXPECT_EQ(tab->altitudeField()->text(), "29");

    typeAndReturn(tab->decimalField(true), "48.8583701");
    typeAndReturn(tab->decimalField(false), "2.2944813");
    window().clickSave();
    ASSERT_TRUE(waitForLoop());
    const QJsonObject tags = ExifTool::read(path, {"-n"});
    EXPECT_LT(std::fabs(tags.value("GPS:GPSLatitude").toDouble() - 48.8583701), 1e-7);
    EXPECT_LT(std::fabs(tags.value("GPS:GPSLongitude").toDouble() - 2.2944813), 1e-7);
    EXPECT_EQ(tags.value("GPS:GPSAltitude").toDouble(), 29.0);
}

// The interoperability directory's picture size, and the orientation in XMP
// too, are the target's own: a clone leaves them.
TEST_F(MainWindowPhotoWalkTest, CloneLeavesTheTargetItsInteropSizeAndItsXmpOrientation)
{
    const QString source = samples({"npm-canon-s40.jpg"}).first();
    ASSERT_TRUE(ImageFixtures::writeTags(source, {{"Xmp.tiff.Orientation", "6", std::nullopt}}));
    ASSERT_EQ(ExifTool::read(source, {"-n"}).value("InteropIFD:RelatedImageWidth").toInt(), 2272);
    const QString target = photoWithTags("target.jpg",
        {{"Exif.Image.Orientation", "1"}, {"Xmp.tiff.Orientation", "1"}, {"Exif.Iop.InteroperabilityIndex", "R98"},
            {"Exif.Iop.RelatedImageWidth", "205"}, {"Exif.Iop.RelatedImageLength", "102"}});
    const QString bare = photoWithTags("bare.jpg", {{"Exif.Image.Artist", "Ann"}});
    ASSERT_TRUE(importAndWait({target, bare}));

    window().toolbarAction("Clone")->trigger();
    TAVClonWindowController* sheet = window().cloneWindowCtlr();
    ASSERT_TRUE(sheet->doImportFile(QUrl::fromLocalFile(source)));
    sheet->applyToAll()->setChecked(true);
    ui_.answerAlerts({UiServices::FirstButton, UiServices::FirstButton});
    sheet->clickClone();
    ASSERT_TRUE(QTest::qWaitFor([&] { return images().size() == 2 && !window().isLoopRunning(); }, kPatientMs));

    const QJsonObject tags = ExifTool::read(target, {"-n"});
    EXPECT_EQ(tags.value("IFD0:Make").toString(), "Canon");
    EXPECT_EQ(tags.value("InteropIFD:RelatedImageWidth").toInt(), 205);
    EXPECT_EQ(tags.value("InteropIFD:RelatedImageHeight").toInt(), 102);
    EXPECT_EQ(tags.value("IFD0:Orientation").toInt(), 1);
    EXPECT_EQ(tags.value("XMP-tiff:Orientation").toInt(), 1);
    const QJsonObject bareTags = ExifTool::read(bare, {"-n"});
    EXPECT_FALSE(bareTags.contains("InteropIFD:RelatedImageWidth"));
    EXPECT_FALSE(bareTags.contains("XMP-tiff:Orientation"));
}

// A GPS field hands over only when its editing ends: closing right after
// typing into one still asks, and Save writes what was typed.
TEST_F(MainWindowPhotoWalkTest, ClosingRightAfterTypingIntoAGpsFieldAsksAndSavesIt)
{
    const QString path = photoWithTags("typed.jpg", {{"Exif.Image.Artist", "Ann"}});
    ASSERT_TRUE(importAndWait({path}));
    TAVGPSViewController* tab = gps();
    ASSERT_NE(tab, nullptr);
    QTest::keyClicks(tab->degreeField(true), "12");
    ASSERT_TRUE(images().first()->exifData()->getValueForKey(TAVGPSViewController::kLatitudeKey, 2).isEmpty());

    ui_.answerAlerts({UiServices::FirstButton});
    window().mainWindow()->close();
    ASSERT_FALSE(ui_.alerts().isEmpty());
    EXPECT_EQ(ui_.alerts().last().title, "Do you want to save the changes you made to 1 image?");
    ASSERT_TRUE(waitForLoop());
    EXPECT_FALSE(window().mainWindow()->isVisible());
    const QJsonObject tags = ExifTool::read(path, {"-n"});
    EXPECT_EQ(tags.value("GPS:GPSLatitude").toDouble(), 12.0);
    EXPECT_EQ(tags.value("GPS:GPSLatitudeRef").toString(), "N");
}
