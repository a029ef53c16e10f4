#include "kit/support/KBSystemBus.h"

#include "kit/support/KBLog.h"

#include <dbus/dbus.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <unistd.h>

#include <cstdint>

struct KBSystemBus::Handlers {
    std::mutex mutex;
    Job connected;
    std::function<void(DBusMessage*)> signal;
};

namespace {

DBusHandlerResult onMessage(DBusConnection*, DBusMessage* message, void* context)
{
    if (dbus_message_get_type(message) != DBUS_MESSAGE_TYPE_SIGNAL) {
        return DBUS_HANDLER_RESULT_NOT_YET_HANDLED;
    }
    auto* handlers = static_cast<KBSystemBus::Handlers*>(context);
    std::function<void(DBusMessage*)> handler;
    {
        std::lock_guard lock(handlers->mutex);
        handler = handlers->signal;
    }
    if (handler) {
        handler(message);
    }
    return DBUS_HANDLER_RESULT_NOT_YET_HANDLED;
}

} // namespace

KBSystemBus::KBSystemBus(std::optional<std::string> address)
    : address_(std::move(address))
    , wakeFd_(eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK))
    , handlers_(std::make_unique<Handlers>())
{
    dbus_threads_init_default();
    thread_ = std::thread([this] { run(); });
}

KBSystemBus::~KBSystemBus()
{
    {
        std::lock_guard lock(mutex_);
        stopping_ = true;
    }
    wake();
    thread_.join();
    if (wakeFd_ >= 0) {
        close(wakeFd_);
    }
}

void KBSystemBus::post(Job job)
{
    {
        std::lock_guard lock(mutex_);
        jobs_.push_back(std::move(job));
    }
    wake();
}

void KBSystemBus::setAddress(std::optional<std::string> address)
{
    post([this, address](DBusConnection*) {
        disconnect();
        address_ = address;
    });
}

void KBSystemBus::sync()
{
    bool done = false;
    post([this, &done](DBusConnection*) {
        std::lock_guard lock(mutex_);
        done = true;
        synced_.notify_all();
    });
    std::unique_lock lock(mutex_);
    synced_.wait(lock, [&] { return done; });
}

void KBSystemBus::setConnectedHandler(Job handler)
{
    std::lock_guard lock(handlers_->mutex);
    handlers_->connected = std::move(handler);
}

void KBSystemBus::setSignalHandler(std::function<void(DBusMessage*)> handler)
{
    std::lock_guard lock(handlers_->mutex);
    handlers_->signal = std::move(handler);
}

DBusMessage* KBSystemBus::call(DBusConnection* connection, DBusMessage* message, int milliseconds)
{
    if (connection == nullptr || message == nullptr) {
        return nullptr;
    }
    DBusError error;
    dbus_error_init(&error);
    DBusMessage* reply = dbus_connection_send_with_reply_and_block(connection, message, milliseconds, &error);
    dbus_error_free(&error);
    return reply;
}

void KBSystemBus::wake()
{
    const uint64_t one = 1;
    if (wakeFd_ >= 0 && write(wakeFd_, &one, sizeof one) < 0) {
        // The counter is full, so the thread is woken anyway.
    }
}

void KBSystemBus::connectIfNeeded()
{
    if (connection_ != nullptr && dbus_connection_get_is_connected(connection_)) {
        return;
    }
    disconnect();
    DBusError error;
    dbus_error_init(&error);
    DBusConnection* made = nullptr;
    if (address_) {
        made = dbus_connection_open_private(address_->c_str(), &error);
        if (made != nullptr && !dbus_bus_register(made, &error)) {
            dbus_connection_close(made);
            dbus_connection_unref(made);
            made = nullptr;
        }
    } else {
        made = dbus_bus_get_private(DBUS_BUS_SYSTEM, &error);
    }
    dbus_error_free(&error);
    if (made == nullptr) {
        return;
    }
    // A bus that goes away must not take the process with it.
    dbus_connection_set_exit_on_disconnect(made, FALSE);
    dbus_connection_add_filter(made, onMessage, handlers_.get(), nullptr);
    connection_ = made;
    Job connected;
    {
        std::lock_guard lock(handlers_->mutex);
        connected = handlers_->connected;
    }
    if (connected) {
        connected(connection_);
    }
}

void KBSystemBus::dispatchIncoming()
{
    if (connection_ == nullptr) {
        return;
    }
    dbus_connection_flush(connection_);
    dbus_connection_read_write(connection_, 0);
    while (dbus_connection_dispatch(connection_) == DBUS_DISPATCH_DATA_REMAINS) { }
}

void KBSystemBus::run()
{
    for (;;) {
        std::deque<Job> jobs;
        {
            std::lock_guard lock(mutex_);
            if (stopping_) {
                break;
            }
            jobs.swap(jobs_);
        }
        for (auto& job : jobs) {
            connectIfNeeded();
            job(connection_);
            dispatchIncoming();
        }
        pollfd watched[2] = {{wakeFd_, POLLIN, 0}, {-1, POLLIN, 0}};
        int socket = -1;
        if (connection_ != nullptr && dbus_connection_get_unix_fd(connection_, &socket)) {
            watched[1].fd = socket;
        }
        if (poll(watched, watched[1].fd >= 0 ? 2 : 1, -1) < 0) {
            continue;
        }
        if ((watched[0].revents & POLLIN) != 0) {
            uint64_t count = 0;
            if (read(wakeFd_, &count, sizeof count) < 0) {
                // Nothing to drain.
            }
        }
        if (watched[1].revents != 0) {
            dispatchIncoming();
            if (!dbus_connection_get_is_connected(connection_)) {
                KBLog::debug("[Kitbase] The system bus went away");
                disconnect();
            }
        }
    }
    disconnect();
}

void KBSystemBus::disconnect()
{
    if (connection_ != nullptr) {
        dbus_connection_close(connection_);
        dbus_connection_unref(connection_);
        connection_ = nullptr;
    }
}
