// Named frames at the next launch: a crasher faults in a function of its own
// that no loader table names, or in a library it loaded itself; this process,
// which has neither loaded, names the frames from the files on disk.
#include <gtest/gtest.h>

#include <sys/wait.h>

#include <csignal>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

#include <nlohmann/json.hpp>

#include "CrashReportFolder.h"
#include "CrasherProcess.h"
#include "ReportFixture.h"
#include "kit/crash/CWProcessReportOperation.h"

namespace {

namespace fs = std::filesystem;
using nlohmann::json;

// The line of a source file of this folder that holds the marker text.
uint32_t lineOf(const std::string& source, const std::string& marker)
{
    std::ifstream in(source);
    uint32_t number = 0;
    for (std::string line; std::getline(in, line);) {
        ++number;
        if (line.find(marker) != std::string::npos) {
            return number;
        }
    }
    ADD_FAILURE() << marker << " is not in " << source;
    return 0;
}

// Symbolicates the folder as the next launch does and answers the named
// frames of the thread that crashed.
json namedFramesOfCrashedThread(const CrashReportFolder& folder)
{
    std::error_code ignored;
    fs::remove(folder.file("signal.cwrecord.symbolicated"), ignored);
    // The crasher's metadata has no session; the report needs an identifier.
    fs::remove(folder.file("metadata.cwrecord"), ignored);
    ReportFixture::writeMetadata(folder.path(), "crashed-session");
    std::make_shared<CWProcessReportOperation>(
        CWInternalReport::reportWithPath(folder.path()), std::make_shared<CWSymbolResolver>())
        ->start();
    const auto threads = folder.records("signal.cwrecord", "threads");
    const auto named = folder.records("signal.cwrecord.symbolicated", "threads");
    if (threads.size() != 1 || named.size() != 1) {
        ADD_FAILURE() << "no threads or no named threads";
        return json::array();
    }
    for (size_t i = 0; i < threads[0].size(); ++i) {
        if (threads[0][i]["crashed"] == true) {
            return named[0].at(i);
        }
    }
    ADD_FAILURE() << "no crashed thread";
    return json::array();
}

bool endsWith(const json& text, const std::string& end)
{
    return text.is_string() && text.get<std::string>().size() >= end.size()
        && text.get<std::string>().compare(text.get<std::string>().size() - end.size(), end.size(), end) == 0;
}

} // namespace

TEST(CrashChildSymbolicationTest, AStaticFunctionIsNamedWithFileAndLine)
{
    CrashReportFolder folder(false);
    const int status = runCrasher("static-fault", folder.path());
    ASSERT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == SIGSEGV) << status;
    const json frames = namedFramesOfCrashedThread(folder);
    ASSERT_GE(frames.size(), 2u) << frames;
    const json& fault = frames[0];
    EXPECT_NE(fault["symbol"].get<std::string>().find("faultInStaticFunction"), std::string::npos) << fault;
    EXPECT_TRUE(endsWith(fault["file"], "harness/CrashModes.cpp")) << fault;
    EXPECT_EQ(fault["line"], lineOf("harness/CrashModes.cpp", "// static fault line")) << fault;
    EXPECT_EQ(fault["library"], "kit_crash_crasher");
    // The caller's frame is a return address: its line is the call's.
    const json& caller = frames[1];
    EXPECT_NE(caller["symbol"].get<std::string>().find("callsStaticFault"), std::string::npos) << caller;
    EXPECT_EQ(caller["line"], lineOf("harness/CrashModes.cpp", "// static call line")) << caller;
}

TEST(CrashChildSymbolicationTest, ALoadedLibraryIsNamedUntilItsFileIsAnotherBuild)
{
    CrashReportFolder folder(false);
    fs::copy_file(TEST_PLUGIN_PATH, folder.file("plugin.so"));
    const int status = runCrasher("plugin-fault", folder.path());
    ASSERT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == SIGSEGV) << status;
    const json named = namedFramesOfCrashedThread(folder);
    ASSERT_FALSE(named.empty());
    EXPECT_EQ(named[0]["symbol"], "lumettaTestPluginFault") << named[0];
    EXPECT_EQ(named[0]["library"], "plugin.so");
    EXPECT_TRUE(endsWith(named[0]["file"], "harness/TestPlugin.cpp")) << named[0];
    EXPECT_EQ(named[0]["line"], lineOf("harness/TestPlugin.cpp", "// plugin fault line"));

    // The same path now holds another build: its frames are left unnamed.
    fs::copy_file(CRASHER_PATH, folder.file("plugin.so"), fs::copy_options::overwrite_existing);
    const json unnamed = namedFramesOfCrashedThread(folder);
    ASSERT_FALSE(unnamed.empty());
    EXPECT_TRUE(unnamed[0]["symbol"].is_null()) << unnamed[0];
    EXPECT_FALSE(unnamed[0].contains("file")) << unnamed[0];
    // Frames of the crasher itself, unchanged, are still named.
    EXPECT_EQ(unnamed[1]["library"], "kit_crash_crasher") << unnamed;
    EXPECT_FALSE(unnamed[1]["symbol"].is_null()) << unnamed;
}
