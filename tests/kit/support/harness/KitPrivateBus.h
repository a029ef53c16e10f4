#pragma once

#include <dbus/dbus.h>

#include <sys/types.h>

#include <atomic>
#include <functional>
#include <mutex>
#include <string>
#include <thread>

// A dbus-daemon of the test's own, standing in for the system bus: its
// configuration and socket in a temporary folder, gone with the object.
class KitPrivateBus {
public:
    KitPrivateBus();
    ~KitPrivateBus();
    KitPrivateBus(const KitPrivateBus&) = delete;
    KitPrivateBus& operator=(const KitPrivateBus&) = delete;

    // Empty when the daemon did not start.
    const std::string& address() const { return address_; }

private:
    std::string folder_;
    std::string address_;
    pid_t daemon_ = -1;
};

// A small service on a bus: it owns a name and answers each method call with
// the reply its handler makes (no reply: an error), on a thread of its own.
class FakeBusService {
public:
    // Gets the call, answers a reply it made for it, or nothing.
    using Handler = std::function<DBusMessage*(DBusMessage* call)>;

    FakeBusService(const std::string& address, const std::string& name, Handler handler);
    ~FakeBusService();
    FakeBusService(const FakeBusService&) = delete;
    FakeBusService& operator=(const FakeBusService&) = delete;

    // True once the name is owned.
    bool ready() const { return connection_ != nullptr; }
    // Sends the signal (and lets it go).
    void emitSignal(DBusMessage* signal);

private:
    static DBusHandlerResult onMessage(DBusConnection* connection, DBusMessage* message, void* context);

    Handler handler_;
    DBusConnection* connection_ = nullptr;
    std::atomic<bool> stopping_{false};
    std::thread thread_;
};

// power-profiles-daemon as the kit asks it: the ActiveProfile and
// PerformanceDegraded properties, and their PropertiesChanged signal, under
// the given service name (also the interface) and object path.
class FakePowerProfiles {
public:
    FakePowerProfiles(const std::string& address, std::string name, std::string path);

    bool ready() const { return service_.ready(); }
    // Sets both and announces the change.
    void set(const std::string& profile, const std::string& degraded);

private:
    DBusMessage* answer(DBusMessage* call);

    std::string name_;
    std::string path_;
    std::mutex mutex_;
    std::string profile_ = "balanced";
    std::string degraded_;
    FakeBusService service_;
};
