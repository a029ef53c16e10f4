#pragma once

#include "webmapkit/MapClock.h"

#include <QJSValue>
#include <QMap>
#include <QObject>

// The timers of a script page, on the map clock: what the page's setTimeout and
// clearTimeout call. Dies with its page, and its pending calls with it.
class JsPageTimers : public QObject {
    Q_OBJECT
public:
    explicit JsPageTimers(MapClock* clock, QObject* parent = nullptr);

    Q_INVOKABLE int schedule(QJSValue callback, double milliseconds);
    Q_INVOKABLE void cancel(int id);

private:
    MapClock* clock_;
    int nextId_ = 1;
    QMap<int, MapClock::Handle> pending_;
};
