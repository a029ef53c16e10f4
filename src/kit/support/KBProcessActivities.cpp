#include "kit/support/KBProcessActivities.h"

#include "kit/support/KBLog.h"
#include "kit/support/KBSystemBus.h"

#include <dbus/dbus.h>
#include <unistd.h>

#include <atomic>
#include <memory>
#include <mutex>

namespace {

constexpr uint64_t kMustFinish
    = KBProcessActivities::kSuddenTerminationDisabled | KBProcessActivities::kAutomaticTerminationDisabled;
constexpr int kInhibitTimeoutMilliseconds = 5000;

std::atomic<int> suddenDisabled{0};
std::atomic<int> automaticDisabled{0};

// The holders of activities that must finish, and the lock that follows them.
class Inhibitor {
public:
    void holderBegan(const std::string& reason)
    {
        std::lock_guard lock(mutex_);
        if (++holders_ == 1) {
            reason_ = reason;
            postFollow();
        }
    }

    void holderEnded()
    {
        std::lock_guard lock(mutex_);
        if (--holders_ == 0) {
            postFollow();
        }
    }

    // The lock held on the former bus goes first: the bus thread runs the
    // letting go, the move and the new look at the count in that order.
    void setAddress(std::optional<std::string> address)
    {
        std::lock_guard lock(mutex_);
        auto& bus = this->bus();
        bus.post([this](DBusConnection*) { release(); });
        bus.setAddress(std::move(address));
        if (holders_ > 0) {
            postFollow();
        }
    }

    void sync()
    {
        KBSystemBus* bus = nullptr;
        {
            std::lock_guard lock(mutex_);
            bus = &this->bus();
        }
        bus->sync();
    }

private:
    // Every change between no holder and some holder posts one look at the
    // count, so the last one posted sees the count as it stays.
    void postFollow()
    {
        bus().post([this](DBusConnection* connection) { follow(connection); });
    }

    // Made on first need and kept for the life of the process.
    KBSystemBus& bus()
    {
        if (!bus_) {
            bus_ = std::make_unique<KBSystemBus>();
        }
        return *bus_;
    }

    // On the bus thread.
    void follow(DBusConnection* connection)
    {
        bool wanted = false;
        std::string reason;
        {
            std::lock_guard lock(mutex_);
            wanted = holders_ > 0;
            reason = reason_;
        }
        if (!wanted) {
            release();
        } else if (fd_ < 0) {
            fd_ = inhibit(connection, reason);
        }
    }

    void release()
    {
        if (fd_ >= 0) {
            close(fd_);
            fd_ = -1;
        }
    }

    static int inhibit(DBusConnection* connection, const std::string& reason)
    {
        if (connection == nullptr) {
            return -1;
        }
        DBusMessage* message = dbus_message_new_method_call(
            "org.freedesktop.login1", "/org/freedesktop/login1", "org.freedesktop.login1.Manager", "Inhibit");
        if (message == nullptr) {
            return -1;
        }
        const char* what = "shutdown:sleep";
        const char* who = KBProcessActivities::kInhibitorWho;
        const char* why = reason.c_str();
        const char* mode = "delay";
        dbus_message_append_args(message, DBUS_TYPE_STRING, &what, DBUS_TYPE_STRING, &who, DBUS_TYPE_STRING, &why,
            DBUS_TYPE_STRING, &mode, DBUS_TYPE_INVALID);
        DBusMessage* reply = KBSystemBus::call(connection, message, kInhibitTimeoutMilliseconds);
        dbus_message_unref(message);
        int fd = -1;
        if (reply != nullptr) {
            DBusError error;
            dbus_error_init(&error);
            if (!dbus_message_get_args(reply, &error, DBUS_TYPE_UNIX_FD, &fd, DBUS_TYPE_INVALID)) {
                fd = -1;
            }
            dbus_error_free(&error);
            dbus_message_unref(reply);
        }
        if (fd < 0) {
            KBLog::debug("[Kitbase] No delay lock from logind; the activity is only counted");
        }
        return fd;
    }

    std::mutex mutex_;
    int holders_ = 0;
    std::string reason_;
    std::unique_ptr<KBSystemBus> bus_;
    // Bus thread only.
    int fd_ = -1;
};

// Made on first use and never destroyed: activities may end while the
// process exits, after static objects are gone.
Inhibitor& inhibitor()
{
    static Inhibitor* const made = new Inhibitor;
    return *made;
}

} // namespace

KBProcessActivities::Token KBProcessActivities::begin(uint64_t options, const std::string& reason)
{
    if ((options & kSuddenTerminationDisabled) != 0) {
        ++suddenDisabled;
    }
    if ((options & kAutomaticTerminationDisabled) != 0) {
        ++automaticDisabled;
    }
    if ((options & kMustFinish) != 0) {
        inhibitor().holderBegan(reason);
    }
    return Token{options, reason};
}

void KBProcessActivities::end(const std::optional<Token>& token)
{
    if (!token) {
        return;
    }
    if ((token->options & kSuddenTerminationDisabled) != 0) {
        --suddenDisabled;
    }
    if ((token->options & kAutomaticTerminationDisabled) != 0) {
        --automaticDisabled;
    }
    if ((token->options & kMustFinish) != 0) {
        inhibitor().holderEnded();
    }
}

void KBProcessActivities::perform(uint64_t options, const std::string& reason, const std::function<void()>& block)
{
    const Token token = begin(options, reason);
    block();
    end(token);
}

int KBProcessActivities::suddenTerminationDisabledCount()
{
    return suddenDisabled.load();
}

int KBProcessActivities::automaticTerminationDisabledCount()
{
    return automaticDisabled.load();
}

void KBProcessActivities::setSystemBusAddress(std::optional<std::string> address)
{
    inhibitor().setAddress(std::move(address));
}

void KBProcessActivities::waitForSystemBus()
{
    inhibitor().sync();
}
