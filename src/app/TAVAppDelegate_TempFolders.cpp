// The folders of the working copies: "<cache folder>/Temp" and "src_temp" in
// it, emptied at each start. They live in the cache folder, which backups
// skip: the working copies of a day's import can take gigabytes.
#include "app/TAVAppDelegate.h"

#include "app/TAVFolderMigration.h"
#include "foundation/FileServices.h"
#include "foundation/VXFileLocalManager.h"

#include <QDir>
#include <QFileInfo>
#include <QLockFile>

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <string>
#include <vector>

namespace {

const QString kTempName = QStringLiteral("Temp");
const QString kSrcName = QStringLiteral("src_temp");

void logFailure(const char* what, const std::string& name)
{
    qCWarning(lcAppDelegate, "Cannot %s %s in the temp folder: %s", what, name.c_str(), std::strerror(errno));
}

// Removes everything inside the folder `name` of `parent`. Nothing is
// followed: a symbolic link is removed as a link, and a folder swapped for a
// link while we work is refused by O_NOFOLLOW.
void removeContents(int parent, const std::string& name)
{
    const int folder = ::openat(parent, name.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    if (folder < 0) {
        logFailure("open", name);
        return;
    }
    DIR* listing = ::fdopendir(folder);
    if (listing == nullptr) {
        logFailure("list", name);
        ::close(folder);
        return;
    }
    std::vector<std::string> entries;
    while (const dirent* entry = ::readdir(listing)) {
        const std::string entryName = entry->d_name;
        if (entryName != "." && entryName != "..") {
            entries.push_back(entryName);
        }
    }
    for (const std::string& entry : entries) {
        struct stat info { };
        if (::fstatat(folder, entry.c_str(), &info, AT_SYMLINK_NOFOLLOW) != 0) {
            logFailure("inspect", entry);
            continue;
        }
        const bool isFolder = S_ISDIR(info.st_mode);
        if (isFolder) {
            removeContents(folder, entry);
        }
        if (::unlinkat(folder, entry.c_str(), isFolder ? AT_REMOVEDIR : 0) != 0) {
            logFailure("remove", entry);
        }
    }
    ::closedir(listing);
}

} // namespace

QString TAVAppDelegate::tempRootPath()
{
    return VXFileLocalManager::makeSureCreatCustomDir(VXFileLocalManager::appCacheDirectory(), kTempName);
}

QString TAVAppDelegate::tempSrcPath()
{
    const QString root = tempRootPath();
    return root.isNull() ? QString() : root + QLatin1Char('/') + kSrcName;
}

void TAVAppDelegate::initTempFolder()
{
    const QString home = VXFileLocalManager::appCacheDirectory();
    if (home.isEmpty()) {
        qCWarning(lcAppDelegate, "The application's cache folder is unknown; no temp folder");
        return;
    }
    // Not through tempRootPath(): that would try to make a folder where a
    // dangling link may stand.
    const QString root = home + QLatin1Char('/') + kTempName;
    creatFolder(root);
    creatFolder(root + QLatin1Char('/') + kSrcName);
    removeEarlierTempFolder(TAVFolderMigration::standardFolders().oldData);
}

void TAVAppDelegate::removeEarlierTempFolder(const QString& earlierHome)
{
    // Earlier versions kept their working copies in the data folder, where
    // backups copied them; they are of no use to this version.
    const QFileInfo earlierTemp(earlierHome + QLatin1Char('/') + kTempName);
    if (earlierHome.isEmpty() || (!earlierTemp.exists() && !earlierTemp.isSymLink())) {
        return;
    }
    QLockFile earlierInstance(earlierHome + QStringLiteral("/instance.lock"));
    earlierInstance.setStaleLockTime(0);
    if (!earlierInstance.tryLock(0)) {
        qCWarning(lcAppDelegate, "An earlier version is running; its temp folder %s stays",
            qUtf8Printable(earlierTemp.filePath()));
        return;
    }
    removeTempRoot(earlierHome);
}

void TAVAppDelegate::creatFolder(const QString& path)
{
    const QString home = VXFileLocalManager::appCacheDirectory();
    const QFileInfo target(path);
    // Only the temp root itself is ever emptied: an absolute path named
    // "Temp" directly inside the application's cache folder.
    if (!home.isEmpty() && target.isAbsolute() && target.fileName() == kTempName
        && QDir::cleanPath(target.absolutePath()) == QDir::cleanPath(home)) {
        removeTempRoot(home);
    }
    if (!FileServices::createFolder(path)) {
        qCWarning(lcAppDelegate, "Cannot create the folder %s", qUtf8Printable(path));
    }
}

bool TAVAppDelegate::removeTempRoot(const QString& home)
{
    const int homeFolder = ::open(QFile::encodeName(home).constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (homeFolder < 0) {
        logFailure("open the home folder for", kTempName.toStdString());
        return false;
    }
    const std::string name = kTempName.toStdString();
    struct stat info { };
    bool removed = true;
    if (::fstatat(homeFolder, name.c_str(), &info, AT_SYMLINK_NOFOLLOW) != 0) {
        removed = errno == ENOENT;
        if (!removed) {
            logFailure("inspect", name);
        }
    } else {
        const bool isFolder = S_ISDIR(info.st_mode);
        if (isFolder) {
            removeContents(homeFolder, name);
        }
        removed = ::unlinkat(homeFolder, name.c_str(), isFolder ? AT_REMOVEDIR : 0) == 0;
        if (!removed) {
            logFailure("remove", name);
        }
    }
    ::close(homeFolder);
    return removed;
}
