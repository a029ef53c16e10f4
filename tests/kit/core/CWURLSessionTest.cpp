#include "kit/core/SessionRecorder.h"
#include "kit/support/KBFiles.h"
#include "kit/support/harness/DescriptorLimit.h"
#include "kit/support/harness/LoopbackServer.h"

#include <gtest/gtest.h>

#include <signal.h>
#include <sys/resource.h>

#include <filesystem>

namespace {

struct Result {
    std::optional<std::string> body;
    std::optional<KBHTTPURLResponse> response;
    std::optional<KBError> error;
    bool fileExisted = false;
};

KBURLRequest requestFor(const std::string& url, double timeout = 10.0)
{
    KBURLRequest request;
    request.url = url;
    request.timeoutInterval = timeout;
    return request;
}

std::shared_ptr<CWURLSession> sessionWith(const std::shared_ptr<SessionRecorder>& recorder,
    std::shared_ptr<CWURLSessionConfiguration> configuration = CWURLSessionConfiguration::defaultSessionConfiguration())
{
    return CWURLSession::sessionWithConfiguration(configuration, recorder);
}

Result run(CWURLSession& session, const KBURLRequest& request)
{
    Awaited<Result> done;
    auto task = session.dataTaskWithRequest(request, [&](auto body, auto response, auto error) {
        done.set(Result{body, response, error});
    });
    task->resume();
    return done.get();
}

} // namespace

TEST(CWURLSessionTest, CompletionBlocksAndDelegatesSeeOneRequestEach)
{
    LoopbackServer server;
    server.script("/a", LoopbackReply::answer(200, "hello", {{"X-Test", "1"}}));
    auto recorder = std::make_shared<SessionRecorder>();
    auto session = sessionWith(recorder);

    Awaited<Result> done;
    auto task = session->dataTaskWithRequest(requestFor(server.url("/a")), [&](auto body, auto response, auto error) {
        done.set(Result{body, response, error});
    });
    task->resume();
    const Result result = done.get();
    EXPECT_EQ(result.body, "hello");
    ASSERT_TRUE(result.response.has_value());
    EXPECT_EQ(result.response->statusCode, 200);
    EXPECT_EQ(result.response->header("x-test"), "1");
    EXPECT_FALSE(result.error.has_value());

    session->dataTaskWithRequest(requestFor(server.url("/a")))->resume();
    ASSERT_TRUE(recorder->waitForCompletions(1));
    EXPECT_EQ(done.count(), 1u);
    EXPECT_EQ(recorder->events(), (std::vector<std::string>{"response 200", "data", "complete"}));
    EXPECT_EQ(recorder->body(), "hello");
    EXPECT_EQ(session->dataTaskWithRequest(requestFor("ftp://127.0.0.1/x")), nullptr);
    EXPECT_EQ(session->dataTaskWithRequest(requestFor("/relative")), nullptr);
}

TEST(CWURLSessionTest, AdditionalHeadersJoinTheRequestsOwnAndRedirectsAreFollowed)
{
    LoopbackServer server;
    server.script("/old", LoopbackReply::answer(302, "", {{"Location", "/new"}}));
    server.script("/new", LoopbackReply::answer(200, "moved"));
    auto configuration = CWURLSessionConfiguration::defaultSessionConfiguration();
    configuration->HTTPAdditionalHeaders.set("Accept", "text/plain");
    auto session = sessionWith(std::make_shared<SessionRecorder>(), configuration);
    KBURLRequest request = requestFor(server.url("/old"));
    request.setHeader("Accept", "application/json");
    const Result result = run(*session, request);
    EXPECT_EQ(result.body, "moved");
    EXPECT_EQ(result.response->url, server.url("/new"));
    ASSERT_EQ(server.requestCount(), 2u);
    EXPECT_EQ(server.requests()[0].header("Accept"), "application/json,text/plain");
    EXPECT_EQ(server.requests()[0].header("Expect"), std::nullopt);
}

TEST(CWURLSessionTest, SlowUploadThatKeepsMovingOutlivesTheIdleTimeout)
{
    LoopbackServer server;
    LoopbackReply slowReader = LoopbackReply::answer(201, "stored");
    slowReader.readChunkBytes = 128 * 1024;
    slowReader.readPauseSeconds = 0.03;
    server.setReceiveBuffer(128 * 1024);
    server.script("/upload", slowReader);
    std::string payload(5 * 1024 * 1024, '\0');
    for (size_t i = 0; i < payload.size(); ++i) {
        payload[i] = static_cast<char>((i * 7919) >> 3);
    }
    const std::string file = KBFiles::dataHome() + "/upload.bin";
    KBFiles::makeFolders(KBFiles::dataHome());
    ASSERT_TRUE(KBFiles::writeAtomically(file, payload));

    auto session = sessionWith(std::make_shared<SessionRecorder>());
    KBURLRequest request = requestFor(server.url("/upload"), 0.5);
    request.method = "POST";
    Awaited<Result> done;
    session
        ->uploadTaskWithRequest(request, file,
            [&](auto body, auto response, auto error) {
                done.set(Result{body, response, error});
            })
        ->resume();
    const Result result = done.get();
    EXPECT_FALSE(result.error.has_value()) << result.error->description();
    EXPECT_EQ(result.body, "stored");
    ASSERT_EQ(server.requestCount(), 1u);
    EXPECT_EQ(server.requests()[0].method, "POST");
    EXPECT_TRUE(server.requests()[0].body == payload);
}

TEST(CWURLSessionTest, DownloadsExistForTheirCompletionOnlyAndShortWritesFail)
{
    LoopbackServer server;
    server.script("/file", LoopbackReply::answer(200, std::string(20000, 'd')));
    auto recorder = std::make_shared<SessionRecorder>();
    auto session = sessionWith(recorder);

    Awaited<Result> done;
    std::string target;
    auto task
        = session->downloadTaskWithRequest(requestFor(server.url("/file")), [&](auto file, auto response, auto error) {
              Result result{file, response, error};
              result.fileExisted = file && KBFiles::read(*file) == std::string(20000, 'd');
              done.set(result);
          });
    target = task->targetURL();
    task->resume();
    const Result result = done.get();
    EXPECT_TRUE(result.fileExisted);
    session->getTasksWithCompletionHandler([](const CWURLSession::TaskLists&) {});
    session->delegateQueue()->waitUntilAllOperationsAreFinished();
    EXPECT_FALSE(std::filesystem::exists(target));

    session->downloadTaskWithURL(server.url("/file"))->resume();
    ASSERT_TRUE(recorder->waitForCompletions(1));
    EXPECT_EQ(recorder->events(), (std::vector<std::string>{"response 200", "downloaded present", "complete"}));

    // A file size limit makes the download's writes come up short.
    struct sigaction ignore { };
    ignore.sa_handler = SIG_IGN;
    struct sigaction previous { };
    sigaction(SIGXFSZ, &ignore, &previous);
    rlimit saved{};
    getrlimit(RLIMIT_FSIZE, &saved);
    rlimit small = saved;
    small.rlim_cur = 4096;
    setrlimit(RLIMIT_FSIZE, &small);
    Awaited<Result> shortWrite;
    session
        ->downloadTaskWithRequest(requestFor(server.url("/file")),
            [&](auto file, auto response, auto error) {
                shortWrite.set(Result{file, response, error});
            })
        ->resume();
    const Result failed = shortWrite.get();
    setrlimit(RLIMIT_FSIZE, &saved);
    sigaction(SIGXFSZ, &previous, nullptr);
    EXPECT_FALSE(failed.body.has_value());
    ASSERT_TRUE(failed.error.has_value());
    EXPECT_EQ(failed.error->domain, "CWURLSessionDownloadTaskError");
    EXPECT_EQ(failed.error->code, -1);
}

TEST(CWURLSessionTest, RunningTasksAreListedAndInvalidationCancelsThem)
{
    LoopbackServer server;
    server.script("/held", LoopbackReply::with(LoopbackReply::Behaviour::Hold));
    auto recorder = std::make_shared<SessionRecorder>();
    auto session = sessionWith(recorder);
    auto data = session->dataTaskWithRequest(requestFor(server.url("/held")));
    data->setTaskDescription("first");
    data->resume();
    auto download = session->downloadTaskWithURL(server.url("/held"));
    download->resume();
    ASSERT_TRUE(server.waitForRequests(2));

    Awaited<std::vector<std::string>> listed;
    session->getTasksWithCompletionHandler([&](const CWURLSession::TaskLists& lists) {
        listed.set({std::to_string(lists.dataTasks.size()) + " " + lists.dataTasks.front()->taskDescription(),
            std::to_string(lists.uploadTasks.size()), std::to_string(lists.downloadTasks.size())});
    });
    EXPECT_EQ(listed.get(), (std::vector<std::string>{"1 first", "0", "1"}));

    session->invalidateAndCancel();
    ASSERT_TRUE(recorder->waitForCompletions(2));
    EXPECT_EQ(recorder->events(), (std::vector<std::string>{"complete -999", "complete -999"}));
    EXPECT_EQ(session->dataTaskWithRequest(requestFor(server.url("/held"))), nullptr);
}

TEST(CWURLSessionTest, BlockingRequestsAndTransportErrors)
{
    LoopbackServer server;
    server.script("/sync", LoopbackReply::answer(200, "now"));
    server.script("/silent", LoopbackReply::with(LoopbackReply::Behaviour::Silence));
    server.script("/reset", LoopbackReply::with(LoopbackReply::Behaviour::Reset));
    auto session = sessionWith(std::make_shared<SessionRecorder>());

    std::optional<KBHTTPURLResponse> response;
    std::optional<KBError> error;
    EXPECT_EQ(session->sendSynchronousRequest(requestFor(server.url("/sync")), &response, &error), "now");
    EXPECT_EQ(response->statusCode, 200);
    EXPECT_FALSE(error.has_value());

    EXPECT_EQ(run(*session, requestFor(server.url("/silent"), 0.2)).error->code, kb::kURLErrorTimedOut);
    EXPECT_EQ(run(*session, requestFor(server.url("/reset"))).error->code, kb::kURLErrorNetworkConnectionLost);
    const std::string closedPort = "http://127.0.0.1:" + std::to_string([] {
        LoopbackServer gone;
        return gone.port();
    }());
    EXPECT_EQ(run(*session, requestFor(closedPort + "/")).error->code, kb::kURLErrorCannotConnectToHost);
}

// A finished task may be kept long after (a batch waiting out its back-off):
// it holds neither the file it sent nor a descriptor of any kind.
TEST(CWURLSessionTest, AFinishedUploadHoldsNoDescriptor)
{
    LoopbackServer server;
    server.script("/up", LoopbackReply::answer(503));
    auto session = sessionWith(std::make_shared<SessionRecorder>());
    const std::string folder = KBFiles::cacheHome() + "/finished-upload";
    std::filesystem::create_directories(folder);
    const auto descriptorsBefore = DescriptorLimit::openDescriptors();
    std::vector<std::shared_ptr<CWURLSessionTask>> kept;
    std::vector<std::string> files;
    for (int i = 0; i < 20; ++i) {
        files.push_back(folder + "/batch" + std::to_string(i));
        KBFiles::writeAtomically(files.back(), std::string(1000, 'x'));
        Awaited<Result> done;
        KBURLRequest request = requestFor(server.url("/up"));
        request.method = "POST";
        kept.push_back(session->uploadTaskWithRequest(request, files.back(), [&](auto body, auto response, auto error) {
            done.set(Result{body, response, error});
        }));
        kept.back()->resume();
        EXPECT_EQ(done.get().response->statusCode, 503);
    }
    const auto descriptorsAfter = DescriptorLimit::openDescriptors();
    for (const auto& [descriptor, target] : descriptorsAfter) {
        EXPECT_EQ(target.find(folder), std::string::npos) << descriptor << " " << target;
    }
    EXPECT_LE(descriptorsAfter.size(), descriptorsBefore.size() + 4);
    std::filesystem::remove_all(folder);
}
