#include "foundation/VXFileLocalManager.h"

#include "foundation/FileServices.h"
#include "foundation/SafePaths.h"

#include <QStandardPaths>

namespace {

QString existingFolder(QStandardPaths::StandardLocation location)
{
    const QString path = QStandardPaths::writableLocation(location);
    FileServices::createFolder(path);
    return path;
}

QString appDataFolder()
{
    return existingFolder(QStandardPaths::AppLocalDataLocation);
}

} // namespace

QString VXFileLocalManager::appHomeDirectory()
{
    return appDataFolder();
}

QString VXFileLocalManager::appSupportDirectory()
{
    return appDataFolder();
}

QString VXFileLocalManager::appCacheDirectory()
{
    return existingFolder(QStandardPaths::CacheLocation);
}

QString VXFileLocalManager::makeSureCreatCustomDir(const QString& folder, const QString& name)
{
    if (folder.isEmpty() || !SafePaths::isSafeName(name) || SafePaths::hasParentComponent(folder)) {
        return QString();
    }
    const QString path = folder.endsWith(QLatin1Char('/')) ? folder + name : folder + QLatin1Char('/') + name;
    return makeSureDirCreated(path) ? path : QString();
}

bool VXFileLocalManager::makeSureDirCreated(const QString& path)
{
    if (path.isEmpty() || SafePaths::hasParentComponent(path)) {
        return false;
    }
    return FileServices::isFolder(path) || FileServices::createFolder(path);
}

QString VXFileLocalManager::userUiDispAppDirectory(const QString& name)
{
    static const struct {
        const char* name;
        QStandardPaths::StandardLocation location;
    } kFolders[] = {
        {"Pictures", QStandardPaths::PicturesLocation},
        {"Documents", QStandardPaths::DocumentsLocation},
        {"Desktop", QStandardPaths::DesktopLocation},
        {"Downloads", QStandardPaths::DownloadLocation},
        {"Music", QStandardPaths::MusicLocation},
        {"Movies", QStandardPaths::MoviesLocation},
    };
    for (const auto& folder : kFolders) {
        if (name == QLatin1String(folder.name)) {
            return QStandardPaths::writableLocation(folder.location);
        }
    }
    return QString();
}
