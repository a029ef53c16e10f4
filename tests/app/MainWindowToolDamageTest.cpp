// The batch tools never damage a file and do what their boxes say: Replace
// offers no structure tags, Clone leaves the target the tags of its own
// pixels, Clear > GPS takes the whole location, Export writes the XMP sidecar
// and the thumbnail. Each driven over the real main window, read back by exiftool.
#include "MainWindowFixture.h"

#include "app/TAVPhotoListModel.h"
#include "app/TAVPhotosViewCltr.h"
#include "commlib/NotLossFoucsSearchField.h"
#include "commlib/TAVSearchableTagTableModel.h"
#include "commlib/VXKeyPressTableView.h"
#include "commlib/VXProgressWindowController.h"
#include "support/ExifTool.h"
#include "support/ImageFixtures.h"
#include "support/Patience.h"
#include "tools/TAVClonWindowController.h"
#include "tools/TAVExportWindowController.h"
#include "tools/TAVReplaceWindowController.h"

#include <QAction>
#include <QBuffer>
#include <QCheckBox>
#include <QDir>
#include <QFile>
#include <QImage>
#include <QJsonArray>
#include <QJsonObject>
#include <QLineEdit>
#include <QTest>

#include <exiv2/exiv2.hpp>

namespace {

class MainWindowToolDamageTest : public MainWindowTest {
protected:
    bool waitForLoop()
    {
        return QTest::qWaitFor([&] { return !window().isLoopRunning(); }, kPatientMs);
    }

    // A picture of its own size with an EXIF thumbnail of its own.
    QString smallPictureWithThumbnail(const QString& name)
    {
        const QString path = tempPath(QStringLiteral("in/") + name);
        EXPECT_TRUE(ImageFixtures::makeImageWithTags(path,
            {{"Exif.Image.Orientation", "1", std::nullopt}, {"Exif.Photo.PixelXDimension", "205", std::nullopt},
                {"Exif.Photo.PixelYDimension", "102", std::nullopt}, {"Exif.Image.Artist", "Target", std::nullopt}},
            QSize(205, 102)));
        QByteArray thumbnail;
        QBuffer buffer(&thumbnail);
        buffer.open(QIODevice::WriteOnly);
        QImage(40, 20, QImage::Format_RGB32).save(&buffer, "JPEG");
        auto image = Exiv2::ImageFactory::open(QFile::encodeName(path).toStdString());
        image->readMetadata();
        Exiv2::ExifThumb(image->exifData())
            .setJpegThumbnail(reinterpret_cast<const Exiv2::byte*>(thumbnail.constData()), long(thumbnail.size()));
        image->writeMetadata();
        return path;
    }

    QStringList offeredKeys(TAVReplaceWindowController* sheet)
    {
        QStringList keys;
        for (const auto& row : sheet->model()->table().shownRows())
            keys << row.entity->key();
        return keys;
    }
};

TEST_F(MainWindowToolDamageTest, ReplaceOffersNoOffsetLengthPointerOrBinaryValue)
{
    const QString path = samples({"npm-canon-s40.jpg"}).first();
    ASSERT_TRUE(importAndWait({path}));
    window().toolbarAction("Replace")->trigger();
    TAVReplaceWindowController* sheet = window().replaceWindowCtlr();
    ASSERT_NE(sheet, nullptr);

    const QStringList keys = offeredKeys(sheet);
    EXPECT_TRUE(keys.contains("Exif.Image.Make") && keys.contains("Exif.Image.Model")) << keys.join(' ').toStdString();
    for (const QString& key : keys) {
        for (const char* structure : {"JPEGInterchangeFormat", "StripOffsets", "StripByteCounts", "ExifTag",
                 "InteroperabilityTag", "MakerNote", "GPSTag"}) {
            EXPECT_FALSE(key.contains(QLatin1String(structure))) << key.toStdString();
        }
        EXPECT_FALSE(key.contains("0x")) << key.toStdString() << ": a maker tag known only by number";
    }

    // The thumbnail's length (5448) and offset (1306) are not there to hit.
    sheet->caseIgnor()->setChecked(false);
    for (const char* number : {"5448", "1306"}) {
        sheet->searchTextField()->setText(QString::fromLatin1(number));
        EXPECT_TRUE(sheet->model()->table().searchRows().isEmpty()) << number;
    }
    // Replacing digits everywhere leaves the thumbnail whole.
    sheet->searchTextField()->setText("4");
    sheet->replaceTextField()->setText("9");
    sheet->clickReplaceAll();
    sheet->clickApply();
    window().clickSave();
    ASSERT_TRUE(waitForLoop());
    const QJsonObject tags = ExifTool::read(path, {"-n"});
    EXPECT_EQ(tags.value("IFD1:ThumbnailLength").toInt(), 5448);
    EXPECT_TRUE(ExifTool::warnings(path).isEmpty()) << ExifTool::warnings(path).join(' ').toStdString();
}

TEST_F(MainWindowToolDamageTest, CloneLeavesTheTargetTheTagsOfItsOwnPixelsAndItsName)
{
    const QString source = samples({"npm-canon-s40.jpg"}).first();
    const QString target = smallPictureWithThumbnail("20140426.jpg");
    const QJsonObject before = ExifTool::read(target, {"-n"});
    ASSERT_GT(before.value("IFD1:ThumbnailLength").toInt(), 0);
    ASSERT_TRUE(importAndWait({target}));
    // A working copy of that name already there: the new one is "20140426(1)".
    QFile::copy(target, tempPath("src_temp/20140426(1).jpg"));

    window().toolbarAction("Clone")->trigger();
    TAVClonWindowController* sheet = window().cloneWindowCtlr();
    ASSERT_NE(sheet, nullptr);
    ASSERT_TRUE(sheet->doImportFile(QUrl::fromLocalFile(source)));
    sheet->applyToAll()->setChecked(true);
    ui_.answerAlerts({UiServices::FirstButton, UiServices::FirstButton});
    sheet->clickClone();
    EXPECT_EQ(ui_.alerts().last().message, "The metadata was successfully cloned to 1 file");
    ASSERT_TRUE(QTest::qWaitFor([&] { return images().size() == 1 && !window().isLoopRunning(); }, kPatientMs));
    QCoreApplication::processEvents();

    const QJsonObject after = ExifTool::read(target, {"-n"});
    EXPECT_EQ(after.value("IFD0:Make").toString(), "Canon");
    EXPECT_EQ(after.value("ExifIFD:ExifImageWidth").toInt(), 205);
    EXPECT_EQ(after.value("ExifIFD:ExifImageHeight").toInt(), 102);
    EXPECT_EQ(after.value("IFD0:Orientation").toInt(), 1);
    EXPECT_EQ(after.value("IFD1:ThumbnailLength").toInt(), before.value("IFD1:ThumbnailLength").toInt());
    EXPECT_EQ(after.value("File:ImageWidth").toInt(), 205);
    EXPECT_TRUE(ExifTool::warnings(target).isEmpty()) << ExifTool::warnings(target).join(' ').toStdString();

    // The list names the user's file, not its new working copy.
    TAVPhotoListModel* model = window().photosViewCltr()->listModel();
    EXPECT_EQ(model->data(model->index(0, TAVPhotoListModel::ColumnName), Qt::DisplayRole).toString(), "20140426");
    EXPECT_EQ(images().first()->imageTitle(), "20140426.jpg");
}

// The list keeps the user's sort order and selection when a clone imports its
// targets again, and a row's date stays on one line.
TEST_F(MainWindowToolDamageTest, CloneKeepsTheListsOrderAndSelection)
{
    const QString source = photoWithTags("source.jpg", {{"Exif.Image.Artist", "Cloned"}});
    ASSERT_TRUE(importAndWait({photoWithTags("a.jpg", {}), photoWithTags("b.jpg", {}), photoWithTags("c.jpg", {})}));
    TAVPhotosViewCltr* list = window().photosViewCltr();
    list->tableViewSortDescriptorsDidChange(QStringLiteral("name"), false);
    auto names = [&] {
        QStringList shown;
        for (const auto& image : list->getDataSourceForCurrentState())
            shown << image->imageTitle();
        return shown;
    };
    ASSERT_EQ(names(), (QStringList{"c.jpg", "b.jpg", "a.jpg"}));
    select({1});

    window().toolbarAction("Clone")->trigger();
    TAVClonWindowController* sheet = window().cloneWindowCtlr();
    ASSERT_TRUE(sheet->doImportFile(QUrl::fromLocalFile(source)));
    sheet->applyToAll()->setChecked(false);
    ui_.answerAlerts({UiServices::FirstButton, UiServices::FirstButton});
    const TAVImageObjectPtr before = window().selectedImages().first();
    sheet->clickClone();
    // The import of the clone's target is done once its sheet is down.
    ASSERT_TRUE(QTest::qWaitFor(
        [&] {
            return !images().contains(before) && images().size() == 3
                && !window().progressWindowController()->isSheetUp();
        },
        kPatientMs));
    QCoreApplication::processEvents();
    EXPECT_EQ(names(), (QStringList{"c.jpg", "b.jpg", "a.jpg"}));
    ASSERT_EQ(window().selectedImages().size(), 1);
    EXPECT_EQ(window().selectedImages().first()->imageTitle(), "b.jpg");
    EXPECT_EQ(window().selectedImages().first()->getValueForKey("Exif.Image.Artist", 0), "Cloned");
    EXPECT_FALSE(list->tableView()->wordWrap());
}

TEST_F(MainWindowToolDamageTest, ClearGpsRemovesEveryGpsTagAndItsXmpTwins)
{
    const QString path = photoWithTags("trip.jpg",
        {{"Exif.GPSInfo.GPSLatitudeRef", "N"}, {"Exif.GPSInfo.GPSLatitude", "37/1 46/1 30/1"},
            {"Exif.GPSInfo.GPSLongitudeRef", "W"}, {"Exif.GPSInfo.GPSLongitude", "122/1 25/1 10/1"},
            {"Exif.GPSInfo.GPSTimeStamp", "10/1 11/1 12/1"}, {"Exif.GPSInfo.GPSDateStamp", "2014:04:26"},
            {"Exif.GPSInfo.GPSSpeedRef", "K"}, {"Exif.GPSInfo.GPSSpeed", "12/1"},
            {"Exif.GPSInfo.GPSHPositioningError", "5/1"}, {"Xmp.exif.GPSLatitude", "37,46.5N"},
            {"Xmp.exif.GPSTimeStamp", "2014-04-26T10:11:12Z"}, {"Exif.Image.Artist", "Kept"}});
    ASSERT_TRUE(importAndWait({path}));
    window().clickClearKind(2);
    window().clickSave();
    ASSERT_TRUE(waitForLoop());

    const QJsonObject tags = ExifTool::read(path);
    for (auto it = tags.begin(); it != tags.end(); ++it) {
        EXPECT_FALSE(it.key().startsWith("GPS:")) << it.key().toStdString();
        EXPECT_FALSE(it.key().startsWith("XMP-exif:GPS")) << it.key().toStdString();
    }
    EXPECT_EQ(tags.value("IFD0:Artist").toString(), "Kept");
    auto image = Exiv2::ImageFactory::open(QFile::encodeName(path).toStdString());
    image->readMetadata();
    EXPECT_EQ(image->exifData().findKey(Exiv2::ExifKey("Exif.Image.GPSTag")), image->exifData().end());
}

TEST_F(MainWindowToolDamageTest, ExportXmpAndThumbnailBoxesWriteASidecarAndTheEmbeddedThumbnail)
{
    const QString camera = samples({"npm-canon-s40.jpg"}).first();
    const QString plain = photoWithTags("plain.jpg", {{"Exif.Image.Artist", "Ann"}});
    ASSERT_TRUE(importAndWait({camera, plain}));
    select({0, 1});
    const QString out = tempPath("out");
    QDir().mkpath(out);

    window().toolbarAction("Export Exif")->trigger();
    TAVExportWindowController* sheet = window().exportWindowCtlr();
    ASSERT_NE(sheet, nullptr);
    // EXIF ticked too: the XMP sidecar then carries the EXIF in its XMP form.
    for (const auto& [box, on] : {std::pair{sheet->exifChk(), true}, {sheet->xmpChk(), true}, {sheet->thumbChk(), true},
             {sheet->cvsChk(), false}}) {
        if (box->isChecked() != on)
            box->click();
    }
    sheet->exportPath()->setText(out);
    sheet->clickExport();

    QStringList files = QDir(out).entryList(QDir::Files);
    files.sort();
    EXPECT_EQ(files,
        (QStringList{"npm-canon-s40.exv", "npm-canon-s40.xmp", "npm-canon-s40_thumb.jpg", "plain.exv", "plain.xmp"}));
    // exiftool reads the sidecars as XMP of each image's metadata.
    const QJsonObject cameraXmp = ExifTool::read(out + "/npm-canon-s40.xmp");
    EXPECT_EQ(cameraXmp.value("XMP-tiff:Make").toString(), "Canon");
    EXPECT_EQ(cameraXmp.value("File:FileType").toString(), "XMP");
    EXPECT_EQ(ExifTool::read(out + "/plain.xmp").value("XMP-dc:Creator").toArray(), QJsonArray{"Ann"});
    // The thumbnail is the embedded one, a JPEG of its 5448 bytes.
    EXPECT_EQ(QFileInfo(out + "/npm-canon-s40_thumb.jpg").size(), 5448);
    EXPECT_EQ(ExifTool::read(out + "/npm-canon-s40_thumb.jpg").value("File:FileType").toString(), "JPEG");
    // The image without one is noted in the result.
    ASSERT_FALSE(ui_.alerts().isEmpty());
    EXPECT_TRUE(ui_.alerts().last().message.contains(plain + ": The image has no embedded thumbnail to export."))
        << ui_.alerts().last().message.toStdString();
}

} // namespace
