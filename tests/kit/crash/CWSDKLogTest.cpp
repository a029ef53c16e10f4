#include <gtest/gtest.h>

#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <filesystem>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "CrashReportFolder.h"
#include "kit/crash/crashpath/CWContext.h"
#include "kit/crash/crashpath/CWSDKLog.h"

namespace {

std::vector<std::string> lines(const std::string& text)
{
    std::vector<std::string> result;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);) {
        result.push_back(line);
    }
    return result;
}

bool hasLine(const CrashReportFolder& folder, const std::string& line)
{
    const auto all = lines(folder.read("sdk.log"));
    return std::find(all.begin(), all.end(), line) != all.end();
}

} // namespace

TEST(CWSDKLogTest, ConversionsAreWrittenByHand)
{
    CrashReportFolder folder;
    CWSDKLog(CWLogLevelWarn, "WARN  [%s:%d] Signal: %d\n", "CWSignalHandler", 286, 11);
    CWSDKLog(CWLogLevelInfo, "INFO  [%s:%d] total: %zu K, %llx\n", "f", 1);
    CWSDKLog(CWLogLevelError, "ERROR [%s:%d] %p %p %x %u %d %s\n", "g", -2, static_cast<void*>(nullptr),
        static_cast<uint64_t>(0xDEADBEEF12), 255u, 4294967295u, INT32_MIN, static_cast<const char*>(nullptr));
    CWSDKLog(CWLogLevelDebug, "DEBUG [%s:%d] no line end", "h", 3);
    CWSDKLog(CWLogLevelDebug, "DEBUG [%s:%d] 100%\n", "i", 4);
    EXPECT_TRUE(hasLine(folder, "WARN  [CWSignalHandler:286] Signal: 11"));
    EXPECT_TRUE(hasLine(folder, "INFO  [f:1] total: %zu K, %llx"));
    EXPECT_TRUE(hasLine(folder, "ERROR [g:-2] 0x0 0xdeadbeef12 ff 4294967295 -2147483648 (null)"));
    EXPECT_TRUE(hasLine(folder, "DEBUG [h:3] no line endDEBUG [i:4] 100%"));
}

TEST(CWSDKLogTest, MessagesBelowTheMinimumLevelOrBeforeTheContextAreDropped)
{
    CrashReportFolder folder;
    CWCrashState* state = CWCrashStateGet();
    state->minimumLogLevel.store(CWLogLevelWarn);
    CWSDKLog(CWLogLevelInfo, "INFO  [%s:%d] dropped\n", "f", 1);
    CWSDKLog(CWLogLevelWarn, "WARN  [%s:%d] kept\n", "f", 2);
    state->minimumLogLevel.store(CWLogLevelDebug);
    EXPECT_FALSE(hasLine(folder, "INFO  [f:1] dropped"));
    EXPECT_TRUE(hasLine(folder, "WARN  [f:2] kept"));

    CWContext* context = CWContextGet();
    CWContextInstall(nullptr, nullptr);
    CWSDKLog(CWLogLevelError, "ERROR [%s:%d] before the context\n", "f", 3);
    CWContextInstall(context, state);
    EXPECT_FALSE(hasLine(folder, "ERROR [f:3] before the context"));
}

TEST(CWSDKLogTest, ThreadsOpeningTheLogTogetherKeepOneDescriptor)
{
    CrashReportFolder folder;
    CWCrashState* state = CWCrashStateGet();
    close(state->sdkLogDescriptor.exchange(-1));
    std::filesystem::remove(folder.file("sdk.log"));
    std::atomic<int> ready{0};
    std::vector<std::thread> threads;
    for (int i = 0; i < 8; ++i) {
        threads.emplace_back([&ready, i] {
            ++ready;
            while (ready.load() < 8) { }
            CWSDKLog(CWLogLevelInfo, "INFO  [%s:%d] thread\n", "t", i);
        });
    }
    for (auto& thread : threads) {
        thread.join();
    }
    int open = 0;
    for (const auto& entry : std::filesystem::directory_iterator("/proc/self/fd")) {
        std::error_code error;
        if (std::filesystem::read_symlink(entry.path(), error) == folder.file("sdk.log")) {
            ++open;
        }
    }
    EXPECT_EQ(open, 1);
    // Characters of lines written at once may interleave, but none is lost.
    const std::string text = folder.read("sdk.log");
    EXPECT_EQ(std::count(text.begin(), text.end(), '\n'), 8);
    EXPECT_EQ(text.size(), 8 * std::string("INFO  [t:0] thread\n").size());
}
