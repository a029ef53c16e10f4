#include "support/FakeWorkspace.h"

bool FakeWorkspace::openFile(const QString& path)
{
    openedFiles_.append(path);
    return accepts_;
}

bool FakeWorkspace::openUrl(const QUrl& url)
{
    openedUrls_.append(url);
    return accepts_;
}

bool FakeWorkspace::revealFile(const QString& path)
{
    revealedFiles_.append(path);
    return accepts_;
}

QIcon FakeWorkspace::iconForFile(const QString& path)
{
    iconRequests_.append(path);
    return QIcon();
}
