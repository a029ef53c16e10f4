#include "kit/support/harness/KitPrivateBus.h"
#include "kit/support/harness/Eventually.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <vector>

extern char** environ;

KitPrivateBus::KitPrivateBus()
{
    std::string pattern = (std::filesystem::temp_directory_path() / "kit-bus-XXXXXX").string();
    if (mkdtemp(pattern.data()) == nullptr) {
        return;
    }
    folder_ = pattern;
    const std::string config = folder_ + "/bus.conf";
    std::ofstream(config) << "<!DOCTYPE busconfig PUBLIC \"-//freedesktop//DTD D-Bus Bus Configuration 1.0//EN\"\n"
                             " \"http://www.freedesktop.org/standards/dbus/1.0/busconfig.dtd\">\n"
                             "<busconfig>\n"
                             "  <type>system</type>\n"
                             "  <listen>unix:path="
                          << folder_
                          << "/bus</listen>\n"
                             "  <auth>EXTERNAL</auth>\n"
                             "  <policy context=\"default\">\n"
                             "    <allow send_destination=\"*\"/>\n"
                             "    <allow receive_sender=\"*\"/>\n"
                             "    <allow own=\"*\"/>\n"
                             "  </policy>\n"
                             "</busconfig>\n";
    int out[2];
    if (pipe2(out, O_CLOEXEC) != 0) {
        return;
    }
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, out[1], 1);
    std::string program = "dbus-daemon";
    std::string configArgument = "--config-file=" + config;
    std::string noFork = "--nofork";
    std::string print = "--print-address=1";
    char* arguments[] = {program.data(), configArgument.data(), noFork.data(), print.data(), nullptr};
    if (posix_spawnp(&daemon_, program.c_str(), &actions, nullptr, arguments, environ) != 0) {
        daemon_ = -1;
    }
    posix_spawn_file_actions_destroy(&actions);
    close(out[1]);
    std::string line;
    pollfd readable{out[0], POLLIN, 0};
    char character = 0;
    while (
        daemon_ > 0 && poll(&readable, 1, kPatientMs) == 1 && read(out[0], &character, 1) == 1 && character != '\n') {
        line += character;
    }
    close(out[0]);
    address_ = line;
}

KitPrivateBus::~KitPrivateBus()
{
    if (daemon_ > 0) {
        kill(daemon_, SIGTERM);
        waitpid(daemon_, nullptr, 0);
    }
    if (!folder_.empty()) {
        std::error_code ignored;
        std::filesystem::remove_all(folder_, ignored);
    }
}

FakeBusService::FakeBusService(const std::string& address, const std::string& name, Handler handler)
    : handler_(std::move(handler))
{
    dbus_threads_init_default();
    DBusError error;
    dbus_error_init(&error);
    DBusConnection* connection = dbus_connection_open_private(address.c_str(), &error);
    if (connection != nullptr && dbus_bus_register(connection, &error)
        && dbus_bus_request_name(connection, name.c_str(), DBUS_NAME_FLAG_DO_NOT_QUEUE, &error)
            == DBUS_REQUEST_NAME_REPLY_PRIMARY_OWNER) {
        dbus_connection_set_exit_on_disconnect(connection, FALSE);
        dbus_connection_add_filter(connection, onMessage, this, nullptr);
        connection_ = connection;
        thread_ = std::thread([this] {
            while (!stopping_ && dbus_connection_read_write_dispatch(connection_, 20)) { }
        });
    } else if (connection != nullptr) {
        dbus_connection_close(connection);
        dbus_connection_unref(connection);
    }
    dbus_error_free(&error);
}

FakeBusService::~FakeBusService()
{
    stopping_ = true;
    if (thread_.joinable()) {
        thread_.join();
    }
    if (connection_ != nullptr) {
        dbus_connection_close(connection_);
        dbus_connection_unref(connection_);
    }
}

void FakeBusService::emitSignal(DBusMessage* signal)
{
    if (connection_ != nullptr) {
        dbus_connection_send(connection_, signal, nullptr);
        dbus_connection_flush(connection_);
    }
    dbus_message_unref(signal);
}

DBusHandlerResult FakeBusService::onMessage(DBusConnection* connection, DBusMessage* message, void* context)
{
    if (dbus_message_get_type(message) != DBUS_MESSAGE_TYPE_METHOD_CALL) {
        return DBUS_HANDLER_RESULT_NOT_YET_HANDLED;
    }
    auto* service = static_cast<FakeBusService*>(context);
    DBusMessage* reply = service->handler_(message);
    if (reply == nullptr) {
        reply = dbus_message_new_error(message, DBUS_ERROR_UNKNOWN_METHOD, "not answered by the fake");
    }
    dbus_connection_send(connection, reply, nullptr);
    dbus_message_unref(reply);
    return DBUS_HANDLER_RESULT_HANDLED;
}

namespace {

// Appends {name: <string>, ...} as an a{sv}.
void appendStringProperties(DBusMessageIter* arguments, const std::vector<std::pair<std::string, std::string>>& values)
{
    DBusMessageIter dictionary;
    dbus_message_iter_open_container(arguments, DBUS_TYPE_ARRAY, "{sv}", &dictionary);
    for (const auto& [key, value] : values) {
        DBusMessageIter entry;
        DBusMessageIter variant;
        const char* keyText = key.c_str();
        const char* valueText = value.c_str();
        dbus_message_iter_open_container(&dictionary, DBUS_TYPE_DICT_ENTRY, nullptr, &entry);
        dbus_message_iter_append_basic(&entry, DBUS_TYPE_STRING, &keyText);
        dbus_message_iter_open_container(&entry, DBUS_TYPE_VARIANT, "s", &variant);
        dbus_message_iter_append_basic(&variant, DBUS_TYPE_STRING, &valueText);
        dbus_message_iter_close_container(&entry, &variant);
        dbus_message_iter_close_container(&dictionary, &entry);
    }
    dbus_message_iter_close_container(arguments, &dictionary);
}

} // namespace

FakePowerProfiles::FakePowerProfiles(const std::string& address, std::string name, std::string path)
    : name_(std::move(name))
    , path_(std::move(path))
    , service_(address, name_, [this](DBusMessage* call) { return answer(call); })
{
}

DBusMessage* FakePowerProfiles::answer(DBusMessage* call)
{
    if (!dbus_message_is_method_call(call, "org.freedesktop.DBus.Properties", "GetAll")
        || path_ != dbus_message_get_path(call)) {
        return nullptr;
    }
    DBusMessage* reply = dbus_message_new_method_return(call);
    DBusMessageIter arguments;
    dbus_message_iter_init_append(reply, &arguments);
    std::lock_guard lock(mutex_);
    appendStringProperties(&arguments, {{"ActiveProfile", profile_}, {"PerformanceDegraded", degraded_}});
    return reply;
}

void FakePowerProfiles::set(const std::string& profile, const std::string& degraded)
{
    {
        std::lock_guard lock(mutex_);
        profile_ = profile;
        degraded_ = degraded;
    }
    DBusMessage* signal
        = dbus_message_new_signal(path_.c_str(), "org.freedesktop.DBus.Properties", "PropertiesChanged");
    DBusMessageIter arguments;
    dbus_message_iter_init_append(signal, &arguments);
    const char* interface = name_.c_str();
    dbus_message_iter_append_basic(&arguments, DBUS_TYPE_STRING, &interface);
    appendStringProperties(&arguments, {{"ActiveProfile", profile}, {"PerformanceDegraded", degraded}});
    DBusMessageIter invalidated;
    dbus_message_iter_open_container(&arguments, DBUS_TYPE_ARRAY, "s", &invalidated);
    dbus_message_iter_close_container(&arguments, &invalidated);
    service_.emitSignal(signal);
}
