#pragma once

#include <QString>
#include <mutex>
#include <string>

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

    // Held around every call into the library that decodes or encodes an XMP
    // packet: reading a file's metadata, writing it, decoding a packet. The
    // lock the toolkit was given guards only its registration of a namespace,
    // while a decode registers the namespaces it meets and a write registers
    // anew every namespace the library knows of its own: a decode beside
    // them reads a half-changed namespace table and loses the photo's XMP.
    // The toolkit takes the same lock again from within a decode, hence
    // recursive.
    [[nodiscard]] static std::unique_lock<std::recursive_mutex> lockXmp();

    // The image's readMetadata and writeMetadata under that lock: each decodes
    // or encodes the image's XMP packet.
    static void readMetadata(Exiv2::Image& image);
    static void writeMetadata(Exiv2::Image& image);

    // Whether the library can decode the packet; an empty one counts as
    // decodable. Takes the lock.
    static bool xmpPacketDecodes(const std::string& packet);
};
