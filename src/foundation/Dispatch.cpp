#include "foundation/Dispatch.h"

#include <QCoreApplication>
#include <QMetaObject>
#include <QThread>
#include <QThreadPool>

void Dispatch::async(std::function<void()> work)
{
    QThreadPool::globalInstance()->start(std::move(work));
}

void Dispatch::asyncMain(std::function<void()> work)
{
    QCoreApplication* application = QCoreApplication::instance();
    Q_ASSERT(application);
    if (application) {
        QMetaObject::invokeMethod(application, std::move(work), Qt::QueuedConnection);
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
