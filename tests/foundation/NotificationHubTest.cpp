#include "foundation/NotificationHub.h"

#include "support/QtPrinters.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <thread>

TEST(NotificationHubTest, DeliversToEveryObserverOfTheNameOnThePostingThreadBeforePostReturns)
{
    NotificationHub hub;
    QStringList log;
    int owner1 = 0;
    int owner2 = 0;
    hub.addObserver(&owner1, "notiFileMetadataHasChanged",
        [&](const Notification& n) { log << QStringLiteral("1:") + n.userInfo.value("key").toString(); });
    hub.addObserver(&owner2, "notiFileMetadataHasChanged", [&](const Notification&) { log << "2"; });
    hub.addObserver(&owner2, "other", [&](const Notification&) { log << "other"; });

    int sender = 0;
    hub.post("notiFileMetadataHasChanged", &sender, {{"key", "v"}});
    EXPECT_EQ(log, (QStringList{"1:v", "2"}));

    log.clear();
    hub.removeObserver(&owner2, "notiFileMetadataHasChanged");
    hub.post("notiFileMetadataHasChanged");
    hub.post("other");
    EXPECT_EQ(log, (QStringList{"1:", "other"}));

    // A post from a worker is delivered on that worker.
    std::thread::id deliveredOn;
    hub.addObserver(&owner1, "n", [&](const Notification&) { deliveredOn = std::this_thread::get_id(); });
    std::thread::id postedOn;
    std::thread worker([&] {
        postedOn = std::this_thread::get_id();
        hub.post("n");
    });
    worker.join();
    EXPECT_EQ(deliveredOn, postedOn);
}

TEST(NotificationHubTest, ObserverRemovedDuringDeliveryHearsNothingMore)
{
    NotificationHub hub;
    int first = 0;
    int second = 0;
    int secondCalls = 0;
    // The first observer tears down the second (as a window closing would).
    hub.addObserver(&first, "n", [&](const Notification&) { hub.removeObserver(&second); });
    hub.addObserver(&second, "n", [&](const Notification&) { ++secondCalls; });
    hub.post("n");
    EXPECT_EQ(secondCalls, 0);

    // A handler may remove itself and post again without deadlock.
    int selfCalls = 0;
    NotificationHub::ObserverId id = 0;
    id = hub.addObserver(&second, "m", [&](const Notification&) {
        ++selfCalls;
        hub.removeObserver(id);
        hub.post("m");
    });
    hub.post("m");
    EXPECT_EQ(selfCalls, 1);
}

// An owner removing its observations while another thread is inside its
// handler must not go on (and die) before that handler has finished.
TEST(NotificationHubTest, RemovalWaitsForAHandlerRunningOnAnotherThread)
{
    NotificationHub hub;
    int owner = 0;
    std::atomic<bool> entered{false};
    std::atomic<bool> release{false};
    std::atomic<bool> handlerDone{false};
    hub.addObserver(&owner, "n", [&](const Notification&) {
        entered = true;
        while (!release) {
            std::this_thread::yield();
        }
        handlerDone = true;
    });
    std::thread poster([&] { hub.post("n"); });
    while (!entered) {
        std::this_thread::yield();
    }
    std::atomic<bool> removed{false};
    std::atomic<bool> doneWhenRemoved{false};
    std::thread remover([&] {
        hub.removeObserver(&owner);
        doneWhenRemoved = handlerDone.load();
        removed = true;
    });
    // Give a wrong removal every chance to return early before the handler may end.
    const auto until = std::chrono::steady_clock::now() + std::chrono::milliseconds(100);
    while (!removed && std::chrono::steady_clock::now() < until) {
        std::this_thread::yield();
    }
    EXPECT_FALSE(removed);
    release = true;
    poster.join();
    remover.join();
    EXPECT_TRUE(doneWhenRemoved);
}
