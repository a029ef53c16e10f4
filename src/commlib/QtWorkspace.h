#pragma once

#include "foundation/Workspace.h"

#include <QDBusConnection>
#include <QFileIconProvider>
#include <QObject>

// The real Workspace: the desktop's URL handlers open files and URLs, the
// desktop's file manager (org.freedesktop.FileManager1 on D-Bus) reveals a
// file. Without a file manager on the bus the file's folder is opened instead.
class QtWorkspace : public Workspace {
public:
    // Reveals files through the desktop's session bus.
    QtWorkspace();
    // Reveals files through the given bus (tests use a private one).
    explicit QtWorkspace(const QDBusConnection& bus);

    bool openFile(const QString& path) override;
    bool openUrl(const QUrl& url) override;
    // Returns once the request is on its way; a refused or failed call opens
    // the folder when the answer comes back.
    bool revealFile(const QString& path) override;
    QIcon iconForFile(const QString& path) override;

private:
    static bool openFolderOf(const QString& path);

    QDBusConnection bus_;
    QFileIconProvider icons_;
    QObject callContext_; // pending answers die with the workspace
};
