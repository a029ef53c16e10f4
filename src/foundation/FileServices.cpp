#include "foundation/FileServices.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRandomGenerator>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/xattr.h>
#include <unistd.h>

#include <memory>
#include <mutex>
#include <utility>

namespace {

std::mutex systemCallsMutex;
FileServices::SystemCalls systemCalls;

// The replacement of one system call, empty for the system's own.
template <typename Call> Call replacement(Call FileServices::SystemCalls::*call)
{
    const std::lock_guard<std::mutex> lock(systemCallsMutex);
    return systemCalls.*call;
}

int syncDescriptor(int fd)
{
    const auto call = replacement(&FileServices::SystemCalls::sync);
    return call ? call(fd) : ::fsync(fd);
}

int exchangePaths(const QByteArray& first, const QByteArray& second)
{
    const auto call = replacement(&FileServices::SystemCalls::exchange);
    return call ? call(first.constData(), second.constData())
                : ::renameat2(AT_FDCWD, first.constData(), AT_FDCWD, second.constData(), RENAME_EXCHANGE);
}

int setMode(int fd, mode_t mode)
{
    const auto call = replacement(&FileServices::SystemCalls::setMode);
    return call ? call(fd, mode) : ::fchmod(fd, mode);
}

int setTimes(int fd, const struct timespec times[2])
{
    const auto call = replacement(&FileServices::SystemCalls::setTimes);
    return call ? call(fd, times) : ::futimens(fd, times);
}

int closeWritten(int fd)
{
    const auto call = replacement(&FileServices::SystemCalls::close);
    return call ? call(fd) : ::close(fd);
}

int renamePath(const QByteArray& from, const QByteArray& to)
{
    const auto call = replacement(&FileServices::SystemCalls::rename);
    return call ? call(from.constData(), to.constData()) : ::rename(from.constData(), to.constData());
}

int removePath(const QByteArray& path)
{
    const auto call = replacement(&FileServices::SystemCalls::remove);
    return call ? call(path.constData()) : ::unlink(path.constData());
}

ssize_t copyRange(int from, int to, size_t length)
{
    const auto call = replacement(&FileServices::SystemCalls::copyRange);
    return call ? call(from, to, length) : ::copy_file_range(from, nullptr, to, nullptr, length, 0);
}

int linkFollowed(const QByteArray& from, const QByteArray& to)
{
    const auto call = replacement(&FileServices::SystemCalls::link);
    return call ? call(from.constData(), to.constData())
                : ::linkat(AT_FDCWD, from.constData(), AT_FDCWD, to.constData(), AT_SYMLINK_FOLLOW);
}

QByteArray native(const QString& path)
{
    return QFile::encodeName(path);
}

void setError(QString* error, const QString& text)
{
    if (error) {
        *error = text;
    }
}

QString systemError(const QString& what, const QString& path, int code)
{
    return QStringLiteral("%1 %2: %3").arg(what, path, QString::fromLocal8Bit(std::strerror(code)));
}

QDateTime dateFrom(const struct timespec& ts)
{
    return QDateTime::fromMSecsSinceEpoch(qint64(ts.tv_sec) * 1000 + ts.tv_nsec / 1000000);
}

struct timespec timespecFrom(const QDateTime& date)
{
    const qint64 ms = date.toMSecsSinceEpoch();
    struct timespec ts { };
    ts.tv_sec = time_t(ms / 1000);
    ts.tv_nsec = long((ms % 1000) * 1000000);
    if (ts.tv_nsec < 0) {
        ts.tv_sec -= 1;
        ts.tv_nsec += 1000000000L;
    }
    return ts;
}

// Closes a descriptor on every path out of a function.
class Descriptor {
public:
    explicit Descriptor(int fd = -1)
        : fd_(fd)
    {
    }
    ~Descriptor() { reset(); }
    Descriptor(const Descriptor&) = delete;
    Descriptor& operator=(const Descriptor&) = delete;
    int get() const { return fd_; }
    bool valid() const { return fd_ >= 0; }
    void reset(int fd = -1)
    {
        if (fd_ >= 0) {
            ::close(fd_);
        }
        fd_ = fd;
    }
    // Gives the descriptor up without closing it.
    int release()
    {
        const int fd = fd_;
        fd_ = -1;
        return fd;
    }
    // Closes now and reports whether the close succeeded (it can report a late
    // write error on some file systems).
    bool close()
    {
        const int fd = fd_;
        fd_ = -1;
        return fd < 0 || closeWritten(fd) == 0;
    }

private:
    int fd_;
};

// At most a megabyte per call. The page cache takes pages as large as the
// write asks for, up to 2 MB, and a virtual machine that hands free memory
// back to its host hands back just such 2 MB blocks: each is faulted in again
// on first use. Writing a 2 MB file in one call after deleting a file the
// kernel had copied took 4.8 to 6.4 ms, and 0.5 ms in pieces of a megabyte or
// less. In a save, the user's file's bytes went from 2.1 ms to 0.7 ms.
bool writeAll(int fd, const char* data, size_t size)
{
    static constexpr size_t kMaxPiece = size_t(1) << 20;
    while (size > 0) {
        const ssize_t written = ::write(fd, data, std::min(size, kMaxPiece));
        if (written < 0) {
            if (errno == EINTR) {
                continue;
            }
            return false;
        }
        data += written;
        size -= size_t(written);
    }
    return true;
}

// Copies the rest of `from` into `to` by reading and writing. Sets errno on
// failure.
bool copyThroughBuffer(int from, int to)
{
    static constexpr size_t kChunk = 1 << 20;
    QByteArray buffer(kChunk, Qt::Uninitialized);
    for (;;) {
        const ssize_t got = ::read(from, buffer.data(), kChunk);
        if (got < 0) {
            if (errno == EINTR) {
                continue;
            }
            return false;
        }
        if (got == 0) {
            return true;
        }
        if (!writeAll(to, buffer.constData(), size_t(got))) {
            return false;
        }
    }
}

// The errors with which a file system (or an older kernel, or a pair of file
// systems) says it cannot copy inside the kernel: the copy goes on through a
// buffer from where the kernel left it.
bool kernelCopyUnsupported(int code)
{
    return code == EXDEV || code == ENOSYS || code == EOPNOTSUPP || code == EINVAL;
}

// Copies the rest of `from` into `to`, letting the kernel move the bytes
// (no trip through our memory; a reflink or a server-side copy where the
// file system has one), else through a buffer. Sets errno on failure.
bool copyContents(int from, int to)
{
    static constexpr size_t kRange = size_t(1) << 30;
    for (;;) {
        const ssize_t copied = copyRange(from, to, kRange);
        if (copied > 0) {
            continue;
        }
        if (copied < 0 && errno == EINTR) {
            continue;
        }
        if (copied < 0 && !kernelCopyUnsupported(errno)) {
            return false;
        }
        // Both descriptors' offsets stand after what the kernel copied. A
        // zero is the end of the file, or a file system (such as a virtual
        // one) that reports none: reading settles which.
        return copyThroughBuffer(from, to);
    }
}

// The destination's name, shortened where needed so that the temporary name
// made from it stays within the file system's limit on one name component.
QString temporaryStem(const QString& fileName)
{
    // 255 bytes less the longest decoration: ".", ".lumetta-", eight hex
    // digits and ".tmp".
    static constexpr qsizetype kMaxStemBytes = 255 - 22;
    QString stem = fileName;
    while (QFile::encodeName(stem).size() > kMaxStemBytes) {
        // Never leave half of a surrogate pair behind.
        stem.chop(stem.size() >= 2 && stem.at(stem.size() - 1).isLowSurrogate() ? 2 : 1);
    }
    return stem;
}

// Opens a new temporary file exclusively and locks it for as long as it is
// open: the lock tells a later writer that the file is still in use.
int createLocked(const QByteArray& path, mode_t mode)
{
    const int fd = ::open(path.constData(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, mode);
    if (fd >= 0 && ::flock(fd, LOCK_EX | LOCK_NB) != 0) {
        // Another writer found it between our create and our lock and took it
        // for a leftover; it is theirs now.
        ::close(fd);
        errno = EEXIST;
        return -1;
    }
    return fd;
}

// Removes the temporary at `path` when it is a leftover: nobody holds its
// lock, because the process that wrote it was killed before its rename.
bool removeIfLeftover(const QByteArray& path)
{
    const int fd = ::open(path.constData(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC);
    if (fd < 0) {
        return errno == ENOENT;
    }
    const bool unused = ::flock(fd, LOCK_EX | LOCK_NB) == 0;
    const bool removed = unused && ::unlink(path.constData()) == 0;
    ::close(fd);
    return removed;
}

// A new, empty file next to `destination`, created with `mode` (before the
// umask) and locked. Its hidden name tells it apart as ours and names the file
// it will replace: ".photo.jpg.lumetta.tmp". A leftover of that name (a killed
// writer's) is removed first; while another writer uses it, a name with a
// random part is taken instead. Returns its path in `tempPath`.
int createTemporaryBeside(const QString& destination, mode_t mode, QString* tempPath)
{
    const QFileInfo info(destination);
    const QString stem = temporaryStem(info.fileName());
    const QString usual = info.dir().filePath(QStringLiteral(".%1.lumetta.tmp").arg(stem));
    const QByteArray usualName = native(usual);
    for (int attempt = 0; attempt < 2; ++attempt) {
        const int fd = createLocked(usualName, mode);
        if (fd >= 0 || errno != EEXIST) {
            *tempPath = usual;
            return fd;
        }
        if (!removeIfLeftover(usualName)) {
            break;
        }
    }
    for (int attempt = 0; attempt < 100; ++attempt) {
        const QString name = QStringLiteral(".%1.lumetta-%2.tmp")
                                 .arg(stem)
                                 .arg(QRandomGenerator::global()->generate(), 8, 16, QLatin1Char('0'));
        const QString candidate = info.dir().filePath(name);
        const int fd = createLocked(native(candidate), mode);
        if (fd >= 0 || errno != EEXIST) {
            *tempPath = candidate;
            return fd;
        }
    }
    errno = EEXIST;
    return -1;
}

void syncFolder(const QString& folder)
{
    const int fd = ::open(native(folder).constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd >= 0) {
        syncDescriptor(fd);
        ::close(fd);
    }
}

// The deferred flush in force on this thread, if any.
thread_local FileServices::DeferredFolderFlush* deferredFlush = nullptr;

void syncFolderOf(const QString& path)
{
    const QString folder = QFileInfo(path).absolutePath();
    if (!FileServices::DeferredFolderFlush::defer(folder)) {
        syncFolder(folder);
    }
}

// Gives the new file the old one's owner and group. Only root may give a file
// away; anyone else keeps at least the group where they belong to it, and
// otherwise the file is theirs, as any file they write.
void keepOwner(int fd, const struct stat& previous)
{
    if (::fchown(fd, previous.st_uid, previous.st_gid) != 0) {
        (void)::fchown(fd, uid_t(-1), previous.st_gid);
    }
}

// The names of the extended attributes of `path` (not following a link).
QList<QByteArray> attributeNames(const QByteArray& path)
{
    QByteArray names;
    for (int attempt = 0; attempt < 4; ++attempt) {
        const ssize_t size = ::llistxattr(path.constData(), nullptr, 0);
        if (size <= 0) {
            return {};
        }
        names.resize(size);
        const ssize_t got = ::llistxattr(path.constData(), names.data(), size_t(names.size()));
        if (got >= 0) {
            names.truncate(got);
            break;
        }
        if (errno != ERANGE) {
            return {};
        }
        names.clear();
    }
    QList<QByteArray> result;
    for (const QByteArray& name : names.split('\0')) {
        if (!name.isEmpty()) {
            result.append(name);
        }
    }
    return result;
}

// Carries the extended attributes of the file being replaced (desktop tags
// and comments, access control lists) over to its replacement. One the
// process may not set is logged and left out; it never fails the write.
void keepExtendedAttributes(const QString& previousPath, int fd)
{
    const QByteArray path = native(previousPath);
    for (const QByteArray& name : attributeNames(path)) {
        const ssize_t size = ::lgetxattr(path.constData(), name.constData(), nullptr, 0);
        QByteArray value(size > 0 ? size : 0, Qt::Uninitialized);
        const ssize_t got
            = size < 0 ? -1 : ::lgetxattr(path.constData(), name.constData(), value.data(), size_t(value.size()));
        if (got < 0 || ::fsetxattr(fd, name.constData(), value.constData(), size_t(got), 0) != 0) {
            qWarning("Could not keep the extended attribute %s of %s: %s", name.constData(), path.constData(),
                std::strerror(errno));
        }
    }
}

// The first half of an atomic write: `fill` writes the content into a new
// temporary file beside `destination`, which then gets the owner of
// `previous` (the file it replaces, null for a new one), its mode and dates
// and is flushed. Returns the temporary, still open and locked, or -1 with
// the temporary removed.
template <typename Fill>
int writeTemporary(const QString& destination, const struct stat* previous, mode_t mode, const struct timespec* times,
    Fill fill, QString* error, bool durable, QString* tempPath)
{
    // Private while the content goes in; the final mode is set afterwards. A
    // new file with no mode to set gets the usual one through the umask.
    Descriptor out(createTemporaryBeside(destination, mode != mode_t(-1) ? 0600 : 0666, tempPath));
    if (!out.valid()) {
        setError(error, systemError(QStringLiteral("cannot create a temporary file beside"), destination, errno));
        return -1;
    }
    const auto failWith = [&](const QString& what) {
        const int code = errno;
        out.reset();
        ::unlink(native(*tempPath).constData());
        setError(error, systemError(what, destination, code));
        return -1;
    };
    if (!fill(out.get())) {
        return failWith(QStringLiteral("cannot write the new content of"));
    }
    // The owner first: changing it clears set-id bits that the mode then restores.
    if (previous) {
        keepOwner(out.get(), *previous);
    }
    if (mode != mode_t(-1) && setMode(out.get(), mode) != 0) {
        return failWith(QStringLiteral("cannot set the permissions of"));
    }
    // After the mode: an access control list carries its own mask, which a
    // later change of mode would rewrite.
    if (previous) {
        keepExtendedAttributes(destination, out.get());
    }
    if (durable && syncDescriptor(out.get()) != 0) {
        return failWith(QStringLiteral("cannot flush the new content of"));
    }
    if (times && setTimes(out.get(), times) != 0) {
        return failWith(QStringLiteral("cannot set the dates of"));
    }
    return out.release();
}

// The second half: closes the temporary `fd` at `tempPath` and renames it
// over `destination`; on failure the temporary is removed.
bool renameTemporary(int fd, const QString& tempPath, const QString& destination, bool durable, QString* error)
{
    Descriptor out(fd);
    const QByteArray tempName = native(tempPath);
    const auto failWith = [&](const QString& what) {
        const int code = errno;
        out.reset();
        ::unlink(tempName.constData());
        setError(error, systemError(what, destination, code));
        return false;
    };
    if (!out.close()) {
        return failWith(QStringLiteral("cannot finish writing"));
    }
    if (renamePath(tempName, native(destination)) != 0) {
        return failWith(QStringLiteral("cannot replace"));
    }
    if (durable) {
        syncFolderOf(destination);
    }
    return true;
}

int64_t nanoseconds(const struct timespec& ts)
{
    return int64_t(ts.tv_sec) * 1000000000 + ts.tv_nsec;
}

// Whether `st` (not following a link) describes the file `expected` saw.
bool isExpectedFile(const struct stat& st, const FileServices::Identity& expected)
{
    return expected.exists && !S_ISLNK(st.st_mode) && uint64_t(st.st_dev) == expected.device
        && uint64_t(st.st_ino) == expected.inode && int64_t(st.st_size) == expected.size
        && nanoseconds(st.st_mtim) == expected.modified;
}

// Whether `path` is still a link to the same place, or still no link.
bool isSameKindOfPath(const QString& path, const FileServices::Identity& expected)
{
    const FileServices::Identity now = FileServices::identityOf(path);
    return now.isLink == expected.isLink && now.linkTarget == expected.linkTarget;
}

bool isExchangeUnsupported(int code)
{
    return code == EINVAL || code == ENOSYS || code == EOPNOTSUPP;
}

// The second half of a guarded write: the temporary `fd` at `tempPath`
// replaces `destination` (the file `requested` leads to) only while that is
// still the file `expected` describes. The exchange leaves the old file under
// the temporary's name, where it is checked before it goes; a file that turns
// out to be another program's version is put back.
FileServices::Publication publishTemporary(int fd, const QString& tempPath, const QString& requested,
    const QString& destination, const FileServices::Identity& expected, FileServices::Identity* published,
    QString* error)
{
    using Publication = FileServices::Publication;
    Descriptor out(fd);
    const QByteArray tempName = native(tempPath);
    const QByteArray destinationName = native(destination);
    const auto dropTemporary = [&](Publication result, const QString& text) {
        out.reset();
        ::unlink(tempName.constData());
        setError(error, text);
        return result;
    };
    const auto failWith = [&](const QString& what) {
        return dropTemporary(Publication::Failed, systemError(what, destination, errno));
    };
    const auto changed = [&] {
        return dropTemporary(
            Publication::Changed, QStringLiteral("%1 was changed by another program since it was read").arg(requested));
    };
    struct stat made { };
    if (::fstat(out.get(), &made) != 0 || !out.close()) {
        return failWith(QStringLiteral("cannot finish writing"));
    }
    if (!isSameKindOfPath(requested, expected)) {
        return changed();
    }
    if (exchangePaths(tempName, destinationName) == 0) {
        struct stat previous { };
        if (::lstat(tempName.constData(), &previous) != 0 || !isExpectedFile(previous, expected)) {
            if (exchangePaths(tempName, destinationName) != 0) {
                // Nothing another program wrote is removed: its version stays
                // under the temporary's name.
                setError(error,
                    QStringLiteral("%1 was changed by another program; its version is kept as %2: %3")
                        .arg(requested, tempPath, QString::fromLocal8Bit(std::strerror(errno))));
                return Publication::Changed;
            }
            return changed();
        }
        // The version that was read, now replaced.
        ::unlink(tempName.constData());
    } else if (isExchangeUnsupported(errno)) {
        if (FileServices::identityOf(requested) != expected) {
            return changed();
        }
        if (renamePath(tempName, destinationName) != 0) {
            return failWith(QStringLiteral("cannot replace"));
        }
    } else {
        struct stat gone { };
        if (errno == ENOENT && ::lstat(destinationName.constData(), &gone) != 0) {
            return changed();
        }
        return failWith(QStringLiteral("cannot replace"));
    }
    syncFolderOf(destination);
    if (published) {
        *published = expected;
        published->device = uint64_t(made.st_dev);
        published->inode = uint64_t(made.st_ino);
        published->size = int64_t(made.st_size);
        published->modified = nanoseconds(made.st_mtim);
    }
    return Publication::Published;
}

bool lstatPath(const QString& path, struct stat* st)
{
    return ::lstat(native(path).constData(), st) == 0;
}

bool copyFileNamed(const QString& source, const QString& destination, const struct stat& st, QString* error)
{
    Descriptor in(::open(native(source).constData(), O_RDONLY | O_CLOEXEC));
    if (!in.valid()) {
        setError(error, systemError(QStringLiteral("cannot read"), source, errno));
        return false;
    }
    const QByteArray target = native(destination);
    Descriptor out(::open(target.constData(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, st.st_mode & 07777));
    if (!out.valid()) {
        setError(error, systemError(QStringLiteral("cannot create"), destination, errno));
        return false;
    }
    const struct timespec times[2] = {st.st_atim, st.st_mtim};
    if (!copyContents(in.get(), out.get()) || setTimes(out.get(), times) != 0 || !out.close()) {
        setError(error, systemError(QStringLiteral("cannot copy to"), destination, errno));
        out.reset();
        ::unlink(target.constData());
        return false;
    }
    return true;
}

// The copy is made as a file without a name in the destination's folder and
// named there once whole. Creating a named file holds the folder's lock while
// the file system finds the new file a place, which it can take long over:
// copies made into one folder on several threads (an import's working
// copies) waited on each other there; measured with 350 camera files, four
// threads copied in 190-310 ms by name and in 95-110 ms this way. Where the
// file system or the kernel cannot (no unnamed files, no /proc), the copy is
// made by name.
bool copyFile(const QString& source, const QString& destination, const struct stat& st, QString* error)
{
    const QByteArray target = native(destination);
    const qsizetype slash = target.lastIndexOf('/');
    const QByteArray folder = slash < 0 ? QByteArray(".") : slash == 0 ? QByteArray("/") : target.left(slash);
    Descriptor out(::open(folder.constData(), O_TMPFILE | O_WRONLY | O_CLOEXEC, st.st_mode & 07777));
    Descriptor in(out.valid() ? ::open(native(source).constData(), O_RDONLY | O_CLOEXEC) : -1);
    if (!in.valid()) {
        return copyFileNamed(source, destination, st, error);
    }
    const struct timespec times[2] = {st.st_atim, st.st_mtim};
    if (!copyContents(in.get(), out.get()) || setTimes(out.get(), times) != 0) {
        setError(error, systemError(QStringLiteral("cannot copy to"), destination, errno));
        return false; // the unnamed file goes with its descriptor
    }
    const QByteArray unnamed = "/proc/self/fd/" + QByteArray::number(out.get());
    if (linkFollowed(unnamed, target) != 0) {
        if (errno == EEXIST) {
            setError(error, systemError(QStringLiteral("cannot create"), destination, errno));
            return false;
        }
        return copyFileNamed(source, destination, st, error);
    }
    if (!out.close()) {
        setError(error, systemError(QStringLiteral("cannot copy to"), destination, errno));
        ::unlink(target.constData());
        return false;
    }
    return true;
}

bool copyAny(const QString& source, const QString& destination, QString* error)
{
    struct stat st { };
    if (!lstatPath(source, &st)) {
        setError(error, systemError(QStringLiteral("cannot read"), source, errno));
        return false;
    }
    if (S_ISLNK(st.st_mode)) {
        QByteArray raw(4096, Qt::Uninitialized);
        const ssize_t length = ::readlink(native(source).constData(), raw.data(), size_t(raw.size()));
        if (length < 0 || ::symlink(raw.left(int(length)).constData(), native(destination).constData()) != 0) {
            setError(error, systemError(QStringLiteral("cannot copy the link"), source, errno));
            return false;
        }
        return true;
    }
    if (!S_ISDIR(st.st_mode)) {
        return copyFile(source, destination, st, error);
    }
    if (::mkdir(native(destination).constData(), (st.st_mode & 07777) | S_IRWXU) != 0) {
        setError(error, systemError(QStringLiteral("cannot create"), destination, errno));
        return false;
    }
    for (const QString& name : FileServices::contentsOfFolder(source)) {
        if (!copyAny(source + QLatin1Char('/') + name, destination + QLatin1Char('/') + name, error)) {
            return false;
        }
    }
    const struct timespec times[2] = {st.st_atim, st.st_mtim};
    ::utimensat(AT_FDCWD, native(destination).constData(), times, 0);
    ::chmod(native(destination).constData(), st.st_mode & 07777);
    return true;
}

void collectSubpaths(const QString& folder, const QString& prefix, QStringList* out)
{
    for (const QString& name : FileServices::contentsOfFolder(folder)) {
        const QString full = folder + QLatin1Char('/') + name;
        const QString relative = prefix.isEmpty() ? name : prefix + QLatin1Char('/') + name;
        out->append(relative);
        struct stat st { };
        // Links to folders are listed but not followed, so a loop cannot trap us.
        if (lstatPath(full, &st) && S_ISDIR(st.st_mode)) {
            collectSubpaths(full, relative, out);
        }
    }
}

} // namespace

FileServices::Identity FileServices::identityOf(const QString& path)
{
    Identity identity;
    struct stat st { };
    if (path.isEmpty() || !lstatPath(path, &st)) {
        return identity;
    }
    identity.isLink = S_ISLNK(st.st_mode);
    if (identity.isLink) {
        QByteArray target(4096, Qt::Uninitialized);
        const ssize_t length = ::readlink(native(path).constData(), target.data(), size_t(target.size()));
        identity.linkTarget = length < 0 ? QByteArray() : target.left(length);
        if (::stat(native(path).constData(), &st) != 0) {
            return identity;
        }
    }
    identity.exists = true;
    identity.device = uint64_t(st.st_dev);
    identity.inode = uint64_t(st.st_ino);
    identity.size = int64_t(st.st_size);
    identity.modified = int64_t(st.st_mtim.tv_sec) * 1000000000 + st.st_mtim.tv_nsec;
    return identity;
}

bool FileServices::fileExists(const QString& path)
{
    struct stat st { };
    return !path.isEmpty() && ::stat(native(path).constData(), &st) == 0;
}

bool FileServices::isFolder(const QString& path)
{
    struct stat st { };
    return !path.isEmpty() && ::stat(native(path).constData(), &st) == 0 && S_ISDIR(st.st_mode);
}

bool FileServices::createFolder(const QString& path)
{
    if (path.isEmpty()) {
        return false;
    }
    return QDir().mkpath(path) && isFolder(path);
}

bool FileServices::removeItem(const QString& path)
{
    struct stat st { };
    if (path.isEmpty() || !lstatPath(path, &st)) {
        return false;
    }
    if (!S_ISDIR(st.st_mode)) {
        return removePath(native(path)) == 0;
    }
    // The first failure's cause is the one to report: the folder that then
    // cannot go only follows from it.
    int firstError = 0;
    for (const QString& name : contentsOfFolder(path)) {
        if (!removeItem(path + QLatin1Char('/') + name) && firstError == 0) {
            firstError = errno;
        }
    }
    if (::rmdir(native(path).constData()) != 0 && firstError == 0) {
        firstError = errno;
    }
    errno = firstError;
    return firstError == 0;
}

QStringList FileServices::contentsOfFolder(const QString& path)
{
    if (path.isEmpty()) {
        return {};
    }
    return QDir(path).entryList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot, QDir::Name);
}

QStringList FileServices::subpathsOfFolder(const QString& path)
{
    QStringList result;
    if (isFolder(path)) {
        collectSubpaths(path, QString(), &result);
    }
    return result;
}

bool FileServices::copyItem(const QString& source, const QString& destination, QString* error)
{
    struct stat st { };
    if (lstatPath(destination, &st)) {
        setError(error, QStringLiteral("cannot copy to %1: it already exists").arg(destination));
        return false;
    }
    if (!copyAny(source, destination, error)) {
        // The destination did not exist before, so whatever stands there now is
        // our own unfinished copy.
        removeItem(destination);
        return false;
    }
    return true;
}

bool FileServices::copyFileContent(const QString& source, const QString& destination, QString* error)
{
    struct stat st { };
    if (::stat(native(source).constData(), &st) != 0) {
        setError(error, systemError(QStringLiteral("cannot read"), source, errno));
        return false;
    }
    if (!S_ISREG(st.st_mode)) {
        setError(error, QStringLiteral("cannot copy %1: it is not a file").arg(source));
        return false;
    }
    return copyFile(source, destination, st, error);
}

bool FileServices::moveItem(const QString& source, const QString& destination, QString* error)
{
    struct stat st { };
    if (lstatPath(destination, &st)) {
        setError(error, QStringLiteral("cannot move to %1: it already exists").arg(destination));
        return false;
    }
    if (renamePath(native(source), native(destination)) == 0) {
        return true;
    }
    if (errno != EXDEV) {
        setError(error, systemError(QStringLiteral("cannot move"), source, errno));
        return false;
    }
    if (!copyItem(source, destination, error)) {
        return false;
    }
    const bool folder = lstatPath(source, &st) && S_ISDIR(st.st_mode);
    if (removeItem(source)) {
        return true;
    }
    const int code = errno;
    // A file that could not be removed is still whole where it was: the copy
    // goes, and the move did not happen. A folder may have lost some of its
    // entries to the removal already, which live on only in the copy: both
    // stay.
    if (!folder) {
        removeItem(destination);
    }
    setError(error,
        systemError(folder ? QStringLiteral("moved a copy but cannot remove all of") : QStringLiteral("cannot move"),
            source, code));
    return false;
}

bool FileServices::contentsEqual(const QString& first, const QString& second)
{
    QFile a(first);
    QFile b(second);
    if (!a.open(QIODevice::ReadOnly) || !b.open(QIODevice::ReadOnly)) {
        return false;
    }
    if (a.size() != b.size()) {
        return false;
    }
    static constexpr qint64 kChunk = 1 << 20;
    while (!a.atEnd()) {
        const QByteArray left = a.read(kChunk);
        if (left != b.read(kChunk)) {
            return false;
        }
        if (left.isEmpty()) {
            return false; // read error
        }
    }
    return b.atEnd();
}

int64_t FileServices::fileSize(const QString& path)
{
    struct stat st { };
    if (path.isEmpty() || ::stat(native(path).constData(), &st) != 0) {
        return -1;
    }
    return int64_t(st.st_size);
}

QDateTime FileServices::modificationDate(const QString& path)
{
    struct stat st { };
    if (path.isEmpty() || ::stat(native(path).constData(), &st) != 0) {
        return {};
    }
    return dateFrom(st.st_mtim);
}

QDateTime FileServices::accessDate(const QString& path)
{
    struct stat st { };
    if (path.isEmpty() || ::stat(native(path).constData(), &st) != 0) {
        return {};
    }
    return dateFrom(st.st_atim);
}

QDateTime FileServices::creationDate(const QString& path)
{
    struct statx stx { };
    if (path.isEmpty() || ::statx(AT_FDCWD, native(path).constData(), 0, STATX_BTIME | STATX_MTIME, &stx) != 0) {
        return {};
    }
    const struct statx_timestamp& t = (stx.stx_mask & STATX_BTIME) ? stx.stx_btime : stx.stx_mtime;
    struct timespec ts { };
    ts.tv_sec = time_t(t.tv_sec);
    ts.tv_nsec = long(t.tv_nsec);
    return dateFrom(ts);
}

bool FileServices::setFileDates(const QString& path, const QDateTime& modification, const QDateTime& access)
{
    if (path.isEmpty() || !modification.isValid()) {
        return false;
    }
    struct timespec times[2]{};
    if (access.isValid()) {
        times[0] = timespecFrom(access);
    } else {
        times[0].tv_nsec = UTIME_OMIT;
    }
    times[1] = timespecFrom(modification);
    return ::utimensat(AT_FDCWD, native(path).constData(), times, 0) == 0;
}

namespace {

// A link keeps being a link: the file it points to is what gets written.
QString writtenPathOf(const QString& path)
{
    const QFileInfo link(path);
    return link.isSymLink() && link.exists() ? link.canonicalFilePath() : path;
}

// The first half of replaceFile: a flushed copy of `source` beside
// `destination` (no link), with the source's dates and the destination's
// owner, mode and attributes. -1 on failure.
int copyBeside(const QString& destination, const QString& source, QString* tempPath, QString* error)
{
    Descriptor in(::open(native(source).constData(), O_RDONLY | O_CLOEXEC));
    struct stat sourceStat { };
    if (!in.valid() || ::fstat(in.get(), &sourceStat) != 0) {
        setError(error, systemError(QStringLiteral("cannot read"), source, errno));
        return -1;
    }
    struct stat destinationStat { };
    const bool replacing = ::stat(native(destination).constData(), &destinationStat) == 0;
    const mode_t mode = replacing ? (destinationStat.st_mode & 07777) : (sourceStat.st_mode & 07777);
    const struct timespec times[2] = {sourceStat.st_atim, sourceStat.st_mtim};
    return writeTemporary(
        destination, replacing ? &destinationStat : nullptr, mode, times,
        [&](int out) { return copyContents(in.get(), out); }, error, true, tempPath);
}

} // namespace

bool FileServices::replaceFile(const QString& destination, const QString& source, QString* error)
{
    const QString written = writtenPathOf(destination);
    QString tempPath;
    const int fd = copyBeside(written, source, &tempPath, error);
    return fd >= 0 && renameTemporary(fd, tempPath, written, true, error);
}

FileServices::Publication FileServices::replaceFile(
    const QString& destination, const QString& source, const Identity& expected, Identity* published, QString* error)
{
    const QString written = writtenPathOf(destination);
    QString tempPath;
    const int fd = copyBeside(written, source, &tempPath, error);
    if (fd < 0) {
        return Publication::Failed;
    }
    return publishTemporary(fd, tempPath, destination, written, expected, published, error);
}

bool FileServices::DeferredFolderFlush::defer(const QString& folder)
{
    if (!deferredFlush) {
        return false;
    }
    if (!deferredFlush->folders_.contains(folder)) {
        deferredFlush->folders_.append(folder);
    }
    return true;
}

FileServices::DeferredFolderFlush::DeferredFolderFlush()
    : outermost_(deferredFlush == nullptr)
{
    if (outermost_) {
        deferredFlush = this;
    }
}

FileServices::DeferredFolderFlush::~DeferredFolderFlush()
{
    if (!outermost_) {
        return;
    }
    deferredFlush = nullptr;
    for (const QString& folder : folders_) {
        syncFolder(folder);
    }
}

void FileServices::setSystemCalls(SystemCalls calls)
{
    const std::lock_guard<std::mutex> lock(systemCallsMutex);
    systemCalls = std::move(calls);
}

bool FileServices::writeFileAtomically(const QString& path, const QByteArray& data, QString* error)
{
    return writeAtomically(path, data, error, true);
}

bool FileServices::writeFileAtomically(
    const QString& path, const QByteArray& data, const std::optional<QDateTime>& dates, QString* error)
{
    return writeAtomically(path, data, error, true, dates);
}

bool FileServices::writeScratchFileAtomically(const QString& path, const QByteArray& data, QString* error)
{
    return writeAtomically(path, data, error, false);
}

bool FileServices::writeAtomically(
    const QString& path, const QByteArray& data, QString* error, bool durable, const std::optional<QDateTime>& dates)
{
    std::unique_ptr<PendingWrite> pending = startWrite(path, data, error, durable, dates);
    return pending && commitFileWrite(std::move(pending), error);
}

std::unique_ptr<FileServices::PendingWrite> FileServices::prepareFileWrite(
    const QString& path, const QByteArray& data, const std::optional<QDateTime>& dates, QString* error)
{
    return startWrite(path, data, error, true, dates);
}

bool FileServices::commitFileWrite(std::unique_ptr<PendingWrite> write, QString* error)
{
    const int fd = std::exchange(write->fd_, -1);
    return renameTemporary(fd, write->tempPath_, write->destination_, write->durable_, error);
}

FileServices::Publication FileServices::commitFileWrite(
    std::unique_ptr<PendingWrite> write, const Identity& expected, Identity* published, QString* error)
{
    const int fd = std::exchange(write->fd_, -1);
    return publishTemporary(
        fd, write->tempPath_, write->requestedPath_, write->destination_, expected, published, error);
}

FileServices::PendingWrite::~PendingWrite()
{
    // Never committed: the file stays as it was.
    if (fd_ >= 0) {
        ::close(fd_);
        ::unlink(native(tempPath_).constData());
    }
}

std::unique_ptr<FileServices::PendingWrite> FileServices::startWrite(
    const QString& path, const QByteArray& data, QString* error, bool durable, const std::optional<QDateTime>& dates)
{
    const QString written = writtenPathOf(path);
    struct stat existing { };
    const bool replacing = ::stat(native(written).constData(), &existing) == 0;
    const mode_t mode = replacing ? (existing.st_mode & 07777) : mode_t(-1);
    struct timespec times[2]{};
    if (dates) {
        times[0] = timespecFrom(*dates);
        times[1] = times[0];
    }
    auto pending = std::unique_ptr<PendingWrite>(new PendingWrite);
    pending->requestedPath_ = path;
    pending->destination_ = written;
    pending->durable_ = durable;
    pending->fd_ = writeTemporary(
        written, replacing ? &existing : nullptr, mode, dates ? times : nullptr,
        [&](int out) { return writeAll(out, data.constData(), size_t(data.size())); }, error, durable,
        &pending->tempPath_);
    return pending->fd_ >= 0 ? std::move(pending) : nullptr;
}
