#include <gtest/gtest.h>

#include <fcntl.h>
#include <linux/fs.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>

#include "ReportFixture.h"
#include "kit/core/KBMainBundle.h"
#include "kit/crash/CWFileManager.h"
#include "kit/support/KBLog.h"

using ReportFixture::TemporaryFolder;
using ReportFixture::writeFile;
namespace fs = std::filesystem;

namespace {

// Root ignores permissions; an immutable file cannot be removed even by root.
bool setImmutable(const std::string& path, bool immutable)
{
    const int descriptor = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (descriptor < 0) {
        return false;
    }
    int flags = 0;
    bool done = ::ioctl(descriptor, FS_IOC_GETFLAGS, &flags) == 0;
    flags = immutable ? (flags | FS_IMMUTABLE_FL) : (flags & ~FS_IMMUTABLE_FL);
    done = done && ::ioctl(descriptor, FS_IOC_SETFLAGS, &flags) == 0;
    ::close(descriptor);
    return done;
}

class InfoDictionaryScope {
public:
    explicit InfoDictionaryScope(const nlohmann::json& dictionary)
        : previous_(KBMainBundle::infoDictionary())
    {
        KBMainBundle::setInfoDictionary(dictionary);
    }
    ~InfoDictionaryScope() { KBMainBundle::setInfoDictionary(previous_); }

private:
    std::optional<nlohmann::json> previous_;
};

} // namespace

TEST(CWFileManagerTest, ListingSkipsHiddenEntriesAndGoesByName)
{
    TemporaryFolder temporary;
    const CWFileManager files(temporary.path());
    const std::string folder = temporary.folder("report");
    writeFile(folder + "/.hidden", "x");
    temporary.folder("report/.cache");
    EXPECT_TRUE(files.contentsOfDirectory(folder).empty());
    EXPECT_TRUE(files.removeContentsOfDirectoryAtPath(folder));
    EXPECT_TRUE(fs::exists(folder + "/.hidden"));

    writeFile(folder + "/signal.cwrecord", "{}\n");
    writeFile(folder + "/binary_images.cwrecord.gz", "");
    writeFile(folder + "/README", "");
    std::vector<std::pair<std::string, std::string>> seen;
    files.enumerateFilesInDirectory(
        folder, [&](const std::string& path, const std::string& extension) { seen.emplace_back(path, extension); });
    const std::vector<std::pair<std::string, std::string>> expected{{folder + "/README", ""},
        {folder + "/binary_images.cwrecord.gz", "gz"}, {folder + "/signal.cwrecord", "cwrecord"}};
    EXPECT_EQ(seen, expected);
    EXPECT_EQ(files.fileSizeAtPath(folder + "/signal.cwrecord"), 3u);

    KBLogCapture log;
    EXPECT_EQ(files.fileSizeAtPath(folder + "/missing"), std::nullopt);
    EXPECT_TRUE(log.contains("[Client] Unable to read file size: "));
    EXPECT_TRUE(files.contentsOfDirectory(folder + "/missing").empty());
    EXPECT_TRUE(files.removeContentsOfDirectoryAtPath(folder));
    EXPECT_TRUE(files.contentsOfDirectory(folder).empty());
}

TEST(CWFileManagerTest, MovesStopAtTheFirstFailure)
{
    TemporaryFolder temporary;
    const CWFileManager files(temporary.path());
    const std::string from = temporary.folder("from");
    const std::string to = temporary.folder("to");
    writeFile(from + "/a", "a");
    writeFile(temporary.folder("from/b") + "/inside", "b");
    writeFile(from + "/c", "c");
    // A non-empty folder of the same name cannot be replaced by a move.
    writeFile(temporary.folder("to/b") + "/occupied", "");

    KBLogCapture log;
    EXPECT_FALSE(files.moveItemsFromDirectory(from, to));
    EXPECT_TRUE(fs::exists(to + "/a"));
    EXPECT_TRUE(fs::exists(from + "/b/inside"));
    EXPECT_TRUE(fs::exists(from + "/c"));
    EXPECT_FALSE(fs::exists(to + "/c"));
    EXPECT_TRUE(log.contains("[FileManager] Failed to move file: "));

    EXPECT_FALSE(files.moveItemAtPath(std::nullopt, to));
    EXPECT_FALSE(files.moveItemAtPath(from + "/c", std::nullopt));
    EXPECT_EQ(log.count("[FileManager] Failed to move file, inputs invalid"), 2u);
}

TEST(CWFileManagerTest, EmptyingEveryFolderGoesOnAfterAFailure)
{
    TemporaryFolder temporary;
    const CWFileManager files(temporary.path());
    ASSERT_TRUE(files.prepareForNewLaunch());
    const std::string stuck = files.processingPath() + "/stuck";
    writeFile(stuck, "");
    writeFile(files.processingPath() + "/z", "");
    writeFile(temporary.folder("v3/pending") + "/p", "");
    writeFile(files.preparedPath() + "/package.multipartmime", "");
    writeFile(files.activePath() + "/launch", "");
    if (!setImmutable(stuck, true)) {
        GTEST_SKIP() << "this file system cannot make a file immutable";
    }

    KBLogCapture log;
    const bool removed = files.removeContentsOfAllPaths();
    setImmutable(stuck, false);
    EXPECT_FALSE(removed);
    EXPECT_TRUE(log.contains("[FileManager] Failed to remove file '" + stuck + "' : "));
    EXPECT_EQ(files.processingPathContents(), std::vector<std::string>{stuck});
    EXPECT_TRUE(files.contentsOfDirectory(files.pendingPath()).empty());
    EXPECT_TRUE(files.preparedPathContents().empty());
    EXPECT_TRUE(files.activePathContents().empty());
    EXPECT_TRUE(files.removeContentsOfAllPaths());
}

TEST(CWFileManagerTest, FoldersOfALaunch)
{
    TemporaryFolder temporary;
    const CWFileManager files(temporary.path() + "/root");
    EXPECT_TRUE(files.prepareForNewLaunch());
    EXPECT_TRUE(fs::is_directory(files.activePath()));
    EXPECT_TRUE(fs::is_directory(files.processingPath()));
    EXPECT_TRUE(fs::is_directory(files.preparedPath()));
    EXPECT_FALSE(fs::exists(files.pendingPath()));
    EXPECT_EQ(fs::status(files.activePath()).permissions() & fs::perms::all, fs::perms(0755));
    EXPECT_TRUE(files.prepareForNewLaunch());

    const auto launch = files.setupNewPathForExecutionIdentifier("8b1f2c3d");
    EXPECT_EQ(launch, files.activePath() + "/8b1f2c3d");
    EXPECT_TRUE(fs::is_directory(*launch));
    EXPECT_EQ(files.activePathContents(), std::vector<std::string>{*launch});

    // A file standing where "processing" belongs stops the preparation there.
    const CWFileManager blocked(temporary.path() + "/blocked");
    ASSERT_TRUE(blocked.createDirectoryAtPath(blocked.structurePath()));
    writeFile(blocked.processingPath(), "");
    KBLogCapture log;
    EXPECT_FALSE(blocked.prepareForNewLaunch());
    EXPECT_TRUE(fs::is_directory(blocked.activePath()));
    EXPECT_FALSE(fs::exists(blocked.preparedPath()));
    EXPECT_TRUE(log.contains("[FileManager] Unable to create directory "));
    writeFile(blocked.activePath() + "/taken", "");
    EXPECT_EQ(blocked.setupNewPathForExecutionIdentifier("taken"), std::nullopt);
}

TEST(CWFileManagerTest, EachApplicationHasItsOwnRoot)
{
    const std::string cache = std::getenv("XDG_CACHE_HOME");
    std::string first;
    {
        InfoDictionaryScope scope(nlohmann::json{{"CFBundleIdentifier", "org.example/First"}});
        first = CWFileManager().rootPath();
    }
    std::string second;
    {
        InfoDictionaryScope scope(nlohmann::json{{"CFBundleIdentifier", "org.example.Second"}});
        second = CWFileManager().rootPath();
    }
    EXPECT_EQ(first, cache + "/org.lumetta.kit.crashwatch.data/org.example_First");
    EXPECT_EQ(second, cache + "/org.lumetta.kit.crashwatch.data/org.example.Second");
}

TEST(CWFileManagerTest, ALegacyTreeTakesTheWholeRootWithIt)
{
    TemporaryFolder temporary;
    const CWFileManager files(temporary.path() + "/root");
    ASSERT_TRUE(files.prepareForNewLaunch());
    KBLogCapture log;
    files.removeLegacyDirectories();
    EXPECT_TRUE(fs::exists(files.activePath()));
    EXPECT_TRUE(log.lines().empty());

    ASSERT_TRUE(files.createDirectoryAtPath(files.legacyPath()));
    files.removeLegacyDirectories();
    EXPECT_FALSE(fs::exists(files.rootPath()));
    EXPECT_TRUE(log.contains("[Crashwatch:FileManager] Removed legacy structure at " + files.rootPath()));
}
