#include <gtest/gtest.h>

#include <chrono>
#include <fstream>
#include <functional>
#include <future>
#include <thread>

#include "CrashReportFolder.h"
#include "kit/crash/CWContextInitialize.h"
#include "kit/crash/crashpath/CWAllocator.h"
#include "kit/crash/crashpath/CWContext.h"
#include "kit/support/KBClock.h"
#include "kit/support/KBVirtualClock.h"
#include "kit/support/harness/Eventually.h"

TEST(CWContextTest, SetUpFillsTheContextAndProtectsIt)
{
    unsetenv("XDG_DOCUMENTS_DIR");
    CrashReportFolder early(false);
    {
        std::ofstream(early.file("sdk.log")) << "a line of the previous run\n";
    }
    CWContextConfiguration configuration = CrashReportFolder::defaultConfiguration();
    configuration.reportPath = early.path().c_str();
    configuration.customExceptionsEnabled = 0;
    ASSERT_TRUE(CWContextInitialize(&configuration));
    EXPECT_TRUE(CWContextIsInitialized());
    const CWContext* context = CWContextGet();
    EXPECT_EQ(std::string(context->sdkLogPath), early.file("sdk.log"));
    EXPECT_EQ(std::string(context->binaryImagesPath), early.file("binary_images.cwrecord"));
    EXPECT_EQ(std::string(context->userKeyValues.compactedPath), early.file("user_compacted_kv.cwrecord"));
    EXPECT_EQ(context->pageSize, 4096u);
    EXPECT_EQ(std::string(context->documentsPath), std::string(std::getenv("HOME")));
    EXPECT_EQ(context->exception.customExceptionAllowance, 0u);
    EXPECT_EQ(context->customExceptionStorage.maxEntries, 0u);
    EXPECT_EQ(context->errorsStorage.maxEntries, 8u);
    EXPECT_EQ(early.read("sdk.log").find("previous run"), std::string::npos);
    EXPECT_TRUE(CWContextAllocator()->isProtected);

    EXPECT_FALSE(CWContextInitialize(nullptr));
    configuration.reportPath = reinterpret_cast<const char*>(16);
    EXPECT_FALSE(CWContextInitialize(&configuration));
}

TEST(CWContextTest, OnlyTheFirstCrashPassesTheMark)
{
    CWContextInstall(nullptr, nullptr);
    EXPECT_FALSE(CWContextMarkAndCheckIfCrashed());
    CrashReportFolder folder;
    EXPECT_FALSE(CWContextHasCrashed());
    EXPECT_FALSE(CWContextMarkAndCheckIfCrashed());
    EXPECT_TRUE(CWContextMarkAndCheckIfCrashed());
    EXPECT_TRUE(CWContextMarkAndCheckIfCrashed());
    EXPECT_TRUE(CWContextHasCrashed());
}

TEST(CWContextTest, ASlowJobDelaysInitializationButNotTheCaller)
{
    const auto realClock = KBClock::shared();
    const auto clock = std::make_shared<KBVirtualClock>();
    KBClock::setShared(clock);
    std::promise<void> release;
    std::shared_future<void> released = release.get_future().share();
    CWContextSetSetupJobHook([released] { released.wait(); });

    CrashReportFolder folder(false);
    CWContextConfiguration configuration = CrashReportFolder::defaultConfiguration();
    configuration.reportPath = folder.path().c_str();
    auto initialized = std::async(std::launch::async, [&configuration] { return CWContextInitialize(&configuration); });
    // Whatever fails below, set-up is let go and the real clock comes back, so
    // that the future's wait at the end of the test cannot hang.
    struct Restore {
        std::function<void()> run;
        ~Restore() { run(); }
    } restore{[&] {
        CWContextSetSetupJobHook(nullptr);
        clock->advance(5);
        if (released.wait_for(std::chrono::seconds(0)) != std::future_status::ready) {
            release.set_value();
        }
        KBClock::setShared(realClock);
    }};
    ASSERT_TRUE(eventually([&] { return clock->pendingCount() == 1; }));
    clock->advance(4.9);
    EXPECT_EQ(initialized.wait_for(std::chrono::milliseconds(20)), std::future_status::timeout);
    clock->advance(0.1);
    EXPECT_TRUE(initialized.get());
    EXPECT_FALSE(CWContextIsInitialized());
    EXPECT_NE(folder.read("sdk.log").find("] Error: Delayed initialization\n"), std::string::npos);
    // Handlers may already run while set-up goes on: the first crash is still told apart.
    EXPECT_FALSE(CWContextMarkAndCheckIfCrashed());
    EXPECT_TRUE(CWContextMarkAndCheckIfCrashed());

    release.set_value();
    EXPECT_TRUE(eventually([] { return CWContextIsInitialized() && CWContextAllocator()->isProtected; }));
}
