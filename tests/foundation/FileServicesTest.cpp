#include "foundation/FileServices.h"

#include "support/DiskCallsProbe.h"
#include "support/FileSizeLimit.h"
#include "support/QtPrinters.h"
#include "support/StrictUmask.h"
#include "support/TempFolder.h"

#include <QDir>
#include <QFile>

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/xattr.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <functional>
#include <thread>
#include <utility>

#include <gtest/gtest.h>

namespace {

class FileServicesTest : public TempFolderTest {
protected:
    QString write(const QString& name, const QByteArray& content)
    {
        const QString path = tempPath(name);
        QDir().mkpath(QFileInfo(path).absolutePath());
        QFile file(path);
        EXPECT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(content);
        return path;
    }
    static QByteArray read(const QString& path)
    {
        QFile file(path);
        return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
    }
    // Dates well in the past, with whole seconds, so no clock can produce them by chance.
    const QDateTime modified = QDateTime(QDate(2011, 3, 4), QTime(5, 6, 7), Qt::UTC);
    const QDateTime accessed = QDateTime(QDate(2012, 8, 9), QTime(10, 11, 12), Qt::UTC);
};

} // namespace

TEST_F(FileServicesTest, CopyRefusesToOverwriteAndKeepsDates)
{
    const QString source = write("a.jpg", "source");
    ASSERT_TRUE(FileServices::setFileDates(source, modified, accessed));
    const QString copy = tempPath("b.jpg");
    ASSERT_TRUE(FileServices::copyItem(source, copy));
    // Dates first: reading the content may move the access time.
    EXPECT_EQ(FileServices::modificationDate(copy), modified);
    EXPECT_EQ(FileServices::accessDate(copy), accessed);
    EXPECT_TRUE(FileServices::contentsEqual(source, copy));

    const QString other = write("c.jpg", "other");
    QString error;
    EXPECT_FALSE(FileServices::copyItem(source, other, &error));
    EXPECT_FALSE(error.isEmpty());
    EXPECT_EQ(read(other), QByteArray("other"));
    EXPECT_FALSE(FileServices::moveItem(source, other));
    EXPECT_TRUE(FileServices::fileExists(source));

    // Folders copy with their contents.
    write("tree/sub/x.txt", "x");
    ASSERT_TRUE(FileServices::copyItem(tempPath("tree"), tempPath("tree2")));
    EXPECT_EQ(read(tempPath("tree2/sub/x.txt")), QByteArray("x"));
}

// A copy is named only once whole: it takes the source's mode, a missing
// folder or a taken name is refused naming the destination, and nothing is
// left behind in either case.
TEST_F(FileServicesTest, CopiesKeepTheModeAndLeaveNothingWhenRefused)
{
    const QString source = write("work/a.jpg", "source bytes");
    ASSERT_TRUE(StrictUmask::setMode(source, 0640));
    QDir().mkpath(tempPath("copies"));
    ASSERT_TRUE(FileServices::copyItem(source, tempPath("copies/a.jpg")));
    EXPECT_EQ(StrictUmask::modeOf(tempPath("copies/a.jpg")), mode_t(0640));
    EXPECT_EQ(read(tempPath("copies/a.jpg")), QByteArray("source bytes"));

    QString error;
    EXPECT_FALSE(FileServices::copyItem(source, tempPath("missing/a.jpg"), &error));
    EXPECT_TRUE(error.contains(tempPath("missing/a.jpg"))) << qPrintable(error);
    write("copies/b.jpg", "kept");
    EXPECT_FALSE(FileServices::copyItem(source, tempPath("copies/b.jpg"), &error));
    EXPECT_TRUE(error.contains(tempPath("copies/b.jpg"))) << qPrintable(error);
    EXPECT_EQ(read(tempPath("copies/b.jpg")), QByteArray("kept"));
    EXPECT_EQ(FileServices::contentsOfFolder(tempPath("copies")), (QStringList{"a.jpg", "b.jpg"}));
}

TEST_F(FileServicesTest, ListingsAreSortedAndRecursiveRemovalClears)
{
    write("d/b.txt", "");
    write("d/.hidden", "");
    write("d/a/z.txt", "");
    const QString folder = tempPath("d");
    EXPECT_EQ(FileServices::contentsOfFolder(folder), (QStringList{".hidden", "a", "b.txt"}));
    EXPECT_EQ(FileServices::subpathsOfFolder(folder), (QStringList{".hidden", "a", "a/z.txt", "b.txt"}));
    EXPECT_TRUE(FileServices::removeItem(folder));
    EXPECT_FALSE(FileServices::fileExists(folder));
    EXPECT_FALSE(FileServices::removeItem(folder));
    EXPECT_TRUE(FileServices::createFolder(tempPath("p/q/r")));
    EXPECT_TRUE(FileServices::isFolder(tempPath("p/q/r")));
}

TEST_F(FileServicesTest, ContentComparisonAndAttributes)
{
    const QString a = write("a", "12345");
    const QString b = write("b", "12346");
    const QString c = write("c", "1234");
    EXPECT_FALSE(FileServices::contentsEqual(a, b));
    EXPECT_FALSE(FileServices::contentsEqual(a, c));
    EXPECT_FALSE(FileServices::contentsEqual(a, tempPath("missing")));
    EXPECT_EQ(FileServices::fileSize(a), 5);
    EXPECT_EQ(FileServices::fileSize(tempPath("missing")), -1);
    EXPECT_FALSE(FileServices::modificationDate(tempPath("missing")).isValid());
    // Setting a modification date leaves the creation date to the file system:
    // never after the modification date we did not set, and always readable.
    EXPECT_TRUE(FileServices::creationDate(a).isValid());
    ASSERT_TRUE(FileServices::setFileDates(a, modified));
    EXPECT_EQ(FileServices::modificationDate(a), modified);
}

TEST_F(FileServicesTest, ReplaceKeepsTheSourceDatesAndTheOriginalsPermissions)
{
    const QString original = write("photo.jpg", "old content");
    QFile::setPermissions(original, QFile::ReadOwner | QFile::WriteOwner);
    const QString working = write("work/photo.jpg", "new content");
    ASSERT_TRUE(FileServices::setFileDates(working, modified, accessed));

    QString error;
    ASSERT_TRUE(FileServices::replaceFile(original, working, &error)) << error.toStdString();
    EXPECT_EQ(FileServices::modificationDate(original), modified);
    EXPECT_EQ(FileServices::accessDate(original), accessed);
    EXPECT_EQ(read(original), QByteArray("new content"));
    const auto modeBits = QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner | QFile::ReadGroup | QFile::WriteGroup
        | QFile::ExeGroup | QFile::ReadOther | QFile::WriteOther | QFile::ExeOther;
    EXPECT_EQ(QFile::permissions(original) & modeBits, QFile::ReadOwner | QFile::WriteOwner);
    EXPECT_EQ(FileServices::contentsOfFolder(tempFolder()), (QStringList{"photo.jpg", "work"}));

    // Through a link: the link survives and its target gets the content.
    const QString link = tempPath("link.jpg");
    ASSERT_TRUE(QFile::link(original, link));
    const QString newer = write("work/newer.jpg", "newer");
    ASSERT_TRUE(FileServices::replaceFile(link, newer, &error)) << error.toStdString();
    EXPECT_TRUE(QFileInfo(link).isSymLink());
    EXPECT_EQ(read(original), QByteArray("newer"));
}

TEST_F(FileServicesTest, DatedAtomicWritesDateTheNewFileThroughLinksToo)
{
    const QString original = write("photo.jpg", "old content");
    QFile::setPermissions(original, QFile::ReadOwner | QFile::WriteOwner);
    const QString link = tempPath("link.jpg");
    ASSERT_TRUE(QFile::link(original, link));

    QString error;
    ASSERT_TRUE(FileServices::writeFileAtomically(link, "dated", modified, &error)) << error.toStdString();
    EXPECT_TRUE(QFileInfo(link).isSymLink());
    // Dates first: reading the content moves the access time.
    EXPECT_EQ(FileServices::modificationDate(original), modified);
    EXPECT_EQ(FileServices::accessDate(original), modified);
    EXPECT_EQ(read(original), QByteArray("dated"));
    EXPECT_EQ(QFile::permissions(original) & (QFile::ReadOwner | QFile::WriteOwner | QFile::ReadOther),
        QFile::ReadOwner | QFile::WriteOwner);

    // Without dates the new file has the time of the write.
    const QDateTime before = QDateTime::currentDateTime().addSecs(-2);
    ASSERT_TRUE(FileServices::writeFileAtomically(original, "undated", std::nullopt, &error)) << error.toStdString();
    EXPECT_GE(FileServices::modificationDate(original), before);
    EXPECT_EQ(FileServices::contentsOfFolder(tempFolder()), (QStringList{"link.jpg", "photo.jpg"}));
}

TEST_F(FileServicesTest, APendingWriteReplacesTheFileOnlyWhenCommitted)
{
    const QString path = write("photo.jpg", "old content");
    QString error;
    auto pending = FileServices::prepareFileWrite(path, "new content", modified, &error);
    ASSERT_TRUE(pending) << error.toStdString();
    EXPECT_EQ(read(path), QByteArray("old content"));
    EXPECT_EQ(FileServices::contentsOfFolder(tempFolder()).size(), 2); // the photo and its hidden temporary

    ASSERT_TRUE(FileServices::commitFileWrite(std::move(pending), &error)) << error.toStdString();
    EXPECT_EQ(FileServices::modificationDate(path), modified);
    EXPECT_EQ(read(path), QByteArray("new content"));
    EXPECT_EQ(FileServices::contentsOfFolder(tempFolder()), QStringList{"photo.jpg"});

    // Dropped without the second step: the file stays, the temporary goes.
    pending = FileServices::prepareFileWrite(path, "dropped", std::nullopt, &error);
    ASSERT_TRUE(pending);
    pending.reset();
    EXPECT_EQ(read(path), QByteArray("new content"));
    EXPECT_EQ(FileServices::contentsOfFolder(tempFolder()), QStringList{"photo.jpg"});
}

TEST_F(FileServicesTest, FailedReplaceLeavesTheOriginalAndNoLeftovers)
{
    const QString original = write("photo.jpg", "precious bytes");
    const QDateTime before = FileServices::modificationDate(original);

    // The content cannot be read half way (a folder as source): the temporary
    // file is created and must vanish again.
    const QString folderSource = tempPath("folder");
    ASSERT_TRUE(FileServices::createFolder(folderSource));
    QString error;
    EXPECT_FALSE(FileServices::replaceFile(original, folderSource, &error));
    EXPECT_FALSE(error.isEmpty());
    EXPECT_EQ(read(original), QByteArray("precious bytes"));
    EXPECT_EQ(FileServices::modificationDate(original), before);
    EXPECT_EQ(FileServices::contentsOfFolder(tempFolder()), (QStringList{"folder", "photo.jpg"}));

    // A destination whose folder is a regular file cannot be written at all.
    const QString source = write("new.jpg", "new");
    error.clear();
    EXPECT_FALSE(FileServices::replaceFile(original + QStringLiteral("/x.jpg"), source, &error));
    EXPECT_FALSE(error.isEmpty());
    EXPECT_FALSE(FileServices::writeFileAtomically(original + QStringLiteral("/x.jpg"), "data", &error));
    EXPECT_EQ(read(original), QByteArray("precious bytes"));
    EXPECT_FALSE(FileServices::replaceFile(original, tempPath("missing"), &error));
    EXPECT_EQ(read(original), QByteArray("precious bytes"));
}

// The temporary file beside a destination must fit the file system's limit on
// one name (255 bytes) even when the destination's own name nearly fills it.
TEST_F(FileServicesTest, AtomicWritesWorkForNamesNearTheLengthLimit)
{
    const QString longNames[] = {
        QString(250, QLatin1Char('a')) + QStringLiteral(".jpg"),
        QString(120, QChar(0x00FC)) + QStringLiteral(".jpg"), // 2 bytes each in UTF-8
        QString::fromUtf8(QByteArray("\xF0\x9F\x93\xB7").repeated(62)) + QStringLiteral(".jpg"), // 4 bytes each
    };
    for (const QString& name : longNames) {
        ASSERT_LE(QFile::encodeName(name).size(), 255);
        const QString path = write(name, "old");
        QString error;
        EXPECT_TRUE(FileServices::writeFileAtomically(path, "written", &error)) << error.toStdString();
        EXPECT_EQ(read(path), QByteArray("written"));

        const QString source = write("source.jpg", "replaced");
        EXPECT_TRUE(FileServices::replaceFile(path, source, &error)) << error.toStdString();
        EXPECT_EQ(read(path), QByteArray("replaced"));
        const QStringList left = FileServices::contentsOfFolder(tempFolder());
        EXPECT_EQ(left.size(), 2);
        EXPECT_TRUE(left.contains(name));
        ASSERT_TRUE(FileServices::removeItem(path));
    }
}

// Content is written in pieces: a few megabytes that are not a whole number
// of pieces arrive whole and in order, by each kind of write.
TEST_F(FileServicesTest, WritesOfSeveralMegabytesArriveWhole)
{
    QByteArray content(3 * 1024 * 1024 + 123, Qt::Uninitialized);
    for (qsizetype i = 0; i < content.size(); ++i)
        content[i] = char((i * 7919 + i / 4096) & 0xff);
    const QString path = write("large.jpg", "old");
    const std::vector<std::pair<const char*, std::function<bool()>>> writes = {
        {"atomic write", [&] { return FileServices::writeFileAtomically(path, content); }},
        {"scratch write", [&] { return FileServices::writeScratchFileAtomically(path, content); }},
        {"write in two steps",
            [&] {
                return FileServices::commitFileWrite(
                           FileServices::prepareFileWrite(path, content, std::nullopt), FileServices::identityOf(path))
                    == FileServices::Publication::Published;
            }},
    };
    for (const auto& [how, writeNow] : writes) {
        SCOPED_TRACE(how);
        ASSERT_TRUE(FileServices::writeScratchFileAtomically(path, "old"));
        ASSERT_TRUE(writeNow());
        EXPECT_TRUE(read(path) == content);
    }
}

// Replacing a file someone else owns (a shared folder, or an edit run as root)
// must not take it away from its owner and group.
TEST_F(FileServicesTest, AtomicWritesKeepTheOwnerAndGroup)
{
    if (::geteuid() != 0) {
        GTEST_SKIP() << "only root may give a file to another owner";
    }
    const uid_t owner = 4321;
    const gid_t group = 4322;
    const auto ownerOf = [](const QString& path) {
        struct stat st { };
        EXPECT_EQ(::stat(QFile::encodeName(path).constData(), &st), 0);
        return std::make_pair(st.st_uid, st.st_gid);
    };
    const QString path = write("shared.jpg", "old");
    ASSERT_EQ(::chown(QFile::encodeName(path).constData(), owner, group), 0);

    ASSERT_TRUE(FileServices::writeFileAtomically(path, "written"));
    EXPECT_EQ(ownerOf(path), std::make_pair(owner, group));

    const QString source = write("work/shared.jpg", "replaced");
    ASSERT_TRUE(FileServices::replaceFile(path, source));
    EXPECT_EQ(ownerOf(path), std::make_pair(owner, group));
    EXPECT_EQ(read(path), QByteArray("replaced"));

    // A new file belongs to whoever writes it.
    const QString fresh = tempPath("fresh.jpg");
    ASSERT_TRUE(FileServices::writeFileAtomically(fresh, "new"));
    EXPECT_EQ(ownerOf(fresh), std::make_pair(::geteuid(), ::getegid()));
}

// While the new content is being written, the temporary file is no more open
// to others than the file it replaces: a private file's content never shows.
TEST_F(FileServicesTest, TheTemporaryFileOfAPrivateFileIsPrivate)
{
    const QString original = write("private.jpg", "old");
    ASSERT_TRUE(QFile::setPermissions(original, QFile::ReadOwner | QFile::WriteOwner));
    // A pipe as the source holds the replacement open while we look.
    const QString pipe = tempPath("pipe");
    ASSERT_EQ(::mkfifo(QFile::encodeName(pipe).constData(), 0600), 0);

    bool replaced = false;
    std::thread replacer([&] { replaced = FileServices::replaceFile(original, pipe); });
    // Opening without blocking fails until the replacement has opened its end.
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    int feed = -1;
    while (feed < 0 && std::chrono::steady_clock::now() < deadline) {
        feed = ::open(QFile::encodeName(pipe).constData(), O_WRONLY | O_NONBLOCK | O_CLOEXEC);
        std::this_thread::yield();
    }
    const bool fed = feed >= 0 && ::write(feed, "new", 3) == 3;

    QString temporary;
    while (fed && temporary.isEmpty() && std::chrono::steady_clock::now() < deadline) {
        for (const QString& name : FileServices::contentsOfFolder(tempFolder())) {
            if (name.endsWith(QLatin1String(".tmp"))) {
                temporary = tempPath(name);
            }
        }
        std::this_thread::yield();
    }
    struct stat st { };
    const bool seen = !temporary.isEmpty() && ::stat(QFile::encodeName(temporary).constData(), &st) == 0;
    ::close(feed);
    replacer.join();

    ASSERT_TRUE(fed);
    ASSERT_TRUE(seen);
    EXPECT_EQ(st.st_mode & 077, 0u) << std::oct << (st.st_mode & 0777);
    EXPECT_TRUE(replaced);
    EXPECT_EQ(read(original), QByteArray("new"));
    EXPECT_EQ(QFile::permissions(original) & (QFile::ReadOther | QFile::ReadGroup), QFile::Permissions());
}

// Desktop tags, comments and access control lists live in extended
// attributes; a replaced photo keeps them.
TEST_F(FileServicesTest, ReplacementsKeepExtendedAttributesAndAccessLists)
{
    const QString path = write("tagged.jpg", "old");
    const QByteArray name = QFile::encodeName(path);
    if (::setxattr(name.constData(), "user.xdg.tags", "holiday,sea", 11, 0) != 0) {
        GTEST_SKIP() << "the file system keeps no user attributes";
    }
    ASSERT_EQ(::setxattr(name.constData(), "user.xdg.comment", "Lübeck", 7, 0), 0);
    // An access list granting user 1234 read access: version 2, then entries
    // of tag, permissions and id (owner, named user, group, mask, others).
    QByteArray acl;
    const auto add = [&acl](uint16_t tag, uint16_t perm, uint32_t id) {
        acl.append(reinterpret_cast<const char*>(&tag), 2).append(reinterpret_cast<const char*>(&perm), 2);
        acl.append(reinterpret_cast<const char*>(&id), 4);
    };
    const uint32_t version = 2;
    acl.append(reinterpret_cast<const char*>(&version), 4);
    add(0x01, 6, uint32_t(-1));
    add(0x02, 4, 1234);
    add(0x04, 4, uint32_t(-1));
    add(0x10, 4, uint32_t(-1));
    add(0x20, 0, uint32_t(-1));
    const bool withAcl
        = ::setxattr(name.constData(), "system.posix_acl_access", acl.constData(), size_t(acl.size()), 0) == 0;

    const auto attribute = [&name](const char* key) {
        QByteArray value(256, Qt::Uninitialized);
        const ssize_t size = ::getxattr(name.constData(), key, value.data(), size_t(value.size()));
        return size < 0 ? QByteArray() : value.left(size);
    };
    ASSERT_TRUE(FileServices::writeFileAtomically(path, "written"));
    ASSERT_TRUE(FileServices::replaceFile(path, write("work/tagged.jpg", "replaced")));
    EXPECT_EQ(read(path), QByteArray("replaced"));
    EXPECT_EQ(attribute("user.xdg.tags"), QByteArray("holiday,sea"));
    EXPECT_EQ(attribute("user.xdg.comment"), QByteArray("Lübeck"));
    if (withAcl) {
        EXPECT_EQ(attribute("system.posix_acl_access"), acl);
    }
}

// A writer killed before its rename leaves its temporary behind; the next
// write of the same file removes it, by every road, and never writes into it:
// what a longer leftover held past the new content would stay behind it. One
// still in use (locked) is left alone.
TEST_F(FileServicesTest, TheNextWriteRemovesATemporaryLeftByAKilledWriter)
{
    const QString path = write("photo.jpg", "old");
    const QString leftover = tempPath(".photo.jpg.lumetta.tmp");
    const QByteArray killedSave(100, 'k');
    const std::pair<const char*, std::function<bool()>> roads[] = {
        {"atomic write", [&] { return FileServices::writeFileAtomically(path, "new"); }},
        {"dated write", [&] { return FileServices::writeFileAtomically(path, "new", modified); }},
        {"scratch write", [&] { return FileServices::writeScratchFileAtomically(path, "new"); }},
        {"pending write",
            [&] { return FileServices::commitFileWrite(FileServices::prepareFileWrite(path, "new", std::nullopt)); }},
        {"replacement", [&] { return FileServices::replaceFile(path, write("work/new.jpg", "new")); }},
    };
    for (const auto& [road, run] : roads) {
        write(".photo.jpg.lumetta.tmp", killedSave);
        write("photo.jpg", "old");
        ASSERT_TRUE(run()) << road;
        EXPECT_EQ(read(path), QByteArray("new")) << road;
        EXPECT_FALSE(QFile::exists(leftover)) << road;
    }
    QFile::remove(tempPath("work/new.jpg"));
    QDir().rmdir(tempPath("work"));
    EXPECT_EQ(FileServices::contentsOfFolder(tempFolder()), QStringList{"photo.jpg"});

    write(".photo.jpg.lumetta.tmp", "being written");
    const int busy = ::open(QFile::encodeName(leftover).constData(), O_RDONLY | O_CLOEXEC);
    ASSERT_GE(busy, 0);
    ASSERT_EQ(::flock(busy, LOCK_EX), 0);
    ASSERT_TRUE(FileServices::replaceFile(path, write("work/photo.jpg", "newer")));
    ::close(busy);
    EXPECT_EQ(read(path), QByteArray("newer"));
    EXPECT_EQ(read(leftover), QByteArray("being written"));
    EXPECT_EQ(FileServices::contentsOfFolder(tempFolder()).size(), 3);
}

TEST_F(FileServicesTest, IdentityTellsANewVersionOrALinkFromTheFileSeenBefore)
{
    const QString path = write("photo.jpg", "old");
    const FileServices::Identity seen = FileServices::identityOf(path);
    ASSERT_TRUE(seen.exists);
    EXPECT_FALSE(seen.isLink);
    EXPECT_EQ(FileServices::identityOf(path), seen);

    // Rewritten in place with the same size and dates restored: the inode
    // stays, but the replacement by another program is a new file.
    const QString other = write("other.jpg", "new");
    ASSERT_TRUE(FileServices::setFileDates(other, FileServices::modificationDate(path)));
    ASSERT_EQ(::rename(QFile::encodeName(other).constData(), QFile::encodeName(path).constData()), 0);
    EXPECT_NE(FileServices::identityOf(path), seen);

    // A path swapped for a link, and a link whose target changed.
    const QString target = write("target.jpg", "target");
    QFile::remove(path);
    ASSERT_TRUE(QFile::link(target, path));
    const FileServices::Identity linked = FileServices::identityOf(path);
    EXPECT_TRUE(linked.isLink);
    EXPECT_EQ(linked.inode, FileServices::identityOf(target).inode);
    QFile::remove(path);
    ASSERT_TRUE(QFile::link(write("elsewhere.jpg", "target"), path));
    EXPECT_NE(FileServices::identityOf(path), linked);
    EXPECT_FALSE(FileServices::identityOf(tempPath("gone.jpg")).exists);
}

// Writes past 16 KiB fail, as on a nearly full disk: a copy that comes up
// short is a failed copy and leaves nothing behind, whether it copies a file,
// a folder or replaces a file; the source and the file to replace stay whole.
TEST_F(FileServicesTest, ACopyCutShortByAFullDiskFailsAndLeavesNothing)
{
    QByteArray photo(100 * 1024, Qt::Uninitialized);
    for (qsizetype i = 0; i < photo.size(); ++i) {
        photo[i] = char(i * 7 + i / 251);
    }
    const QString source = write("roll/photo.jpg", photo);
    const QString previous = write("previous.jpg", "previous");
    bool copied = true;
    bool copiedFolder = true;
    bool replaced = true;
    QString error;
    QString folderError;
    QString replaceError;
    {
        const FileSizeLimit fullDisk(16 * 1024);
        ASSERT_TRUE(fullDisk.isActive());
        copied = FileServices::copyItem(source, tempPath("copy.jpg"), &error);
        copiedFolder = FileServices::copyItem(tempPath("roll"), tempPath("roll copy"), &folderError);
        replaced = FileServices::replaceFile(previous, source, &replaceError);
    }
    EXPECT_FALSE(copied);
    EXPECT_FALSE(copiedFolder);
    EXPECT_FALSE(replaced);
    EXPECT_TRUE(error.contains(tempPath("copy.jpg"))) << qPrintable(error);
    EXPECT_FALSE(folderError.isEmpty());
    EXPECT_FALSE(replaceError.isEmpty());
    EXPECT_EQ(read(source), photo);
    EXPECT_EQ(read(previous), QByteArray("previous"));
    EXPECT_EQ(FileServices::contentsOfFolder(tempFolder()), (QStringList{"previous.jpg", "roll"}));

    // With room again the same copy is whole.
    ASSERT_TRUE(FileServices::copyItem(source, tempPath("copy.jpg"), &error)) << qPrintable(error);
    EXPECT_EQ(read(tempPath("copy.jpg")), photo);
}

// The temporary is made private (0600) while the content goes in; every kind
// of atomic write then gives the new file the old one's mode, which a strict
// umask would not.
TEST_F(FileServicesTest, EveryAtomicWriteKeepsTheModeOfTheFileItReplaces)
{
    const StrictUmask strictUmask;
    const QString source = write("work/source.jpg", "from the working copy");
    for (const mode_t mode : {mode_t(0644), mode_t(0640)}) {
        SCOPED_TRACE(mode);
        const QString path = write("photo.jpg", "old");
        const auto expectKept = [&](const char* how) {
            EXPECT_EQ(StrictUmask::modeOf(path), mode) << how;
            ASSERT_TRUE(StrictUmask::setMode(path, mode));
        };
        ASSERT_TRUE(StrictUmask::setMode(path, mode));
        ASSERT_TRUE(FileServices::writeFileAtomically(path, "written"));
        expectKept("atomic write");
        ASSERT_TRUE(FileServices::writeFileAtomically(path, "dated", modified));
        expectKept("dated atomic write");
        ASSERT_TRUE(FileServices::writeScratchFileAtomically(path, "scratch"));
        expectKept("scratch write");
        ASSERT_TRUE(FileServices::replaceFile(path, source));
        expectKept("replacement");
        ASSERT_EQ(FileServices::replaceFile(path, source, FileServices::identityOf(path)),
            FileServices::Publication::Published);
        expectKept("guarded replacement");
        ASSERT_TRUE(FileServices::commitFileWrite(FileServices::prepareFileWrite(path, "two steps", std::nullopt)));
        expectKept("write in two steps");
        const FileServices::Identity seen = FileServices::identityOf(path);
        ASSERT_EQ(FileServices::commitFileWrite(FileServices::prepareFileWrite(path, "guarded", std::nullopt), seen),
            FileServices::Publication::Published);
        expectKept("guarded write in two steps");
        QFile::remove(path);
    }
}

// The new content is on the disk before its name replaces the old file's,
// and the folder's new entry is flushed once it is in place: a crash at any
// moment leaves the old file or the complete new one.
TEST_F(FileServicesTest, TheNewContentIsFlushedBeforeTheRenameAndTheFolderAfter)
{
    const QString path = write("photo.jpg", "old");
    const QString folder = QFileInfo(tempFolder()).canonicalFilePath();
    const QString temporary = folder + "/.photo.jpg.lumetta.tmp";
    const QString source = write("work/source.jpg", "copied");
    const std::vector<std::pair<const char*, std::function<bool()>>> writes = {
        {"atomic write", [&] { return FileServices::writeFileAtomically(path, "new"); }},
        {"replacement", [&] { return FileServices::replaceFile(path, source); }},
        {"guarded replacement",
            [&] {
                return FileServices::replaceFile(path, source, FileServices::identityOf(path))
                    == FileServices::Publication::Published;
            }},
        {"guarded write in two steps",
            [&] {
                const FileServices::Identity seen = FileServices::identityOf(path);
                return FileServices::commitFileWrite(FileServices::prepareFileWrite(path, "new", std::nullopt), seen)
                    == FileServices::Publication::Published;
            }},
    };
    for (const auto& [how, writeNow] : writes) {
        SCOPED_TRACE(how);
        ASSERT_TRUE(FileServices::writeScratchFileAtomically(path, "old"));
        const DiskCallsProbe probe(path);
        ASSERT_TRUE(writeNow());
        const std::vector<DiskCallsProbe::Flush> flushes = probe.flushes();
        ASSERT_EQ(flushes.size(), 2u);
        EXPECT_EQ(flushes[0].flushed, temporary);
        EXPECT_EQ(flushes[0].watchedHeld, QByteArray("old"));
        EXPECT_EQ(flushes[1].flushed, folder);
        EXPECT_NE(flushes[1].watchedHeld, QByteArray("old"));
    }

    // A scratch file is never flushed.
    const DiskCallsProbe probe(path);
    ASSERT_TRUE(FileServices::writeScratchFileAtomically(path, "scratch"));
    EXPECT_TRUE(probe.flushes().empty());
}

// A loop of durable writes flushes every new content before its rename, as
// always, and each folder once, when the deferred flush goes (an inner one
// leaves that to the outer); writes on another thread are not held back.
TEST_F(FileServicesTest, ADeferredFolderFlushFlushesEachFolderOnceWhenItGoes)
{
    const QString first = write("roll/a.jpg", "old");
    const QString second = write("roll/b.jpg", "old");
    const QString other = write("other/c.jpg", "old");
    const QString roll = QFileInfo(first).canonicalPath();
    const QString otherFolder = QFileInfo(other).canonicalPath();
    const auto foldersFlushed = [](const DiskCallsProbe& probe) {
        QStringList folders;
        for (const DiskCallsProbe::Flush& flush : probe.flushes())
            if (QFileInfo(flush.flushed).isDir())
                folders.append(flush.flushed);
        return folders;
    };
    const DiskCallsProbe probe(second);
    {
        const FileServices::DeferredFolderFlush loop;
        ASSERT_TRUE(FileServices::writeFileAtomically(first, "new"));
        {
            const FileServices::DeferredFolderFlush inner;
            ASSERT_TRUE(FileServices::replaceFile(other, first));
        }
        const FileServices::Identity seen = FileServices::identityOf(second);
        ASSERT_EQ(FileServices::commitFileWrite(FileServices::prepareFileWrite(second, "new", std::nullopt), seen),
            FileServices::Publication::Published);
        ASSERT_TRUE(FileServices::writeFileAtomically(first, "newer"));
        EXPECT_EQ(probe.flushes().size(), 4u);
        EXPECT_EQ(foldersFlushed(probe), QStringList());

        std::thread elsewhere([&] { EXPECT_TRUE(FileServices::writeFileAtomically(other, "elsewhere")); });
        elsewhere.join();
        EXPECT_EQ(foldersFlushed(probe), QStringList{otherFolder});
    }
    EXPECT_EQ(foldersFlushed(probe), (QStringList{otherFolder, roll, otherFolder}));
    EXPECT_EQ(probe.flushes().back().watchedHeld, QByteArray("new"));
    EXPECT_EQ(probe.flushes().size(), 8u);
}

// Another program writes, replaces, links or removes the file at the last
// moments of a guarded write: while the new content is flushed, right before
// the exchange, and right before the rename where the file system cannot
// exchange. Its version is never overwritten nor removed.
TEST_F(FileServicesTest, AGuardedWriteLeavesEveryVersionAnotherProgramWrote)
{
    const QString path = tempPath("photo.jpg");
    const QString elsewhere = tempPath("elsewhere/photo.jpg");
    struct Change {
        const char* name;
        std::function<void()> make;
        std::function<void()> expectKept;
    };
    const std::vector<Change> changes = {
        {"rewritten in place",
            [&] {
                QFile file(path);
                ASSERT_TRUE(file.open(QIODevice::WriteOnly | QIODevice::Append));
                file.write(" and more");
            },
            [&] { EXPECT_EQ(read(path), QByteArray("old and more")); }},
        {"replaced",
            [&] {
                const QString other = write("other.jpg", "other program");
                ASSERT_EQ(::rename(QFile::encodeName(other).constData(), QFile::encodeName(path).constData()), 0);
            },
            [&] { EXPECT_EQ(read(path), QByteArray("other program")); }},
        {"made a link",
            [&] {
                write("elsewhere/photo.jpg", "linked");
                ASSERT_TRUE(QFile::remove(path));
                ASSERT_TRUE(QFile::link(elsewhere, path));
            },
            [&] {
                EXPECT_TRUE(QFileInfo(path).isSymLink());
                EXPECT_EQ(read(elsewhere), QByteArray("linked"));
            }},
        {"removed", [&] { ASSERT_TRUE(QFile::remove(path)); }, [&] { EXPECT_FALSE(QFileInfo::exists(path)); }},
        // Same inode and length: only the content and the time tell it apart.
        {"rewritten in place with the same length",
            [&] {
                QFile file(path);
                ASSERT_TRUE(file.open(QIODevice::ReadWrite));
                file.write("new");
                file.close();
                ASSERT_TRUE(FileServices::setFileDates(path, modified));
            },
            [&] { EXPECT_EQ(read(path), QByteArray("new")); }},
    };
    enum Moment { AtTheFlush, BeforeTheExchange, BeforeTheRename };
    for (const Change& change : changes) {
        for (const Moment moment : {AtTheFlush, BeforeTheExchange, BeforeTheRename}) {
            SCOPED_TRACE(testing::Message() << change.name << " at moment " << int(moment));
            write("photo.jpg", "old");
            const FileServices::Identity seen = FileServices::identityOf(path);
            DiskCallsProbe probe(path);
            if (moment == AtTheFlush)
                probe.atNextFileFlush(change.make);
            else
                probe.atNextExchange(change.make, moment == BeforeTheRename);
            QString error;
            auto pending = FileServices::prepareFileWrite(path, "ours", std::nullopt, &error);
            ASSERT_TRUE(pending) << error.toStdString();
            EXPECT_EQ(FileServices::commitFileWrite(std::move(pending), seen, nullptr, &error),
                FileServices::Publication::Changed);
            EXPECT_TRUE(error.contains("changed by another program")) << error.toStdString();
            change.expectKept();
            // No temporary is left, and no other file was made.
            EXPECT_EQ(QDir(tempFolder()).entryList(QDir::Files | QDir::Hidden | QDir::System),
                QFileInfo(path).isSymLink() || QFileInfo::exists(path) ? QStringList{"photo.jpg"} : QStringList{});
            QFile::remove(path);
            QFile::remove(elsewhere);
        }
    }

    // Unchanged, on a file system without the exchange: a rename puts the new
    // file in place, and its identity is the one the next write expects.
    write("photo.jpg", "old");
    {
        DiskCallsProbe probe(path);
        probe.atNextExchange([] {}, true);
        FileServices::Identity published;
        ASSERT_EQ(FileServices::commitFileWrite(FileServices::prepareFileWrite(path, "ours", std::nullopt),
                      FileServices::identityOf(path), &published),
            FileServices::Publication::Published);
        EXPECT_EQ(read(path), QByteArray("ours"));
        EXPECT_EQ(published, FileServices::identityOf(path));
    }

    // Another program's version that cannot be put back stays under the
    // temporary's name: it is reported, never removed.
    const FileServices::Identity seen = FileServices::identityOf(path);
    DiskCallsProbe probe(path);
    probe.atNextExchange([&] { write("photo.jpg", "other program, longer"); });
    probe.failSecondExchange();
    QString error;
    EXPECT_EQ(FileServices::replaceFile(path, write("work/source.jpg", "copied"), seen, nullptr, &error),
        FileServices::Publication::Changed);
    EXPECT_TRUE(error.contains("is kept as")) << error.toStdString();
    QStringList versions;
    for (const QString& name : QDir(tempFolder()).entryList(QDir::Files | QDir::Hidden))
        versions.append(QString::fromUtf8(read(tempPath(name))));
    versions.sort();
    EXPECT_EQ(versions, (QStringList{"copied", "other program, longer"}));
}

namespace {

// Makes one replaceable system call fail with `code` for the paths or
// descriptors `fails` picks, as a disk or file system would; the system's own
// calls come back when it goes.
class FailingCall {
public:
    explicit FailingCall(FileServices::SystemCalls calls) { FileServices::setSystemCalls(std::move(calls)); }
    ~FailingCall() { FileServices::setSystemCalls({}); }
    FailingCall(const FailingCall&) = delete;
    FailingCall& operator=(const FailingCall&) = delete;

    static int failWith(int code)
    {
        errno = code;
        return -1;
    }
};

} // namespace

// Each step of an atomic write that can fail after the temporary exists:
// setting its mode (replacing a file), flushing it, setting its dates,
// closing it (where a late write error shows), and putting it in place. The
// file keeps its old content and date, the cause reaches the caller, and no
// temporary is left beside it.
TEST_F(FileServicesTest, AWriteThatFailsAtAnyStepLeavesTheFileAndNoTemporary)
{
    const QString path = write("photo.jpg", "old");
    ASSERT_TRUE(FileServices::setFileDates(path, accessed));
    FileServices::Identity seen;
    const auto failing = [](auto member) {
        FileServices::SystemCalls calls;
        calls.*member = [](auto...) { return FailingCall::failWith(EIO); };
        return calls;
    };
    // close must still let the descriptor go, as the system's does.
    FileServices::SystemCalls lateWriteError;
    lateWriteError.close = [](int fd) {
        ::close(fd);
        return FailingCall::failWith(EIO);
    };
    // An exchange that fails for another reason than a missing file system
    // feature is a failure, not a change by another program.
    FileServices::SystemCalls exchangeFails = failing(&FileServices::SystemCalls::exchange);
    FileServices::SystemCalls noExchangeNoRename = failing(&FileServices::SystemCalls::rename);
    noExchangeNoRename.exchange = [](const char*, const char*) { return FailingCall::failWith(EINVAL); };
    const std::vector<std::pair<const char*, FileServices::SystemCalls>> steps = {
        {"mode", failing(&FileServices::SystemCalls::setMode)},
        {"flush", failing(&FileServices::SystemCalls::sync)},
        {"dates", failing(&FileServices::SystemCalls::setTimes)},
        {"close", lateWriteError},
        {"rename", failing(&FileServices::SystemCalls::rename)},
        {"exchange", exchangeFails},
        {"rename without exchange", noExchangeNoRename},
    };
    const QString source = write("work/source.jpg", "copied");
    const std::vector<std::pair<const char*, std::function<bool(QString*)>>> writes = {
        {"dated atomic write",
            [&](QString* error) { return FileServices::writeFileAtomically(path, "new", modified, error); }},
        {"replacement", [&](QString* error) { return FileServices::replaceFile(path, source, error); }},
        {"guarded write in two steps",
            [&](QString* error) {
                auto pending = FileServices::prepareFileWrite(path, "new", modified, error);
                return pending
                    && FileServices::commitFileWrite(std::move(pending), seen, nullptr, error)
                    == FileServices::Publication::Published;
            }},
    };
    for (const auto& [step, calls] : steps) {
        for (const auto& [how, writeNow] : writes) {
            SCOPED_TRACE(testing::Message() << how << " failing at " << step);
            seen = FileServices::identityOf(path);
            QString error;
            bool written = true;
            {
                const FailingCall failure(calls);
                written = writeNow(&error);
            }
            // A guarded write exchanges instead of renaming; only it exchanges.
            const bool guarded = std::string(how).find("guarded") != std::string::npos;
            const bool reached
                = !(guarded && std::string(step) == "rename") && !(!guarded && std::string(step) == "exchange");
            EXPECT_EQ(written, !reached);
            if (reached) {
                EXPECT_TRUE(error.contains(QString::fromLocal8Bit(std::strerror(EIO)))) << error.toStdString();
            }
            if (!written) {
                EXPECT_EQ(read(path), QByteArray("old"));
                EXPECT_EQ(FileServices::identityOf(path), seen);
            }
            EXPECT_EQ(FileServices::contentsOfFolder(tempFolder()), (QStringList{"photo.jpg", "work"}));
            ASSERT_TRUE(FileServices::writeFileAtomically(path, "old", accessed));
        }
    }
}

// A move to another file system copies and then removes. A copy that fails
// leaves the source and no destination; a file whose removal fails stays
// where it was, whole, and its copy goes; a folder whose removal fails keeps
// both, since its removed entries live on only in the copy. Each failure says why.
TEST_F(FileServicesTest, AMoveAcrossFileSystemsThatFailsLosesNothing)
{
    const QString file = write("roll/photo.jpg", "photo");
    const QString folder = tempPath("roll");
    const auto acrossFileSystems = [](const char* refused) {
        FileServices::SystemCalls calls;
        calls.rename = [](const char*, const char*) { return FailingCall::failWith(EXDEV); };
        if (refused) {
            calls.remove = [refused = QByteArray(refused)](const char* path) {
                return QByteArray(path).endsWith(refused) ? FailingCall::failWith(EACCES) : ::unlink(path);
            };
        } else {
            calls.setTimes = [](int, const struct timespec*) { return FailingCall::failWith(ENOSPC); };
        }
        return calls;
    };
    QString error;
    {
        const FailingCall copyFails(acrossFileSystems(nullptr));
        EXPECT_FALSE(FileServices::moveItem(file, tempPath("moved.jpg"), &error));
    }
    EXPECT_TRUE(error.contains(QString::fromLocal8Bit(std::strerror(ENOSPC)))) << error.toStdString();
    EXPECT_EQ(read(file), QByteArray("photo"));
    EXPECT_FALSE(QFileInfo::exists(tempPath("moved.jpg")));

    {
        const FailingCall removeFails(acrossFileSystems("roll/photo.jpg"));
        EXPECT_FALSE(FileServices::moveItem(file, tempPath("moved.jpg"), &error));
    }
    EXPECT_TRUE(error.contains(QString::fromLocal8Bit(std::strerror(EACCES)))) << error.toStdString();
    EXPECT_EQ(read(file), QByteArray("photo"));
    EXPECT_FALSE(QFileInfo::exists(tempPath("moved.jpg")));

    write("roll/second.jpg", "second");
    {
        const FailingCall removeFails(acrossFileSystems("roll/second.jpg"));
        EXPECT_FALSE(FileServices::moveItem(folder, tempPath("moved"), &error));
    }
    EXPECT_TRUE(error.contains(QString::fromLocal8Bit(std::strerror(EACCES)))) << error.toStdString();
    EXPECT_EQ(read(tempPath("moved/photo.jpg")), QByteArray("photo"));
    EXPECT_EQ(read(tempPath("moved/second.jpg")), QByteArray("second"));
    EXPECT_EQ(read(tempPath("roll/second.jpg")), QByteArray("second"));

    // Without a failure the move across file systems is whole.
    {
        const FailingCall across(acrossFileSystems("nothing"));
        ASSERT_TRUE(FileServices::moveItem(tempPath("roll/second.jpg"), tempPath("second.jpg"), &error));
    }
    EXPECT_EQ(read(tempPath("second.jpg")), QByteArray("second"));
    EXPECT_FALSE(QFileInfo::exists(tempPath("roll/second.jpg")));
}

// Copies are made by the kernel, and a file system that cannot (another file
// system, an old kernel, a network or virtual one) is copied through a buffer
// from wherever the kernel stopped: the copy is whole and keeps its dates.
// A real failure of the kernel's copy fails the copy and leaves nothing.
TEST_F(FileServicesTest, ACopyTheKernelCannotMakeGoesOnThroughABuffer)
{
    QByteArray content(3 * 1024 * 1024 + 17, Qt::Uninitialized);
    for (qsizetype i = 0; i < content.size(); ++i) {
        content[i] = char((i * 7919) >> 5);
    }
    const QString source = write("source.jpg", content);
    int kernelCalls = 0;
    // The kernel copies a first piece, then answers `code`.
    const auto stopsWith = [&kernelCalls](int code) {
        FileServices::SystemCalls calls;
        calls.copyRange = [&kernelCalls, code](int from, int to, size_t length) -> ssize_t {
            if (kernelCalls++ == 0) {
                return ::copy_file_range(from, nullptr, to, nullptr, std::min<size_t>(length, 4097), 0);
            }
            return code == 0 ? 0 : FailingCall::failWith(code);
        };
        return calls;
    };
    int made = 0;
    for (const int code : {0, EXDEV, ENOSYS, EOPNOTSUPP, EINVAL}) {
        SCOPED_TRACE(testing::Message() << "the kernel answering " << code);
        kernelCalls = 0;
        // Reading the source moves its access time.
        ASSERT_TRUE(FileServices::setFileDates(source, modified, accessed));
        const QString copy = tempPath(QStringLiteral("copy%1.jpg").arg(made++));
        const QString replaced = write(QStringLiteral("replaced%1.jpg").arg(made), "old");
        QString error;
        {
            const FailingCall unsupported(stopsWith(code));
            ASSERT_TRUE(FileServices::copyFileContent(source, copy, &error)) << error.toStdString();
            ASSERT_TRUE(FileServices::replaceFile(replaced, source, &error)) << error.toStdString();
        }
        // The copy's first call went through, the replacement's did not.
        EXPECT_EQ(kernelCalls, 3);
        EXPECT_EQ(FileServices::modificationDate(copy), modified);
        EXPECT_EQ(FileServices::accessDate(copy), accessed);
        EXPECT_EQ(read(copy), content);
        EXPECT_EQ(read(replaced), content);
    }

    kernelCalls = 0;
    QString error;
    {
        const FailingCall diskFails(stopsWith(EIO));
        EXPECT_FALSE(FileServices::copyFileContent(source, tempPath("failed.jpg"), &error));
    }
    EXPECT_TRUE(error.contains(QString::fromLocal8Bit(std::strerror(EIO)))) << error.toStdString();
    EXPECT_FALSE(QFileInfo::exists(tempPath("failed.jpg")));

    // The system's own call: one kernel copy does the whole file.
    ASSERT_TRUE(FileServices::copyItem(source, tempPath("kernel.jpg"), &error)) << error.toStdString();
    EXPECT_EQ(read(tempPath("kernel.jpg")), content);
}

// A copy is made as an unnamed file and named once whole; where the file
// system or the kernel cannot name it so, the copy is made by name, whole
// and dated. A close that reports a late write error fails the copy either
// way, and nothing is left at the destination.
TEST_F(FileServicesTest, ACopyThatCannotBeNamedIsMadeByNameAndAFailedCloseLeavesNothing)
{
    const QByteArray content(200 * 1024 + 3, 'p');
    const QString source = write("roll/source.jpg", content);
    ASSERT_TRUE(FileServices::setFileDates(source, modified, accessed));
    ASSERT_TRUE(QDir().mkpath(tempPath("copies")));
    int links = 0;
    const auto linkFailing = [&links](int code) {
        FileServices::SystemCalls calls;
        calls.link = [&links, code](const char*, const char*) {
            ++links;
            return FailingCall::failWith(code);
        };
        return calls;
    };
    for (const int code : {ENOENT, EPERM, EOPNOTSUPP}) {
        SCOPED_TRACE(testing::Message() << "naming the unnamed copy fails with " << code);
        const QString copy = tempPath(QStringLiteral("copies/named%1.jpg").arg(code));
        QString error;
        {
            const FailingCall cannotName(linkFailing(code));
            ASSERT_TRUE(FileServices::copyItem(source, copy, &error)) << qPrintable(error);
        }
        EXPECT_EQ(read(copy), content);
        EXPECT_EQ(FileServices::modificationDate(copy), modified);
    }
    EXPECT_EQ(links, 3);

    // The close's late write error, on each road.
    FileServices::SystemCalls lateWriteError;
    lateWriteError.close = [](int fd) {
        ::close(fd);
        return FailingCall::failWith(EIO);
    };
    FileServices::SystemCalls namedAndLateWriteError = linkFailing(ENOENT);
    namedAndLateWriteError.close = lateWriteError.close;
    using Copy = bool (*)(const QString&, const QString&, QString*);
    const std::vector<std::pair<const char*, Copy>> copies
        = {{"item", &FileServices::copyItem}, {"content", &FileServices::copyFileContent}};
    ASSERT_TRUE(QDir().mkpath(tempPath("failed")));
    for (const auto& [road, calls] : {std::pair{"unnamed", lateWriteError}, {"named", namedAndLateWriteError}}) {
        for (const auto& [kind, copyBy] : copies) {
            SCOPED_TRACE(testing::Message() << road << " copy of the " << kind);
            const QString copy = tempPath(QStringLiteral("failed/%1-%2.jpg").arg(road, kind));
            QString error;
            {
                const FailingCall closeFails(calls);
                EXPECT_FALSE(copyBy(source, copy, &error));
            }
            EXPECT_TRUE(error.contains(copy)) << qPrintable(error);
            EXPECT_EQ(FileServices::contentsOfFolder(tempPath("failed")), QStringList());
        }
    }
    EXPECT_EQ(read(source), content);
}
