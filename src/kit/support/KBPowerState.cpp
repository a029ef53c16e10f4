#include "kit/support/KBPowerState.h"

#include <dbus/dbus.h>

#include <cstring>
#include <vector>

namespace {

struct Service {
    const char* name; // also the interface
    const char* path;
};

// The current name first; older daemons (Debian 12's) have only the legacy one.
constexpr Service kServices[] = {
    {"org.freedesktop.UPower.PowerProfiles", "/org/freedesktop/UPower/PowerProfiles"},
    {"net.hadess.PowerProfiles", "/net/hadess/PowerProfiles"},
};
constexpr int kCallTimeoutMilliseconds = 2000;

bool isOurs(const char* name)
{
    for (const Service& service : kServices) {
        if (name != nullptr && std::strcmp(name, service.name) == 0) {
            return true;
        }
    }
    return false;
}

// The string-valued entries of an a{sv} the iterator stands on.
std::map<std::string, std::string> stringEntries(DBusMessageIter* dictionary)
{
    std::map<std::string, std::string> entries;
    if (dbus_message_iter_get_arg_type(dictionary) != DBUS_TYPE_ARRAY) {
        return entries;
    }
    DBusMessageIter entry;
    for (dbus_message_iter_recurse(dictionary, &entry); dbus_message_iter_get_arg_type(&entry) == DBUS_TYPE_DICT_ENTRY;
         dbus_message_iter_next(&entry)) {
        DBusMessageIter pair;
        dbus_message_iter_recurse(&entry, &pair);
        if (dbus_message_iter_get_arg_type(&pair) != DBUS_TYPE_STRING) {
            continue;
        }
        const char* key = nullptr;
        dbus_message_iter_get_basic(&pair, &key);
        dbus_message_iter_next(&pair);
        if (dbus_message_iter_get_arg_type(&pair) != DBUS_TYPE_VARIANT) {
            continue;
        }
        DBusMessageIter variant;
        dbus_message_iter_recurse(&pair, &variant);
        if (dbus_message_iter_get_arg_type(&variant) == DBUS_TYPE_STRING) {
            const char* value = nullptr;
            dbus_message_iter_get_basic(&variant, &value);
            entries[key] = value;
        }
    }
    return entries;
}

std::optional<std::string> entry(const std::map<std::string, std::string>& entries, const char* key)
{
    const auto found = entries.find(key);
    return found == entries.end() ? std::nullopt : std::optional<std::string>(found->second);
}

void addMatch(DBusConnection* connection, const std::string& rule)
{
    DBusError error;
    dbus_error_init(&error);
    dbus_bus_add_match(connection, rule.c_str(), &error);
    dbus_error_free(&error);
}

std::mutex sharedMutex;
std::shared_ptr<KBPowerState> sharedState;

} // namespace

KBPowerState::KBPowerState(std::optional<std::string> busAddress)
    : bus_(std::move(busAddress))
{
    bus_.setSignalHandler([this](DBusMessage* signal) { takeSignal(signal); });
    bus_.setConnectedHandler([](DBusConnection* connection) {
        for (const Service& service : kServices) {
            addMatch(connection,
                std::string(
                    "type='signal',interface='org.freedesktop.DBus.Properties',member='PropertiesChanged',path='")
                    + service.path + "'");
            addMatch(connection,
                std::string("type='signal',interface='org.freedesktop.DBus',member='NameOwnerChanged',arg0='")
                    + service.name + "'");
        }
    });
    bus_.post([this](DBusConnection* connection) { readProperties(connection); });
}

KBPowerState::~KBPowerState() = default;

std::shared_ptr<KBPowerState> KBPowerState::shared()
{
    std::lock_guard lock(sharedMutex);
    if (!sharedState) {
        sharedState = std::make_shared<KBPowerState>();
    }
    return sharedState;
}

void KBPowerState::setShared(std::shared_ptr<KBPowerState> state)
{
    std::lock_guard lock(sharedMutex);
    sharedState = std::move(state);
}

bool KBPowerState::lowPowerMode() const
{
    return lowPower_.load();
}

bool KBPowerState::supportsThermalNotifications() const
{
    return supported_.load();
}

uint64_t KBPowerState::addObserver(Observer observer)
{
    std::lock_guard lock(mutex_);
    const uint64_t token = nextObserver_++;
    observers_[token] = std::move(observer);
    return token;
}

void KBPowerState::removeObserver(uint64_t token)
{
    std::lock_guard lock(mutex_);
    observers_.erase(token);
}

void KBPowerState::sync()
{
    bus_.sync();
}

void KBPowerState::readProperties(DBusConnection* connection)
{
    for (const Service& service : kServices) {
        DBusMessage* message = connection == nullptr
            ? nullptr
            : dbus_message_new_method_call(service.name, service.path, "org.freedesktop.DBus.Properties", "GetAll");
        if (message == nullptr) {
            continue;
        }
        const char* interface = service.name;
        dbus_message_append_args(message, DBUS_TYPE_STRING, &interface, DBUS_TYPE_INVALID);
        DBusMessage* reply = KBSystemBus::call(connection, message, kCallTimeoutMilliseconds);
        dbus_message_unref(message);
        if (reply == nullptr) {
            continue;
        }
        DBusMessageIter arguments;
        std::map<std::string, std::string> entries;
        if (dbus_message_iter_init(reply, &arguments)) {
            entries = stringEntries(&arguments);
        }
        dbus_message_unref(reply);
        if (entries.count("ActiveProfile") != 0) {
            update(entry(entries, "ActiveProfile"), entry(entries, "PerformanceDegraded").value_or(""), true);
            return;
        }
    }
    update(std::string(), std::string(), false);
}

void KBPowerState::takeSignal(DBusMessage* signal)
{
    const bool changed = dbus_message_is_signal(signal, "org.freedesktop.DBus.Properties", "PropertiesChanged");
    const bool owner = dbus_message_is_signal(signal, "org.freedesktop.DBus", "NameOwnerChanged");
    DBusMessageIter arguments;
    if ((!changed && !owner) || !dbus_message_iter_init(signal, &arguments)
        || dbus_message_iter_get_arg_type(&arguments) != DBUS_TYPE_STRING) {
        return;
    }
    const char* name = nullptr;
    dbus_message_iter_get_basic(&arguments, &name);
    if (!isOurs(name)) {
        return;
    }
    if (owner) {
        // The service came, went or was replaced: ask again (or learn it is gone).
        bus_.post([this](DBusConnection* connection) { readProperties(connection); });
        return;
    }
    dbus_message_iter_next(&arguments);
    const auto entries = stringEntries(&arguments);
    bool invalidated = false;
    if (dbus_message_iter_next(&arguments) && dbus_message_iter_get_arg_type(&arguments) == DBUS_TYPE_ARRAY) {
        DBusMessageIter names;
        for (dbus_message_iter_recurse(&arguments, &names); dbus_message_iter_get_arg_type(&names) == DBUS_TYPE_STRING;
             dbus_message_iter_next(&names)) {
            const char* property = nullptr;
            dbus_message_iter_get_basic(&names, &property);
            invalidated = invalidated || std::strcmp(property, "ActiveProfile") == 0
                || std::strcmp(property, "PerformanceDegraded") == 0;
        }
    }
    if (invalidated) {
        bus_.post([this](DBusConnection* connection) { readProperties(connection); });
    } else {
        update(entry(entries, "ActiveProfile"), entry(entries, "PerformanceDegraded"), true);
    }
}

void KBPowerState::update(std::optional<std::string> profile, std::optional<std::string> degraded, bool known)
{
    std::vector<Observer> toTell;
    {
        std::lock_guard lock(mutex_);
        if (profile) {
            profile_ = *profile;
        }
        if (degraded) {
            degraded_ = *degraded;
        }
        known_ = known;
        const bool low = known_ && (profile_ == "power-saver" || !degraded_.empty());
        const bool wasLow = lowPower_.exchange(low);
        const bool wasKnown = supported_.exchange(known_);
        if (low == wasLow && known_ == wasKnown) {
            return;
        }
        for (const auto& [token, observer] : observers_) {
            toTell.push_back(observer);
        }
    }
    for (const auto& observer : toTell) {
        observer();
    }
}
