#pragma once

#include <QString>
#include <QVariantMap>

#include <condition_variable>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

// The process-wide notification hub.
//
// Callers rely on:
// - post() delivers synchronously, on the posting thread, to every observer of
//   that name whatever the sender, in the order they were added, before it
//   returns. Names are compared exactly.
// - Once removeObserver returns, the removed handlers are not running on any
//   other thread and are never called again, so an owner may remove its
//   observations in its destructor and then die. Removal from inside a handler
//   (also the handler's own) works; two threads must not, from inside handlers,
//   remove each other's running observations at the same moment. For the same
//   reason a handler reached from a worker hands over to the GUI thread with
//   Dispatch::asyncMain, not syncMain: the GUI thread may be removing that very
//   observation and waiting for the handler, which would then wait for it.
// - Observers may add or remove observers and post from inside a handler.

// A notification as observers receive it.
struct Notification {
    QString name;
    const void* sender = nullptr; // who posted it (may be null); never dereferenced here
    QVariantMap userInfo;
};

// Use defaultHub() in the application; separate hubs serve tests.
class NotificationHub {
public:
    using Handler = std::function<void(const Notification&)>;
    using ObserverId = uint64_t;

    static NotificationHub& defaultHub();

    NotificationHub() = default;
    NotificationHub(const NotificationHub&) = delete;
    NotificationHub& operator=(const NotificationHub&) = delete;

    // `owner` groups observations for removeObserver(owner); it is never dereferenced.
    ObserverId addObserver(const void* owner, const QString& name, Handler handler);
    void removeObserver(ObserverId id);
    // Every observation of `owner` (of one name, when `name` is not null).
    void removeObserver(const void* owner, const QString& name = QString());

    void post(const QString& name, const void* sender = nullptr, const QVariantMap& userInfo = {});

private:
    struct Observation {
        ObserverId id = 0;
        const void* owner = nullptr;
        QString name;
        Handler handler;
        // Guards the two fields below; `finished` wakes a waiting removal.
        std::mutex mutex;
        std::condition_variable finished;
        bool active = true;
        std::vector<std::thread::id> runningOn;
    };

    void removeMatching(const std::function<bool(const Observation&)>& matches);
    static void deactivate(Observation& observation);
    static void deliver(Observation& observation, const Notification& notification);

    std::mutex mutex_;
    std::vector<std::shared_ptr<Observation>> observations_;
    ObserverId nextId_ = 1;
};
