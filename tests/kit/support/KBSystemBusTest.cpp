// The kit on a system bus of the test's own: the delay lock it takes from
// logind while an activity must finish, and the power state it follows.
#include "kit/support/KBPowerState.h"
#include "kit/support/KBProcessActivities.h"
#include "kit/support/harness/Eventually.h"
#include "kit/support/harness/KitPrivateBus.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <poll.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <functional>
#include <thread>
#include <vector>

namespace {

// logind's Inhibit: records the arguments of each call and hands out the
// write end of a pipe, whose read end it keeps to see the lock let go.
class FakeLogind {
public:
    explicit FakeLogind(const std::string& address)
        : service_(address, "org.freedesktop.login1", [this](DBusMessage* call) { return inhibit(call); })
    {
    }
    ~FakeLogind()
    {
        for (const int fd : kept_) {
            close(fd);
        }
    }

    bool ready() const { return service_.ready(); }
    std::vector<std::vector<std::string>> calls()
    {
        std::lock_guard lock(mutex_);
        return calls_;
    }
    // True when every holder of the n-th lock closed it.
    bool released(size_t n, int milliseconds = 0)
    {
        int fd = -1;
        {
            std::lock_guard lock(mutex_);
            fd = n < kept_.size() ? kept_[n] : -1;
        }
        pollfd hung{fd, POLLIN, 0};
        return fd >= 0 && poll(&hung, 1, milliseconds) == 1 && (hung.revents & POLLHUP) != 0;
    }

private:
    DBusMessage* inhibit(DBusMessage* call)
    {
        if (!dbus_message_is_method_call(call, "org.freedesktop.login1.Manager", "Inhibit")
            || std::string(dbus_message_get_path(call)) != "/org/freedesktop/login1") {
            return nullptr;
        }
        const char* texts[4] = {};
        if (!dbus_message_get_args(call, nullptr, DBUS_TYPE_STRING, &texts[0], DBUS_TYPE_STRING, &texts[1],
                DBUS_TYPE_STRING, &texts[2], DBUS_TYPE_STRING, &texts[3], DBUS_TYPE_INVALID)) {
            return nullptr;
        }
        int ends[2];
        if (pipe2(ends, O_CLOEXEC) != 0) {
            return nullptr;
        }
        DBusMessage* reply = dbus_message_new_method_return(call);
        dbus_message_append_args(reply, DBUS_TYPE_UNIX_FD, &ends[1], DBUS_TYPE_INVALID);
        // The message holds its own copy; only the caller's keeps the pipe open.
        close(ends[1]);
        std::lock_guard lock(mutex_);
        calls_.push_back({texts[0], texts[1], texts[2], texts[3]});
        kept_.push_back(ends[0]);
        return reply;
    }

    std::mutex mutex_;
    std::vector<std::vector<std::string>> calls_;
    std::vector<int> kept_;
    FakeBusService service_;
};

class KBSystemBusTest : public ::testing::Test {
protected:
    void TearDown() override { KBProcessActivities::setSystemBusAddress(std::nullopt); }
};

} // namespace

TEST_F(KBSystemBusTest, ActivitiesThatMustFinishHoldOneDelayLockFromLogindUntilTheLastEnds)
{
    KitPrivateBus bus;
    ASSERT_FALSE(bus.address().empty());
    FakeLogind logind(bus.address());
    ASSERT_TRUE(logind.ready());
    KBProcessActivities::setSystemBusAddress(bus.address());

    const auto outer = KBProcessActivities::begin(0xC000, "Crashwatch Crash Report Processing");
    const auto inner = KBProcessActivities::begin(KBProcessActivities::kSuddenTerminationDisabled, "nested");
    KBProcessActivities::waitForSystemBus();
    ASSERT_EQ(logind.calls().size(), 1u);
    EXPECT_EQ(logind.calls()[0],
        (std::vector<std::string>{"shutdown:sleep", "Lumetta", "Crashwatch Crash Report Processing", "delay"}));
    KBProcessActivities::end(inner);
    KBProcessActivities::waitForSystemBus();
    EXPECT_FALSE(logind.released(0));
    KBProcessActivities::end(outer);
    KBProcessActivities::waitForSystemBus();
    EXPECT_TRUE(logind.released(0, kPatientMs));

    // An activity that need not finish takes no lock; the next one that must
    // takes a new one.
    KBProcessActivities::perform(0x00FF, "idle", [] {});
    KBProcessActivities::perform(KBProcessActivities::kAutomaticTerminationDisabled, "rotate", [&] {
        KBProcessActivities::waitForSystemBus();
        EXPECT_EQ(logind.calls().size(), 2u);
        EXPECT_FALSE(logind.released(1));
    });
    KBProcessActivities::waitForSystemBus();
    EXPECT_TRUE(logind.released(1, kPatientMs));
    EXPECT_EQ(KBProcessActivities::suddenTerminationDisabledCount(), 0);
    EXPECT_EQ(KBProcessActivities::automaticTerminationDisabledCount(), 0);
}

TEST_F(KBSystemBusTest, WithoutLogindOrABusActivitiesAreOnlyCounted)
{
    KitPrivateBus bus;
    ASSERT_FALSE(bus.address().empty());
    for (const std::string& address : {bus.address(), std::string("unix:path=/nonexistent/kit-bus")}) {
        SCOPED_TRACE(address);
        KBProcessActivities::setSystemBusAddress(address);
        KBProcessActivities::perform(0xC000, "counted", [] {
            EXPECT_EQ(KBProcessActivities::suddenTerminationDisabledCount(), 1);
            EXPECT_EQ(KBProcessActivities::automaticTerminationDisabledCount(), 1);
            KBProcessActivities::waitForSystemBus();
        });
        EXPECT_EQ(KBProcessActivities::suddenTerminationDisabledCount(), 0);
    }
    // A logind that comes later is used from the next activity on.
    FakeLogind logind(bus.address());
    KBProcessActivities::setSystemBusAddress(bus.address());
    KBProcessActivities::perform(0xC000, "late", [] { KBProcessActivities::waitForSystemBus(); });
    EXPECT_EQ(logind.calls().size(), 1u);
}

// Both the current and the legacy name of power-profiles-daemon.
TEST_F(KBSystemBusTest, PowerStateFollowsTheProfileAndDegradationAndTheServiceGoing)
{
    const std::vector<std::pair<std::string, std::string>> services{
        {"org.freedesktop.UPower.PowerProfiles", "/org/freedesktop/UPower/PowerProfiles"},
        {"net.hadess.PowerProfiles", "/net/hadess/PowerProfiles"},
    };
    for (const auto& [name, path] : services) {
        SCOPED_TRACE(name);
        KitPrivateBus bus;
        ASSERT_FALSE(bus.address().empty());
        auto profiles = std::make_unique<FakePowerProfiles>(bus.address(), name, path);
        ASSERT_TRUE(profiles->ready());
        KBPowerState state(bus.address());
        std::atomic<int> told{0};
        state.addObserver([&] { ++told; });
        ASSERT_TRUE(eventually([&] { return state.supportsThermalNotifications(); }));
        EXPECT_FALSE(state.lowPowerMode());

        profiles->set("power-saver", "");
        EXPECT_TRUE(eventually([&] { return state.lowPowerMode(); }));
        profiles->set("balanced", "");
        EXPECT_TRUE(eventually([&] { return !state.lowPowerMode(); }));
        profiles->set("performance", "high-operating-temperature");
        EXPECT_TRUE(eventually([&] { return state.lowPowerMode(); }));
        // Observers are told after the state changed, on the bus's thread.
        EXPECT_TRUE(eventually([&] { return told.load() >= 4; }));
        EXPECT_EQ(told.load(), 4);

        profiles.reset();
        EXPECT_TRUE(eventually([&] { return !state.supportsThermalNotifications(); }));
        EXPECT_FALSE(state.lowPowerMode());
    }
    KBPowerState nowhere("unix:path=/nonexistent/kit-bus");
    nowhere.sync();
    EXPECT_FALSE(nowhere.supportsThermalNotifications());
    EXPECT_FALSE(nowhere.lowPowerMode());
}
