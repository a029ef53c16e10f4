#include "webmapkit/JsPageTimers.h"

#include "webmapkit/MapLog.h"

#include <algorithm>
#include <cmath>

JsPageTimers::JsPageTimers(MapClock* clock, QObject* parent)
    : QObject(parent)
    , clock_(clock)
{
}

int JsPageTimers::schedule(QJSValue callback, double milliseconds)
{
    if (!callback.isCallable()) {
        return 0;
    }
    const int id = nextId_++;
    const double seconds = std::isfinite(milliseconds) ? std::max(0.0, milliseconds) / 1000.0 : 0.0;
    pending_.insert(id, clock_->callAfter(seconds, this, [this, id, callback]() mutable {
        pending_.remove(id);
        const QJSValue result = callback.call();
        if (result.isError()) {
            qCWarning(lcMap).noquote() << "script exception in a timer:" << result.toString();
        }
    }));
    return id;
}

void JsPageTimers::cancel(int id)
{
    const auto found = pending_.find(id);
    if (found != pending_.end()) {
        clock_->cancel(found.value());
        pending_.erase(found);
    }
}
