#include "MainWindowFixture.h"

#include "app/TAVDetailViewCtlr.h"
#include "app/TAVPhotosViewCltr.h"
#include "app/TAVSummaryViewCtlr.h"
#include "commlib/TAVBaseTabViewCltr.h"
#include "commlib/TAVSearchableTagTableModel.h"
#include "commlib/VXProgressWindowController.h"
#include "commlib/VXWheelFocusRule.h"
#include "foundation/UiServices.h"
#include "foundation/UserDefaults.h"
#include "models/tables/TAVKeyLists.h"
#include "support/ExifTool.h"
#include "support/Gallery.h"
#include "support/ImageFixtures.h"
#include "support/Patience.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonObject>
#include <QLabel>
#include <QLineEdit>
#include <QMainWindow>
#include <QPainter>
#include <QPixmap>
#include <QTest>

void MainWindowTest::SetUp()
{
    TempFolderTest::SetUp();
    // As the application does at start-up.
    VXWheelFocusRule::install();
    UiServices::setShared(&ui_);
    TAVKeyLists::loadExifTag();
    TAVPhotosViewCltr::setAnimationsEnabled(false);
    DMSplitView::setAnimationsEnabled(false);
    UserDefaults::standard().removeObjectForKey(QStringLiteral("PhotoRescaleKey"));
    TAVBaseTabViewCltr::setPendingEdits(false);
    QDir().mkpath(tempPath(QStringLiteral("src_temp")));
    QDir().mkpath(tempPath(QStringLiteral("in")));
    ctlr_ = std::make_unique<TAVMainWindowCtlr>(tempPath(QStringLiteral("src_temp")));
    ctlr_->mainWindow()->resize(1280, 800);
    ctlr_->mainWindow()->show();
    QCoreApplication::processEvents();
}

void MainWindowTest::TearDown()
{
    ctlr_.reset();
    TAVBaseTabViewCltr::setPendingEdits(false);
    UiServices::setShared(nullptr);
}

bool MainWindowTest::importAndWait(const QStringList& paths)
{
    const qsizetype expected = ctlr_->photosViewCltr()->maryDataSource().size() + paths.size();
    if (!ctlr_->photosViewCltr()->addImagesFromDirectory(paths))
        return false;
    const bool listed
        = QTest::qWaitFor([&] { return ctlr_->photosViewCltr()->maryDataSource().size() == expected; }, kPatientMs);
    return listed && QTest::qWaitFor([&] { return ctlr_->selectedImages().size() == 1; }, kPatientMs);
}

QStringList MainWindowTest::samples(const QStringList& names)
{
    QStringList paths;
    for (const QString& name : names)
        paths.append(ImageFixtures::copySample(name, tempPath(QStringLiteral("in"))));
    return paths;
}

QString MainWindowTest::copyOf(const QString& path, const QString& name)
{
    const QString copy = tempPath(QStringLiteral("in/") + name);
    EXPECT_TRUE(QFile::copy(path, copy));
    return copy;
}

QByteArray MainWindowTest::digestOf(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? QCryptographicHash::hash(file.readAll(), QCryptographicHash::Sha1)
                                          : QByteArray();
}

QMap<QString, QString> MainWindowTest::tagsOf(const QString& path, const QStringList& names)
{
    const QJsonObject tags = ExifTool::read(path);
    QMap<QString, QString> found;
    for (const QString& name : names) {
        if (tags.contains(name))
            found.insert(name, tags.value(name).toVariant().toString());
    }
    return found;
}

QString MainWindowTest::photoWithTags(const QString& name, const std::vector<std::pair<QString, QString>>& tags)
{
    std::vector<ImageFixtures::Tag> list;
    for (const auto& [key, value] : tags)
        list.push_back({key, value, std::nullopt});
    const QString path = tempPath(QStringLiteral("in/") + name);
    EXPECT_TRUE(ImageFixtures::makeImageWithTags(path, list));
    return path;
}

int MainWindowTest::rowOf(const QString& path)
{
    const QList<TAVImageObjectPtr> shown = ctlr_->photosViewCltr()->getDataSourceForCurrentState();
    for (int row = 0; row < shown.size(); ++row) {
        if (QFileInfo(shown.at(row)->srcPath()).fileName() == QFileInfo(path).fileName())
            return row;
    }
    ADD_FAILURE() << "not listed: " << path.toStdString();
    return -1;
}

void MainWindowTest::select(const QList<int>& rows)
{
    ctlr_->photosViewCltr()->selectIndexes(rows);
    QCoreApplication::processEvents();
}

::testing::AssertionResult MainWindowTest::captureOverWindow(QWidget* sheet, const QString& name)
{
    QPixmap picture = ctlr_->mainWindow()->grab();
    sheet->adjustSize();
    const QPixmap drawn = sheet->grab();
    {
        QPainter painter(&picture);
        painter.drawPixmap((picture.width() - drawn.width()) / 2, 0, drawn);
    }
    QLabel composed;
    composed.setPixmap(picture);
    composed.resize(picture.size());
    return Gallery::capture(&composed, name);
}

QLineEdit* MainWindowTest::summaryField(const char* name)
{
    return ctlr_->summaryTab()->findChild<QLineEdit*>(QLatin1String(name));
}

QModelIndex MainWindowTest::detailCell(const QString& key)
{
    const TAVSearchableTagTable& table = ctlr_->detailTab()->model()->table();
    for (int row = 0; row < table.shownCount(); ++row) {
        if (table.shownRow(row)->entity->key() == key)
            return ctlr_->detailTab()->model()->index(row, 2);
    }
    return {};
}

QList<TAVImageObjectPtr> MainWindowTest::images()
{
    return window().photosViewCltr()->maryDataSource();
}

bool MainWindowTest::waitForLoop()
{
    return QTest::qWaitFor([&] { return !ctlr_->isLoopRunning(); }, kPatientMs);
}

void MainWindowTest::activate()
{
    // Generous bounds: on a loaded machine the end of a save loop and the
    // window's activation can take seconds; a quiet one returns at once.
    EXPECT_TRUE(QTest::qWaitFor([&] { return !ctlr_->progressWindowController()->isSheetUp(); }, kPatientMs));
    ctlr_->mainWindow()->activateWindow();
    EXPECT_TRUE(QTest::qWaitForWindowActive(ctlr_->mainWindow(), kPatientMs));
}

bool MainWindowTest::anyPhotoModified()
{
    for (const auto& image : images()) {
        if (image->exifData()->enuModifyState() == TAVExifData::StateModified)
            return true;
    }
    return false;
}

void MainWindowExifToolTest::SetUp()
{
    MainWindowTest::SetUp();
    if (!ExifTool::available())
        GTEST_SKIP() << "exiftool missing";
}

bool MainWindowExifToolTest::saveSelected()
{
    window().clickSave();
    return waitForLoop();
}
