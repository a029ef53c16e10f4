// Export over the real main window and its export sheet, on copies of camera
// files read back by exiftool: no file already in the folder is written over
// without a question, photos of one base name get files of their own, the
// boxes decide what the files hold, and the export says what it wrote, in an
// alert that stays on the screen however many files it names.
#include "MainWindowFixture.h"

#include "app/TAVPhotosViewCltr.h"
#include "commlib/QtUiServices.h"
#include "support/ExifTool.h"
#include "support/Gallery.h"
#include "support/ImageFixtures.h"
#include "tools/TAVExportWindowController.h"

#include <QAbstractButton>
#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QDir>
#include <QFile>
#include <QJsonObject>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QScreen>
#include <QScrollArea>
#include <QScrollBar>
#include <QTimer>

namespace {

struct Boxes {
    bool exif = false;
    bool xmp = false;
    bool thumbnail = false;
    bool csv = false;
};

QByteArray contents(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<unreadable>");
}

// The tags exiftool reads whose group is one of `groups` ("IFD0", "GPS", ...).
QStringList tagsOfGroups(const QJsonObject& tags, const QStringList& groups)
{
    QStringList found;
    for (auto it = tags.begin(); it != tags.end(); ++it) {
        if (groups.contains(it.key().section(QLatin1Char(':'), 0, 0)))
            found.append(it.key());
    }
    return found;
}

class MainWindowExportTest : public MainWindowTest {
protected:
    QString out() const { return tempPath(QStringLiteral("out")); }
    QStringList written() const
    {
        QStringList files = QDir(out()).entryList(QDir::Files);
        files.sort();
        return files;
    }

    // Selects every photo, opens the export sheet, sets its boxes and the
    // folder and presses Export; the sheet, still up when the user cancelled.
    TAVExportWindowController* exportAll(const Boxes& boxes)
    {
        QList<int> rows;
        for (int row = 0; row < window().photosViewCltr()->maryDataSource().size(); ++row)
            rows.append(row);
        select(rows);
        window().toolbarAction("Export Exif")->trigger();
        TAVExportWindowController* sheet = window().exportWindowCtlr();
        for (const auto& [box, on] : {std::pair{sheet->exifChk(), boxes.exif}, {sheet->xmpChk(), boxes.xmp},
                 {sheet->thumbChk(), boxes.thumbnail}, {sheet->cvsChk(), boxes.csv}}) {
            if (box->isChecked() != on)
                box->click();
        }
        if (sheet->exportInOneFileChk()->isChecked())
            sheet->exportInOneFileChk()->click();
        sheet->exportPath()->setText(out());
        sheet->exportBtn()->click();
        return sheet;
    }
};

TEST_F(MainWindowExportTest, AUsersFileInTheFolderIsWrittenOverOnlyWhenTheUserSaysReplace)
{
    ASSERT_TRUE(importAndWait(samples({"npm-lumia.jpg"})));
    ASSERT_TRUE(QDir().mkpath(out()));
    const QString users = out() + QStringLiteral("/npm-lumia.xmp");
    {
        QFile sidecar(users);
        ASSERT_TRUE(sidecar.open(QIODevice::WriteOnly));
        sidecar.write("<?xpacket the user's own sidecar ?>");
    }
    const QByteArray usersBytes = contents(users);

    // Keep Both: the new files get a name of their own, the user's stays.
    ui_.answerAlerts({UiServices::FirstButton});
    TAVExportWindowController* sheet = exportAll({true, true, false, false});
    ASSERT_EQ(ui_.alerts().size(), 2);
    const UiServices::AlertRequest question = ui_.alerts().first();
    EXPECT_EQ(question.title, QStringLiteral("Replace the file already in the folder?"));
    EXPECT_EQ(question.message,
        QStringLiteral("This export writes a file that is already in \"%1\":\nnpm-lumia.xmp\n\nKeep Both writes the "
                       "new files under names of their own; Replace writes over these.")
            .arg(out()));
    EXPECT_EQ(question.buttons, QStringList({"Keep Both", "Replace", "Cancel"}));
    EXPECT_EQ(contents(users), usersBytes);
    EXPECT_EQ(written(), QStringList({"npm-lumia (2).exv", "npm-lumia (2).xmp", "npm-lumia.xmp"}));
    EXPECT_EQ(ExifTool::read(out() + "/npm-lumia (2).xmp").value("XMP-tiff:Make").toString(), "Nokia");
    EXPECT_EQ(ExifTool::read(out() + "/npm-lumia (2).exv").value("IFD0:Make").toString(), "Nokia");
    EXPECT_EQ(ui_.alerts().last().title, QStringLiteral("Export finished"));
    EXPECT_EQ(ui_.alerts().last().message,
        QStringLiteral("2 files written into \"%1\":\nnpm-lumia (2).exv\nnpm-lumia (2).xmp").arg(out()));
    EXPECT_FALSE(sheet->isSheetUp());

    // Cancel: nothing is written and the sheet stays for another folder.
    ui_.answerAlerts({UiServices::ThirdButton});
    sheet = exportAll({true, true, false, false});
    EXPECT_EQ(ui_.alerts().size(), 3);
    EXPECT_EQ(contents(users), usersBytes);
    EXPECT_EQ(written(), QStringList({"npm-lumia (2).exv", "npm-lumia (2).xmp", "npm-lumia.xmp"}));
    EXPECT_TRUE(sheet->isSheetUp());
    window().endSheetWindow(sheet->window());

    // Replace: the user said so.
    ui_.answerAlerts({UiServices::SecondButton});
    exportAll({true, true, false, false});
    EXPECT_EQ(written(), QStringList({"npm-lumia (2).exv", "npm-lumia (2).xmp", "npm-lumia.exv", "npm-lumia.xmp"}));
    EXPECT_EQ(ExifTool::read(users).value("XMP-tiff:Make").toString(), "Nokia");
}

// A photo's thumbnail is a TIFF when its camera stored the pixels
// uncompressed: the user's own "_thumb.tif" in the folder is asked about
// like any other file the export writes.
TEST_F(MainWindowExportTest, AUsersTiffThumbnailInTheFolderIsAskedAboutAndKept)
{
    const QString photo = samples({"npm-canon-s40.jpg"}).first();
    ASSERT_TRUE(ImageFixtures::giveTiffThumbnail(photo, QSize(4, 3)));
    ASSERT_TRUE(importAndWait({photo}));
    ASSERT_TRUE(QDir().mkpath(out()));
    const QString users = out() + QStringLiteral("/npm-canon-s40_thumb.tif");
    {
        QFile own(users);
        ASSERT_TRUE(own.open(QIODevice::WriteOnly));
        own.write("the user's own picture");
    }

    ui_.answerAlerts({UiServices::FirstButton});
    exportAll({false, false, true, false});
    ASSERT_EQ(ui_.alerts().size(), 2);
    EXPECT_EQ(ui_.alerts().first().title, QStringLiteral("Replace the file already in the folder?"));
    EXPECT_TRUE(ui_.alerts().first().message.contains(QStringLiteral("\nnpm-canon-s40_thumb.tif\n")))
        << ui_.alerts().first().message.toStdString();
    EXPECT_EQ(contents(users), QByteArray("the user's own picture"));
    EXPECT_EQ(
        written(), QStringList({"npm-canon-s40 (2).exv", "npm-canon-s40 (2)_thumb.tif", "npm-canon-s40_thumb.tif"}));
    const QJsonObject thumbnail = ExifTool::read(out() + QStringLiteral("/npm-canon-s40 (2)_thumb.tif"));
    EXPECT_EQ(thumbnail.value("File:FileType").toString(), "TIFF");
    EXPECT_EQ(thumbnail.value("IFD0:ImageWidth").toInt(), 4);
}

TEST_F(MainWindowExportTest, TwoPhotosOfOneBaseNameGetFilesOfTheirOwn)
{
    const QString jpeg = ImageFixtures::copySample("npm-lumia.jpg", tempPath("in"));
    const QString tiff = ImageFixtures::copySample("goexif.tif", tempPath("in"));
    ASSERT_TRUE(QFile::rename(jpeg, tempPath("in/same.jpg")));
    ASSERT_TRUE(QFile::rename(tiff, tempPath("in/same.tif")));
    ASSERT_TRUE(importAndWait({tempPath("in/same.jpg"), tempPath("in/same.tif")}));

    exportAll({true, false, false, true});
    EXPECT_EQ(written(), QStringList({"same.csv", "same.exv", "same.tif.csv", "same.tif.exv"}));
    const QJsonObject first = ExifTool::read(out() + "/same.exv");
    const QJsonObject second = ExifTool::read(out() + "/same.tif.exv");
    EXPECT_EQ(first.value("IFD0:Make").toString(), "Nokia");
    EXPECT_EQ(second.value("IFD0:ImageDescription").toString(), "converted PBM file");
    EXPECT_FALSE(second.contains("IFD0:Make"));
    EXPECT_TRUE(contents(out() + "/same.csv").contains("Exif.Image.Make,ASCII,Nokia\n"));
    EXPECT_TRUE(contents(out() + "/same.tif.csv").contains("converted PBM file"));
    EXPECT_FALSE(contents(out() + "/same.tif.csv").contains("Nokia"));
    // Nothing was in the folder: no question, and the four files are named.
    ASSERT_EQ(ui_.alerts().size(), 1);
    EXPECT_EQ(ui_.alerts().first().message,
        QStringLiteral("4 files written into \"%1\":\nsame.exv\nsame.csv\nsame.tif.exv\nsame.tif.csv").arg(out()));
}

TEST_F(MainWindowExportTest, WithOnlyXmpTickedNoExifAndNoPositionLeave)
{
    const QString photo = samples({"npm-lumia.jpg"}).first();
    ASSERT_TRUE(ImageFixtures::writeTags(photo, {{"Xmp.dc.title", "lang=x-default Harbour", std::nullopt}}));
    ASSERT_TRUE(importAndWait({photo}));
    ASSERT_FALSE(tagsOfGroups(ExifTool::read(photo), {"IFD0", "ExifIFD", "GPS"}).isEmpty());

    exportAll({false, true, false, true});
    EXPECT_EQ(written(), QStringList({"npm-lumia.csv", "npm-lumia.exv", "npm-lumia.xmp"}));
    const QStringList exifGroups{"IFD0", "IFD1", "ExifIFD", "GPS", "InteropIFD", "MakerNotes", "XMP-exif", "XMP-tiff"};
    for (const QString& file : {QStringLiteral("npm-lumia.exv"), QStringLiteral("npm-lumia.xmp")}) {
        SCOPED_TRACE(file.toStdString());
        const QJsonObject tags = ExifTool::read(out() + "/" + file);
        EXPECT_EQ(tagsOfGroups(tags, exifGroups), QStringList());
        EXPECT_FALSE(tags.contains("Composite:GPSPosition"));
        EXPECT_EQ(tags.value("XMP-dc:Title").toString(), "Harbour");
    }
    const QByteArray table = contents(out() + "/npm-lumia.csv");
    EXPECT_TRUE(table.contains("Xmp.dc.title,"));
    EXPECT_FALSE(table.contains("Exif.")) << table.constData();
}

// Real alerts: the question and the closing alert of an export of 40 photos
// (80 files), which stays on the screen with its list scrolled.
TEST_F(MainWindowExportTest, TheAlertsOfALargeExportStayOnTheScreen)
{
    QStringList photos;
    const QString sample = ImageFixtures::copySample("npm-canon-s40.jpg", tempPath("in"));
    for (int index = 1; index <= 40; ++index) {
        photos.append(tempPath(QStringLiteral("in/IMG_%1.jpg").arg(index, 4, 10, QLatin1Char('0'))));
        ASSERT_TRUE(QFile::copy(sample, photos.last()));
    }
    ASSERT_TRUE(QFile::remove(sample));
    ASSERT_TRUE(importAndWait(photos));
    ASSERT_TRUE(QDir().mkpath(out()));
    ASSERT_TRUE(QFile(out() + "/IMG_0001.exv").open(QIODevice::WriteOnly));

    QtUiServices real;
    UiServices::setShared(&real);
    QStringList titles;
    QTimer answer;
    answer.setInterval(0);
    QObject::connect(&answer, &QTimer::timeout, [&] {
        auto* alert = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
        if (alert == nullptr)
            return;
        titles.append(alert->windowTitle());
        const QRect screen = alert->screen()->availableGeometry();
        EXPECT_LE(alert->frameGeometry().height(), screen.height()) << alert->windowTitle().toStdString();
        for (QAbstractButton* button : alert->buttons())
            EXPECT_TRUE(screen.contains(QRect(button->mapToGlobal(QPoint(0, 0)), button->size())));
        const bool question = titles.size() == 1;
        EXPECT_TRUE(Gallery::capture(alert, question ? "export-replace-question" : "export-finished-long-list"));
        if (!question) {
            auto* area = alert->findChild<QScrollArea*>();
            ASSERT_NE(area, nullptr);
            EXPECT_GT(area->verticalScrollBar()->maximum(), 0);
        }
        for (QAbstractButton* button : alert->buttons()) {
            if (button->text() == (question ? QStringLiteral("Keep Both") : QStringLiteral("OK")))
                button->click();
        }
    });
    answer.start();
    exportAll({true, false, false, true});
    answer.stop();
    UiServices::setShared(&ui_);

    EXPECT_EQ(titles, QStringList({"Replace the file already in the folder?", "Export finished"}));
    EXPECT_EQ(written().size(), 81);
    EXPECT_TRUE(written().contains("IMG_0001 (2).exv"));
    EXPECT_EQ(ExifTool::read(out() + "/IMG_0040.exv").value("IFD0:Make").toString(), "Canon");
}

} // namespace
