#include "tools/TAVClonWindowController.h"
#include "tools/TAVClonMetadataModel.h"
#include "tools/TAVClonWindowControllerDelegate.h"

#include "commlib/QtWorkspace.h"
#include "commlib/VXCommonView.h"
#include "commlib/VXCommonWindowController.h"
#include "foundation/FileServices.h"
#include "foundation/TextServices.h"
#include "gps/FDStaticMapView.h"
#include "webmapkit/MapClock.h"
#include "webmapkit/MapTestSupport.h"

#include "support/ExifTool.h"
#include "support/FakeUiServices.h"
#include "support/FakeWorkspace.h"
#include "support/Gallery.h"
#include "support/ImageFixtures.h"
#include "support/LoopbackHttpServer.h"
#include "support/Patience.h"
#include "support/QtPrinters.h"
#include "support/SyntheticDrops.h"
#include "support/TempFolder.h"

#include <QApplication>
#include <QBuffer>
#include <QCheckBox>
#include <QDir>
#include <QFile>
#include <QImage>
#include <QLabel>
#include <QPainter>
#include <QTest>

#include <gtest/gtest.h>

#include <memory>

namespace {

using Tag = ImageFixtures::Tag;

const std::vector<Tag> kCameraTags = {
    {QStringLiteral("Exif.Image.Make"), QStringLiteral("Canon"), std::nullopt},
    {QStringLiteral("Exif.Image.Model"), QStringLiteral("Canon EOS 5D"), std::nullopt},
    {QStringLiteral("Exif.Image.DateTime"), QStringLiteral("2021:05:06 07:08:09"), std::nullopt},
    {QStringLiteral("Exif.Photo.LensModel"), QStringLiteral("EF50mm f/1.8"), std::nullopt},
};
const std::vector<Tag> kExposureTags = {
    {QStringLiteral("Exif.Photo.FNumber"), QStringLiteral("28/10"), std::nullopt},
    {QStringLiteral("Exif.Photo.FocalLength"), QStringLiteral("50/1"), std::nullopt},
    {QStringLiteral("Exif.Photo.ISOSpeedRatings"), QStringLiteral("100"), std::nullopt},
};
// Sydney: south and west of the origin once the longitude is made western.
const std::vector<Tag> kSouthWestFix = {
    {QStringLiteral("Exif.GPSInfo.GPSLatitudeRef"), QStringLiteral("S"), std::nullopt},
    {QStringLiteral("Exif.GPSInfo.GPSLatitude"), QStringLiteral("33/1 52/1 0/1"), std::nullopt},
    {QStringLiteral("Exif.GPSInfo.GPSLongitudeRef"), QStringLiteral("W"), std::nullopt},
    {QStringLiteral("Exif.GPSInfo.GPSLongitude"), QStringLiteral("151/1 12/1 36/1"), std::nullopt},
};

std::vector<Tag> joined(std::initializer_list<std::vector<Tag>> parts)
{
    std::vector<Tag> all;
    for (const auto& part : parts) {
        all.insert(all.end(), part.begin(), part.end());
    }
    return all;
}

// A stand-in map picture: water with a red marker in the middle.
QByteArray mapPicture()
{
    QImage image(480, 340, QImage::Format_RGB32);
    image.fill(QColor(170, 211, 223));
    QPainter(&image).fillRect(QRect(228, 158, 24, 24), QColor(214, 40, 40));
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    image.save(&buffer, "PNG");
    return bytes;
}

QByteArray bytesOf(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

// Answers the sheet as the main window would and records what it was told.
class FakeCloneDelegate : public TAVClonWindowControllerDelegate {
public:
    bool hasUnsaveModified(bool allImages) override
    {
        askedAllImages = allImages;
        return unsaved;
    }
    std::optional<QList<TAVImageObjectPtr>> didCloneWindowControllerAskForApplyImage(bool allImages) override
    {
        askedAllImages = allImages;
        ++targetRequests;
        return targets;
    }
    void didCloneWindowControllerFinishClone(const QList<TAVImageObjectPtr>& images) override
    {
        finished.append(images);
    }

    bool unsaved = false;
    bool confirmWholeListChange(
        const QString& title, const QString& what, const QString& action, const QString& consequence) override
    {
        wholeListQuestions.append(QStringList{title, what, action, consequence});
        return wholeListAnswer;
    }

    std::optional<QList<TAVImageObjectPtr>> targets;
    bool wholeListAnswer = true;
    QList<QStringList> wholeListQuestions;
    bool askedAllImages = false;
    int targetRequests = 0;
    QList<QList<TAVImageObjectPtr>> finished;
};

class CloneSheetTest : public TempFolderTest {
protected:
    void SetUp() override
    {
        TempFolderTest::SetUp();
        UiServices::setShared(&ui_);
        Workspace::setShared(&workspace_);
        MapClock::setDefaultClock(&clock_);
        ASSERT_TRUE(server_.start());
        server_.setHandler([](const LoopbackRequest&) { return LoopbackResponse::png(mapPicture()); });
        qputenv("LUMETTA_STATICMAPURL", server_.url().toUtf8());
        mainWindow_.window()->resize(900, 700);
        mainWindow_.showNormalWindow();
        sheet_ = std::make_unique<TAVClonWindowController>(&delegate_);
    }
    void TearDown() override
    {
        sheet_.reset();
        qputenv("LUMETTA_STATICMAPURL", "");
        MapClock::setDefaultClock(nullptr);
        UiServices::setShared(nullptr);
        Workspace::setShared(nullptr);
    }

    QString image(const QString& name, const std::vector<Tag>& tags)
    {
        const QString path = tempPath(name);
        EXPECT_TRUE(ImageFixtures::makeImageWithTags(path, tags)) << name.toStdString();
        return path;
    }

    // A target as the photo list holds it: the user's file is its source path.
    static TAVImageObjectPtr target(const QString& path)
    {
        TAVImageObjectPtr object = TAVImageObject::create();
        object->setSrcPath(path);
        return object;
    }

    void openSheet()
    {
        mainWindow_.beginSheetWindow(sheet_->window());
        QApplication::processEvents();
    }

    QStringList alertTitles() const
    {
        QStringList titles;
        for (const auto& alert : ui_.alerts()) {
            titles << alert.title;
        }
        return titles;
    }

    FakeUiServices ui_;
    FakeWorkspace workspace_;
    ManualMapClock clock_;
    LoopbackHttpServer server_;
    FakeCloneDelegate delegate_;
    VXCommonWindowController mainWindow_;
    std::unique_ptr<TAVClonWindowController> sheet_;
};

} // namespace

TEST_F(CloneSheetTest, PreviewLinesAndMapFollowTheSource)
{
    struct Case {
        const char* name;
        std::vector<Tag> tags;
        QString line1, line2, line3;
        bool map;
    };
    const QString model = QStringLiteral("Canon EOS 5D");
    const QString date = QStringLiteral("2021:05:06 07:08:09");
    const std::vector<Tag> twoValueLatitude = {
        {QStringLiteral("Exif.GPSInfo.GPSLatitudeRef"), QStringLiteral("N"), std::nullopt},
        {QStringLiteral("Exif.GPSInfo.GPSLatitude"), QStringLiteral("33/1 52/1"), std::nullopt},
        {QStringLiteral("Exif.GPSInfo.GPSLongitudeRef"), QStringLiteral("E"), std::nullopt},
        {QStringLiteral("Exif.GPSInfo.GPSLongitude"), QStringLiteral("151/1 12/1 36/1"), std::nullopt},
    };
    const std::vector<Case> cases = {
        {"full", joined({kCameraTags, kExposureTags, kSouthWestFix}), model, date,
            QStringLiteral("f/2.8, 50mm, ISO100"), true},
        {"date-only", {{QStringLiteral("Exif.Image.DateTime"), date, std::nullopt}}, date, QString(), QString(), false},
        {"no-fnumber", joined({kCameraTags, {kExposureTags[1], kExposureTags[2]}}), model, date,
            QStringLiteral(", 50mm, ISO100"), false},
        {"two-value-latitude", joined({kCameraTags, twoValueLatitude}), model, date, QString(), false},
    };
    openSheet();
    EXPECT_TRUE(sheet_->filenameLabel()->text().isEmpty());
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const int requestsBefore = server_.requestCount();
        const QString path = image(QStringLiteral("%1.jpg").arg(QLatin1String(c.name)), c.tags);
        ASSERT_TRUE(sheet_->doImportFile(QUrl::fromLocalFile(path)));
        EXPECT_EQ(sheet_->info1Label()->text(), c.line1);
        EXPECT_EQ(sheet_->info2Label()->text(), c.line2);
        EXPECT_EQ(sheet_->info3Label()->text(), c.line3);
        EXPECT_EQ(sheet_->filenameLabel()->text(), QStringLiteral("%1.jpg").arg(QLatin1String(c.name)));
        EXPECT_EQ(sheet_->filesizeLabel()->text(), TextServices::sizeStringWithBytes(FileServices::fileSize(path)));
        EXPECT_EQ(workspace_.iconRequests().last(), path);
        EXPECT_EQ(sheet_->mapView()->isHidden(), !c.map);
        if (c.map) {
            ASSERT_TRUE(server_.waitForRequests(requestsBefore + 1));
            EXPECT_TRUE(server_.requests()
                            .last()
                            .query()
                            .queryItemValue(QStringLiteral("center"))
                            .startsWith(QStringLiteral("-33.866665,-151.209991")))
                << server_.requests().last().target.toStdString();
            ASSERT_TRUE(QTest::qWaitFor([&] { return sheet_->mapView()->hasPicture(); }, kPatientMs));
        } else {
            QTest::qWait(20);
            EXPECT_EQ(server_.requestCount(), requestsBefore) << "no map asked for";
        }
        // The table lists every key with a value, showing its text.
        const TAVClonMetadataModel& table = *sheet_->model();
        ASSERT_EQ(table.rowCount(), sheet_->mVaildData().size());
        const int row = static_cast<int>(sheet_->mVaildData().indexOf(QStringLiteral("Exif.Image.DateTime")));
        ASSERT_GE(row, 0);
        EXPECT_EQ(table.index(row, 1).data().toString(), date);
    }

    // The gallery shows the desktop's own icon for the source.
    QtWorkspace desktop;
    Workspace::setShared(&desktop);
    ASSERT_TRUE(sheet_->doImportFile(QUrl::fromLocalFile(tempPath(QStringLiteral("full.jpg")))));
    ASSERT_TRUE(QTest::qWaitFor([&] { return sheet_->mapView()->hasPicture(); }, kPatientMs));
    EXPECT_TRUE(Gallery::capture(sheet_->window(), QStringLiteral("clone-sheet-source")));
}

TEST_F(CloneSheetTest, DropsTakeFoldersAndImagesAndAFailedReadKeepsThePreview)
{
    openSheet();
    const QString source = image(QStringLiteral("source.jpg"), kCameraTags);
    EXPECT_FALSE(sheet_->didWindowAccepteDragFiles(sheet_->window(), {}));
    EXPECT_FALSE(sheet_->didWindowAccepteDragFiles(sheet_->window(), {tempPath(QStringLiteral("notes.txt"))}));
    EXPECT_TRUE(ui_.alerts().isEmpty());
    // A real drop on the sheet's drop view reaches it.
    const std::unique_ptr<QMimeData> dropped(SyntheticDrop::files({source}));
    ASSERT_TRUE(SyntheticDrop::onto(sheet_->dropView(), *dropped).dropped);
    EXPECT_EQ(sheet_->fileURL(), QUrl::fromLocalFile(source));
    const QStringList keys = sheet_->mVaildData();

    const QString folder = tempPath(QStringLiteral("folder"));
    ASSERT_TRUE(QDir().mkpath(folder));
    EXPECT_FALSE(sheet_->didWindowAccepteDragFiles(sheet_->window(), {folder, source}));
    ASSERT_EQ(ui_.alerts().size(), 1);
    EXPECT_EQ(ui_.alerts().first().title, QStringLiteral("Error"));
    EXPECT_EQ(ui_.alerts().first().message,
        QStringLiteral("Could not read metadata.Either the file is corrupted or does not contain any supported "
                       "metadata format."));
    EXPECT_EQ(ui_.alerts().first().buttons, QStringList{QStringLiteral("Dismiss")});
    EXPECT_EQ(sheet_->metadata(), nullptr);
    // The previous preview and keys stay; their values are gone with the metadata.
    EXPECT_EQ(sheet_->filenameLabel()->text(), QStringLiteral("source.jpg"));
    EXPECT_EQ(sheet_->model()->rowCount(), keys.size());
    EXPECT_EQ(sheet_->model()->index(0, 1).data().toString(), QString());

    // The open panel: one file, no type filter.
    ui_.answerOpenPanel({source});
    sheet_->clickOpenFile();
    ASSERT_EQ(ui_.openPanels().size(), 1);
    EXPECT_TRUE(ui_.openPanels().first().chooseFiles);
    EXPECT_FALSE(ui_.openPanels().first().chooseFolders || ui_.openPanels().first().allowsMultipleSelection);
    EXPECT_TRUE(ui_.openPanels().first().fileTypes.isEmpty());
    EXPECT_NE(sheet_->metadata(), nullptr);
}

TEST_F(CloneSheetTest, ClonesOntoTargetsSkippingTheIdenticalFileAndCountingIt)
{
    const QString source = image(QStringLiteral("source.jpg"), joined({kCameraTags, kSouthWestFix}));
    const QString identical = tempPath(QStringLiteral("identical.jpg"));
    ASSERT_TRUE(QFile::copy(source, identical));
    const QStringList others{image(QStringLiteral("a.jpg"),
                                 {{QStringLiteral("Exif.Image.Make"), QStringLiteral("Nikon"), std::nullopt},
                                     {QStringLiteral("Exif.Image.Orientation"), QStringLiteral("6"), std::nullopt}}),
        image(
            QStringLiteral("b.jpg"), {{QStringLiteral("Exif.Image.Orientation"), QStringLiteral("3"), std::nullopt}})};
    const QByteArray identicalBytes = bytesOf(identical);
    const QDateTime identicalDate = FileServices::modificationDate(identical);
    openSheet();
    ASSERT_TRUE(sheet_->doImportFile(QUrl::fromLocalFile(source)));
    delegate_.targets = QList<TAVImageObjectPtr>{target(identical), target(others[0]), target(others[1])};

    sheet_->clickClone();
    EXPECT_FALSE(delegate_.askedAllImages);
    ASSERT_EQ(alertTitles(),
        (QStringList{QStringLiteral("Clone the metadata of source.jpg onto the selected photos?"),
            QStringLiteral("Metadata cloned")}));
    EXPECT_EQ(ui_.alerts()[0].message,
        QStringLiteral("This writes the metadata of the source photo into the files of the selected photos. The files "
                       "are written at once; this cannot be undone."));
    EXPECT_EQ(ui_.alerts()[0].buttons, (QStringList{QStringLiteral("Clone"), QStringLiteral("Cancel")}));
    EXPECT_EQ(ui_.alerts()[0].defaultButton, 1) << "Return does not write files";
    EXPECT_EQ(ui_.alerts()[1].message, QStringLiteral("The metadata was successfully cloned to 3 files"));
    EXPECT_EQ(ui_.alerts()[1].style, UiServices::AlertStyle::Informational);
    EXPECT_EQ(bytesOf(identical), identicalBytes);
    EXPECT_EQ(FileServices::modificationDate(identical), identicalDate);
    const QList<int> orientations{6, 3};
    for (int i = 0; i < others.size(); ++i) {
        const QJsonObject tags = ExifTool::read(others[i], {QStringLiteral("-n")});
        EXPECT_EQ(tags.value(QStringLiteral("IFD0:Make")).toString(), QStringLiteral("Canon"));
        EXPECT_EQ(tags.value(QStringLiteral("IFD0:Model")).toString(), QStringLiteral("Canon EOS 5D"));
        EXPECT_NEAR(tags.value(QStringLiteral("GPS:GPSLatitude")).toDouble(), 33.8667, 1e-3);
        EXPECT_EQ(tags.value(QStringLiteral("GPS:GPSLongitudeRef")).toString(), QStringLiteral("W"));
        EXPECT_EQ(tags.value(QStringLiteral("IFD0:Orientation")).toInt(), orientations[i]) << "keeps its own";
    }
    ASSERT_EQ(delegate_.finished.size(), 1);
    EXPECT_EQ(delegate_.finished.first(), *delegate_.targets);
    EXPECT_FALSE(sheet_->isSheetUp());

    // One target, all images: "file" without "s". The box and source stay.
    openSheet();
    sheet_->applyToAll()->setChecked(true);
    delegate_.targets = QList<TAVImageObjectPtr>{target(others[0])};
    sheet_->clickClone();
    EXPECT_TRUE(delegate_.askedAllImages);
    // The whole list is asked about by the window, which knows what its search hides.
    ASSERT_EQ(delegate_.wholeListQuestions.size(), 1);
    EXPECT_EQ(delegate_.wholeListQuestions[0],
        (QStringList{QStringLiteral("Clone the metadata of source.jpg onto every photo in the list?"),
            QStringLiteral("This writes the metadata of the source photo into the files of %1."),
            QStringLiteral("Clone"), QStringLiteral(" The files are written at once; this cannot be undone.")}));
    EXPECT_EQ(ui_.alerts().size(), 3);
    EXPECT_EQ(ui_.alerts().last().message, QStringLiteral("The metadata was successfully cloned to 1 file"));
    EXPECT_EQ(sheet_->filenameLabel()->text(), QStringLiteral("source.jpg"));
}

TEST_F(CloneSheetTest, UnsavedChangesAskOnceAndCancelWritesNothing)
{
    const QString source = image(QStringLiteral("source.jpg"), kCameraTags);
    const QString other = image(
        QStringLiteral("other.jpg"), {{QStringLiteral("Exif.Image.Make"), QStringLiteral("Nikon"), std::nullopt}});
    const QByteArray otherBytes = bytesOf(other);
    openSheet();
    ASSERT_TRUE(sheet_->doImportFile(QUrl::fromLocalFile(source)));
    delegate_.unsaved = true;
    delegate_.targets = QList<TAVImageObjectPtr>{target(other)};

    ui_.answerAlerts({UiServices::FirstButton}); // "Cancel"
    sheet_->clickClone();
    ASSERT_EQ(ui_.alerts().size(), 1);
    EXPECT_EQ(ui_.alerts()[0].title, QStringLiteral("Discard the unsaved changes and clone?"));
    EXPECT_EQ(ui_.alerts()[0].message,
        QStringLiteral("Some of the photos to be cloned onto have changes that are not saved. The clone writes the "
                       "metadata of source.jpg into their files and the changes are lost."));
    EXPECT_EQ(ui_.alerts()[0].buttons, (QStringList{QStringLiteral("Cancel"), QStringLiteral("Discard and Clone")}));
    EXPECT_EQ(ui_.alerts()[0].defaultButton, 0);
    EXPECT_EQ(delegate_.targetRequests, 0);
    EXPECT_EQ(bytesOf(other), otherBytes);
    EXPECT_FALSE(sheet_->isSheetUp());

    openSheet();
    ui_.answerAlerts({UiServices::SecondButton}); // "Discard and Clone"
    sheet_->clickClone();
    EXPECT_EQ(alertTitles(),
        (QStringList{QStringLiteral("Discard the unsaved changes and clone?"),
            QStringLiteral("Discard the unsaved changes and clone?"), QStringLiteral("Metadata cloned")}))
        << "no second question";
    EXPECT_EQ(ExifTool::read(other).value(QStringLiteral("IFD0:Make")).toString(), QStringLiteral("Canon"));
    EXPECT_EQ(delegate_.finished.size(), 1);

    // A delegate that does not answer with targets: nothing is cloned.
    delegate_.targets.reset();
    delegate_.unsaved = false;
    openSheet();
    sheet_->clickClone();
    EXPECT_EQ(ui_.alerts().size(), 4);
    EXPECT_EQ(delegate_.finished.size(), 1);
}

TEST_F(CloneSheetTest, AFailedTargetIsReportedWhileTheWrittenOnesAreHandedOver)
{
    const QString source = image(QStringLiteral("source.jpg"), kCameraTags);
    const QString good = image(
        QStringLiteral("good.jpg"), {{QStringLiteral("Exif.Image.Make"), QStringLiteral("Nikon"), std::nullopt}});
    const QString text = tempPath(QStringLiteral("x.jpg"));
    {
        QFile file(text);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write("plain text, not an image\n");
    }
    const QByteArray textBytes = bytesOf(text);
    const QByteArray goodBytes = bytesOf(good);

    // No source yet: said at once, before any question; the sheet stays up
    // for a source to be chosen and nothing is touched.
    openSheet();
    delegate_.targets = QList<TAVImageObjectPtr>{target(good)};
    sheet_->clickClone();
    ASSERT_EQ(ui_.alerts().size(), 1);
    EXPECT_EQ(ui_.alerts().last().title, QStringLiteral("No source chosen"));
    EXPECT_EQ(delegate_.targetRequests, 0);
    EXPECT_TRUE(sheet_->isSheetUp());
    EXPECT_EQ(bytesOf(good), goodBytes);
    EXPECT_TRUE(delegate_.finished.isEmpty());

    openSheet();
    ASSERT_TRUE(sheet_->doImportFile(QUrl::fromLocalFile(source)));
    const TAVImageObjectPtr written = target(good);
    delegate_.targets = QList<TAVImageObjectPtr>{target(text), written};
    sheet_->clickClone();
    EXPECT_EQ(ui_.alerts().last().title, QStringLiteral("Errors"));
    EXPECT_EQ(ui_.alerts().last().message,
        QStringLiteral("Some error occurred when attempting to clone metadata; these files were left as they were:\n"
                       "x.jpg: The metadata could not be written"));
    EXPECT_EQ(bytesOf(text), textBytes);
    EXPECT_EQ(ExifTool::read(good).value(QStringLiteral("IFD0:Make")).toString(), QStringLiteral("Canon"));
    ASSERT_EQ(delegate_.finished.size(), 1);
    EXPECT_EQ(delegate_.finished.first(), QList<TAVImageObjectPtr>{written});
}
