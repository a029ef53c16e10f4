#include "support/UnprivilegedStep.h"

#include <QDirIterator>
#include <QFile>

#include <pwd.h>
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
