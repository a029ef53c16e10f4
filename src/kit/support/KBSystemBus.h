#pragma once

#include <condition_variable>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>

struct DBusConnection;
struct DBusMessage;

// A private connection to the system bus (libdbus), owned and served by a
// thread of its own, so that no caller ever waits on the bus: callers post
// jobs, which run on that thread in the order posted, and signals are handed
// to the handler there. The bus is the one at the given address, else the
// system bus as libdbus finds it (DBUS_SYSTEM_BUS_ADDRESS, else the standard
// socket). Without a bus, jobs get no connection; a lost connection is made
// again for the next job.
class KBSystemBus {
public:
    using Job = std::function<void(DBusConnection* connection)>;

    explicit KBSystemBus(std::optional<std::string> address = std::nullopt);
    ~KBSystemBus();
    KBSystemBus(const KBSystemBus&) = delete;
    KBSystemBus& operator=(const KBSystemBus&) = delete;

    void post(Job job);
    // Jobs posted after this use the bus at the new address.
    void setAddress(std::optional<std::string> address);
    // Returns once every job posted before, and the signals read meanwhile,
    // have been handled.
    void sync();
    // Both run on the bus thread: the first after each connection is made
    // (to add matches and read what they follow), the second for each signal.
    void setConnectedHandler(Job handler);
    void setSignalHandler(std::function<void(DBusMessage* signal)> handler);

    // A method call with a reply, waiting at most `milliseconds`; nothing on
    // an error reply or time-out. For use on the bus thread, inside jobs.
    static DBusMessage* call(DBusConnection* connection, DBusMessage* message, int milliseconds);

    // The handlers, as libdbus's filter reaches them; defined with the bus.
    struct Handlers;

private:
    void run();
    void connectIfNeeded();
    void disconnect();
    void dispatchIncoming();
    void wake();

    // Bus thread only, once the thread runs.
    std::optional<std::string> address_;
    int wakeFd_ = -1;
    std::mutex mutex_;
    std::condition_variable synced_;
    std::deque<Job> jobs_;
    bool stopping_ = false;
    std::unique_ptr<Handlers> handlers_;
    // Bus thread only.
    DBusConnection* connection_ = nullptr;
    std::thread thread_;
};
