#include "app/TAVFolderMigration.h"

#include "app/TAVAppDelegate.h"
#include "foundation/FileServices.h"
#include "foundation/UserDefaults.h"

#include <QFile>
#include <QFileInfo>
#include <QSettings>
#include <QStandardPaths>

namespace {

const QString kOldName = QStringLiteral("Lumetta");

bool isMissingOrEmpty(const QString& path)
{
    const QFileInfo info(path);
    if (!info.exists()) {
        return true;
    }
    return info.isDir() ? FileServices::contentsOfFolder(path).isEmpty() : info.size() == 0;
}

} // namespace

TAVFolderMigration::Folders TAVFolderMigration::standardFolders()
{
    const QString data = QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation);
    Folders folders;
    folders.oldData = data + QLatin1Char('/') + kOldName + QLatin1Char('/') + kOldName;
    folders.newData = QStandardPaths::writableLocation(QStandardPaths::AppLocalDataLocation);
    folders.oldSettings = QSettings(QSettings::UserScope, kOldName, kOldName).fileName();
    folders.newSettings = UserDefaults::standardFilePath();
    return folders;
}

bool TAVFolderMigration::isThrowAway(const QString& name)
{
    return name == QLatin1String("Temp") || name == QLatin1String("Help") || name == QLatin1String("instance.lock");
}

void TAVFolderMigration::adoptOldFolders(const Folders& folders)
{
    adoptSettings(folders.oldSettings, folders.newSettings);
    adoptData(folders.oldData, folders.newData);
}

void TAVFolderMigration::adoptSettings(const QString& oldFile, const QString& newFile)
{
    if (oldFile.isEmpty() || newFile.isEmpty() || oldFile == newFile || !QFileInfo(oldFile).isFile()
        || !isMissingOrEmpty(newFile)) {
        return;
    }
    QFile source(oldFile);
    QString error;
    if (!source.open(QIODevice::ReadOnly) || !FileServices::createFolder(QFileInfo(newFile).absolutePath())
        || !FileServices::writeFileAtomically(newFile, source.readAll(), &error)) {
        qCWarning(lcAppDelegate, "Cannot carry the settings of %s over to %s: %s", qUtf8Printable(oldFile),
            qUtf8Printable(newFile), qUtf8Printable(error.isEmpty() ? source.errorString() : error));
        return;
    }
    qCInfo(lcAppDelegate, "Settings carried over from %s", qUtf8Printable(oldFile));
}

void TAVFolderMigration::adoptData(const QString& oldFolder, const QString& newFolder)
{
    if (oldFolder.isEmpty() || newFolder.isEmpty() || oldFolder == newFolder || !FileServices::isFolder(oldFolder)
        || !isMissingOrEmpty(newFolder)) {
        return;
    }
    QStringList kept;
    for (const QString& name : FileServices::contentsOfFolder(oldFolder)) {
        if (!isThrowAway(name)) {
            kept.append(name);
        }
    }
    if (kept.isEmpty()) {
        return;
    }
    // Copied beside the new folder first and renamed into place when
    // complete: an interrupted copy leaves the new folder empty, and the next
    // start tries again.
    const QString staging = newFolder + QStringLiteral(".adopting");
    FileServices::removeItem(staging);
    QString error;
    bool copied = FileServices::createFolder(staging);
    for (const QString& name : kept) {
        copied = copied
            && FileServices::copyItem(oldFolder + QLatin1Char('/') + name, staging + QLatin1Char('/') + name, &error);
    }
    if (copied && QFileInfo::exists(newFolder)) {
        copied = FileServices::removeItem(newFolder);
    }
    copied = copied && FileServices::moveItem(staging, newFolder, &error);
    if (!copied) {
        qCWarning(lcAppDelegate, "Cannot carry the data of %s over to %s: %s", qUtf8Printable(oldFolder),
            qUtf8Printable(newFolder), qUtf8Printable(error));
        FileServices::removeItem(staging);
        return;
    }
    qCInfo(lcAppDelegate, "Presets and other data carried over from %s", qUtf8Printable(oldFolder));
}
