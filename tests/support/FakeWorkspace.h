#pragma once

#include "foundation/Workspace.h"

#include <QStringList>

// A Workspace for tests: records what was opened and revealed and answers
// with `setAccepts` (true unless set otherwise). Icons are null icons.
class FakeWorkspace : public Workspace {
public:
    bool openFile(const QString& path) override;
    bool openUrl(const QUrl& url) override;
    bool revealFile(const QString& path) override;
    QIcon iconForFile(const QString& path) override;

    void setAccepts(bool accepts) { accepts_ = accepts; }

    const QStringList& openedFiles() const { return openedFiles_; }
    const QList<QUrl>& openedUrls() const { return openedUrls_; }
    const QStringList& revealedFiles() const { return revealedFiles_; }
    const QStringList& iconRequests() const { return iconRequests_; }

private:
    bool accepts_ = true;
    QStringList openedFiles_;
    QList<QUrl> openedUrls_;
    QStringList revealedFiles_;
    QStringList iconRequests_;
};
