#include <gtest/gtest.h>

#include <dlfcn.h>
#include <link.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>

#include "CrashReportFolder.h"
#include "ReportFixture.h"
#include "kit/crash/CWDemangleOperation.h"
#include "kit/crash/CWElfSymbolizer.h"
#include "kit/crash/CWProcessReportOperation.h"
#include "kit/crash/crashpath/CWFile.h"

// Two exported functions laid end to end, so that a return address can sit
// exactly at the first byte of the second one.
asm(R"(
    .text
    .globl cwSymbolicationTestBefore
    .type cwSymbolicationTestBefore, %function
cwSymbolicationTestBefore:
    nop
    nop
    nop
    nop
    nop
    nop
    nop
    ret
    .size cwSymbolicationTestBefore, .-cwSymbolicationTestBefore
    .globl cwSymbolicationTestAfter
    .type cwSymbolicationTestAfter, %function
cwSymbolicationTestAfter:
    ret
    .size cwSymbolicationTestAfter, .-cwSymbolicationTestAfter
)");

extern "C" void cwSymbolicationTestBefore();
extern "C" void cwSymbolicationTestAfter();

namespace symbolication_fixture {

__attribute__((noinline, used)) int namespacedFrame(int value)
{
    return value * 3 + 1;
}

} // namespace symbolication_fixture

namespace {

// Not exported: only the executable's symbol table on disk names it.
__attribute__((noinline, used)) int unexportedFrame(int value)
{
    return value * 5 + 2;
}

uint64_t addressOf(const void* function)
{
    return reinterpret_cast<uint64_t>(function);
}

uint64_t sizeOf(const void* function)
{
    Dl_info info{};
    void* entry = nullptr;
    if (::dladdr1(function, &info, &entry, RTLD_DL_SYMENT) == 0 || entry == nullptr) {
        return 0;
    }
    return static_cast<const ElfW(Sym)*>(entry)->st_size;
}

// "file:line" of an address of this process as binutils' addr2line reads
// this executable (a reader independent of the kit's).
std::string addr2line(uint64_t address)
{
    Dl_info info{};
    if (::dladdr(reinterpret_cast<void*>(address), &info) == 0) {
        return {};
    }
    char command[512];
    std::snprintf(command, sizeof command, "addr2line -e /proc/%d/exe 0x%llx", static_cast<int>(getpid()),
        static_cast<unsigned long long>(address - reinterpret_cast<uintptr_t>(info.dli_fbase)));
    std::FILE* pipe = ::popen(command, "r");
    char text[1024] = {};
    const bool read = pipe != nullptr && std::fgets(text, sizeof text, pipe) != nullptr;
    if (pipe != nullptr) {
        ::pclose(pipe);
    }
    std::string answer = read ? text : "";
    while (!answer.empty() && answer.back() == '\n') {
        answer.pop_back();
    }
    return std::filesystem::path(answer).filename().string();
}

std::string executableName()
{
    return std::filesystem::read_symlink("/proc/self/exe").filename().string();
}

nlohmann::json frame(const nlohmann::json& symbol, const nlohmann::json& rawSymbol, uint64_t offset,
    const nlohmann::json& library, bool withRawSymbol = true)
{
    nlohmann::json object{{"symbol", symbol}, {"offset", offset}, {"library", library}};
    if (withRawSymbol) {
        object["raw_symbol"] = rawSymbol;
    }
    return object;
}

} // namespace

// The crashed run's images are this process's own (the report folder was set
// up here), plus one whose file is nowhere on disk.
TEST(CWSymbolicationTest, FramesAreNamedFromTheFilesTheCrashedRunLoaded)
{
    CrashReportFolder folder;
    ReportFixture::writeRecord(folder.file("binary_images.cwrecord"), [](CWFile* file) {
        CWFileWriteRecordStart(file, "load");
        CWFileWriteObjectOpen(file);
        CWFileWriteHashString(file, "path", "/opt/other/libother.so");
        CWFileWriteHashString(file, "uuid", "00112233445566778899aabbccddeeff");
        CWFileWriteHashUnsigned(file, "base", 0x1000);
        CWFileWriteHashUnsigned(file, "size", 0x1000);
        CWFileWriteObjectClose(file);
    });
    const uint64_t namespaced = addressOf(reinterpret_cast<const void*>(&symbolication_fixture::namespacedFrame));
    const uint64_t before = addressOf(reinterpret_cast<const void*>(&cwSymbolicationTestBefore));
    const uint64_t after = addressOf(reinterpret_cast<const void*>(&cwSymbolicationTestAfter));
    ASSERT_EQ(after, before + sizeOf(reinterpret_cast<const void*>(&cwSymbolicationTestBefore)));
    const uint64_t unexported = addressOf(reinterpret_cast<const void*>(&unexportedFrame));
    ReportFixture::writeCrash(
        folder.path(), "signal", 1700000100, {{namespaced + 4, after, before + 3}, {0x1010, unexported + 1, 0}});
    ReportFixture::writeCrash(folder.path(), "exception", 1700000100, {{before + 1}});

    auto report = CWInternalReport::reportWithPath(folder.path());
    ASSERT_TRUE(report);
    std::make_shared<CWProcessReportOperation>(report, std::make_shared<CWSymbolResolver>())->start();

    const std::string library = executableName();
    const nlohmann::json none;
    std::ifstream companion(folder.file("signal.cwrecord.symbolicated"));
    std::string line;
    ASSERT_TRUE(std::getline(companion, line));
    const nlohmann::json threads = nlohmann::json::parse(line).at("threads");
    std::string more;
    EXPECT_FALSE(std::getline(companion, more));
    ASSERT_EQ(threads.size(), 2u);
    ASSERT_EQ(threads[0].size(), 3u);
    ASSERT_EQ(threads[1].size(), 3u);

    // A function with line tables: demangled name, offset, file and line.
    const nlohmann::json& first = threads[0][0];
    EXPECT_EQ(first["symbol"], "symbolication_fixture::namespacedFrame(int)");
    EXPECT_EQ(first["raw_symbol"], "_ZN21symbolication_fixture15namespacedFrameEi");
    EXPECT_EQ(first["offset"], 4);
    EXPECT_EQ(first["library"], library);
    ASSERT_TRUE(first["file"].is_string()) << first;
    EXPECT_EQ(std::filesystem::path(first["file"].get<std::string>()).filename().string() + ":"
            + std::to_string(first["line"].get<uint32_t>()),
        addr2line(namespaced + 4));
    // A return address at a function's first byte belongs to the call before
    // it; code without line tables gets no file.
    EXPECT_EQ(threads[0][1], frame("cwSymbolicationTestBefore", none, after - 2 - before, library, false));
    EXPECT_EQ(threads[0][2], frame("cwSymbolicationTestBefore", none, 3, library, false));
    // A file that is not on disk names nothing; an internal function is named
    // from the symbol table; no address, no frame.
    EXPECT_EQ(threads[1][0], frame(none, none, 0, none));
    EXPECT_EQ(threads[1][1]["symbol"], "(anonymous namespace)::unexportedFrame(int)");
    EXPECT_EQ(threads[1][1]["offset"], 1);
    EXPECT_EQ(threads[1][2], frame(none, none, 0, none));
    // Members keep their order on the line.
    EXPECT_NE(line.find(R"({"symbol":null,"raw_symbol":null,"offset":0,"library":null})"), std::string::npos);
    EXPECT_TRUE(folder.exists("exception.cwrecord.symbolicated"));
    EXPECT_FALSE(folder.exists("mach_exception.cwrecord.symbolicated"));
}

// clang writes no address-range table unless asked: a copy of this executable
// without one (same build id, same code) still names file and line, and still
// gives none to code before which only another function's rows lie.
TEST(CWSymbolicationTest, FilesWithoutAnAddressRangeTableAreNamedWithFileAndLine)
{
    ReportFixture::TemporaryFolder temporary;
    const std::string copy = temporary.path() + "/without-aranges";
    const std::string command
        = "objcopy --remove-section=.debug_aranges /proc/" + std::to_string(getpid()) + "/exe " + copy;
    ASSERT_EQ(std::system(command.c_str()), 0) << command;
    std::string sections;
    {
        std::FILE* pipe = ::popen(("readelf -S " + copy).c_str(), "r");
        ASSERT_NE(pipe, nullptr);
        for (char text[512]; std::fgets(text, sizeof text, pipe) != nullptr;) {
            sections += text;
        }
        ::pclose(pipe);
    }
    ASSERT_EQ(sections.find(".debug_aranges"), std::string::npos);
    ASSERT_NE(sections.find(".debug_line"), std::string::npos);

    Dl_info info{};
    ASSERT_NE(::dladdr(reinterpret_cast<const void*>(&symbolication_fixture::namespacedFrame), &info), 0);
    const std::optional<std::string> uuid = CWElfSymbolizer::buildIdOfFile(copy);
    ASSERT_TRUE(uuid);
    EXPECT_EQ(uuid, CWElfSymbolizer::buildIdOfFile("/proc/self/exe"));
    CWElfSymbolizer symbolizer;
    ASSERT_TRUE(symbolizer.addImage(copy, reinterpret_cast<uint64_t>(info.dli_fbase), *uuid));

    const uint64_t namespaced = addressOf(reinterpret_cast<const void*>(&symbolication_fixture::namespacedFrame));
    const auto named = symbolizer.locate(namespaced + 4, namespaced + 4);
    ASSERT_TRUE(named);
    EXPECT_EQ(named->function, "_ZN21symbolication_fixture15namespacedFrameEi");
    ASSERT_TRUE(named->file);
    EXPECT_EQ(std::filesystem::path(*named->file).filename().string() + ":" + std::to_string(named->line),
        addr2line(namespaced + 4));

    const uint64_t before = addressOf(reinterpret_cast<const void*>(&cwSymbolicationTestBefore));
    const auto unlined = symbolizer.locate(before + 3, before + 3);
    ASSERT_TRUE(unlined);
    EXPECT_EQ(unlined->function, "cwSymbolicationTestBefore");
    EXPECT_FALSE(unlined->file) << *unlined->file;
}

TEST(CWSymbolicationTest, NoCompanionsWithoutBinaryImages)
{
    for (const bool empty : {false, true}) {
        ReportFixture::TemporaryFolder temporary;
        ReportFixture::writeMetadata(temporary.path(), "session");
        ReportFixture::writeCrash(
            temporary.path(), "signal", 1, {{addressOf(reinterpret_cast<const void*>(&cwSymbolicationTestBefore))}});
        if (empty) {
            ReportFixture::writeFile(temporary.path() + "/binary_images.cwrecord", "");
        }
        auto resolver = std::make_shared<CWSymbolResolver>();
        std::make_shared<CWProcessReportOperation>(CWInternalReport::reportWithPath(temporary.path()), resolver)
            ->start();
        EXPECT_FALSE(std::filesystem::exists(temporary.path() + "/signal.cwrecord.symbolicated")) << empty;
        EXPECT_TRUE(resolver->binaryImages().empty());
    }
}

TEST(CWSymbolicationTest, DemanglingKnownForms)
{
    const std::vector<std::pair<const char*, std::optional<std::string>>> cases{
        {"_ZN1a1bEv", "a::b()"},
        {"__ZN1a1bEv_block_invoke", "a::b()_block_invoke"},
        {"__ZN1a1bEv_block_invoke_2", "a::b()_block_invoke_2"},
        {"__Z_block_invoke", std::nullopt},
        {"__ZxEv_block_invoke", std::nullopt},
        {"_T0s5printyypF", std::nullopt},
        {"foo", std::nullopt},
        {"_Zx", std::nullopt},
        {nullptr, std::nullopt},
    };
    for (const auto& [symbol, expected] : cases) {
        EXPECT_EQ(CWDemangleOperation::demangleSymbol(symbol), expected) << (symbol ? symbol : "nil");
    }
}
