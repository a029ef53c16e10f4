#include <gtest/gtest.h>

#include <nlohmann/json.hpp>

#include "CrashReportFolder.h"
#include "kit/crash/CWContextInitialize.h"
#include "kit/crash/CWException.h"
#include "kit/crash/CWRecordReader.h"

TEST(CWExceptionTest, CustomAndScriptExceptionsGoToTheCustomFilesOnly)
{
    CrashReportFolder folder;
    const CWStackFramePtr frame = CWStackFrame::stackFrameWithAddress(0x1234);
    frame->symbol = "main";
    frame->offset = 12;
    frame->lineNumber = 7;
    CWExceptionRecord(CWExceptionKindCustom, "Custom", "went wrong", {frame}, false);
    CWExceptionRecord(CWExceptionKindJavaScript, "TypeError", nullptr, {}, false);
    CrashReportFolder::drainLoggingQueue();

    EXPECT_FALSE(folder.exists("exception.cwrecord"));
    const auto records = folder.records("custom_exception_a.cwrecord", "exception");
    ASSERT_EQ(records.size(), 2u);
    EXPECT_EQ(records[0]["type"], "custom");
    EXPECT_EQ(CWHexDecode(records[0]["name"].get<std::string>()), "Custom");
    EXPECT_EQ(CWHexDecode(records[0]["reason"].get<std::string>()), "went wrong");
    ASSERT_EQ(records[0]["frames"].size(), 1u);
    const nlohmann::json& written = records[0]["frames"][0];
    EXPECT_EQ(written["pc"], 0x1234);
    EXPECT_EQ(CWHexDecode(written["symbol"].get<std::string>()), "main");
    EXPECT_EQ(written["offset"], 12);
    EXPECT_EQ(written["line"], 7);
    EXPECT_FALSE(written.contains("library") || written.contains("file"));
    EXPECT_EQ(records[1]["type"], "javascript");
    EXPECT_TRUE(records[1]["reason"].is_null());
    EXPECT_FALSE(records[1].contains("frames"));
}

TEST(CWExceptionTest, NothingIsRecordedOutsideASetUpContext)
{
    CrashReportFolder folder;
    CWContextTeardown();
    CWExceptionRecord(CWExceptionKindCustom, "Custom", "too early", {}, false);
    CWExceptionRecord(CWExceptionKindCPlusPlus, "const char *", "too early", {}, false);
    EXPECT_FALSE(folder.exists("custom_exception_a.cwrecord"));
    EXPECT_FALSE(folder.exists("exception.cwrecord"));
}
