#include "foundation/Dispatch.h"

#include <QCoreApplication>
#include <QMetaObject>
#include <QThread>
#include <QThreadPool>

#include <algorithm>
#include <condition_variable>
#include <memory>
#include <set>

namespace {

// A long loop holds a thread for its whole run, and may wait there for the
// user (an alert on the GUI thread); thumbnails and previews still need
// threads beside it when the process has one CPU.
constexpr int kLeastWorkerThreads = 4;

QThreadPool& workPool()
{
    static QThreadPool pool;
    static std::once_flag sized;
    std::call_once(sized, [] { pool.setMaxThreadCount(std::max(kLeastWorkerThreads, QThread::idealThreadCount())); });
    return pool;
}

// One closure a worker handed to the GUI thread with syncMain and waits for.
struct HandOver {
    enum class State { Queued, Running, Done, Dropped };
    std::mutex mutex;
    std::condition_variable changed;
    State state = State::Queued;

    void set(State next)
    {
        {
            std::lock_guard<std::mutex> lock(mutex);
            state = next;
        }
        changed.notify_all();
    }
};

// The application whose event loop asyncMain hands work to, from its
// construction until its destructor begins. The application waits for the
// worker pool only after that, so workers still running then (an import the
// user quit during) must find out under a lock, not from instance(), which
// the ending application clears while they read it.
std::mutex& mainQueueMutex()
{
    static std::mutex mutex;
    return mutex;
}

QCoreApplication*& mainQueue()
{
    static QCoreApplication* application = nullptr;
    return application;
}

// Whether an application was there and has begun to end; guarded by mainQueueMutex.
bool& mainQueueClosed()
{
    static bool closed = false;
    return closed;
}

// The syncMain hand-overs not yet run; guarded by mainQueueMutex.
std::set<std::shared_ptr<HandOver>>& pendingHandOvers()
{
    static std::set<std::shared_ptr<HandOver>> pending;
    return pending;
}

bool mainQueueHasClosed()
{
    std::lock_guard<std::mutex> lock(mainQueueMutex());
    return mainQueueClosed();
}

// On the GUI thread: runs a syncMain closure unless its worker gave up on it.
void runHandOver(const std::shared_ptr<HandOver>& handOver, const std::function<void()>& work)
{
    {
        std::lock_guard<std::mutex> lock(handOver->mutex);
        if (handOver->state != HandOver::State::Queued) {
            return;
        }
        handOver->state = HandOver::State::Running;
    }
    work();
    {
        std::lock_guard<std::mutex> lock(mainQueueMutex());
        pendingHandOvers().erase(handOver);
    }
    handOver->set(HandOver::State::Done);
}

void closeMainQueue()
{
    std::lock_guard<std::mutex> lock(mainQueueMutex());
    mainQueue() = nullptr;
    mainQueueClosed() = true;
    // Their event loop will not run them: the workers waiting go on.
    for (const std::shared_ptr<HandOver>& handOver : pendingHandOvers()) {
        std::lock_guard<std::mutex> handOverLock(handOver->mutex);
        if (handOver->state == HandOver::State::Queued) {
            handOver->state = HandOver::State::Dropped;
            handOver->changed.notify_all();
        }
    }
    pendingHandOvers().clear();
}

void openMainQueue()
{
    QCoreApplication* application = QCoreApplication::instance();
    {
        std::lock_guard<std::mutex> lock(mainQueueMutex());
        mainQueue() = application;
        mainQueueClosed() = false;
    }
    // Post routines run first thing in the application's destructor.
    qAddPostRoutine(closeMainQueue);
    // Emitted last in the destructor, once closingDown() holds: workers that
    // wait for that see it and end, and none outlives the application.
    QObject::connect(application, &QObject::destroyed, [] { workPool().waitForDone(); });
}

} // namespace

Q_COREAPP_STARTUP_FUNCTION(openMainQueue)

void Dispatch::async(std::function<void()> work)
{
    workPool().start(std::move(work));
}

bool Dispatch::waitForWorkers(int msecs)
{
    return workPool().waitForDone(msecs);
}

void Dispatch::asyncMain(std::function<void()> work)
{
    std::lock_guard<std::mutex> lock(mainQueueMutex());
    // Without an application there is no GUI thread left to run the work, and
    // nothing it would show: it is dropped.
    if (mainQueue() != nullptr) {
        QMetaObject::invokeMethod(mainQueue(), std::move(work), Qt::QueuedConnection);
    }
}

void Dispatch::syncMain(const std::function<void()>& work)
{
    if (isMainThread()) {
        work();
        return;
    }
    auto handOver = std::make_shared<HandOver>();
    {
        std::lock_guard<std::mutex> lock(mainQueueMutex());
        if (mainQueue() == nullptr) {
            handOver.reset();
        } else {
            pendingHandOvers().insert(handOver);
            QMetaObject::invokeMethod(
                mainQueue(), [handOver, work] { runHandOver(handOver, work); }, Qt::QueuedConnection);
        }
    }
    if (handOver == nullptr) {
        // Without an application there is no GUI thread to hand over to; once
        // it has begun to end there is nothing left to show the work.
        if (!mainQueueHasClosed()) {
            work();
        }
        return;
    }
    std::unique_lock<std::mutex> lock(handOver->mutex);
    handOver->changed.wait(
        lock, [&] { return handOver->state == HandOver::State::Done || handOver->state == HandOver::State::Dropped; });
}

void Dispatch::once(std::once_flag& flag, const std::function<void()>& work)
{
    std::call_once(flag, work);
}

bool Dispatch::isMainThread()
{
    const QCoreApplication* application = QCoreApplication::instance();
    return application && QThread::currentThread() == application->thread();
}
