#include <gtest/gtest.h>

#include <dlfcn.h>
#include <link.h>

#include <filesystem>
#include <fstream>

#include "CrashReportFolder.h"
#include "ReportFixture.h"
#include "kit/crash/CWDemangleOperation.h"
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

// Not exported: the loader knows no name for it, and must not lend it a neighbour's.
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

TEST(CWSymbolicationTest, FramesAreNamedAgainstTheImagesLoadedNow)
{
    CrashReportFolder folder;
    // An image of the crashed launch that this process does not have.
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
    ReportFixture::writeCrash(folder.path(), "signal", 1700000100,
        {{namespaced + 4, after, before + 3}, {0x1010, unexported + 1, 0}});
    ReportFixture::writeCrash(folder.path(), "exception", 1700000100, {{before + 1}});

    auto report = CWInternalReport::reportWithPath(folder.path());
    ASSERT_TRUE(report);
    std::make_shared<CWProcessReportOperation>(report, std::make_shared<CWSymbolResolver>())->start();

    const std::string library = executableName();
    const nlohmann::json none;
    const nlohmann::json expected{{"threads",
        {{frame("symbolication_fixture::namespacedFrame(int)", "_ZN21symbolication_fixture15namespacedFrameEi", 4,
              library),
             frame("cwSymbolicationTestBefore", none, after - 2 - before, library, false),
             frame("cwSymbolicationTestBefore", none, 3, library, false)},
            {frame(none, none, 0, none), frame(none, none, 0, library), frame(none, none, 0, none)}}}};
    std::ifstream companion(folder.file("signal.cwrecord.symbolicated"));
    std::string line;
    ASSERT_TRUE(std::getline(companion, line));
    EXPECT_EQ(nlohmann::json::parse(line), expected);
    std::string more;
    EXPECT_FALSE(std::getline(companion, more));
    // Members keep their order on the line.
    EXPECT_NE(line.find(R"({"symbol":null,"raw_symbol":null,"offset":0,"library":null})"), std::string::npos);
    EXPECT_TRUE(folder.exists("exception.cwrecord.symbolicated"));
    EXPECT_FALSE(folder.exists("mach_exception.cwrecord.symbolicated"));
}

TEST(CWSymbolicationTest, NoCompanionsWithoutBinaryImages)
{
    for (const bool empty : {false, true}) {
        ReportFixture::TemporaryFolder temporary;
        ReportFixture::writeMetadata(temporary.path(), "session");
        ReportFixture::writeCrash(temporary.path(), "signal", 1, {{addressOf(reinterpret_cast<const void*>(&cwSymbolicationTestBefore))}});
        if (empty) {
            ReportFixture::writeFile(temporary.path() + "/binary_images.cwrecord", "");
        }
        auto resolver = std::make_shared<CWSymbolResolver>();
        std::make_shared<CWProcessReportOperation>(CWInternalReport::reportWithPath(temporary.path()), resolver)->start();
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
