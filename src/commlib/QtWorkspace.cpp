#include "commlib/QtWorkspace.h"

#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>
#include <QDesktopServices>
#include <QFileInfo>

namespace {

const QString fileManagerService = QStringLiteral("org.freedesktop.FileManager1");
const QString fileManagerPath = QStringLiteral("/org/freedesktop/FileManager1");

} // namespace

QtWorkspace::QtWorkspace()
    : bus_(QDBusConnection::sessionBus())
{
}

QtWorkspace::QtWorkspace(const QDBusConnection& bus)
    : bus_(bus)
{
}

bool QtWorkspace::openFile(const QString& path)
{
    return QDesktopServices::openUrl(QUrl::fromLocalFile(QFileInfo(path).absoluteFilePath()));
}

bool QtWorkspace::openUrl(const QUrl& url)
{
    return QDesktopServices::openUrl(url);
}

bool QtWorkspace::openFolderOf(const QString& path)
{
    return QDesktopServices::openUrl(QUrl::fromLocalFile(QFileInfo(path).absolutePath()));
}

bool QtWorkspace::revealFile(const QString& path)
{
    if (!bus_.isConnected()) {
        return openFolderOf(path);
    }
    // Asynchronous: a file manager that hangs must not freeze the window.
    QDBusMessage call = QDBusMessage::createMethodCall(
        fileManagerService, fileManagerPath, fileManagerService, QStringLiteral("ShowItems"));
    const QString uri = QUrl::fromLocalFile(QFileInfo(path).absoluteFilePath()).toString(QUrl::FullyEncoded);
    call << QStringList{uri} << QString();
    auto* watcher = new QDBusPendingCallWatcher(bus_.asyncCall(call), &callContext_);
    QObject::connect(watcher, &QDBusPendingCallWatcher::finished, &callContext_, [watcher, path] {
        if (watcher->isError()) {
            openFolderOf(path);
        }
        watcher->deleteLater();
    });
    return true;
}

QIcon QtWorkspace::iconForFile(const QString& path)
{
    return icons_.icon(QFileInfo(path));
}
