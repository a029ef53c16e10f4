#pragma once

#include <QString>
#include <QVariantMap>

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <vector>

// A notification as observers receive it.
struct Notification {
    QString name;
    const void* sender = nullptr;  // who posted it (may be null); never dereferenced here
    QVariantMap userInfo;
};

// The process-wide notification hub.
//
// Callers rely on:
// - post() delivers synchronously, on the posting thread, to every observer of
//   that name whatever the sender, in the order they were added, before it
//   returns. Names are compared exactly.
// - An observer removed (also from inside a handler, or while its owner is being
//   destroyed) receives nothing more from that moment on the removing thread.
// - Observers may add or remove observers and post from inside a handler.
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
        ObserverId id;
        const void* owner;
        QString name;
        Handler handler;
        std::atomic<bool> active{true};
    };

    std::mutex mutex_;
    std::vector<std::shared_ptr<Observation>> observations_;
    ObserverId nextId_ = 1;
};
