#pragma once

#include <QIcon>
#include <QString>
#include <QUrl>

// Opening files and URLs with the desktop, revealing a file in the file
// manager and file icons, behind an injectable interface (a recording fake in
// tests). The real implementation lives with the widgets; set it once at
// start-up with setShared(). Each operation returns whether the desktop
// accepted the request.
class Workspace {
public:
    virtual ~Workspace() = default;

    virtual bool openFile(const QString& path) = 0;
    virtual bool openUrl(const QUrl& url) = 0;
    // Shows the file selected in its folder.
    virtual bool revealFile(const QString& path) = 0;
    // The icon the desktop shows for the file (a generic one when unknown).
    virtual QIcon iconForFile(const QString& path) = 0;

    static Workspace* shared();
    // Installs the instance; the caller keeps ownership and keeps it alive.
    static void setShared(Workspace* workspace);
};
