#include "support/UnprivilegedStep.h"

#include <QDirIterator>
#include <QFile>
#include <QFileInfo>

#include <cerrno>

#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

struct Account {
    uid_t user = 0;
    gid_t group = 0;
    bool found = false;
};

Account nobody()
{
    const struct passwd* entry = ::getpwnam("nobody");
    return entry ? Account{entry->pw_uid, entry->pw_gid, true} : Account{};
}

// errno of a stat of `path` (0 when it succeeded).
int statError(const QString& path)
{
    struct stat status { };
    return ::stat(QFile::encodeName(path).constData(), &status) == 0 ? 0 : errno;
}

bool handOverOne(const QString& path, const Account& account)
{
    return ::lchown(QFile::encodeName(path).constData(), account.user, account.group) == 0;
}

} // namespace

UnprivilegedStep::UnprivilegedStep()
{
    const Account account = nobody();
    if (::geteuid() != 0 || !account.found)
        return;
    // The group first: once the user is not root it can no longer be changed.
    switched_ = ::setegid(account.group) == 0 && ::seteuid(account.user) == 0;
}

UnprivilegedStep::~UnprivilegedStep()
{
    if (switched_) {
        [[maybe_unused]] const int user = ::seteuid(0);
        [[maybe_unused]] const int group = ::setegid(0);
    }
}

bool UnprivilegedStep::isUnprivileged() const
{
    return ::geteuid() != 0;
}

bool UnprivilegedStep::handOver(const QString& path)
{
    const Account account = nobody();
    if (::geteuid() != 0)
        return true;
    if (!account.found || !handOverOne(path, account))
        return false;
    QDirIterator below(
        path, QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot, QDirIterator::Subdirectories);
    while (below.hasNext()) {
        if (!handOverOne(below.next(), account))
            return false;
    }
    return true;
}

QString UnprivilegedStep::unreachable(const QString& path)
{
    if (::geteuid() != 0)
        return QString();
    const UnprivilegedStep step;
    if (!step.isUnprivileged() || statError(path) != EACCES)
        return QString();
    // The closed folder is the last one on the way that can still be looked at.
    QString closed = QFileInfo(path).absolutePath();
    while (closed != QLatin1String("/") && statError(closed) == EACCES)
        closed = QFileInfo(closed).absolutePath();
    return QStringLiteral("user nobody may not enter %1 on the way to %2 (set TMPDIR to a folder open to it)")
        .arg(closed, path);
}
