// The uploader's resource time-out follows the desktop's power state, as a
// fake power-profiles-daemon on a bus of the test's own reports it.
#include "kit/support/KBPowerState.h"
#include "kit/support/harness/Eventually.h"
#include "kit/support/harness/KitPrivateBus.h"
#include "kit/tally/TYUploader.h"

#include <gtest/gtest.h>

namespace {

class NoDelegate : public TYUploaderDelegate {
public:
    std::string filePathForUniqueName(TYUploader&, const std::string&) override { return {}; }
    void didFinishUploadWithUniqueName(TYUploader&, const std::string&, const std::optional<KBError>&) override { }
    void completedRequest(TYUploader&, const KBURLRequest&, const std::optional<KBHTTPURLResponse>&, const std::string&,
        const std::optional<KBError>&, RetryAnswer completion) override
    {
        completion(false, std::nullopt);
    }
};

} // namespace

TEST(TYUploaderPowerTest, SavingPowerOrRunningHotSwitchesTheUploadTimeOut)
{
    KitPrivateBus bus;
    ASSERT_FALSE(bus.address().empty());
    FakePowerProfiles profiles(bus.address(), "net.hadess.PowerProfiles", "/net/hadess/PowerProfiles");
    ASSERT_TRUE(profiles.ready());
    KBPowerState::setShared(std::make_shared<KBPowerState>(bus.address()));
    auto queue = KBOperationQueue::make("uploader");
    queue->setMaxConcurrentOperationCount(1);
    auto delegate = std::make_shared<NoDelegate>();
    auto uploader = std::make_shared<TYUploader>(queue, delegate);

    // The time-out of the session the queue's next upload would use.
    const auto timeout = [&] {
        double seconds = 0;
        queue->addOperationWithBlock(
            [&] { seconds = uploader->session()->configuration()->timeoutIntervalForResource; });
        queue->waitUntilAllOperationsAreFinished();
        return seconds;
    };
    const auto becomes = [&](double expected) { return eventually([&] { return timeout() == expected; }); };
    queue->addOperationWithBlock([&] {
        uploader->setDefaultUploadTimeout(3600);
        uploader->setLowPowerUploadTimeout(21600);
    });
    EXPECT_TRUE(becomes(3600));
    EXPECT_TRUE(eventually([&] { return uploader->supportsThermalNotifications(); }));

    profiles.set("power-saver", "");
    EXPECT_TRUE(becomes(21600));
    EXPECT_TRUE(uploader->lowPowerMode());
    profiles.set("balanced", "");
    EXPECT_TRUE(becomes(3600));
    profiles.set("balanced", "high-operating-temperature");
    EXPECT_TRUE(becomes(21600));

    uploader.reset();
    KBPowerState::setShared(nullptr);
}
