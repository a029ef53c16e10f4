#include "PhotoListFixture.h"

#include "foundation/UserDefaults.h"
#include "support/ImageFixtures.h"
#include "support/Patience.h"

#include <QDir>
#include <QFileInfo>
#include <QTest>

void RecordingPhotosDelegate::photosViewCltrImportImagesWithProgres(TAVPhotosViewCltr* cltr, float value)
{
    progress.append(value);
    calls.append(QString::number(value, 'f', 3));
    if (onProgress) {
        onProgress(cltr, value);
    }
}

void RecordingPhotosDelegate::photosViewCltrDidImportedImage(TAVPhotosViewCltr*, const QList<TAVImageObjectPtr>& images)
{
    ++finishes;
    imported = images;
    calls.append(QStringLiteral("finish"));
}

void PhotoListTest::SetUp()
{
    TempFolderTest::SetUp();
    UiServices::setShared(&ui_);
    TAVPhotosViewCltr::setAnimationsEnabled(false);
    UserDefaults::standard().removeObjectForKey(QStringLiteral("PhotoRescaleKey"));
    UserDefaults::standard().removeObjectForKey(QStringLiteral("remember_photo_list_size"));
}

void PhotoListTest::TearDown()
{
    list_.reset();
    UiServices::setShared(nullptr);
}

TAVPhotosViewCltr& PhotoListTest::makeList(const QString& workFolder, TAVThumbnailLoader::LoadFunction load)
{
    const QString folder = workFolder.isEmpty() ? tempPath(QStringLiteral("src_temp")) : workFolder;
    QDir().mkpath(folder);
    list_ = std::make_unique<TAVPhotosViewCltr>(folder, nullptr, std::move(load));
    list_->setCustomDelegate(&delegate_);
    list_->resize(700, 500);
    return *list_;
}

QString PhotoListTest::photo(const QString& relativePath, QSize size)
{
    const QString path = tempPath(relativePath);
    QDir().mkpath(QFileInfo(path).absolutePath());
    // The suffix may be one Qt cannot write under that name (".JPG"): write
    // beside it and rename.
    const QString written = path + QStringLiteral(".jpg");
    EXPECT_TRUE(ImageFixtures::makeImage(written, size)) << qPrintable(path);
    QFile::remove(path);
    EXPECT_TRUE(QFile::rename(written, path));
    return path;
}

bool PhotoListTest::importAndWait(const QStringList& paths)
{
    const int before = delegate_.finishes;
    if (!list_->addImagesFromDirectory(paths)) {
        return false;
    }
    return QTest::qWaitFor([&] { return delegate_.finishes > before; }, kPatientMs);
}

QStringList PhotoListTest::importNumbered(int count, const QString& folder)
{
    QStringList paths;
    for (int i = 0; i < count; ++i) {
        paths.append(photo(QStringLiteral("%1/p%2.jpg").arg(folder).arg(i, 3, 10, QLatin1Char('0')), QSize(8, 8)));
    }
    EXPECT_TRUE(importAndWait(paths));
    return paths;
}

QStringList PhotoListTest::shownNames() const
{
    QStringList names;
    for (const TAVImageObjectPtr& image : list_->getDataSourceForCurrentState()) {
        names.append(QFileInfo(image->path()).fileName());
    }
    return names;
}
