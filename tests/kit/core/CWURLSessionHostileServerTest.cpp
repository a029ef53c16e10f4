// The session against servers that misbehave: answers without end, answers
// a byte at a time, redirects to other origins. Every request ends in
// bounded time with an error, and no body file outlives its request.
#include "kit/core/CWURLSessionTemporaries.h"
#include "kit/core/SessionRecorder.h"
#include "kit/support/harness/Eventually.h"
#include "kit/support/harness/LoopbackServer.h"

#include <gtest/gtest.h>

#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <thread>

namespace {

namespace fs = std::filesystem;

struct Outcome {
    std::optional<std::string> body;
    std::optional<KBHTTPURLResponse> response;
    std::optional<KBError> error;
};

KBURLRequest requestFor(const std::string& url)
{
    KBURLRequest request;
    request.url = url;
    request.timeoutInterval = 10.0;
    request.setHeader("X-Crashwatch-API-Key", "secret-key");
    return request;
}

std::shared_ptr<CWURLSession> sessionWith(
    std::shared_ptr<CWURLSessionConfiguration> configuration = CWURLSessionConfiguration::defaultSessionConfiguration())
{
    return CWURLSession::sessionWithConfiguration(configuration, std::make_shared<SessionRecorder>());
}

Outcome fetch(CWURLSession& session, const KBURLRequest& request)
{
    Awaited<Outcome> done;
    session
        .dataTaskWithRequest(request,
            [&](auto body, auto response, auto error) {
                done.set(Outcome{body, response, error});
            })
        ->resume();
    return done.get();
}

// A download's outcome, and whether its body file still exists once the
// session has finished with the task.
std::pair<Outcome, bool> download(CWURLSession& session, const KBURLRequest& request)
{
    Awaited<Outcome> done;
    auto task = session.downloadTaskWithRequest(request, [&](auto file, auto response, auto error) {
        done.set(Outcome{file, response, error});
    });
    const std::string target = task->targetURL();
    task->resume();
    const Outcome outcome = done.get();
    session.delegateQueue()->waitUntilAllOperationsAreFinished();
    return {outcome, fs::exists(target)};
}

int64_t codeOf(const Outcome& outcome)
{
    return outcome.error ? outcome.error->code : 0;
}

} // namespace

TEST(CWURLSessionHostileServerTest, AnswersPastTheCapFailAndLeaveNoFile)
{
    LoopbackServer server;
    server.script("/endless", LoopbackReply::with(LoopbackReply::Behaviour::Endless));
    server.script("/just", LoopbackReply::answer(200, std::string(1024 * 1024, 'j')));
    auto configuration = CWURLSessionConfiguration::defaultSessionConfiguration();
    EXPECT_EQ(configuration->maximumResponseBytes, 1024 * 1024);
    auto session = sessionWith(configuration);

    const auto [endless, endlessFileLeft] = download(*session, requestFor(server.url("/endless")));
    EXPECT_EQ(codeOf(endless), kb::kURLErrorDataLengthExceedsMaximum);
    EXPECT_FALSE(endless.body.has_value());
    EXPECT_FALSE(endlessFileLeft);
    EXPECT_EQ(codeOf(fetch(*session, requestFor(server.url("/endless")))), kb::kURLErrorDataLengthExceedsMaximum);
    std::optional<KBError> error;
    EXPECT_FALSE(session->sendSynchronousRequest(requestFor(server.url("/endless")), nullptr, &error).has_value());
    EXPECT_EQ(error->code, kb::kURLErrorDataLengthExceedsMaximum);

    // Exactly at the cap is still an answer.
    const Outcome just = fetch(*session, requestFor(server.url("/just")));
    EXPECT_EQ(codeOf(just), 0);
    EXPECT_EQ(just.body->size(), 1024u * 1024u);
}

TEST(CWURLSessionHostileServerTest, AByteAtATimeMeetsTheOverallDeadline)
{
    LoopbackServer server;
    LoopbackReply trickle = LoopbackReply::with(LoopbackReply::Behaviour::Trickle);
    trickle.trickleSeconds = 0.02;
    server.script("/trickle", trickle);
    auto configuration = CWURLSessionConfiguration::defaultSessionConfiguration();
    EXPECT_LE(configuration->timeoutIntervalForResource, 3600.0);
    // Every byte comes well within the idle time-out; only the deadline ends it.
    configuration->timeoutIntervalForResource = 0.4;
    auto session = sessionWith(configuration);

    const auto started = std::chrono::steady_clock::now();
    EXPECT_EQ(codeOf(fetch(*session, requestFor(server.url("/trickle")))), kb::kURLErrorTimedOut);
    const auto [slow, fileLeft] = download(*session, requestFor(server.url("/trickle")));
    EXPECT_EQ(codeOf(slow), kb::kURLErrorTimedOut);
    EXPECT_FALSE(fileLeft);
    std::optional<KBError> error;
    session->sendSynchronousRequest(requestFor(server.url("/trickle")), nullptr, &error);
    EXPECT_EQ(error->code, kb::kURLErrorTimedOut);
    // Generous bound: three deadlines of 0.4 s each, not the trickle's million bytes.
    EXPECT_LT(std::chrono::steady_clock::now() - started, std::chrono::seconds(30));
}

TEST(CWURLSessionHostileServerTest, CancelledAndAbandonedDownloadsLeaveNoFile)
{
    LoopbackServer server;
    LoopbackReply trickle = LoopbackReply::with(LoopbackReply::Behaviour::Trickle);
    trickle.trickleSeconds = 0.01;
    server.script("/trickle", trickle);
    auto session = sessionWith();

    auto awaitBytesIn = [](const std::string& path) {
        return eventually([&] { return fs::exists(path) && fs::file_size(path) > 0; });
    };
    Awaited<Outcome> cancelled;
    auto task = session->downloadTaskWithRequest(
        requestFor(server.url("/trickle")), [&](auto file, auto response, auto error) {
            cancelled.set(Outcome{file, response, error});
        });
    const std::string first = task->targetURL();
    task->resume();
    ASSERT_TRUE(awaitBytesIn(first));
    task->cancel();
    EXPECT_EQ(codeOf(cancelled.get()), kb::kURLErrorCancelled);
    session->delegateQueue()->waitUntilAllOperationsAreFinished();
    EXPECT_FALSE(fs::exists(first));

    // Invalidating the session in the middle of a download takes the file too.
    Awaited<int64_t> invalidated;
    auto running = session->downloadTaskWithRequest(
        requestFor(server.url("/trickle")), [&](auto, auto, auto error) { invalidated.set(error ? error->code : 0); });
    const std::string second = running->targetURL();
    running->resume();
    ASSERT_TRUE(awaitBytesIn(second));
    session->invalidateAndCancel();
    EXPECT_EQ(invalidated.get(), kb::kURLErrorCancelled);
    session->delegateQueue()->waitUntilAllOperationsAreFinished();
    EXPECT_FALSE(fs::exists(second));
}

// A process that quits in the middle of a download leaves no file behind.
TEST(CWURLSessionHostileServerTest, ADownloadUnderWayAtExitLeavesNoFile)
{
    // The child is forked before the server's thread exists: a child forked
    // beside a running thread may inherit a lock that thread held (the
    // sanitizers' allocator has no fork handlers) and hang on it. It learns
    // the server's address through a pipe.
    int urlPipe[2];
    int pathPipe[2];
    ASSERT_EQ(::pipe(urlPipe), 0);
    ASSERT_EQ(::pipe(pathPipe), 0);
    const pid_t child = ::fork();
    if (child == 0) {
        ::close(urlPipe[1]);
        char url[1024];
        const ssize_t urlLength = ::read(urlPipe[0], url, sizeof url);
        if (urlLength <= 0) {
            std::_Exit(2);
        }
        auto session = sessionWith();
        auto task = session->downloadTaskWithRequest(
            requestFor(std::string(url, static_cast<size_t>(urlLength))), [](auto, auto, auto) {});
        const std::string path = task->targetURL();
        task->resume();
        eventually([&] { return fs::exists(path) && fs::file_size(path) > 0; });
        const bool written = ::write(pathPipe[1], path.c_str(), path.size()) == static_cast<ssize_t>(path.size());
        ::close(pathPipe[1]);
        std::exit(written && fs::exists(path) ? 0 : 1);
    }
    ::close(urlPipe[0]);
    ::close(pathPipe[1]);
    LoopbackServer server;
    LoopbackReply trickle = LoopbackReply::with(LoopbackReply::Behaviour::Trickle);
    trickle.trickleSeconds = 0.01;
    server.script("/trickle", trickle);
    const std::string url = server.url("/trickle");
    const bool told = ::write(urlPipe[1], url.c_str(), url.size()) == static_cast<ssize_t>(url.size());
    ::close(urlPipe[1]);
    char buffer[4096];
    const ssize_t length = ::read(pathPipe[0], buffer, sizeof buffer);
    ::close(pathPipe[0]);
    int status = 0;
    ::waitpid(child, &status, 0);
    ASSERT_TRUE(told);
    ASSERT_TRUE(WIFEXITED(status)) << status;
    EXPECT_EQ(WEXITSTATUS(status), 0) << "the download had not begun";
    ASSERT_GT(length, 0);
    const std::string path(buffer, static_cast<size_t>(length));
    EXPECT_EQ(fs::path(path).filename().string().rfind(CWURLSessionTemporaries::kPrefix, 0), 0u);
    EXPECT_FALSE(fs::exists(path));
}

TEST(CWURLSessionHostileServerTest, OnlyFilesOfEndedProcessesAreStale)
{
    const fs::path folder = fs::temp_directory_path() / ("stale-" + std::to_string(getpid()));
    fs::create_directories(folder);
    // A process that has ended: its id names no process now.
    pid_t ended = 0;
    char truePath[] = "/bin/true";
    char* arguments[] = {truePath, nullptr};
    ASSERT_EQ(posix_spawn(&ended, truePath, nullptr, nullptr, arguments, nullptr), 0);
    waitpid(ended, nullptr, 0);
    const std::string prefix = CWURLSessionTemporaries::kPrefix;
    const fs::path dead = folder / (prefix + std::to_string(ended) + "-abc");
    const fs::path live = folder / (prefix + std::to_string(getpid()) + "-def");
    const fs::path oldUnowned = folder / (prefix + "0f1e2d3c");
    const fs::path newUnowned = folder / (prefix + "4b5a6978");
    const fs::path other = folder / "other-file";
    for (const auto& path : {dead, live, oldUnowned, newUnowned, other}) {
        std::ofstream(path) << "x";
    }
    fs::last_write_time(oldUnowned, fs::file_time_type::clock::now() - std::chrono::hours(2));
    CWURLSessionTemporaries::removeStale(folder.string());
    EXPECT_FALSE(fs::exists(dead));
    EXPECT_FALSE(fs::exists(oldUnowned));
    EXPECT_TRUE(fs::exists(live));
    EXPECT_TRUE(fs::exists(newUnowned));
    EXPECT_TRUE(fs::exists(other));
    fs::remove_all(folder);

    // New paths belong to this process, so no other run takes them for stale.
    const std::string path = CWURLSessionTemporaries::newPath();
    EXPECT_EQ(fs::path(path).filename().string().rfind(prefix + std::to_string(getpid()) + "-", 0), 0u);
}

TEST(CWURLSessionHostileServerTest, RedirectsStayWithinTheirOrigin)
{
    LoopbackServer elsewhere;
    elsewhere.script("/catch", LoopbackReply::answer(200, "caught"));
    LoopbackServer server;
    server.script("/here", LoopbackReply::answer(307, "", {{"Location", "/there"}}));
    server.script("/there", LoopbackReply::answer(200, "same origin"));
    server.script("/away", LoopbackReply::answer(302, "", {{"Location", elsewhere.url("/catch")}}));
    // Another port of the same host is another origin.
    server.script("/port",
        LoopbackReply::answer(
            301, "", {{"Location", "http://127.0.0.1:" + std::to_string(elsewhere.port()) + "/catch"}}));
    // Another name of the same address, on the same scheme and port, is
    // another origin too: only the host tells them apart.
    server.script("/host",
        LoopbackReply::answer(302, "", {{"Location", "http://localhost:" + std::to_string(server.port()) + "/catch"}}));
    server.script("/catch", LoopbackReply::answer(200, "caught"));
    auto session = sessionWith();

    const Outcome same = fetch(*session, requestFor(server.url("/here")));
    EXPECT_EQ(same.body, "same origin");
    ASSERT_EQ(server.requestCount(), 2u);
    EXPECT_EQ(server.requests()[1].header("X-Crashwatch-API-Key"), "secret-key");

    for (const char* path : {"/away", "/port", "/host"}) {
        const Outcome away = fetch(*session, requestFor(server.url(path)));
        EXPECT_EQ(codeOf(away), 0) << path;
        ASSERT_TRUE(away.response.has_value()) << path;
        EXPECT_EQ(away.response->statusCode / 100, 3) << path;
        EXPECT_EQ(away.response->url, server.url(path));
        const auto [downloaded, fileLeft] = download(*session, requestFor(server.url(path)));
        EXPECT_EQ(downloaded.response->statusCode / 100, 3) << path;
        EXPECT_FALSE(fileLeft);
    }
    std::optional<KBHTTPURLResponse> response;
    session->sendSynchronousRequest(requestFor(server.url("/away")), &response, nullptr);
    EXPECT_EQ(response->statusCode, 302);
    EXPECT_EQ(elsewhere.requestCount(), 0u) << "the API key reached another origin";
    for (const auto& request : server.requests()) {
        EXPECT_NE(request.path, "/catch") << "the API key reached localhost";
    }
}

TEST(CWURLSessionHostileServerTest, HttpsIsNeverFollowedToHttp)
{
    LoopbackServer plain;
    plain.script("/catch", LoopbackReply::answer(200, "caught"));
    LoopbackServer secure(LoopbackServer::Scheme::Https);
    secure.script("/down", LoopbackReply::answer(302, "", {{"Location", plain.url("/catch")}}));
    secure.script("/stay", LoopbackReply::answer(302, "", {{"Location", secure.url("/ok")}}));
    secure.script("/ok", LoopbackReply::answer(200, "secure"));
    auto configuration = CWURLSessionConfiguration::defaultSessionConfiguration();
    configuration->caFile = TestCertificates::shared().rootAFile;
    auto session = sessionWith(configuration);

    const Outcome down = fetch(*session, requestFor(secure.url("/down")));
    EXPECT_EQ(codeOf(down), 0);
    EXPECT_EQ(down.response->statusCode, 302);
    EXPECT_EQ(plain.requestCount(), 0u);
    EXPECT_EQ(fetch(*session, requestFor(secure.url("/stay"))).body, "secure");
}
