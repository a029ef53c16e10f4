// The whole kit across launches: a program that starts the kit as the
// application does dies by a fault, and its next launch processes,
// symbolicates and uploads the report to a loopback server.
#include "CrasherProcess.h"
#include "kit/support/harness/LoopbackServer.h"

#include <gtest/gtest.h>
#include <zlib.h>

#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <csignal>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <map>
#include <sstream>
#include <thread>
#include <vector>

extern char** environ;

namespace {

namespace fs = std::filesystem;

const std::string kBundle = "org.lumetta.tests.launcher";

std::string readFile(const fs::path& path)
{
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

std::string gunzip(const std::string& data)
{
    z_stream stream{};
    if (inflateInit2(&stream, 16 + MAX_WBITS) != Z_OK) {
        return {};
    }
    stream.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(data.data()));
    stream.avail_in = static_cast<uInt>(data.size());
    std::string out;
    char buffer[16384];
    int status = Z_OK;
    while (status == Z_OK) {
        stream.next_out = reinterpret_cast<Bytef*>(buffer);
        stream.avail_out = sizeof(buffer);
        status = inflate(&stream, Z_NO_FLUSH);
        out.append(buffer, sizeof(buffer) - stream.avail_out);
    }
    inflateEnd(&stream);
    return status == Z_STREAM_END ? out : std::string();
}

class CrashChildKitTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        char pattern[] = "/tmp/kit-launch-XXXXXX";
        ASSERT_NE(mkdtemp(pattern), nullptr);
        home_ = pattern;
        server_.script(reportsPath(), LoopbackReply::json("{}"));
    }
    void TearDown() override
    {
        std::error_code ignored;
        fs::remove_all(home_, ignored);
    }

    std::string reportsPath() const { return "/sdk-api/v1/platforms/linux/apps/" + kBundle + "/reports"; }
    fs::path structure() const { return home_ / "cache" / "org.lumetta.kit.crashwatch.data" / kBundle / "v3"; }

    // The launcher's wait status; the test fails when it hangs.
    int launch(const std::string& mode)
    {
        std::vector<std::string> variables;
        for (char** variable = environ; *variable != nullptr; ++variable) {
            if (std::strncmp(*variable, "XDG_", 4) != 0 && std::strncmp(*variable, "HOME=", 5) != 0
                && std::strncmp(*variable, "Crashwatch", 10) != 0 && std::strncmp(*variable, "ASAN_", 5) != 0) {
                variables.emplace_back(*variable);
            }
        }
        variables.push_back("HOME=" + home_.string());
        variables.push_back("XDG_CACHE_HOME=" + (home_ / "cache").string());
        variables.push_back("XDG_DATA_HOME=" + (home_ / "data").string());
        variables.push_back("CrashwatchReportsEndpoint=" + server_.baseUrl());
        variables.emplace_back("ASAN_OPTIONS=handle_segv=0:detect_leaks=0");
        std::vector<char*> environment;
        for (auto& variable : variables) {
            environment.push_back(variable.data());
        }
        environment.push_back(nullptr);
        std::string program = LAUNCHER_PATH;
        std::string argument = mode;
        char* arguments[] = {program.data(), argument.data(), nullptr};
        pid_t child = 0;
        if (posix_spawn(&child, program.c_str(), nullptr, nullptr, arguments, environment.data()) != 0) {
            ADD_FAILURE() << "cannot start the launcher";
            return -1;
        }
        return waitForCrasher(child, mode);
    }

    // The files of the one report folder a crashed launch left, by name.
    std::map<std::string, std::string> copyCrashedReport()
    {
        std::map<std::string, std::string> files;
        std::vector<fs::path> folders;
        for (const auto& entry : fs::directory_iterator(structure() / "active")) {
            folders.push_back(entry.path());
        }
        EXPECT_EQ(folders.size(), 1U);
        if (!folders.empty()) {
            for (const auto& entry : fs::directory_iterator(folders.front())) {
                files[entry.path().filename().string()] = readFile(entry.path());
            }
        }
        return files;
    }

    void expectUploadOf(const std::map<std::string, std::string>& copied, const LoopbackRequest& request,
        const std::string& faultingFunction = "faultInExportedFunction")
    {
        EXPECT_EQ(request.method, "POST");
        EXPECT_EQ(request.path, reportsPath());
        EXPECT_EQ(request.header("X-Crashwatch-API-Key").value_or(""), "0123456789abcdef0123456789abcdef01234567");
        EXPECT_EQ(request.header("Content-Length").value_or(""), std::to_string(request.body.size()));
        const std::string contentType = request.header("Content-Type").value_or("");
        const std::string boundary = contentType.substr(contentType.find("boundary=") + 9);
        ASSERT_FALSE(boundary.empty());
        // Every framing byte: the body rebuilt from the parsed parts is the body sent.
        const auto parts = request.multipart();
        std::string rebuilt = "MIME-Version: 1.0\r\n";
        for (const auto& part : parts) {
            rebuilt += "--" + boundary + "\r\nContent-Disposition: form-data; name=\"" + part.name + "\"";
            if (part.filename) {
                rebuilt += "; filename=\"" + *part.filename + "\"\r\nContent-Type: " + part.contentType.value_or("")
                    + "\r\nContent-Transfer-Encoding: binary\r\n\r\n";
            } else {
                rebuilt += "\r\nContent-Type: text/plain\r\n\r\n";
            }
            rebuilt += part.body + "\r\n";
        }
        rebuilt += "--" + boundary + "--\r\n";
        EXPECT_TRUE(rebuilt == request.body) << "framing differs";
        size_t recordParts = 0;
        bool companionNamesTheFault = false;
        for (const auto& part : parts) {
            const auto copy = copied.find(part.name);
            if (copy != copied.end()) {
                ++recordParts;
                EXPECT_EQ(part.contentType.value_or(""), "application/x-gzip") << part.name;
                EXPECT_EQ(gunzip(part.body), copy->second) << part.name;
            } else if (part.name.find(".symbolicated") != std::string::npos) {
                companionNamesTheFault
                    = companionNamesTheFault || gunzip(part.body).find(faultingFunction) != std::string::npos;
            }
        }
        // Every non-empty file of the folder travels.
        size_t nonEmpty = 0;
        for (const auto& [name, bytes] : copied) {
            nonEmpty += bytes.empty() ? 0 : 1;
        }
        EXPECT_EQ(recordParts, nonEmpty);
        EXPECT_TRUE(companionNamesTheFault);
        EXPECT_TRUE(fs::is_empty(structure() / "prepared"));
    }

    // A launch in that mode dies by SIGSEGV with a signal record (checked
    // further by the caller's block), and the next launch uploads the report
    // naming the faulting function.
    void crashAndUploadOnNextLaunch(const std::string& mode, const std::string& faultingFunction,
        const std::function<void(const std::string&)>& checkSignalRecord = nullptr)
    {
        std::error_code ignored;
        fs::remove_all(structure(), ignored);
        const size_t before = server_.requestCount();
        const int status = launch(mode);
        ASSERT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == SIGSEGV) << status;
        const auto copied = copyCrashedReport();
        ASSERT_TRUE(copied.count("signal.cwrecord"));
        if (checkSignalRecord) {
            checkSignalRecord(copied.at("signal.cwrecord"));
        }

        const int second = launch("launch");
        EXPECT_TRUE(WIFEXITED(second) && WEXITSTATUS(second) == 0) << second;
        ASSERT_TRUE(server_.waitForRequests(before + 1));
        const auto requests = server_.requests();
        EXPECT_EQ(requests.size(), before + 1);
        expectUploadOf(copied, requests.back(), faultingFunction);
    }

    fs::path home_;
    LoopbackServer server_;
};

TEST_F(CrashChildKitTest, AFaultAfterStartIsUploadedByTheNextLaunch)
{
    const int status = launch("crash");
    ASSERT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == SIGSEGV) << status;
    // The first main turn came before the fault, so the marker went.
    EXPECT_FALSE(fs::exists(structure() / "launchmarker"));
    const auto copied = copyCrashedReport();
    ASSERT_TRUE(copied.count("signal.cwrecord"));
    // Keys are stored hex-encoded: "teal".
    EXPECT_NE(copied.at("user_incremental_kv.cwrecord").find("7465616c"), std::string::npos);
    EXPECT_EQ(server_.requestCount(), 0U);

    const int second = launch("launch");
    EXPECT_TRUE(WIFEXITED(second) && WEXITSTATUS(second) == 0) << second;
    // The launch ended only once the upload was answered.
    const auto requests = server_.requests();
    EXPECT_EQ(requests.size(), 1U);
    expectUploadOf(copied, requests.front());
}

TEST_F(CrashChildKitTest, AFaultBeforeTheFirstTurnIsSentBeforeTheNextStartReturns)
{
    const int status = launch("early-crash");
    ASSERT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == SIGSEGV) << status;
    EXPECT_TRUE(fs::exists(structure() / "launchmarker"));
    const auto copied = copyCrashedReport();

    // "prepared" is checked right after the kit started: only the blocking
    // upload can have sent the report by then.
    const int second = launch("launch-urgent");
    EXPECT_TRUE(WIFEXITED(second) && WEXITSTATUS(second) == 0) << second;
    ASSERT_EQ(server_.requestCount(), 1U);
    expectUploadOf(copied, server_.requests().front());
}

// A thread the kit never saw made overflows its stack: the kit gave it an
// alternate signal stack all the same, so the crash is recorded and sent.
TEST_F(CrashChildKitTest, StackOverflowsOnEveryKindOfThreadAreUploadedByTheNextLaunch)
{
    for (const std::string mode : {"overflow-std-thread", "overflow-pool-thread", "overflow-raw-pthread"}) {
        SCOPED_TRACE(mode);
        crashAndUploadOnNextLaunch(mode, "recurseWithoutEnd", [](const std::string& record) {
            EXPECT_NE(record.find("\"repeated_pc\""), std::string::npos);
            EXPECT_NE(record.find("\"storage\""), std::string::npos);
        });
    }
}

// A thread that inherits a mask blocking every signal, and the thread the C
// library makes for a SIGEV_THREAD timer: the kernel would end the process on
// their fault without a handler, but the kit unblocked the fault signals.
TEST_F(CrashChildKitTest, FaultsOnThreadsThatBlockSignalsAreUploadedByTheNextLaunch)
{
    const std::map<std::string, std::string> faulting{
        {"fault-signals-blocked", "faultWithEverySignalBlocked"},
        {"fault-timer-thread", "faultInTimerNotification"},
    };
    for (const auto& [mode, function] : faulting) {
        SCOPED_TRACE(mode);
        crashAndUploadOnNextLaunch(mode, function);
    }
}

std::string hex(const std::string& text)
{
    static const char digits[] = "0123456789abcdef";
    std::string out;
    for (const unsigned char byte : text) {
        out += digits[byte >> 4];
        out += digits[byte & 15];
    }
    return out;
}

TEST_F(CrashChildKitTest, TheKitsOwnCallsRecordIntoTheReportAndItsTestCrashesEndTheProcess)
{
    const int status = launch("kit-calls");
    ASSERT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == SIGILL) << status;
    const auto copied = copyCrashedReport();
    EXPECT_NE(copied.at("internal_incremental_kv.cwrecord").find(hex("org.lumetta.kit.crashwatch.user-id")),
        std::string::npos);
    EXPECT_NE(copied.at("internal_incremental_kv.cwrecord").find(hex("user-17")), std::string::npos);
    ASSERT_TRUE(copied.count("custom_exception_a.cwrecord"));
    const std::string& custom = copied.at("custom_exception_a.cwrecord");
    EXPECT_TRUE(
        custom.find("CustomProblem") != std::string::npos || custom.find(hex("CustomProblem")) != std::string::npos);
    // The script message that is no dictionary recorded nothing.
    EXPECT_EQ(custom.find("exception\""), custom.rfind("exception\""));
    fs::remove_all(structure() / "active");

    const int thrown = launch("kit-throw");
    ASSERT_TRUE(WIFSIGNALED(thrown) && WTERMSIG(thrown) == SIGABRT) << thrown;
    const auto record = copyCrashedReport();
    ASSERT_TRUE(record.count("exception.cwrecord"));
    const std::string& exception = record.at("exception.cwrecord");
    EXPECT_TRUE(exception.find("CrashwatchTestException") != std::string::npos
        || exception.find(hex("CrashwatchTestException")) != std::string::npos);
}

} // namespace
