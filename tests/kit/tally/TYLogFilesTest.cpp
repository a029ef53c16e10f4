#include "TallyFixture.h"

#include "kit/support/KBClock.h"
#include "kit/support/KBDigest.h"
#include "kit/tally/TYCompressLogOperation.h"
#include "kit/tally/TYCrashEvent.h"
#include "kit/tally/TYCustomEvent.h"
#include "kit/tally/TYWriteEventOperation.h"

#include <csignal>
#include <fstream>
#include <random>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#include <zlib.h>

namespace {

using TallyLogFilesTest = TallyFixture;

std::vector<std::string> readLines(const std::string& path)
{
    std::vector<std::string> lines;
    std::ifstream in(path);
    for (std::string line; std::getline(in, line);) {
        lines.push_back(line);
    }
    return lines;
}

void writeFile(const std::string& path, const std::string& bytes)
{
    std::ofstream(path, std::ios::binary) << bytes;
}

void writeGzip(const std::string& path, const std::string& text)
{
    gzFile file = gzopen(path.c_str(), "wb");
    gzwrite(file, text.data(), static_cast<unsigned>(text.size()));
    gzclose(file);
}

} // namespace

TEST_F(TallyLogFilesTest, NewLogsStartWithMetadataAndCrashesTravelAloneUnderThePreviousRunsMetadata)
{
    auto controller = startController();
    const std::string firstLog = controller->currentLogURL();
    controller->enqueueEvent(std::make_shared<TYCustomEvent>("opened", nullptr));
    controller->eventQueue()->waitUntilAllOperationsAreFinished();

    auto lines = readLines(firstLog);
    ASSERT_EQ(lines.size(), 3u);
    EXPECT_EQ(DecodedBatch::name(lines[0]), "metadata");
    EXPECT_EQ(DecodedBatch::name(lines[1]), "app_launched");
    EXPECT_EQ(DecodedBatch::name(lines[2]), "custom");
    const auto metadata = DecodedBatch::payload(lines[0]);
    EXPECT_EQ(metadata.begin().key(), "generator");
    EXPECT_EQ(metadata["generator"], "Tally Linux SDK/1.3.4");
    EXPECT_EQ(metadata["platform"], "Linux");
    EXPECT_EQ(metadata["api_key"], "test-key");
    EXPECT_EQ(metadata["cores"], sysconf(_SC_NPROCESSORS_CONF));
    EXPECT_EQ(metadata["started_at"], std::stoull(lines[1]) / 1000);
    EXPECT_FALSE(metadata.contains("advertising_id"));
    for (const auto& line : lines) {
        EXPECT_TRUE(DecodedBatch::wellFormed(line)) << line;
    }

    // No "crash_metadata" before this run: the crash batch is headed by "{}".
    controller->logCrashEvent(std::make_shared<TYCrashEvent>(1'600'000'000.0, 0));
    controller->eventQueue()->waitUntilAllOperationsAreFinished();
    const auto uploads = controller->uploads();
    ASSERT_EQ(uploads.size(), 2u);
    const auto rotated = DecodedBatch::read(uploads[0].batch);
    EXPECT_EQ(rotated.lines, lines);
    EXPECT_EQ(rotated.contentType, "application/vnd.crashwatch.linux.events");
    EXPECT_EQ(rotated.fileName, TYFileUtils::baseName(firstLog) + ".gz");
    const auto crash = DecodedBatch::read(uploads[1].batch);
    ASSERT_EQ(crash.lines.size(), 2u);
    EXPECT_EQ(crash.lines[0].substr(crash.lines[0].find('\t')), "\tmetadata\t2\t{}");
    EXPECT_EQ(crash.lines[1].substr(0, 14), "1600000000000\t");
    EXPECT_EQ(DecodedBatch::name(crash.lines[1]), "app_crashed");
    EXPECT_TRUE(filesWithExtension("log").empty());
    EXPECT_TRUE(filesWithExtension("gz").empty());

    // The next run heads its crash batch with this run's stored metadata.
    auto next = startController();
    next->logCrashEvent(std::make_shared<TYCrashEvent>(1'600'000'001.0, 0));
    next->eventQueue()->waitUntilAllOperationsAreFinished();
    const auto nextCrash = DecodedBatch::read(next->uploads().back().batch);
    ASSERT_EQ(nextCrash.lines.size(), 2u);
    EXPECT_EQ(DecodedBatch::payload(nextCrash.lines[0])["session_id"], metadata["session_id"]);

    // An unreadable stored metadata drops the crash event.
    writeFile(TYTallyController::crashMetadataPathForRootDirectory(root), "{not json");
    auto damaged = startController();
    const size_t before = damaged->uploads().size();
    damaged->logCrashEvent(std::make_shared<TYCrashEvent>(1'600'000'002.0, 0));
    damaged->eventQueue()->waitUntilAllOperationsAreFinished();
    for (size_t i = before; i < damaged->uploads().size(); ++i) {
        const auto batch = DecodedBatch::read(damaged->uploads()[i].batch);
        for (const auto& line : batch.lines) {
            EXPECT_NE(DecodedBatch::name(line), "app_crashed");
        }
    }
}

TEST_F(TallyLogFilesTest, RotatingANeverWrittenLogFindsNothingToSend)
{
    auto controller = startController();
    runOnQueue(controller, [controller] { controller->rotateAndSubmitCurrentLog(); });
    log.clear();
    const std::string unwritten = controller->currentLogURL();
    runOnQueue(controller, [controller] { controller->rotateAndSubmitCurrentLog(); });

    const auto lines = log.lines();
    const auto compress = std::find_if(lines.begin(), lines.end(), [&](const std::string& line) {
        return line.find("Error: attempting to compress nonexistent file: " + unwritten) != std::string::npos;
    });
    const auto package = std::find_if(lines.begin(), lines.end(), [&](const std::string& line) {
        return line.find(
                   "Error: attempting to package nonexistent file: " + TYFileUtils::replacingExtension(unwritten, "gz"))
            != std::string::npos;
    });
    ASSERT_NE(compress, lines.end());
    ASSERT_NE(package, lines.end());
    EXPECT_LT(compress, package);
    const auto uploads = controller->uploads();
    ASSERT_EQ(uploads.size(), 2u);
    EXPECT_TRUE(uploads[0].existed);
    EXPECT_FALSE(uploads[1].existed);
    EXPECT_EQ(uploads[1].batch, controller->multipartMimeURLWithBoundary(uploads[1].boundary));
}

TEST_F(TallyLogFilesTest, StartUpRecompressesLogsPackagesOrphansAndKeepsTheNewestHundredBatches)
{
    KBFiles::makeFolders(events);
    const std::string lines = "1\tmetadata\t2\t{}\n2\tcustom\t2\t{}\n";
    writeFile(events + "/A.log", lines + "3\tcust"); // killed mid-append
    writeFile(events + "/A.gz", "half a gzip");
    writeGzip(events + "/B.gz", lines);
    writeFile(events + "/C.txt", "x");
    writeFile(events + "/D.gz.partial", "x");
    std::map<std::string, double> dates;
    for (int i = 0; i < 150; ++i) {
        const std::string path = events + "/batch" + std::to_string(i) + ".multipartmime";
        writeFile(path, "x");
        dates[path] = 1000.0 + (i * 37) % 150; // creation order differs from name order
    }
    // Batches made by this run are newer than every batch found.
    TYFileUtils::setCreationDateReader([dates](const std::string& path) -> std::optional<double> {
        const auto found = dates.find(path);
        return found == dates.end() ? 2000.0 : found->second;
    });

    auto controller = startController();
    EXPECT_FALSE(TYFileUtils::isRegularFile(events + "/C.txt"));
    EXPECT_FALSE(TYFileUtils::isRegularFile(events + "/D.gz.partial"));
    EXPECT_FALSE(TYFileUtils::isRegularFile(events + "/A.log"));
    EXPECT_FALSE(TYFileUtils::isRegularFile(events + "/B.gz"));

    std::set<std::string> kept;
    std::vector<DecodedBatch> fresh;
    for (const auto& upload : controller->uploads()) {
        if (dates.count(upload.batch) != 0) {
            kept.insert(upload.batch);
        } else {
            fresh.push_back(DecodedBatch::read(upload.batch));
        }
    }
    ASSERT_EQ(kept.size(), 100u);
    // The limit holds while running too: the two batches packaged from the
    // orphans each pushed the oldest one kept out.
    for (const auto& [path, date] : dates) {
        EXPECT_EQ(kept.count(path) != 0, date >= 1050.0) << path;
        EXPECT_EQ(TYFileUtils::isRegularFile(path), date >= 1052.0) << path;
    }
    EXPECT_EQ(filesWithExtension("multipartmime").size(), 100u);
    // A's log went in again, without its torn last line; B was packaged.
    ASSERT_EQ(fresh.size(), 2u);
    std::set<std::string> names;
    for (const auto& batch : fresh) {
        EXPECT_TRUE(batch.wholeLines);
        EXPECT_EQ(batch.lines, (std::vector<std::string>{"1\tmetadata\t2\t{}", "2\tcustom\t2\t{}"}));
        names.insert(batch.fileName);
    }
    EXPECT_EQ(names, (std::set<std::string>{"A.gz", "B.gz"}));
}

TEST_F(TallyLogFilesTest, FailedWritesAndCompressionsLoseNothingAlreadyWritten)
{
    // Beside the events folder, so that the start-up clean-up leaves it be.
    KBFiles::makeFolders(root + "/side");
    const std::string logPath = root + "/side/W.log";
    auto metadata = std::make_shared<TYCrashMetadata>(nlohmann::ordered_json{{"m", 1}});
    auto first
        = std::make_shared<TYWriteEventOperation>(std::make_shared<TYCustomEvent>("one", nullptr), metadata, logPath);
    first->start();
    ASSERT_TRUE(first->success());
    const auto sizeBefore = TYFileUtils::fileSizeAtURL(logPath);

    // The file system refuses growth partway through the line.
    signal(SIGXFSZ, SIG_IGN);
    rlimit saved{};
    getrlimit(RLIMIT_FSIZE, &saved);
    rlimit limited = saved;
    limited.rlim_cur = sizeBefore + 20;
    setrlimit(RLIMIT_FSIZE, &limited);
    auto torn = std::make_shared<TYWriteEventOperation>(
        std::make_shared<TYCustomEvent>(std::string(200, 'x'), nullptr), metadata, logPath);
    torn->start();
    setrlimit(RLIMIT_FSIZE, &saved);
    EXPECT_FALSE(torn->success());
    EXPECT_EQ(TYFileUtils::fileSizeAtURL(logPath), sizeBefore);

    auto next
        = std::make_shared<TYWriteEventOperation>(std::make_shared<TYCustomEvent>("three", nullptr), metadata, logPath);
    next->start();
    EXPECT_TRUE(next->success());
    const auto lines = readLines(logPath);
    ASSERT_EQ(lines.size(), 3u);
    for (const auto& line : lines) {
        EXPECT_TRUE(DecodedBatch::wellFormed(line)) << line;
    }

    // A log left empty by a failed first line still gets its metadata line.
    writeFile(root + "/side/E.log", "");
    std::make_shared<TYWriteEventOperation>(
        std::make_shared<TYCustomEvent>("e", nullptr), metadata, root + "/side/E.log")
        ->start();
    const auto emptyLog = readLines(root + "/side/E.log");
    ASSERT_EQ(emptyLog.size(), 2u);
    EXPECT_EQ(DecodedBatch::name(emptyLog[0]), "metadata");

    // Every write call comes up short.
    auto refused
        = std::make_shared<TYWriteEventOperation>(std::make_shared<TYCustomEvent>("x", nullptr), metadata, logPath);
    refused->setWriteCall([](int, const void*, size_t length) { return static_cast<ssize_t>(length / 2); });
    refused->start();
    EXPECT_FALSE(refused->success());
    EXPECT_TRUE(log.contains("[Tally:WriteOperation] Error: exited write loop without success"));
    EXPECT_EQ(readLines(logPath).size(), 3u);

    // A log that cannot be opened loses its event, and says so whatever the debug mode.
    TYLogger::sharedLogger().setDebugMode(false);
    const uint64_t lostBefore = TYWriteEventOperation::lostEventCount();
    auto unopened = std::make_shared<TYWriteEventOperation>(
        std::make_shared<TYCustomEvent>("nowhere", nullptr), metadata, root + "/missing/M.log");
    unopened->start();
    TYLogger::sharedLogger().setDebugMode(true);
    EXPECT_FALSE(unopened->success());
    EXPECT_EQ(TYWriteEventOperation::lostEventCount(), lostBefore + 1);
    EXPECT_TRUE(log.contains("[Tally:WriteOperation] Failed to open " + root
        + "/missing/M.log: No such file or directory; the event 'custom' is lost"));

    // Nothing can be written where the compressed copy goes: the log stays
    // and no batch is made.
    auto controller = startController();
    ::mkdir((root + "/side/W.gz.partial").c_str(), 0755);
    const size_t uploadsBefore = controller->uploads().size();
    runOnQueue(controller, [controller, logPath] {
        for (const auto& operation : controller->operationsForUncompressedLog(logPath)) {
            controller->eventQueue()->addOperation(operation);
        }
    });
    EXPECT_TRUE(TYFileUtils::isRegularFile(logPath));
    EXPECT_FALSE(TYFileUtils::isRegularFile(root + "/side/W.gz"));
    ASSERT_EQ(controller->uploads().size(), uploadsBefore + 1);
    EXPECT_FALSE(controller->uploads().back().existed);
    EXPECT_TRUE(filesWithExtension("multipartmime").empty());
}

TEST_F(TallyLogFilesTest, KilledWhileLoggingAndRotatingLeavesOnlyWholeBatches)
{
    auto controller = startController();
    std::mt19937 random(12345);
    for (int round = 0; round < 20; ++round) {
        const pid_t child = fork();
        ASSERT_GE(child, 0);
        if (child == 0) {
            // Synchronous file operations only: no queue threads after fork.
            TYLogger::sharedLogger().setDebugMode(false);
            auto metadata = std::make_shared<TYCrashMetadata>(nlohmann::ordered_json{{"round", round}});
            std::string logPath = controller->generateNewLogPath();
            // Large payloads that do not compress keep every step busy long
            // enough for the kill to land inside it.
            std::string noise;
            for (int i = 0; i < 4096; ++i) {
                noise += KBCreateUUIDString().substr(0, 4);
            }
            for (int i = 0;; ++i) {
                std::make_shared<TYWriteEventOperation>(
                    std::make_shared<TYCustomEvent>(noise.substr(i % 64) + std::to_string(i), nullptr), metadata,
                    logPath)
                    ->start();
                if (i % 3 == 2) {
                    for (const auto& operation : controller->operationsForUncompressedLog(logPath)) {
                        operation->start();
                    }
                    logPath = controller->generateNewLogPath();
                }
            }
        }
        usleep(2000 + random() % 25000);
        kill(child, SIGKILL);
        int status = 0;
        waitpid(child, &status, 0);

        auto cleaner = startController();
        for (const auto& path : filesWithExtension("multipartmime")) {
            const auto batch = DecodedBatch::read(path);
            ASSERT_TRUE(batch.parsed) << path;
            ASSERT_TRUE(batch.wholeLines) << path;
            ASSERT_FALSE(batch.lines.empty());
            EXPECT_EQ(DecodedBatch::name(batch.lines[0]), "metadata") << path;
            for (const auto& line : batch.lines) {
                ASSERT_TRUE(DecodedBatch::wellFormed(line)) << path << ": " << line;
            }
            ::unlink(path.c_str());
        }
        EXPECT_TRUE(filesWithExtension("gz").empty());
    }
}
