#include "kit/core/SessionRecorder.h"
#include "kit/support/harness/ChildRequire.h"
#include "kit/support/harness/LoopbackServer.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
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

template <typename Condition> bool eventually(Condition condition)
{
    for (int tries = 0; tries < 1000 && !condition(); ++tries) {
        std::this_thread::sleep_for(10ms);
    }
    return condition();
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

} // namespace

TEST(CWURLSessionQuitDeathTest, WorkersInAHandshakeOrAWaitEndAndLaterWorkEndsAtOnce)
{
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    EXPECT_EXIT(workersInAHandshakeOrAWaitEndAndLaterWorkEndsAtOnce(), ::testing::ExitedWithCode(0), "");
}
