#include "support/ProcessMemory.h"

#include <QFile>
#include <QList>

namespace {

qint64 statusKilobytes(const QByteArray& field)
{
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly)) {
        return -1;
    }
    for (const QByteArray& line : status.readAll().split('\n')) {
        if (line.startsWith(field + ':')) {
            const QList<QByteArray> parts = line.simplified().split(' ');
            bool ok = false;
            const qint64 kilobytes = parts.value(1).toLongLong(&ok);
            return ok ? kilobytes : -1;
        }
    }
    return -1;
}

} // namespace

namespace ProcessMemory {

bool resetPeak()
{
#if defined(__SANITIZE_ADDRESS__)
    return false;
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
    return false;
#endif
#endif
    QFile clear(QStringLiteral("/proc/self/clear_refs"));
    return clear.open(QIODevice::WriteOnly) && clear.write("5") == 1;
}

qint64 peakBytes()
{
    const qint64 kilobytes = statusKilobytes("VmHWM");
    return kilobytes < 0 ? -1 : kilobytes * 1024;
}

qint64 residentBytes()
{
    const qint64 kilobytes = statusKilobytes("VmRSS");
    return kilobytes < 0 ? -1 : kilobytes * 1024;
}

} // namespace ProcessMemory
