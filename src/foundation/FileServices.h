#pragma once

#include <QByteArray>
#include <QDateTime>
#include <QString>
#include <QStringList>

#include <cstdint>
#include <ctime>
#include <functional>
#include <memory>
#include <optional>

#include <sys/types.h>

// File-system operations on paths (no URLs), all failures returned as results.
//
// Callers rely on:
// - copyItem refuses to overwrite and keeps the source's modification and access
//   times; moveItem refuses to overwrite as well.
// - replaceFile and writeFileAtomically never leave a half-written destination:
//   the new content goes to a temporary file in the destination's folder
//   (".name.lumetta.tmp", locked while in use), is flushed to disk and then
//   renamed over the destination. On any failure the destination is untouched
//   and the reason is returned. A temporary left by a killed process is
//   removed by the next write of the same destination. A destination that is
//   a symbolic link stays one; the file it points to is replaced.
// - Dates are absolute instants (QDateTime in local time). Linux cannot set a
//   file's creation (birth) time: setFileDates sets the modification and access
//   times only, and creationDate reads the birth time where the file system
//   records it, else the modification time.
class FileServices {
public:
    // What tells a file apart from a newer version or another file at the
    // same path: where it lives, its size and modification time, and whether
    // the path is a symbolic link (and to what). The rest describes the file
    // the path leads to.
    struct Identity {
        bool exists = false;
        bool isLink = false;
        QByteArray linkTarget;
        uint64_t device = 0;
        uint64_t inode = 0;
        int64_t size = -1;
        int64_t modified = 0; // nanoseconds since the epoch
        bool operator==(const Identity&) const = default;
    };
    static Identity identityOf(const QString& path);

    // Anything at the path (a symbolic link counts by its target).
    static bool fileExists(const QString& path);
    static bool isFolder(const QString& path);

    // Creates the folder and its missing parents. True when it exists afterwards.
    static bool createFolder(const QString& path);
    // Removes a file, or a folder with everything in it. False when nothing was
    // there or something could not be removed.
    static bool removeItem(const QString& path);

    // The names in the folder (hidden ones included, "." and ".." not), sorted.
    static QStringList contentsOfFolder(const QString& path);
    // Every file and folder below the folder as paths relative to it, depth
    // first, each folder's entries sorted by name.
    static QStringList subpathsOfFolder(const QString& path);

    // Copies a file, or a folder with its contents. Fails when the destination
    // exists. The copies keep the source's modification and access times.
    static bool copyItem(const QString& source, const QString& destination, QString* error = nullptr);
    // Copies the content of the file at `source` (the file a link leads to,
    // never the link itself) into a new file that keeps the source's mode,
    // modification and access times. Fails when the destination exists or the
    // source is no regular file.
    static bool copyFileContent(const QString& source, const QString& destination, QString* error = nullptr);
    // Renames, or copies and removes across file systems. Fails when the
    // destination exists.
    static bool moveItem(const QString& source, const QString& destination, QString* error = nullptr);

    // Byte-wise equality of two files. False when either cannot be read.
    static bool contentsEqual(const QString& first, const QString& second);
    // The file's size in bytes, -1 when it cannot be read.
    static int64_t fileSize(const QString& path);

    // Invalid QDateTime when the file's attributes cannot be read.
    static QDateTime modificationDate(const QString& path);
    static QDateTime accessDate(const QString& path);
    static QDateTime creationDate(const QString& path);
    // Sets the modification time, and the access time when `access` is valid
    // (otherwise the access time is left as it is). A creation date cannot be set
    // on Linux; callers that want one set the modification time instead.
    static bool setFileDates(const QString& path, const QDateTime& modification, const QDateTime& access = QDateTime());

    // Replaces `destination` by a copy of `source` atomically (see above). The
    // result keeps the source's modification and access times and the
    // destination's permissions (the source's when the destination is new),
    // owner, group and extended attributes (as far as the process may set them).
    static bool replaceFile(const QString& destination, const QString& source, QString* error = nullptr);

    // How the replacement of a file that must still be the one seen before ended.
    enum class Publication { Published, Changed, Failed };
    // replaceFile for a user's file that another program may write at any
    // moment: it is replaced only while it is still `expected` (identityOf
    // of `destination` when it was read), up to the replacement itself. The
    // new file goes in by exchanging it with the old one, and the file taken
    // out is checked to be `expected`; when it is not, it is put back and
    // nothing another program wrote is removed (Changed). Where the file
    // system cannot exchange, the identity is checked again right before the
    // rename. `published`, when given, gets the identity of the new file.
    static Publication replaceFile(const QString& destination, const QString& source, const Identity& expected,
        Identity* published = nullptr, QString* error = nullptr);
    // Writes `data` to `path` atomically (see above), keeping an existing
    // file's permissions, owner, group and extended attributes.
    static bool writeFileAtomically(const QString& path, const QByteArray& data, QString* error = nullptr);
    // The same, the new file dated `dates` (modification and access) when
    // given, else the time of the write.
    static bool writeFileAtomically(
        const QString& path, const QByteArray& data, const std::optional<QDateTime>& dates, QString* error = nullptr);
    // writeFileAtomically for a scratch file that can be made again from another (a
    // working copy): every write is checked and the rename is atomic, but the
    // content is not forced to disk, which saves two flushes per write.
    static bool writeScratchFileAtomically(const QString& path, const QByteArray& data, QString* error = nullptr);

    // writeFileAtomically in two steps, so that other work can go on while
    // the disk flushes: prepareFileWrite writes the new content into the
    // temporary file beside `path` and flushes it, leaving `path` as it is;
    // commitFileWrite puts it in place. A pending write dropped without the
    // second step removes its temporary file.
    class PendingWrite {
    public:
        ~PendingWrite();
        PendingWrite(const PendingWrite&) = delete;
        PendingWrite& operator=(const PendingWrite&) = delete;

    private:
        friend class FileServices;
        PendingWrite() = default;
        int fd_ = -1;
        QString tempPath_;
        // The path asked for, and the file written: the target of a link.
        QString requestedPath_;
        QString destination_;
        bool durable_ = true;
    };
    // Null, with `error` filled, when the content could not be written.
    static std::unique_ptr<PendingWrite> prepareFileWrite(
        const QString& path, const QByteArray& data, const std::optional<QDateTime>& dates, QString* error = nullptr);
    static bool commitFileWrite(std::unique_ptr<PendingWrite> write, QString* error = nullptr);
    // commitFileWrite guarded as replaceFile with `expected` is; `expected`
    // describes the path given to prepareFileWrite.
    static Publication commitFileWrite(std::unique_ptr<PendingWrite> write, const Identity& expected,
        Identity* published = nullptr, QString* error = nullptr);

    // While one lives on a thread, the durable writes made on that thread
    // (writeFileAtomically, replaceFile and the two-step write) flush each
    // folder they renamed a new file into once, when it goes, instead of once
    // a file: a save loop of many photos in one folder forces the disk once a
    // photo. Each new content is still flushed before its name replaces the
    // old file's, so a crash before the folders are flushed leaves every file
    // whole, old or new. One made while another lives on the thread leaves
    // the flushes to the outer one.
    class DeferredFolderFlush {
    public:
        DeferredFolderFlush();
        ~DeferredFolderFlush();
        DeferredFolderFlush(const DeferredFolderFlush&) = delete;
        DeferredFolderFlush& operator=(const DeferredFolderFlush&) = delete;

        // Keeps `folder` for the flush in force on this thread; false when
        // none is.
        static bool defer(const QString& folder);

    private:
        bool outermost_ = false;
        QStringList folders_;
    };

    // The calls that order a write on the disk, replaceable so that tests can
    // see when the new content and the folder are flushed, and what the
    // folder holds then, and make any of them fail as a disk or a file
    // system can: `sync` flushes a descriptor (a file or a folder),
    // `exchange` swaps two paths atomically (as renameat2 with
    // RENAME_EXCHANGE); `setMode`, `setTimes` and `close` are fchmod, futimens
    // and the close of a written file, `rename` and `remove` are rename and
    // unlink; `copyRange` is copy_file_range from and to the descriptors'
    // offsets, with which every copy starts (a file system that cannot copy
    // in the kernel is copied through a buffer); `link` names a copy made as
    // an unnamed file (linkat of its /proc/self/fd path, followed; where it
    // fails the copy is made by name). Each answers as the system call does
    // (-1 and errno on failure).
    // An empty call is the system's own; setSystemCalls({}) restores all.
    struct SystemCalls {
        std::function<int(int fd)> sync;
        std::function<int(const char* first, const char* second)> exchange;
        std::function<int(int fd, mode_t mode)> setMode;
        std::function<int(int fd, const struct timespec times[2])> setTimes;
        std::function<int(int fd)> close;
        std::function<int(const char* from, const char* to)> rename;
        std::function<int(const char* path)> remove;
        std::function<ssize_t(int from, int to, size_t length)> copyRange;
        std::function<int(const char* from, const char* to)> link;
    };
    static void setSystemCalls(SystemCalls calls);

private:
    static bool writeAtomically(const QString& path, const QByteArray& data, QString* error, bool durable,
        const std::optional<QDateTime>& dates = std::nullopt);
    static std::unique_ptr<PendingWrite> startWrite(const QString& path, const QByteArray& data, QString* error,
        bool durable, const std::optional<QDateTime>& dates);
};
