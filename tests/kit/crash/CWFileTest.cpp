#include <gtest/gtest.h>

#include <cerrno>
#include <climits>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "CrashReportFolder.h"
#include "kit/crash/CWRecordReader.h"
#include "kit/crash/crashpath/CWFile.h"

namespace {

// Writes through a fresh file in the report folder and answers what reached disk.
std::string written(const CrashReportFolder& folder, const std::function<void(CWFile*)>& write, bool buffered = false)
{
    CWFile file;
    EXPECT_TRUE(CWFileInitWithPathMode(&file, folder.file("out.cwrecord").c_str(), false, buffered));
    write(&file);
    EXPECT_TRUE(CWFileClose(&file));
    return folder.read("out.cwrecord");
}

void record(CWFile* file, const char* kind, bool array, const std::function<void(CWFile*)>& fields)
{
    CWFileWriteRecordStart(file, kind);
    array ? CWFileWriteArrayOpen(file) : CWFileWriteObjectOpen(file);
    fields(file);
    array ? CWFileWriteArrayClose(file) : CWFileWriteObjectClose(file);
    CWFileWriteObjectClose(file);
    CWFileWriteLineEnd(file);
}

struct ScriptedWrites {
    std::vector<ssize_t> answers; // negative: fail with `error`
    int error = EIO;
    size_t calls = 0;
    std::string received;

    static ssize_t write(void* context, const char* bytes, size_t length)
    {
        auto* self = static_cast<ScriptedWrites*>(context);
        const ssize_t answer = self->answers[std::min(self->calls++, self->answers.size() - 1)];
        if (answer < 0) {
            errno = self->error;
            return -1;
        }
        self->received.append(bytes, std::min(length, static_cast<size_t>(answer)));
        return answer;
    }
};

} // namespace

TEST(CWFileTest, RecordsFollowTheCommaAndNestingRules)
{
    CrashReportFolder folder;
    const std::string text = written(folder, [](CWFile* file) {
        record(file, "kind", false, [](CWFile*) {});
        record(file, "names", true, [](CWFile*) {});
        record(file, "threads", true, [](CWFile* file) {
            CWFileWriteObjectOpen(file);
            CWFileWriteHashUnsigned(file, "a", 1);
            CWFileWriteKey(file, "stack");
            CWFileWriteArrayOpen(file);
            CWFileWriteArrayUnsigned(file, 1);
            CWFileWriteArrayUnsigned(file, 2);
            CWFileWriteArrayClose(file);
            CWFileWriteHashBool(file, "crashed", true);
            CWFileWriteObjectClose(file);
            CWFileWriteObjectOpen(file);
            CWFileWriteHashString(file, "name", nullptr);
            CWFileWriteHashStringIfNotEmpty(file, "skipped", "");
            CWFileWriteObjectClose(file);
        });
        record(file, "numbers", false, [](CWFile* file) {
            CWFileWriteHashUnsigned(file, "max", UINT64_MAX);
            CWFileWriteHashSigned(file, "minus", -1);
            CWFileWriteHashSigned(file, "min", INT64_MIN);
            CWFileWriteHashUnsigned(file, "zero", 0);
        });
    });
    EXPECT_EQ(text,
        "{\"kind\":{}}\n"
        "{\"names\":[]}\n"
        "{\"threads\":[{\"a\":1,\"stack\":[1,2],\"crashed\":true},{\"name\":null}]}\n"
        "{\"numbers\":{\"max\":18446744073709551615,\"minus\":-1,\"min\":-9223372036854775808,\"zero\":0}}\n");
}

TEST(CWFileTest, AnyTextReadsBackAsValidJson)
{
    CrashReportFolder folder;
    const std::vector<std::pair<std::string, std::string>> cases = {
        {"/home/ana/Pictures/Grüße 1.jpg", "/home/ana/Pictures/Grüße 1.jpg"},
        {"say \"cheese\"", "say \"cheese\""},
        {"C:\\photos\\", "C:\\photos\\"},
        {"two\nlines\ttab\x01\x1f", "two\nlines\ttab\x01\x1f"},
        {"bad \xff byte \xc3", "bad \xef\xbf\xbd byte \xef\xbf\xbd"},
        {"overlong \xc0\xaf and surrogate \xed\xa0\x80",
            "overlong \xef\xbf\xbd\xef\xbf\xbd and surrogate \xef\xbf\xbd\xef\xbf\xbd\xef\xbf\xbd"},
    };
    written(folder, [&](CWFile* file) {
        for (const auto& textCase : cases) {
            const std::string& input = textCase.first;
            record(file, "text", false, [&](CWFile* file) {
                CWFileWriteHashString(file, "plain", input.c_str());
                CWFileWriteHashHexString(file, "hex", input.c_str());
                CWFileWriteKey(file, "list");
                CWFileWriteArrayOpen(file);
                CWFileWriteArrayString(file, input.c_str());
                CWFileWriteArrayHexString(file, input.c_str());
                CWFileWriteArrayClose(file);
            });
        }
    });
    const auto records = folder.records("out.cwrecord", "text");
    ASSERT_EQ(records.size(), cases.size());
    for (size_t i = 0; i < cases.size(); ++i) {
        SCOPED_TRACE(cases[i].first);
        EXPECT_EQ(records[i]["plain"], cases[i].second);
        EXPECT_EQ(records[i]["list"][0], cases[i].second);
        EXPECT_EQ(CWHexDecode(records[i]["hex"].get<std::string>()), cases[i].first);
        EXPECT_EQ(CWHexDecode(records[i]["list"][1].get<std::string>()), cases[i].first);
    }
}

TEST(CWFileTest, HexDecodingStopsAtTheFirstPairThatIsNotHex)
{
    const std::vector<std::pair<std::string, std::string>> cases = {
        {"48656C6c6F", "Hello"},
        {"", ""},
        {"4865zz6c", "He"},
        {"486", "H"},
        {"g0", ""},
        {"00ff", std::string("\0\xff", 2)},
    };
    for (const auto& [hex, bytes] : cases) {
        EXPECT_EQ(CWHexDecode(hex), bytes) << hex;
    }
    char hex[7];
    CWHexEncodeBytes("\0\x7f\xff", 3, hex);
    EXPECT_STREQ(hex, "007fff");
}

TEST(CWFileTest, BufferedWritesFlushAtTheBufferLimitAndLoseNothing)
{
    CrashReportFolder folder;
    // {bytes written in one call, bytes on disk before closing}
    const std::vector<std::pair<size_t, uint64_t>> cases = {{998, 0}, {999, 999}, {1000, 999}, {2500, 1998}};
    for (const auto& [size, flushedBytes] : cases) {
        const size_t length = size;
        const uint64_t flushed = flushedBytes;
        SCOPED_TRACE(length);
        std::string bytes(length, 'x');
        for (size_t i = 0; i < length; ++i) {
            bytes[i] = static_cast<char>('a' + i % 26);
        }
        const std::string text = written(
            folder,
            [&](CWFile* file) {
                EXPECT_TRUE(CWFileWriteBytes(file, bytes.data(), bytes.size()));
                EXPECT_EQ(file->bytesWritten, flushed);
                EXPECT_EQ(file->fill, length - flushed);
            },
            true);
        EXPECT_EQ(text, bytes);
    }
}

TEST(CWFileTest, AppendingStartsTheOffsetAtTheFileSize)
{
    CrashReportFolder folder;
    const std::string path = folder.file("append.cwrecord");
    for (int round = 0; round < 2; ++round) {
        CWFile file;
        ASSERT_TRUE(CWFileInit(&file, path.c_str(), true));
        CWFileWriteBytes(&file, "12345", 5);
        uint64_t offset = 0;
        ASSERT_TRUE(CWFileCloseWithOffset(&file, &offset));
        EXPECT_EQ(offset, 5u * (round + 1));
        EXPECT_EQ(file.descriptor, -1);
    }
    CWFile missing;
    EXPECT_FALSE(CWFileInit(&missing, folder.file("no/such/folder.cwrecord").c_str(), false));
    EXPECT_FALSE(CWFileInit(nullptr, path.c_str(), false));
    EXPECT_NE(
        folder.read("sdk.log").find("] Error: Unable to open file No such file or directory\n"), std::string::npos);
    EXPECT_NE(folder.read("sdk.log").find("] Error: file is null\n"), std::string::npos);
}

TEST(CWFileTest, WriteLoopRetriesOnlyWhatMakesSense)
{
    CrashReportFolder folder;
    struct Case {
        const char* name;
        std::vector<ssize_t> answers;
        int error;
        bool ok;
        size_t calls;
        const char* logged;
    };
    const std::vector<Case> cases = {
        {"zero", {0}, 0, false, 1, "Error: exited write loop without success"},
        {"over-claiming", {11}, 0, false, 1, "Error: length doesn't make sense (%zd, %zu)"},
        {"partial", {3, 3, 4}, 0, true, 3, nullptr},
        {"interrupted", {-1, 10}, EINTR, true, 2, nullptr},
        {"failing", {-1}, EIO, false, 1, "Error: exited write loop without success"},
        {"one byte at a time", {1}, 0, true, 10, nullptr},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        ScriptedWrites writes{c.answers, c.error, 0, {}};
        const bool ok = CWFileLoopWithWriteBlock("0123456789", 10, CWWriteBlock{ScriptedWrites::write, &writes});
        EXPECT_EQ(ok, c.ok);
        EXPECT_EQ(writes.calls, c.calls);
        if (ok) {
            EXPECT_EQ(writes.received, "0123456789");
        }
        if (c.logged != nullptr) {
            EXPECT_NE(folder.read("sdk.log").find(c.logged), std::string::npos);
        }
    }
    // Fifty attempts at most, even when each one makes progress.
    ScriptedWrites slow{{1}, 0, 0, {}};
    const std::string sixty(60, 'y');
    EXPECT_FALSE(CWFileLoopWithWriteBlock(sixty.data(), sixty.size(), CWWriteBlock{ScriptedWrites::write, &slow}));
    EXPECT_EQ(slow.calls, 50u);
}

TEST(CWFileTest, ReaderSkipsOnlyTheLinesThatDoNotParse)
{
    CrashReportFolder folder;
    {
        std::FILE* out = std::fopen(folder.file("mixed.cwrecord").c_str(), "wb");
        std::fputs("{\"kv\":{\"key\":\"61\",\"value\":\"31\"}}\n", out);
        std::fputs("garbage that is not json\n", out);
        std::fputs("{\"kv\":{\"key\":\"\xff\",\"value\":\"32\"}}\n", out);
        std::fputs("{\"log\":{\"msg\":\"78\"}}\n", out);
        std::fputs("{\"kv\":{\"key\":\"62\",\"value\":\"33\"}}\n", out);
        std::fputs("{\"kv\":{\"key\":\"63\",\"val", out);
        std::fclose(out);
    }
    const auto all = CWFileReadSections(folder.file("mixed.cwrecord").c_str(), true);
    ASSERT_TRUE(all.has_value());
    EXPECT_EQ(all->size(), 3u);
    const auto kv = folder.records("mixed.cwrecord", "kv");
    ASSERT_EQ(kv.size(), 2u);
    EXPECT_EQ(kv[0]["key"], "61");
    EXPECT_EQ(kv[1]["key"], "62");
    EXPECT_TRUE(folder.exists("mixed.cwrecord"));

    EXPECT_FALSE(CWFileReadSections(folder.file("missing.cwrecord").c_str(), true).has_value());
    EXPECT_FALSE(CWFileReadSections(reinterpret_cast<const char*>(16), true).has_value());
    EXPECT_NE(folder.read("sdk.log").find("] Error: input path is invalid\n"), std::string::npos);
}
