#pragma once

#include <QString>

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
};
