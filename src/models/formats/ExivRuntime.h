#pragma once

#include "models/formats/XmpNamespaceTable.h"

#include <QString>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace Exiv2 {
class Image;
}

// Process-wide set-up of the metadata library: the XMP toolkit is initialised
// once with a lock (the library's XMP parser is not thread-safe on its own) and
// never terminated while the process runs; the library's own messages go to our
// log instead of standard error.
//
// The library reports what it meets in a damaged file as it parses, once per
// entry and again at every parse of the same bytes (each reader, the save's
// check of what it wrote). Each message is logged once per file, naming the
// file, at debug level; what the user should know (the library could not read
// part of a file) is one warning per file.
class ExivRuntime {
public:
    // Safe to call any number of times from any thread.
    static void initialize();

    // What the library reports on this thread while the scope lives (its
    // warnings and errors, in order), for a caller that must know whether
    // the library read a block whole. The messages still reach the handler
    // that was there (our log): the handler is one per process, so it is
    // set once and hands each message to the capture of the thread it came
    // from. Scopes nest; the innermost gets the messages.
    class MessageCapture {
    public:
        MessageCapture();
        ~MessageCapture();
        MessageCapture(const MessageCapture&) = delete;
        MessageCapture& operator=(const MessageCapture&) = delete;

        const std::vector<std::string>& messages() const { return messages_; }

    private:
        std::vector<std::string>* previous_;
        std::vector<std::string> messages_;
    };

    // Names the file the library works on in this thread while the scope
    // lives; scopes nest.
    class FileScope {
    public:
        explicit FileScope(const QString& path);
        ~FileScope();
        FileScope(const FileScope&) = delete;
        FileScope& operator=(const FileScope&) = delete;

    private:
        const QString* previous_;
        QString path_;
    };

    // The XMP toolkit keeps one table of namespaces for the whole process and
    // guards it only where the library registers a namespace: a decode writes
    // every declaration of its packet into the table (see XmpNamespaceTable),
    // and every write registers anew each namespace the library learnt; a
    // decode beside either reads a half-changed table and loses the photo's
    // XMP. So a write, and a decode whose packet may change the table, holds
    // this lock alone; decodes of packets whose declarations the table holds
    // already share it. The hold is reentrant on one thread (the toolkit asks
    // for it again from within a write).
    class XmpWriteLock {
    public:
        void lock();
        void unlock();
    };
    // Holds the lock alone.
    [[nodiscard]] static std::unique_lock<XmpWriteLock> lockXmp();
    // How this thread holds the lock now, so that a check can tell whether
    // the toolkit is entered under it.
    enum class XmpHold { None, Shared, Alone };
    static XmpHold xmpHold();

    // The image's readMetadata and writeMetadata, holding the lock alone:
    // each decodes or encodes the image's XMP packet. A read keeps damaged
    // IPTC dates as stored (see IptcStoredDates).
    static void readMetadata(Exiv2::Image& image);
    static void writeMetadata(Exiv2::Image& image);
    // readMetadata of a JPEG opened on `bytes`: shared with other such reads
    // when the toolkit's table holds every namespace declaration in the
    // bytes as a read holding the lock alone left it, alone otherwise.
    static void readMetadata(Exiv2::Image& image, std::string_view bytes);

    // Every namespace declaration in the XML of `bytes` (xmlns="..." and
    // xmlns:prefix="..."), as spelled; nothing when the bytes may hold XML
    // whose declarations the spelled ones do not tell whole: a packet in
    // UTF-16 or UTF-32, "xmlns" that is no declaration, a namespace written
    // with a reference.
    static std::optional<std::vector<XmpNamespaceTable::Declaration>> declaredXmpNamespaces(std::string_view bytes);

    // Whether the library can decode the packet; an empty one counts as
    // decodable. Takes the lock.
    static bool xmpPacketDecodes(const std::string& packet);

private:
    // What a decode holding the lock alone wrote into the toolkit's table:
    // every declaration of a packet parsed whole, an unknown part of one
    // that was not.
    static void noteDecodedPacket(const std::string& packet, bool parsedWhole);
};
