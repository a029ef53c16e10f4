#include "kit/core/SessionRecorder.h"
#include "kit/support/harness/ChildRequire.h"
#include "kit/support/harness/Eventually.h"
#include "kit/support/harness/LoopbackServer.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <future>
#include <thread>

// The sessions' workers end once per process: each case runs in a child
// process of its own and reports through its exit code and standard error.
namespace {

using namespace std::chrono_literals;

KBURLRequest requestFor(const std::string& url)
{
    KBURLRequest request;
    request.url = url;
    request.timeoutInterval = 30.0;
    return request;
}

bool endedAsCancelled(const std::optional<KBError>& error)
{
    return error && error->domain == kb::kURLErrorDomain && error->code == kb::kURLErrorCancelled;
}

void workersInAHandshakeOrAWaitEndAndLaterWorkEndsAtOnce()
{
    LoopbackServer secure(LoopbackServer::Scheme::Https);
    secure.script("/settings", LoopbackReply::json("{}"));
    LoopbackServer plain;
    plain.script("/silent", LoopbackReply::with(LoopbackReply::Behaviour::Silence));

    // The trust answer never comes, as when the queue that would give it has
    // ended: the worker waits inside the TLS handshake.
    auto trusting = std::make_shared<SessionRecorder>();
    std::atomic<int> challenges{0};
    std::mutex kept;
    std::vector<CWURLSessionDelegate::ChallengeCompletion> unanswered;
    trusting->trust = [&](const KBURLAuthenticationChallenge&, const auto& completion) {
        std::lock_guard lock(kept);
        unanswered.push_back(completion);
        ++challenges;
    };
    auto handshaking
        = CWURLSession::sessionWithConfiguration(CWURLSessionConfiguration::defaultSessionConfiguration(), trusting);
    auto waiting = CWURLSession::sessionWithConfiguration(
        CWURLSessionConfiguration::defaultSessionConfiguration(), std::make_shared<SessionRecorder>());
    Awaited<std::optional<KBError>> inHandshake;
    Awaited<std::optional<KBError>> inWait;
    handshaking
        ->dataTaskWithRequest(
            requestFor(secure.url("/settings")), [&](auto, auto, const auto& error) { inHandshake.set(error); })
        ->resume();
    waiting
        ->dataTaskWithRequest(
            requestFor(plain.url("/silent")), [&](auto, auto, const auto& error) { inWait.set(error); })
        ->resume();
    requireInChild(eventually([&] { return challenges.load() == 1; }), "the handshake asked for trust");
    requireInChild(plain.waitForRequests(1), "the silent server has the request");

    const auto before = std::chrono::steady_clock::now();
    requireInChild(CWURLSession::endAllWorkers(2000ms), "every worker ended");
    requireInChild(std::chrono::steady_clock::now() - before < 1500ms, "the workers ended well within the grace");
    requireInChild(endedAsCancelled(inHandshake.get()), "the request in its handshake ended as cancelled");
    requireInChild(endedAsCancelled(inWait.get()), "the request waiting for its answer ended as cancelled");
    requireInChild(secure.requestCount() == 0, "the handshake given up sent no request");

    // After the quit's stop nothing reaches a server, on an old session or a new one.
    Awaited<std::optional<KBError>> onOld;
    Awaited<std::optional<KBError>> onNew;
    waiting
        ->dataTaskWithRequest(
            requestFor(plain.url("/silent")), [&](auto, auto, const auto& error) { onOld.set(error); })
        ->resume();
    auto later = CWURLSession::sessionWithConfiguration(CWURLSessionConfiguration::defaultSessionConfiguration());
    later
        ->dataTaskWithRequest(
            requestFor(plain.url("/silent")), [&](auto, auto, const auto& error) { onNew.set(error); })
        ->resume();
    requireInChild(endedAsCancelled(onOld.get()), "a task of an old session ends at once as cancelled");
    requireInChild(endedAsCancelled(onNew.get()), "a task of a new session ends at once as cancelled");
    std::optional<KBError> synchronousError;
    later->sendSynchronousRequest(requestFor(plain.url("/silent")), nullptr, &synchronousError);
    requireInChild(endedAsCancelled(synchronousError), "a synchronous request ends as cancelled");
    requireInChild(plain.requestCount() == 1, "no request after the stop reached the server");
    requireInChild(CWURLSession::endAllWorkers(100ms), "a second stop finds nothing running");
    std::_Exit(0);
}

// Runs each block at once on the thread that queues it: a session's delegate
// then answers on the session's worker, inside the transfer.
class ImmediateQueue : public KBQueue {
public:
    void async(std::function<void()> block) override { block(); }
    std::string label() const override { return "immediate"; }
};

constexpr int kLeftWithoutExitHandlers = 3;

void sayExitHandlersRan()
{
    const char text[] = "exit handlers ran\n";
    (void)!::write(STDERR_FILENO, text, sizeof text - 1);
}

// What the application's quit does with the answer: exit handlers only when
// every worker has ended, else the fallback that leaves without them.
[[noreturn]] void quitAsTheApplicationDoes(bool workersEnded)
{
    if (workersEnded) {
        std::exit(0);
    }
    std::fputs("leaving without exit handlers\n", stderr);
    std::fflush(nullptr);
    std::_Exit(kLeftWithoutExitHandlers);
}

enum class Hold {
    TrustNeverAnswered, // the delegate waits on the worker, inside the TLS handshake
    CompletionNeverReturns, // the cancelled request's completion waits on the worker
};

void aWorkerHeldPastTheGraceIsReportedAndTheQuitSkipsExitHandlers(Hold hold)
{
    std::atexit(sayExitHandlersRan);
    LoopbackServer secure(LoopbackServer::Scheme::Https);
    secure.script("/settings", LoopbackReply::json("{}"));
    LoopbackServer plain;
    plain.script("/silent", LoopbackReply::with(LoopbackReply::Behaviour::Silence));

    std::atomic<bool> holding{false};
    const auto holdForever = [&holding] {
        holding = true;
        std::promise<void>().get_future().wait();
    };
    auto recorder = std::make_shared<SessionRecorder>();
    recorder->trust = [&](const KBURLAuthenticationChallenge&, const auto&) { holdForever(); };
    auto held = CWURLSession::sessionWithConfiguration(CWURLSessionConfiguration::defaultSessionConfiguration(),
        recorder, KBOperationQueue::make("immediate", std::make_shared<ImmediateQueue>()));
    if (hold == Hold::TrustNeverAnswered) {
        held->dataTaskWithRequest(requestFor(secure.url("/settings")), [](auto, auto, const auto&) {})->resume();
        requireInChild(eventually([&] { return holding.load(); }), "the worker waits for trust");
    } else {
        held->dataTaskWithRequest(requestFor(plain.url("/silent")), [&](auto, auto, const auto&) { holdForever(); })
            ->resume();
        requireInChild(plain.waitForRequests(1), "the silent server has the held request");
    }
    // Beside it, a worker that can end: its request waits on the silent server.
    auto other = CWURLSession::sessionWithConfiguration(
        CWURLSessionConfiguration::defaultSessionConfiguration(), std::make_shared<SessionRecorder>());
    Awaited<std::optional<KBError>> inWait;
    other
        ->dataTaskWithRequest(
            requestFor(plain.url("/silent")), [&](auto, auto, const auto& error) { inWait.set(error); })
        ->resume();
    requireInChild(plain.waitForRequests(hold == Hold::TrustNeverAnswered ? 1 : 2), "the silent server has both");

    const bool ended = CWURLSession::endAllWorkers(200ms);
    requireInChild(endedAsCancelled(inWait.get()), "the worker that could end ended, its request cancelled");
    requireInChild(eventually([&] { return holding.load(); }), "the held worker is held");
    if (!ended) {
        requireInChild(!CWURLSession::endAllWorkers(50ms), "a second stop still finds the held worker");
    }
    quitAsTheApplicationDoes(ended);
}

} // namespace

TEST(CWURLSessionQuitDeathTest, AWorkerHeldPastTheGraceIsReportedAndTheQuitSkipsExitHandlers)
{
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    using ::testing::AllOf;
    using ::testing::HasSubstr;
    using ::testing::Not;
    for (const Hold hold : {Hold::TrustNeverAnswered, Hold::CompletionNeverReturns}) {
        SCOPED_TRACE(static_cast<int>(hold));
        EXPECT_EXIT(aWorkerHeldPastTheGraceIsReportedAndTheQuitSkipsExitHandlers(hold),
            ::testing::ExitedWithCode(kLeftWithoutExitHandlers),
            AllOf(HasSubstr("leaving without exit handlers"), Not(HasSubstr("exit handlers ran"))));
    }
}

TEST(CWURLSessionQuitDeathTest, WorkersInAHandshakeOrAWaitEndAndLaterWorkEndsAtOnce)
{
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    EXPECT_EXIT(workersInAHandshakeOrAWaitEndAndLaterWorkEndsAtOnce(), ::testing::ExitedWithCode(0), "");
}
