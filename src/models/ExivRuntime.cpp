#include "models/ExivRuntime.h"

#include <QLoggingCategory>
#include <QSet>

#include <exiv2/exiv2.hpp>

#include <mutex>

Q_LOGGING_CATEGORY(lcExiv2, "lumetta.exiv2")

namespace {

thread_local const QString* currentFile = nullptr;

// What was logged already: file and message, and the files warned about.
// Past this many entries they are forgotten, so a long session's stream of
// damaged files cannot grow them without end (a message may then repeat).
constexpr qsizetype kMostRemembered = 20000;
std::mutex loggedMutex;
QSet<QString>& loggedMessages()
{
    static QSet<QString> messages;
    return messages;
}
QSet<QString>& warnedFiles()
{
    static QSet<QString> files;
    return files;
}

// Adds `entry` to `seen`; false when it was there already.
bool firstTime(QSet<QString>& seen, const QString& entry)
{
    if (seen.contains(entry)) {
        return false;
    }
    if (seen.size() >= kMostRemembered) {
        seen.clear();
    }
    seen.insert(entry);
    return true;
}

std::recursive_mutex& xmpMutex()
{
    static std::recursive_mutex mutex;
    return mutex;
}

void lockForToolkit(void* data, bool lock)
{
    auto* mutex = static_cast<std::recursive_mutex*>(data);
    if (lock) {
        mutex->lock();
    } else {
        mutex->unlock();
    }
}

void logLibraryMessage(int level, const char* message)
{
    QString text = QString::fromUtf8(message).trimmed();
    const QString file = currentFile ? *currentFile : QString();
    bool newMessage = false;
    bool warnFile = false;
    {
        const std::lock_guard<std::mutex> lock(loggedMutex);
        newMessage = firstTime(loggedMessages(), file + QLatin1Char('\n') + text);
        // The library's errors mean values it skipped: the user is told once
        // per file that its metadata was not read whole.
        warnFile = level >= Exiv2::LogMsg::error && firstTime(warnedFiles(), file);
    }
    const QString where = file.isEmpty() ? QStringLiteral("a file") : file;
    if (newMessage) {
        qCDebug(lcExiv2, "%s: %s", qUtf8Printable(where), qUtf8Printable(text));
    }
    if (warnFile) {
        qCWarning(
            lcExiv2, "Part of the metadata of %s could not be read: %s", qUtf8Printable(where), qUtf8Printable(text));
    }
}

} // namespace

void ExivRuntime::initialize()
{
    static std::once_flag once;
    std::call_once(once, [] {
        Exiv2::XmpParser::initialize(lockForToolkit, &xmpMutex());
        Exiv2::LogMsg::setHandler(logLibraryMessage);
        Exiv2::LogMsg::setLevel(Exiv2::LogMsg::warn);
    });
}

ExivRuntime::FileScope::FileScope(const QString& path)
    : previous_(currentFile)
    , path_(path)
{
    currentFile = &path_;
}

ExivRuntime::FileScope::~FileScope()
{
    currentFile = previous_;
}

std::unique_lock<std::recursive_mutex> ExivRuntime::lockXmp()
{
    // A decode before initialisation would initialise the toolkit without the lock.
    initialize();
    return std::unique_lock<std::recursive_mutex>(xmpMutex());
}

bool ExivRuntime::xmpPacketDecodes(const std::string& packet)
{
    if (packet.empty()) {
        return true;
    }
    Exiv2::XmpData probe;
    const auto lock = lockXmp();
    return Exiv2::XmpParser::decode(probe, packet) == 0;
}

void ExivRuntime::readMetadata(Exiv2::Image& image)
{
    const auto lock = lockXmp();
    image.readMetadata();
}

void ExivRuntime::writeMetadata(Exiv2::Image& image)
{
    const auto lock = lockXmp();
    image.writeMetadata();
}
