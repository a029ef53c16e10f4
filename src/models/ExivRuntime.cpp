#include "models/ExivRuntime.h"

#include <QLoggingCategory>

#include <exiv2/exiv2.hpp>

#include <mutex>

Q_LOGGING_CATEGORY(lcExiv2, "lumetta.exiv2")

namespace {

std::mutex xmpMutex;

void lockXmp(void* data, bool lock)
{
    auto* mutex = static_cast<std::mutex*>(data);
    if (lock) {
        mutex->lock();
    } else {
        mutex->unlock();
    }
}

void logLibraryMessage(int level, const char* message)
{
    QByteArray text(message);
    while (text.endsWith('\n')) {
        text.chop(1);
    }
    if (level >= Exiv2::LogMsg::error) {
        qCWarning(lcExiv2, "%s", text.constData());
    } else {
        qCDebug(lcExiv2, "%s", text.constData());
    }
}

} // namespace

void ExivRuntime::initialize()
{
    static std::once_flag once;
    std::call_once(once, [] {
        Exiv2::XmpParser::initialize(lockXmp, &xmpMutex);
        Exiv2::LogMsg::setHandler(logLibraryMessage);
        Exiv2::LogMsg::setLevel(Exiv2::LogMsg::warn);
    });
}
