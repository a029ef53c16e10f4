#include <gtest/gtest.h>

#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <csignal>
#include <filesystem>
#include <random>

#include "CrashReportFolder.h"
#include "ReportFixture.h"
#include "kit/crash/CWPackageReportOperation.h"
#include "kit/crash/CWReportsController.h"
#include "kit/support/KBLog.h"
#include "kit/support/KBProcessActivities.h"
#include "kit/support/harness/LoopbackServer.h"

using ReportFixture::readFile;
using ReportFixture::writeFile;
namespace fs = std::filesystem;

namespace {

// A kit root with one launch's report folder in "active".
struct ReportTree {
    ReportFixture::TemporaryFolder temporary;
    std::shared_ptr<CWFileManager> files = std::make_shared<CWFileManager>(temporary.path());
    std::string folder;

    ReportTree()
    {
        files->prepareForNewLaunch();
        folder = *files->setupNewPathForExecutionIdentifier("launch-1");
        ReportFixture::writeMetadata(folder, "session-1");
        ReportFixture::writeCrash(folder, "signal", 1700000100, {{1, 2, 3}});
    }
    CWInternalReportPtr report() const { return CWInternalReport::reportWithPath(folder); }
    std::string processing() const { return files->processingPath() + "/launch-1"; }
};

struct Package {
    std::vector<LoopbackPart> parts;
    std::string boundary;
};

Package readPackage(const std::string& path)
{
    Package package;
    package.boundary = fs::path(path).stem().string();
    LoopbackRequest request;
    request.headerLines = {"Content-Type: multipart/form-data; boundary=" + package.boundary};
    request.body = readFile(path);
    package.parts = request.multipart();
    return package;
}

std::string gunzip(const std::string& bytes)
{
    LoopbackRequest request;
    request.body = bytes;
    return request.gunzippedBody();
}

std::string randomBytes(size_t count)
{
    std::mt19937 generator(42);
    std::string bytes(count, '\0');
    for (char& byte : bytes) {
        byte = static_cast<char>(generator());
    }
    return bytes;
}

// A sink that takes only so many bytes, as a full disk would.
class RefusingStream : public KBOutputStream {
public:
    RefusingStream(std::shared_ptr<KBOutputStream> next, size_t room)
        : next_(std::move(next))
        , room_(room)
    {
    }
    size_t write(const void* bytes, size_t length) override
    {
        const size_t taken = std::min(length, room_);
        room_ -= taken;
        return taken == 0 ? 0 : next_->write(bytes, taken);
    }

private:
    std::shared_ptr<KBOutputStream> next_;
    size_t room_;
};

class CrampedPackageOperation : public CWPackageReportOperation {
public:
    using CWPackageReportOperation::CWPackageReportOperation;

protected:
    std::shared_ptr<KBOutputStream> streamForPackage(std::shared_ptr<KBOutputStream> fileStream) override
    {
        return std::make_shared<RefusingStream>(std::move(fileStream), 300);
    }
};

class SettingsDelegate : public CWReportsControllerDelegate {
public:
    std::optional<CWSettings> settings;
    std::optional<CWSettings> settingsForReportsController(CWReportsController&) override { return settings; }
};

} // namespace

TEST(CWPackageReportTest, EveryFileGoesInCompressedInNameOrder)
{
    CrashReportFolder current;
    ReportTree tree;
    writeFile(tree.folder + "/errors_a.cwrecord", "{\"error\":{\"domain\":\"x\"}}\n");
    writeFile(tree.folder + "/errors_b.cwrecord", "");
    writeFile(tree.folder + "/.hidden", "secret");
    writeFile(tree.folder + "/old.cwrecord.gz", "left from an interrupted run");
    writeFile(tree.folder + "/log_a.cwrecord", randomBytes(200000));
    const std::vector<std::string> packaged{
        "errors_a.cwrecord", "log_a.cwrecord", "metadata.cwrecord", "signal.cwrecord"};
    std::map<std::string, std::string> sources;
    for (const std::string& name : packaged) {
        sources[name] = readFile(tree.folder + "/" + name);
    }

    std::vector<std::pair<std::string, bool>> uploads;
    int activeActivities = 0;
    CWReportsController controller(nullptr, tree.files, [&](const std::string& path, bool urgent) {
        uploads.emplace_back(path, urgent);
        activeActivities = std::min(KBProcessActivities::suddenTerminationDisabledCount(),
            KBProcessActivities::automaticTerminationDisabledCount());
        return true;
    });
    KBLogCapture log;
    // Without binary images nothing is symbolicated, and the report is still packaged.
    EXPECT_TRUE(controller.prepareAndSubmitReport(tree.report(), true, true));
    ASSERT_EQ(uploads.size(), 1u);
    EXPECT_TRUE(uploads[0].second);
    EXPECT_GT(activeActivities, 0);
    EXPECT_FALSE(fs::exists(tree.folder));
    EXPECT_FALSE(fs::exists(tree.processing()));
    EXPECT_EQ(tree.files->preparedPathContents(), std::vector<std::string>{uploads[0].first});
    EXPECT_TRUE(log.contains("[Crashwatch:Crash:Reports] Packaged report with id 'session-1' for submission"));

    const Package package = readPackage(uploads[0].first);
    EXPECT_EQ(fs::path(uploads[0].first).extension(), ".multipartmime");
    ASSERT_EQ(package.parts.size(), 2 + packaged.size());
    EXPECT_EQ(package.parts[0].name, "api_key");
    EXPECT_EQ(package.parts[0].body, "0123456789abcdef0123456789abcdef01234567");
    EXPECT_EQ(package.parts[1].name, "report_id");
    EXPECT_EQ(package.parts[1].body, "session-1");
    for (size_t i = 0; i < packaged.size(); ++i) {
        const LoopbackPart& part = package.parts[2 + i];
        EXPECT_EQ(part.name, packaged[i]);
        EXPECT_EQ(part.filename, packaged[i] + ".gz");
        EXPECT_EQ(part.contentType, "application/x-gzip");
        EXPECT_EQ(gunzip(part.body), sources[packaged[i]]) << packaged[i];
    }
    CrashReportFolder::drainLoggingQueue();
    EXPECT_NE(current.read("sdk.log").find("Error: unable to read data for compression: errors_b.cwrecord\n"),
        std::string::npos);
}

// Whatever else lands in a report folder stays home: files of other names,
// links (to system files), pipes and folders. A file past the size cap goes
// in cut at a line end, and a link where the compressed copy would go is not
// written through.
TEST(CWPackageReportTest, OnlyTheReportsOwnRegularFilesTravelEachCapped)
{
    CrashReportFolder current;
    ReportTree tree;
    ReportFixture::TemporaryFolder outside;
    const std::string secret = outside.path() + "/secret";
    writeFile(secret, "root:x:0:0:root:/root:/bin/bash\n");
    fs::create_symlink("/etc/passwd", tree.folder + "/sdk.log");
    fs::create_symlink(secret, tree.folder + "/errors_a.cwrecord");
    fs::create_symlink(secret, tree.folder + "/metadata.cwrecord.gz");
    writeFile(tree.folder + "/notes.txt", "not the kit's\n");
    writeFile(tree.folder + "/signal.cwrecord.symbolicated.symbolicated", "not the kit's\n");
    ASSERT_EQ(::mkfifo((tree.folder + "/log_b.cwrecord").c_str(), 0600), 0);
    fs::create_directory(tree.folder + "/custom_exception_a.cwrecord");
    std::string log;
    for (int line = 0; log.size() <= CWPackageReportOperation::kMaximumFileBytes + 4096; ++line) {
        log += "{\"log\":{\"line\":" + std::to_string(line) + "}}\n";
    }
    writeFile(tree.folder + "/log_a.cwrecord", log);
    writeFile(tree.folder + "/signal.cwrecord.symbolicated", "{\"threads\":[]}\n");
    const std::string metadata = readFile(tree.folder + "/metadata.cwrecord");

    auto package = std::make_shared<CWPackageReportOperation>(tree.report(), tree.files);
    package->start();
    ASSERT_TRUE(package->finalPath());
    const auto parts = readPackage(*package->finalPath()).parts;
    std::vector<std::string> names;
    for (const auto& part : parts) {
        names.push_back(part.name);
    }
    EXPECT_EQ(names,
        (std::vector<std::string>{"api_key", "report_id", "log_a.cwrecord", "metadata.cwrecord", "signal.cwrecord",
            "signal.cwrecord.symbolicated"}));
    const std::string cut = gunzip(parts[2].body);
    EXPECT_LE(cut.size(), CWPackageReportOperation::kMaximumFileBytes);
    EXPECT_GT(cut.size(), CWPackageReportOperation::kMaximumFileBytes - 64);
    EXPECT_EQ(cut.back(), '\n');
    EXPECT_EQ(log.compare(0, cut.size(), cut), 0);
    // The link beside metadata kept its target; the file went in uncompressed.
    EXPECT_EQ(readFile(secret), "root:x:0:0:root:/root:/bin/bash\n");
    EXPECT_EQ(parts[3].contentType, "text/plain");
    EXPECT_EQ(parts[3].body, metadata);
    for (const auto& part : parts) {
        EXPECT_EQ(part.body.find("root:x:0"), std::string::npos) << part.name;
    }
}

TEST(CWPackageReportTest, AFileThatCannotBeCompressedGoesInAsItIs)
{
    CrashReportFolder current;
    ReportTree tree;
    fs::create_directory(tree.folder + "/signal.cwrecord.gz");
    const std::string signal = readFile(tree.folder + "/signal.cwrecord");
    auto package = std::make_shared<CWPackageReportOperation>(tree.report(), tree.files);
    package->start();
    ASSERT_TRUE(package->finalPath());
    const auto parts = readPackage(*package->finalPath()).parts;
    ASSERT_EQ(parts.size(), 4u);
    EXPECT_EQ(parts[3].name, "signal.cwrecord");
    EXPECT_EQ(parts[3].filename, "signal.cwrecord.gz");
    EXPECT_EQ(parts[3].contentType, "text/plain");
    EXPECT_EQ(parts[3].body, signal);
    EXPECT_EQ(parts[2].contentType, "application/x-gzip");
    CrashReportFolder::drainLoggingQueue();
    EXPECT_NE(current.read("sdk.log").find("Error: compression failed for signal.cwrecord.gz\n"), std::string::npos);
}

TEST(CWPackageReportTest, APackageThatCannotBeWrittenWholeIsNoPackage)
{
    ReportTree tree;
    auto package = std::make_shared<CrampedPackageOperation>(tree.report(), tree.files);
    KBLogCapture log;
    package->start();
    EXPECT_EQ(package->finalPath(), std::nullopt);
    EXPECT_TRUE(tree.files->preparedPathContents().empty());
    EXPECT_TRUE(fs::exists(tree.folder + "/signal.cwrecord"));
    EXPECT_TRUE(log.contains("[Crashwatch:Crash:Reports] Unable to write package "));
}

TEST(CWPackageReportTest, AFullDiskLeavesTheReportInProcessing)
{
    ReportTree tree;
    writeFile(tree.folder + "/log_a.cwrecord", randomBytes(60000));
    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        // Writes past the limit fail with EFBIG instead of ending the process.
        ::signal(SIGXFSZ, SIG_IGN);
        const rlimit limit{20000, 20000};
        ::setrlimit(RLIMIT_FSIZE, &limit);
        CWReportsController controller(nullptr, tree.files, [](const std::string&, bool) { return true; });
        ::_exit(controller.prepareAndSubmitReport(tree.report(), false, true) ? 1 : 0);
    }
    int status = 0;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 0);
    EXPECT_TRUE(tree.files->preparedPathContents().empty());
    EXPECT_TRUE(fs::exists(tree.processing() + "/log_a.cwrecord"));
    EXPECT_TRUE(fs::exists(tree.processing() + "/metadata.cwrecord"));
}

TEST(CWPackageReportTest, ReportsThatCannotGoOnStayWhereTheyAre)
{
    ReportTree tree;
    SettingsDelegate delegate;
    int uploads = 0;
    CWReportsController controller(&delegate, tree.files, [&](const std::string&, bool) { return ++uploads > 0; });
    KBLogCapture log;

    // A folder of that name already in "processing": the report stays in "active".
    fs::create_directories(tree.processing() + "/occupied");
    EXPECT_FALSE(controller.prepareAndSubmitReport(tree.report(), false, true));
    EXPECT_TRUE(log.contains("[Crashwatch:Crash:Reports] Unable to move report for processing"));
    EXPECT_TRUE(fs::exists(tree.folder + "/signal.cwrecord"));
    fs::remove_all(tree.processing());

    ::setenv("CrashwatchPackageReports", "NO", 1);
    const bool submitted = controller.prepareAndSubmitReport(tree.report(), false, true);
    ::unsetenv("CrashwatchPackageReports");
    EXPECT_FALSE(submitted);
    EXPECT_TRUE(log.contains("[Crashwatch:Crash:Reports] Report packaging disabled"));
    EXPECT_TRUE(fs::exists(tree.processing() + "/signal.cwrecord"));

    // The next launch packages it without processing it again.
    delegate.settings = CWSettings(std::nullopt);
    auto report = CWInternalReport::reportWithPath(tree.processing());
    EXPECT_TRUE(controller.prepareAndSubmitReport(report, false, false));
    EXPECT_EQ(uploads, 1);
    EXPECT_FALSE(fs::exists(tree.processing()));
    EXPECT_EQ(tree.files->preparedPathContents().size(), 1u);
}
