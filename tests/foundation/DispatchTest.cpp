#include "foundation/Dispatch.h"
#include "support/Patience.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QProcess>
#include <QThread>
#include <QThreadPool>

#include <gtest/gtest.h>

#include <atomic>

namespace {

// Runs the GUI thread's event loop until `done` or a generous time-out.
bool pumpUntil(const std::atomic<bool>& done)
{
    QElapsedTimer timer;
    timer.start();
    while (!done && timer.elapsed() < kPatientMs) {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
    }
    return done;
}

} // namespace

TEST(DispatchTest, WorkerHandsOverToTheGuiThreadAndWaits)
{
    QThread* gui = QCoreApplication::instance()->thread();
    std::atomic<bool> done{false};
    std::atomic<bool> ranOnGui{false};
    std::atomic<bool> workerWasOffGui{false};
    std::atomic<int> order{0};
    Dispatch::async([&] {
        workerWasOffGui = !Dispatch::isMainThread();
        Dispatch::syncMain([&] {
            ranOnGui = QThread::currentThread() == gui;
            order = 1;
        });
        // The hand-over finished before syncMain returned.
        if (order == 1) {
            order = 2;
        }
        done = true;
    });
    ASSERT_TRUE(pumpUntil(done));
    EXPECT_TRUE(workerWasOffGui);
    EXPECT_TRUE(ranOnGui);
    EXPECT_EQ(order, 2);
}

TEST(DispatchTest, SyncFromTheGuiThreadRunsDirectlyAndAsyncIsQueued)
{
    ASSERT_TRUE(Dispatch::isMainThread());
    bool ran = false;
    Dispatch::syncMain([&] { ran = true; });
    EXPECT_TRUE(ran);

    std::atomic<bool> queued{false};
    Dispatch::asyncMain([&] { queued = true; });
    EXPECT_FALSE(queued); // not before the event loop runs
    EXPECT_TRUE(pumpUntil(queued));

    std::once_flag flag;
    int calls = 0;
    for (int i = 0; i < 3; ++i) {
        Dispatch::once(flag, [&] { ++calls; });
    }
    EXPECT_EQ(calls, 1);
}

TEST(DispatchTest, WorkHandedOverWhileTheApplicationEndsIsDroppedQuietly)
{
    QProcess child;
    child.start(QStringLiteral(WORKER_OUTLIVES_APPLICATION), {});
    ASSERT_TRUE(child.waitForFinished(30000));
    EXPECT_EQ(child.exitStatus(), QProcess::NormalExit) << child.readAllStandardError().toStdString();
    EXPECT_EQ(child.exitCode(), 0);
    EXPECT_EQ(child.readAllStandardOutput().toStdString(), "handed over: yes, ran: no\n");
    EXPECT_EQ(child.readAllStandardError().toStdString(), "");
}

TEST(DispatchTest, AWorkerWaitingForTheGuiThreadGoesOnWhenTheApplicationEnds)
{
    QProcess child;
    child.start(QStringLiteral(WORKER_OUTLIVES_APPLICATION), {QStringLiteral("wait")});
    const bool finished = child.waitForFinished(30000);
    if (!finished) {
        child.kill();
        child.waitForFinished(5000);
    }
    ASSERT_TRUE(finished) << "the application's end waited for a worker that waited for it";
    EXPECT_EQ(child.exitCode(), 0);
    EXPECT_EQ(child.readAllStandardOutput().toStdString(), "handed over: yes, ran: no\n");
}

// Qt's paint engine hands work to the global pool and waits for it on the GUI
// thread; our workers must find threads of their own when that pool is full.
TEST(DispatchTest, WorkersRunWhileEveryThreadOfTheGlobalPoolIsTaken)
{
    QThreadPool* global = QThreadPool::globalInstance();
    const int before = global->maxThreadCount();
    global->setMaxThreadCount(1);
    std::atomic<bool> workerRan{false};
    std::atomic<bool> release{false};
    global->start([&] {
        QElapsedTimer held;
        held.start();
        while (!release && held.elapsed() < 10000) {
            QThread::msleep(1);
        }
    });
    Dispatch::async([&] { Dispatch::syncMain([&] { workerRan = true; }); });
    const bool ran = pumpUntil(workerRan);
    release = true;
    global->waitForDone();
    global->setMaxThreadCount(before);
    EXPECT_TRUE(ran);
    EXPECT_TRUE(Dispatch::waitForWorkers(kPatientMs));
}
