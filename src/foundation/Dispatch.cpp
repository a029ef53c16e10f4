#include "foundation/Dispatch.h"

#include <QCoreApplication>
#include <QMetaObject>
#include <QThread>
#include <QThreadPool>

namespace {

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

void closeMainQueue()
{
    std::lock_guard<std::mutex> lock(mainQueueMutex());
    mainQueue() = nullptr;
}

void openMainQueue()
{
    {
        std::lock_guard<std::mutex> lock(mainQueueMutex());
        mainQueue() = QCoreApplication::instance();
    }
    // Post routines run first thing in the application's destructor.
    qAddPostRoutine(closeMainQueue);
}

} // namespace

Q_COREAPP_STARTUP_FUNCTION(openMainQueue)

void Dispatch::async(std::function<void()> work)
{
    QThreadPool::globalInstance()->start(std::move(work));
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
    QCoreApplication* application = QCoreApplication::instance();
    // Without an application there is no GUI thread to hand over to.
    if (!application || isMainThread()) {
        work();
        return;
    }
    QMetaObject::invokeMethod(application, work, Qt::BlockingQueuedConnection);
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
