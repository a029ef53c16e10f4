#include "PhotoListFixture.h"

#include "app/TAVPhotoListModel.h"
#include "commlib/VXDropInTipsView.h"
#include "commlib/VXKeyPressTableView.h"
#include "foundation/Dispatch.h"
#include "foundation/FileServices.h"
#include "support/ExifTool.h"
#include "support/FileSizeLimit.h"
#include "support/ImageFixtures.h"
#include "support/Patience.h"

#include <QDir>
#include <QFileInfo>
#include <QHeaderView>
#include <QMimeData>
#include <QTest>
#include <QToolButton>

#include <gmock/gmock.h>

#include <exiv2/exiv2.hpp>

#include <algorithm>

#include <sys/stat.h>
#include <unistd.h>

TEST_F(PhotoListTest, ImportTakesAcceptedRegularFilesOnceWithNumberedWorkingCopies)
{
    makeList();
    const QString upper = photo(QStringLiteral("in/X.JPG"));
    const QString first = photo(QStringLiteral("one/a.jpg"));
    const QString second = photo(QStringLiteral("two/a.jpg"), QSize(30, 20));
    const QDateTime taken(QDate(2001, 2, 3), QTime(4, 5, 6));
    ASSERT_TRUE(FileServices::setFileDates(first, taken));
    ASSERT_TRUE(FileServices::setFileDates(second, taken.addDays(1)));
    QFile text(tempPath(QStringLiteral("in/notes.txt")));
    ASSERT_TRUE(text.open(QIODevice::WriteOnly));
    text.write("not a picture");
    text.close();
    QFile::copy(upper, tempPath(QStringLiteral("in/noextension")));
    ASSERT_TRUE(QDir().mkpath(tempPath(QStringLiteral("in/folder.jpg"))));
    ASSERT_EQ(::mkfifo(QFile::encodeName(tempPath(QStringLiteral("in/pipe.jpg"))).constData(), 0600), 0);
    const QString deep = photo(QStringLiteral("in/sub/deep.jpg"));

    // The folder "in" counts one level deep; "one/a.jpg" is named twice.
    ASSERT_TRUE(importAndWait({tempPath(QStringLiteral("in")), first, second, first}));

    EXPECT_THAT(shownNames(), ::testing::UnorderedElementsAre("X.JPG", "a.jpg", "a(1).jpg"));
    QMap<QString, QString> sourceOf;
    for (const TAVImageObjectPtr& image : list_->maryDataSource()) {
        sourceOf.insert(QFileInfo(image->path()).fileName(), image->srcPath());
        EXPECT_EQ(QFileInfo(image->path()).absolutePath(), tempPath(QStringLiteral("src_temp")));
    }
    EXPECT_EQ(sourceOf.value("X.JPG"), upper);
    EXPECT_EQ(sourceOf.value("a.jpg"), first);
    EXPECT_EQ(sourceOf.value("a(1).jpg"), second);
    EXPECT_FALSE(sourceOf.values().contains(deep));
    EXPECT_EQ(FileServices::modificationDate(tempPath(QStringLiteral("src_temp/a.jpg"))), taken);
    EXPECT_EQ(FileServices::modificationDate(tempPath(QStringLiteral("src_temp/a(1).jpg"))), taken.addDays(1));
    EXPECT_FALSE(QFileInfo::exists(tempPath(QStringLiteral("src_temp/folder.jpg"))));
    EXPECT_FALSE(QFileInfo::exists(tempPath(QStringLiteral("src_temp/pipe.jpg"))));
    EXPECT_TRUE(ui_.alerts().isEmpty()) << "skipping what is no picture file is not an error";
    EXPECT_EQ(delegate_.imported.size(), 3);
    EXPECT_TRUE(list_->fileSegment(TAVPhotosViewCltr::SegmentClear)->isEnabled());
}

TEST_F(PhotoListTest, ProgressComesInPathOrderThenTheFinish)
{
    makeList();
    const QStringList paths = {photo("c.jpg"), photo("a.png"), photo("b.tif")};
    ASSERT_TRUE(importAndWait(paths));
    EXPECT_EQ(delegate_.calls, QStringList({"start", "0.000", "0.333", "0.667", "finish"}));
    EXPECT_EQ(list_->selectedIndexes(), QList<int>({0})) << "the first image is selected";
}

TEST_F(PhotoListTest, TheSameFileComesInAgainOnlyAfterItsRemoval)
{
    makeList();
    const QString file = photo("once.jpg");
    ASSERT_TRUE(importAndWait({file}));
    ASSERT_TRUE(importAndWait({file}));
    EXPECT_EQ(list_->maryDataSource().size(), 1);

    list_->clearAllImageObjects();
    ASSERT_TRUE(list_->maryDataSource().isEmpty());
    ASSERT_TRUE(importAndWait({file}));
    EXPECT_EQ(list_->maryDataSource().size(), 1);
    EXPECT_EQ(list_->maryDataSource().first()->srcPath(), file);
}

TEST_F(PhotoListTest, DropsWithNothingToImportStartNothing)
{
    makeList();
    ASSERT_TRUE(QDir().mkpath(tempPath("empty")));
    EXPECT_TRUE(list_->handleImportImages({tempPath("empty")}));
    QTest::qWait(50);
    EXPECT_TRUE(delegate_.calls.isEmpty());

    EXPECT_FALSE(list_->handleImportImages({tempPath("readme.txt"), tempPath("noextension")}));
    EXPECT_FALSE(list_->addImagesFromDirectory({}));
    EXPECT_TRUE(delegate_.calls.isEmpty());
}

TEST_F(PhotoListTest, FilesThatCannotBeCopiedAreLeftOutAndNamedInOneAlert)
{
    QFile blocker(tempPath("plain-file"));
    ASSERT_TRUE(blocker.open(QIODevice::WriteOnly));
    blocker.close();
    makeList(tempPath("plain-file/src_temp"));
    const QString first = photo("first.jpg");
    const QString second = photo("second.jpg");

    ASSERT_TRUE(importAndWait({first, second}));

    EXPECT_TRUE(list_->maryDataSource().isEmpty());
    ASSERT_EQ(ui_.alerts().size(), 1);
    EXPECT_EQ(ui_.alerts().first().title, "Errors");
    EXPECT_TRUE(ui_.alerts().first().message.contains(first));
    EXPECT_TRUE(ui_.alerts().first().message.contains(second));
    ASSERT_NE(list_->tipsView(), nullptr);
    EXPECT_FALSE(list_->tipsView()->isHidden());

    // Nothing of theirs stays claimed: a working folder that works takes them.
    list_->setCustomDelegate(nullptr);
    makeList();
    ASSERT_TRUE(importAndWait({first, second}));
    EXPECT_EQ(list_->maryDataSource().size(), 2);
}

// Writes past 16 KiB fail, as on a nearly full disk: a camera photo's working
// copy comes up short, so the photo is left out and named, never imported
// from its cut copy; a small photo still comes in.
TEST_F(PhotoListTest, APhotoWhoseWorkingCopyComesUpShortIsNotImported)
{
    makeList();
    const QString small = photo(QStringLiteral("small.jpg"));
    ASSERT_TRUE(QDir().mkpath(tempPath(QStringLiteral("roll"))));
    const QString camera = ImageFixtures::copySample(QStringLiteral("npm-lumia.jpg"), tempPath(QStringLiteral("roll")));
    ASSERT_LT(FileServices::fileSize(small), 16 * 1024);
    ASSERT_GT(FileServices::fileSize(camera), 100 * 1024);
    {
        const FileSizeLimit fullDisk(16 * 1024);
        ASSERT_TRUE(fullDisk.isActive());
        ASSERT_TRUE(importAndWait({small, camera}));
    }
    ASSERT_EQ(list_->maryDataSource().size(), 1);
    EXPECT_EQ(list_->maryDataSource().first()->srcPath(), small);
    ASSERT_EQ(ui_.alerts().size(), 1);
    EXPECT_TRUE(ui_.alerts().first().message.contains(camera)) << ui_.alerts().first().message.toStdString();
    EXPECT_EQ(FileServices::contentsOfFolder(tempPath(QStringLiteral("src_temp"))), QStringList{"small.jpg"});
}

TEST_F(PhotoListTest, CancelStopsTheImportKeepingWhatCameInPathOrder)
{
    makeList();
    QStringList paths;
    for (int i = 0; i < 100; ++i) {
        paths.append(photo(QStringLiteral("many/p%1.jpg").arg(i, 3, 10, QLatin1Char('0')), QSize(8, 8)));
    }
    int calls = 0;
    delegate_.onProgress = [&calls](TAVPhotosViewCltr* cltr, float) {
        if (++calls == 10) {
            cltr->setIsCancel(true);
        }
    };
    ASSERT_TRUE(importAndWait(paths));
    const int progressAtFinish = int(delegate_.progress.size());

    const QList<TAVImageObjectPtr>& kept = list_->maryDataSource();
    EXPECT_GE(kept.size(), 10);
    EXPECT_LT(kept.size(), 100);
    for (int i = 0; i < kept.size(); ++i) {
        EXPECT_EQ(kept.at(i)->srcPath(), paths.at(i));
    }
    EXPECT_EQ(progressAtFinish, 10);
    EXPECT_FALSE(list_->isCancel()) << "the finishing step clears the request";
    QTest::qWait(150);
    EXPECT_EQ(delegate_.progress.size(), progressAtFinish);
    EXPECT_EQ(delegate_.finishes, 1);
    EXPECT_EQ(delegate_.calls.last(), "finish");
}

TEST_F(PhotoListTest, DropsOnTheListImportFilesAndAreRefusedDuringASearch)
{
    makeList();
    importNumbered(2);
    TAVPhotoListModel* model = list_->listModel();
    const QString dropped = photo("dropped.jpg");
    QMimeData files;
    files.setUrls({QUrl::fromLocalFile(dropped)});
    QMimeData text;
    text.setText(dropped);

    EXPECT_FALSE(model->canDropMimeData(&text, Qt::CopyAction, -1, -1, QModelIndex()));
    list_->typeInSearchField("p000");
    EXPECT_FALSE(model->canDropMimeData(&files, Qt::CopyAction, -1, -1, QModelIndex()));
    EXPECT_FALSE(model->dropMimeData(&files, Qt::CopyAction, -1, -1, QModelIndex()));
    list_->typeInSearchField(QString());

    const int before = delegate_.finishes;
    EXPECT_TRUE(model->dropMimeData(&files, Qt::CopyAction, 0, 0, QModelIndex()));
    ASSERT_TRUE(QTest::qWaitFor([&] { return delegate_.finishes > before; }, kPatientMs));
    EXPECT_TRUE(shownNames().contains("dropped.jpg"));
}

TEST_F(PhotoListTest, AListClosedDuringAnImportStopsItWithoutWaitingForTheWindow)
{
    makeList();
    QStringList paths;
    for (int i = 0; i < 60; ++i) {
        paths.append(photo(QStringLiteral("closing/p%1.jpg").arg(i, 2, 10, QLatin1Char('0')), QSize(8, 8)));
    }
    ASSERT_TRUE(list_->addImagesFromDirectory(paths));
    list_.reset();
    // The worker ends although the GUI thread runs no events meanwhile.
    EXPECT_TRUE(Dispatch::waitForWorkers(kPatientMs));
    QTest::qWait(20); // hand-overs still queued find the list gone
    EXPECT_EQ(delegate_.finishes, 0);
}

// A photo reached through a link, absolute or relative: its working copy holds
// the photo's own bytes, the record shows its tags, and a save edits the file
// the link leads to while the link stays a link.
TEST_F(PhotoListTest, PhotosImportedThroughLinksGetWorkingCopiesOfTheirContent)
{
    makeList();
    const QString target = tempPath(QStringLiteral("photos/tagged.jpg"));
    ASSERT_TRUE(QDir().mkpath(tempPath(QStringLiteral("links"))));
    ASSERT_TRUE(QDir().mkpath(tempPath(QStringLiteral("photos"))));
    ASSERT_TRUE(ImageFixtures::makeImageWithTags(target, {{"Exif.Image.Artist", "Ann", std::nullopt}}));
    const QString absolute = tempPath(QStringLiteral("links/absolute.jpg"));
    const QString relative = tempPath(QStringLiteral("links/relative.jpg"));
    ASSERT_TRUE(QFile::link(target, absolute));
    ASSERT_EQ(::symlink("../photos/tagged.jpg", QFile::encodeName(relative).constData()), 0);

    ASSERT_TRUE(importAndWait({absolute, relative}));
    ASSERT_EQ(list_->maryDataSource().size(), 2);
    for (const TAVImageObjectPtr& image : list_->maryDataSource()) {
        SCOPED_TRACE(qPrintable(image->srcPath()));
        EXPECT_FALSE(QFileInfo(image->path()).isSymLink());
        EXPECT_TRUE(FileServices::contentsEqual(image->path(), target));
        EXPECT_EQ(image->exifData()->getValueForKey("Exif.Image.Artist", 0), QString("Ann"));
    }

    const TAVImageObjectPtr image = list_->maryDataSource().last();
    image->exifData()->setValue("Lumetta Tester", "Exif.Image.Artist", 0, false, false, true);
    ASSERT_TRUE(image->saveMetadataToImage());
    EXPECT_TRUE(ui_.alerts().isEmpty());
    EXPECT_TRUE(QFileInfo(image->srcPath()).isSymLink());
    EXPECT_EQ(ExifTool::read(target).value("IFD0:Artist").toString(), QString("Lumetta Tester"));
    EXPECT_FALSE(QFileInfo(image->path()).isSymLink());
    EXPECT_TRUE(FileServices::contentsEqual(image->path(), target));
}

// The table's arrow shows the order the list is in after an import that was
// cancelled halfway, whichever way the user had sorted.
TEST_F(PhotoListTest, AfterACancelledImportTheSortArrowAgreesWithTheOrderShown)
{
    makeList();
    QStringList paths;
    for (int i = 0; i < 60; ++i)
        paths.append(photo(QStringLiteral("many/p%1.jpg").arg(i, 3, 10, QLatin1Char('0')), QSize(8, 8)));
    ASSERT_TRUE(importAndWait(paths.mid(0, 3)));
    list_->clickShowType(TAVPhotosViewCltr::ModeTable);
    QHeaderView* header = list_->tableView()->horizontalHeader();
    for (const bool ascending : {false, true}) {
        list_->clickSortPop(); // the same key again: the other way
        ASSERT_EQ(list_->sortAscending(), ascending);
        int calls = 0;
        delegate_.onProgress = [&calls](TAVPhotosViewCltr* cltr, float) {
            if (++calls == 5)
                cltr->setIsCancel(true);
        };
        list_->clearAllImageObjects();
        ASSERT_TRUE(importAndWait(paths));
        ASSERT_LT(list_->maryDataSource().size(), paths.size());
        EXPECT_EQ(list_->sortAscending(), ascending);
        const QStringList names = shownNames();
        QStringList sorted = names;
        sorted.sort();
        if (!ascending)
            std::reverse(sorted.begin(), sorted.end());
        EXPECT_EQ(names, sorted);
        EXPECT_TRUE(header->isSortIndicatorShown());
        EXPECT_EQ(header->sortIndicatorSection(), int(TAVPhotoListModel::ColumnName));
        EXPECT_EQ(header->sortIndicatorOrder(), ascending ? Qt::AscendingOrder : Qt::DescendingOrder);
    }
}

// A photo whose XMP packet the library cannot decode comes in, but the
// import names it: listed without its XMP, it must not pass for a photo
// that has none.
TEST_F(PhotoListTest, APhotoWhoseXmpCannotBeDecodedIsNamedAfterTheImport)
{
    makeList();
    const QString fine = ImageFixtures::copySample(QStringLiteral("1x1_exif_xmp.jpg"), tempPath(QString()));
    const QString damaged = photo(QStringLiteral("damaged.jpg"));
    {
        auto image = Exiv2::ImageFactory::open(QFile::encodeName(damaged).toStdString());
        image->readMetadata();
        image->xmpPacket()
            = std::string("<x:xmpmeta xmlns:x='adobe:ns:meta/'><rdf:RDF "
                          "xmlns:rdf='http://www.w3.org/1999/02/22-rdf-syntax-ns#'><rdf:Description rdf:about='' "
                          "xmlns:dc='http://purl.org/dc/elements/1.1/'><dc:format>image/jpeg</rdf:Description>"
                          "</rdf:RDF></x:xmpmeta>");
        image->writeXmpFromPacket(true);
        image->writeMetadata();
    }

    ASSERT_TRUE(importAndWait({fine, damaged}));
    EXPECT_EQ(list_->maryDataSource().size(), 2);
    ASSERT_EQ(ui_.alerts().size(), 1);
    const QString message = ui_.alerts().first().message;
    EXPECT_TRUE(message.contains(damaged)) << message.toStdString();
    EXPECT_TRUE(message.contains(QStringLiteral("XMP"))) << message.toStdString();
    EXPECT_FALSE(message.contains(fine)) << message.toStdString();
}

// Photos arriving tell the views of the rows they add, not that every row
// listed changed: the icon view sizes every cell it is told of, so an import
// that told it of all of them at each batch grew slower per photo as the list
// grew.
TEST_F(PhotoListTest, ArrivingPhotosDoNotTellTheViewsThatEveryRowChanged)
{
    makeList();
    importNumbered(30, QStringLiteral("first"));
    int rowsToldChanged = 0;
    QObject::connect(list_->listModel(), &QAbstractItemModel::dataChanged,
        [&](const QModelIndex& topLeft, const QModelIndex& bottomRight) {
            rowsToldChanged += bottomRight.row() - topLeft.row() + 1;
        });
    importNumbered(90, QStringLiteral("second"));
    ASSERT_EQ(list_->maryDataSource().size(), 120);
    // Only the finish, which sorts the list, refreshes its rows (twice).
    EXPECT_LE(rowsToldChanged, 2 * 120);
}

// The copies run on several cores and finish in any order; which file comes
// in under which working-copy name, which of a source given twice, and the
// order in which the files that cannot come in are named, follow the order
// the files were given.
TEST_F(PhotoListTest, FilesOfOneNameAreNumberedAndAdmittedInTheOrderGiven)
{
    makeList();
    const QString listed = photo(QStringLiteral("listed/IMG.jpg"));
    ASSERT_TRUE(importAndWait({listed}));
    QStringList cards;
    QStringList missing;
    QStringList paths;
    for (int i = 0; i < 60; ++i) {
        cards.append(photo(QStringLiteral("card%1/IMG.jpg").arg(i, 2, 10, QLatin1Char('0')), QSize(8, 8)));
        paths.append(cards.last());
        if (i % 10 == 3) {
            missing.append(tempPath(QStringLiteral("gone%1/IMG.jpg").arg(i)));
            paths.append(missing.last());
        }
        if (i % 10 == 6) {
            paths.append(cards.at(i / 2)); // given again: its first place counts
        }
        if (i == 30) {
            paths.append(listed);
        }
    }

    ASSERT_TRUE(importAndWait(paths));

    QStringList names;
    for (const TAVImageObjectPtr& image : list_->maryDataSource()) {
        const int card = int(cards.indexOf(image->srcPath()));
        const QString expected = card < 0 ? QStringLiteral("IMG.jpg") : QStringLiteral("IMG(%1).jpg").arg(card + 1);
        EXPECT_EQ(QFileInfo(image->path()).fileName(), expected) << qPrintable(image->srcPath());
        names.append(QFileInfo(image->path()).fileName());
    }
    EXPECT_EQ(names.size(), 61);
    EXPECT_EQ(QSet<QString>(names.begin(), names.end()).size(), 61);
    ASSERT_EQ(ui_.alerts().size(), 1);
    const QStringList named = ui_.alerts().first().message.split(QLatin1Char('\n')).filter(QStringLiteral("/gone"));
    EXPECT_EQ(named, missing);
}

// After a cancel, no file the import left out stays claimed: each may be
// imported again, once; a file already listed is still listed once.
TEST_F(PhotoListTest, AfterACancelEveryFileLeftOutCanBeImportedAgainOnce)
{
    makeList();
    const QString listed = photo(QStringLiteral("listed.jpg"));
    ASSERT_TRUE(importAndWait({listed}));
    QStringList paths;
    for (int i = 0; i < 100; ++i) {
        paths.append(photo(QStringLiteral("many/p%1.jpg").arg(i, 3, 10, QLatin1Char('0')), QSize(8, 8)));
    }
    paths.append(listed);
    int calls = 0;
    delegate_.onProgress = [&calls](TAVPhotosViewCltr* cltr, float) {
        if (++calls == 1) {
            cltr->setIsCancel(true);
        }
    };
    ASSERT_TRUE(importAndWait(paths));
    ASSERT_LT(list_->maryDataSource().size(), paths.size());

    delegate_.onProgress = {};
    ASSERT_TRUE(importAndWait(paths));
    QStringList sources;
    for (const TAVImageObjectPtr& image : list_->maryDataSource()) {
        sources.append(image->srcPath());
    }
    sources.sort();
    QStringList expected = paths;
    expected.sort();
    EXPECT_EQ(sources, expected);
}
