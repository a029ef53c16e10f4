#include "models/formats/ExivRuntime.h"

#include "models/formats/IptcStoredDates.h"

#include <QLoggingCategory>
#include <QSet>

#include <exiv2/exiv2.hpp>

#include <algorithm>
#include <atomic>
#include <mutex>
#include <optional>
#include <shared_mutex>
#include <vector>

Q_LOGGING_CATEGORY(lcExiv2, "lumetta.exiv2")

namespace {

thread_local const QString* currentFile = nullptr;
// Where this thread's library messages are kept (see MessageCapture).
thread_local std::vector<std::string>* capturedMessages = nullptr;

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

// How this thread holds the XMP lock: alone (nested this deep) or shared.
thread_local int aloneDepth = 0;
thread_local bool holdsShared = false;

std::shared_mutex& xmpMutex()
{
    static std::shared_mutex mutex;
    return mutex;
}

// The lock held shared by this thread while it lives.
class SharedHold {
public:
    SharedHold()
        : lock_(xmpMutex())
    {
        holdsShared = true;
    }
    ~SharedHold() { holdsShared = false; }
    SharedHold(const SharedHold&) = delete;
    SharedHold& operator=(const SharedHold&) = delete;

private:
    std::shared_lock<std::shared_mutex> lock_;
};

// The toolkit's table as the reads holding the lock alone left it. Changed
// only while the lock is held alone, read while it is held. Past this many
// entries no more are kept (files can bring namespaces of their own); their
// reads then hold the lock alone.
constexpr size_t kMostNamespaces = 4096;
constexpr std::string_view kMetaNamespace = "adobe:ns:meta/";
constexpr std::string_view kRdfNamespace = "http://www.w3.org/1999/02/22-rdf-syntax-ns#";
XmpNamespaceTable& toolkitTable()
{
    static XmpNamespaceTable table(kMostNamespaces);
    return table;
}

bool isXmlSpace(char c)
{
    return c == ' ' || c == '\t' || c == '\r' || c == '\n';
}

// The toolkit asks for the lock where the library registers a namespace with
// it (a write); a thread holding it already goes on.
void lockForToolkit(void*, bool lock)
{
    ExivRuntime::XmpWriteLock alone;
    if (lock) {
        alone.lock();
        // The library registers its namespaces in its own spelling (a
        // declared URI given a trailing slash): what the table holds is no
        // longer known.
        toolkitTable().clear();
    } else {
        alone.unlock();
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

// The handler a message goes on to after this thread's capture took it:
// our log, or one that was set in place of ours.
std::atomic<Exiv2::LogMsg::Handler> forwardedTo{logLibraryMessage};
std::mutex handlerMutex;

void handleLibraryMessage(int level, const char* message)
{
    if (capturedMessages) {
        capturedMessages->emplace_back(message);
    }
    if (const Exiv2::LogMsg::Handler next = forwardedTo.load(std::memory_order_relaxed)) {
        next(level, message);
    }
}

} // namespace

void ExivRuntime::initialize()
{
    static std::once_flag once;
    std::call_once(once, [] {
        Exiv2::XmpParser::initialize(lockForToolkit, nullptr);
        Exiv2::LogMsg::setHandler(handleLibraryMessage);
        Exiv2::LogMsg::setLevel(Exiv2::LogMsg::warn);
    });
}

ExivRuntime::MessageCapture::MessageCapture()
    : previous_(capturedMessages)
{
    initialize();
    // A handler set after ours is kept as the one messages go on to, so
    // that the capture changes nothing for whoever set it.
    if (Exiv2::LogMsg::handler() != handleLibraryMessage) {
        const std::lock_guard<std::mutex> lock(handlerMutex);
        if (Exiv2::LogMsg::handler() != handleLibraryMessage) {
            forwardedTo.store(Exiv2::LogMsg::handler());
            Exiv2::LogMsg::setHandler(handleLibraryMessage);
        }
    }
    capturedMessages = &messages_;
}

ExivRuntime::MessageCapture::~MessageCapture()
{
    capturedMessages = previous_;
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

void ExivRuntime::XmpWriteLock::lock()
{
    if (aloneDepth++ == 0) {
        xmpMutex().lock();
    }
}

void ExivRuntime::XmpWriteLock::unlock()
{
    if (--aloneDepth == 0) {
        xmpMutex().unlock();
    }
}

ExivRuntime::XmpHold ExivRuntime::xmpHold()
{
    return aloneDepth > 0 ? XmpHold::Alone : holdsShared ? XmpHold::Shared : XmpHold::None;
}

std::unique_lock<ExivRuntime::XmpWriteLock> ExivRuntime::lockXmp()
{
    // A decode before initialisation would initialise the toolkit without the lock.
    initialize();
    static XmpWriteLock alone;
    return std::unique_lock<XmpWriteLock>(alone);
}

bool ExivRuntime::xmpPacketDecodes(const std::string& packet)
{
    if (packet.empty()) {
        return true;
    }
    Exiv2::XmpData probe;
    const auto lock = lockXmp();
    const bool decodes = Exiv2::XmpParser::decode(probe, packet) == 0;
    noteDecodedPacket(packet, decodes && !probe.empty());
    return decodes;
}

void ExivRuntime::readMetadata(Exiv2::Image& image)
{
    const auto lock = lockXmp();
    image.readMetadata();
    IptcStoredDates::keepDamaged(image);
    const Exiv2::Image& read = image;
    // A packet that gave no properties may not have been parsed whole.
    noteDecodedPacket(read.xmpPacket(), !read.xmpData().empty());
}

void ExivRuntime::noteDecodedPacket(const std::string& packet, bool parsedWhole)
{
    if (packet.empty()) {
        return;
    }
    const auto declared = declaredXmpNamespaces(packet);
    if (!declared) {
        toolkitTable().clear();
        return;
    }
    if (!parsedWhole) {
        toolkitTable().forget(*declared);
        return;
    }
    // A namespace the library itself does not know yet (declared but not
    // used) would be registered with it by a later packet using it, unless
    // it is one of the toolkit's own syntax: such a packet holds the lock
    // alone.
    std::vector<XmpNamespaceTable::Declaration> known;
    std::vector<XmpNamespaceTable::Declaration> unknown;
    for (const XmpNamespaceTable::Declaration& declaration : *declared) {
        const bool libraryKnows = declaration.uri == kMetaNamespace || declaration.uri == kRdfNamespace
            || !Exiv2::XmpProperties::prefix(std::string(declaration.uri)).empty();
        (libraryKnows ? known : unknown).push_back(declaration);
    }
    toolkitTable().noteRegistered(known);
    toolkitTable().forget(unknown);
}

std::optional<std::vector<XmpNamespaceTable::Declaration>> ExivRuntime::declaredXmpNamespaces(std::string_view bytes)
{
    using namespace std::string_view_literals;
    if (bytes.find("m\0l\0n\0s"sv) != std::string_view::npos
        || bytes.find("m\0\0\0l\0\0\0n\0\0\0s"sv) != std::string_view::npos) {
        return std::nullopt;
    }
    std::vector<XmpNamespaceTable::Declaration> declared;
    for (size_t at = bytes.find("xmlns"sv); at != std::string_view::npos; at = bytes.find("xmlns"sv, at)) {
        at += 5;
        std::string_view prefix;
        if (at < bytes.size() && bytes[at] == ':') {
            const size_t prefixStart = at + 1;
            while (at < bytes.size() && !isXmlSpace(bytes[at]) && bytes[at] != '=') {
                ++at;
            }
            prefix = bytes.substr(prefixStart, at - prefixStart);
            if (prefix.empty()) {
                return std::nullopt;
            }
        }
        while (at < bytes.size() && isXmlSpace(bytes[at])) {
            ++at;
        }
        if (at >= bytes.size() || bytes[at] != '=') {
            return std::nullopt;
        }
        ++at;
        while (at < bytes.size() && isXmlSpace(bytes[at])) {
            ++at;
        }
        if (at >= bytes.size() || (bytes[at] != '"' && bytes[at] != '\'')) {
            return std::nullopt;
        }
        const size_t end = bytes.find(bytes[at], at + 1);
        if (end == std::string_view::npos) {
            return std::nullopt;
        }
        const std::string_view name = bytes.substr(at + 1, end - at - 1);
        if (name.empty() || name.find_first_of("&<\t\r\n"sv) != std::string_view::npos) {
            return std::nullopt;
        }
        declared.push_back({prefix, name});
        at = end + 1;
    }
    return declared;
}

void ExivRuntime::readMetadata(Exiv2::Image& image, std::string_view bytes)
{
    // Only a JPEG's packets lie in its bytes as they are: other files may
    // hold theirs compressed.
    const auto declared
        = image.imageType() == Exiv2::ImageType::jpeg && aloneDepth == 0 ? declaredXmpNamespaces(bytes) : std::nullopt;
    if (declared) {
        initialize();
        const SharedHold shared;
        if (toolkitTable().holdsAll(*declared)) {
            image.readMetadata();
            IptcStoredDates::keepDamaged(image);
            return;
        }
    }
    readMetadata(image);
}

void ExivRuntime::writeMetadata(Exiv2::Image& image)
{
    const auto lock = lockXmp();
    image.writeMetadata();
}
