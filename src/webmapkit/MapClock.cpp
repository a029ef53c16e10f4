#include "webmapkit/MapClock.h"

#include <QElapsedTimer>
#include <QTimer>

#include <algorithm>
#include <cmath>

namespace {

class SystemMapClock : public MapClock {
public:
    SystemMapClock() { elapsed_.start(); }

    double now() const override { return static_cast<double>(elapsed_.nsecsElapsed()) / 1e9; }

    Handle callAfter(double seconds, QObject* context, std::function<void()> work) override
    {
        const Handle handle = next_++;
        auto* timer = new QTimer();
        timer->setSingleShot(true);
        timer->setTimerType(Qt::PreciseTimer);
        const QPointer<QObject> guard(context);
        const bool hasContext = context != nullptr;
        QObject::connect(timer, &QTimer::timeout, timer, [this, handle, timer, guard, hasContext, work]() {
            timers_.erase(handle);
            timer->deleteLater();
            if (!hasContext || guard) {
                work();
            }
        });
        timers_[handle] = timer;
        timer->start(static_cast<int>(std::max(0.0, std::ceil(seconds * 1000.0))));
        return handle;
    }

    void cancel(Handle handle) override
    {
        const auto found = timers_.find(handle);
        if (found != timers_.end()) {
            found->second->stop();
            found->second->deleteLater();
            timers_.erase(found);
        }
    }

private:
    QElapsedTimer elapsed_;
    Handle next_ = 1;
    std::map<Handle, QTimer*> timers_;
};

MapClock* currentDefault = nullptr;

} // namespace

MapClock* MapClock::system()
{
    static SystemMapClock clock;
    return &clock;
}

MapClock* MapClock::defaultClock()
{
    return currentDefault != nullptr ? currentDefault : system();
}

void MapClock::setDefaultClock(MapClock* clock)
{
    currentDefault = clock;
}

MapClock::Handle ManualMapClock::callAfter(double seconds, QObject* context, std::function<void()> work)
{
    const Handle handle = next_++;
    pending_[handle] = Pending{now_ + std::max(0.0, seconds), context, context != nullptr, std::move(work)};
    return handle;
}

void ManualMapClock::cancel(Handle handle)
{
    pending_.erase(handle);
}

void ManualMapClock::advance(double seconds)
{
    const double end = now_ + seconds;
    for (;;) {
        // The earliest due call; ties run in scheduling order (handles grow).
        auto earliest = pending_.end();
        for (auto it = pending_.begin(); it != pending_.end(); ++it) {
            if (it->second.due <= end && (earliest == pending_.end() || it->second.due < earliest->second.due)) {
                earliest = it;
            }
        }
        if (earliest == pending_.end()) {
            break;
        }
        Pending call = std::move(earliest->second);
        pending_.erase(earliest);
        now_ = std::max(now_, call.due);
        if (!call.hasContext || call.context) {
            call.work();
        }
    }
    now_ = end;
}
