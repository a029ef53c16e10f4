#include "support/DiskCallsProbe.h"

#include <QFile>
#include <QFileInfo>

#include <cerrno>
#include <cstdio>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <utility>

namespace {

QString pathOfDescriptor(int fd)
{
    return QFileInfo(QStringLiteral("/proc/self/fd/%1").arg(fd)).symLinkTarget();
}

QByteArray contentsOf(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

} // namespace

DiskCallsProbe::DiskCallsProbe(const QString& watched)
    : watched_(watched)
{
    FileServices::SystemCalls calls;
    calls.sync = [this](int fd) { return sync(fd); };
    calls.exchange = [this](const char* first, const char* second) { return exchange(first, second); };
    FileServices::setSystemCalls(std::move(calls));
}

DiskCallsProbe::~DiskCallsProbe()
{
    FileServices::setSystemCalls({});
}

void DiskCallsProbe::atNextFileFlush(std::function<void()> step)
{
    const std::lock_guard<std::mutex> lock(mutex_);
    atFileFlush_ = std::move(step);
}

void DiskCallsProbe::atNextExchange(std::function<void()> step, bool unsupported)
{
    const std::lock_guard<std::mutex> lock(mutex_);
    atExchange_ = std::move(step);
    exchangeUnsupported_ = unsupported;
}

std::vector<DiskCallsProbe::Flush> DiskCallsProbe::flushes() const
{
    const std::lock_guard<std::mutex> lock(mutex_);
    return flushes_;
}

int DiskCallsProbe::exchanges() const
{
    const std::lock_guard<std::mutex> lock(mutex_);
    return exchanges_;
}

int DiskCallsProbe::sync(int fd)
{
    struct stat st { };
    const bool folder = ::fstat(fd, &st) == 0 && S_ISDIR(st.st_mode);
    std::function<void()> step;
    {
        const std::lock_guard<std::mutex> lock(mutex_);
        if (!folder)
            step = std::exchange(atFileFlush_, nullptr);
    }
    if (step)
        step();
    const Flush flush{pathOfDescriptor(fd), contentsOf(watched_)};
    {
        const std::lock_guard<std::mutex> lock(mutex_);
        flushes_.push_back(flush);
    }
    return ::fsync(fd);
}

int DiskCallsProbe::exchange(const char* first, const char* second)
{
    std::function<void()> step;
    bool unsupported = false;
    bool fail = false;
    {
        const std::lock_guard<std::mutex> lock(mutex_);
        step = std::exchange(atExchange_, nullptr);
        unsupported = exchangeUnsupported_;
        fail = failSecondExchange_ && exchanges_ == 1;
        ++exchanges_;
    }
    if (step)
        step();
    if (unsupported || fail) {
        errno = unsupported ? EINVAL : EIO;
        return -1;
    }
    return ::renameat2(AT_FDCWD, first, AT_FDCWD, second, RENAME_EXCHANGE);
}
