#include <gtest/gtest.h>

#include <cstring>
#include <initializer_list>
#include <string>
#include <vector>

#include "CallFrameBytes.h"
#include "CrashReportFolder.h"
#include "kit/crash/crashpath/CWDwarf.h"
#include "kit/crash/crashpath/CWUnwind.h"

namespace {

struct Step {
    CWDwarfStep result;
    CWMachineContext context;
};

// Steps a frame whose stack holds `stack` at rsp, with the pc at `pcOffset`.
Step step(const Bytes& info, uint64_t pcOffset, std::vector<uint64_t>& stack)
{
    Step out{CWDwarfStepFailed, {}};
    out.context.registers[CWRegisterRSP] = reinterpret_cast<uintptr_t>(stack.data());
    out.context.registers[CWRegisterRIP] = kFunction + pcOffset;
    out.context.registers[CWRegisterRBP] = 0x1111;
    CWDwarfCIE cie;
    CWDwarfFDE fde;
    if (!CWDwarfParseFDERecord(&fde, true, &cie, fdeAddress(info), 0)) {
        return out;
    }
    out.result = CWDwarfUnwindComputeRegisters(&cie, &fde, &out.context, kFunction + pcOffset, 0);
    return out;
}

bool evaluate(const std::vector<uint8_t>& operations, uint64_t initial, uint64_t* result)
{
    Bytes expression;
    expression.u8({static_cast<int>(operations.size())}).raw(operations.data(), operations.size());
    CWMachineContext context{};
    context.registers[CWRegisterRBX] = 1000;
    return CWDwarfEvalulateExpression(expression.address(), &context, initial, result);
}

} // namespace

TEST(CWDwarfTest, ATypicalFrameGivesTheCallersRegisters)
{
    CrashReportFolder folder;
    // push rbp at offset 0: CFA = rsp + 16, rbp at CFA - 16; mov rsp, rbp at 1.
    const Bytes info = frameInfo({0x41, 0x0E, 16, 0x86, 2, 0x43, 0x0D, 6});
    std::vector<uint64_t> stack = {0x2222, 0x7f0000005555, 0};
    const Step inside = step(info, 2, stack);
    ASSERT_EQ(inside.result, CWDwarfStepDone);
    EXPECT_EQ(inside.context.registers[CWRegisterRIP], 0x7f0000005555u);
    EXPECT_EQ(inside.context.registers[CWRegisterRBP], 0x2222u);
    EXPECT_EQ(inside.context.registers[CWRegisterRSP], reinterpret_cast<uintptr_t>(stack.data()) + 16);

    // At the first instruction only the CIE's rules hold: the return address is at rsp.
    std::vector<uint64_t> entry = {0x7f0000006666, 0};
    const Step first = step(info, 0, entry);
    ASSERT_EQ(first.result, CWDwarfStepDone);
    EXPECT_EQ(first.context.registers[CWRegisterRIP], 0x7f0000006666u);
    EXPECT_EQ(first.context.registers[CWRegisterRBP], 0x1111u);
    EXPECT_EQ(first.context.registers[CWRegisterRSP], reinterpret_cast<uintptr_t>(entry.data()) + 8);
}

TEST(CWDwarfTest, InstructionsRunUpToThePc)
{
    CrashReportFolder folder;
    std::vector<uint64_t> stack(8, 0x7f0000005555);
    stack[3] = 0x7f0000007777;
    // Two advances of 4 and 3 reach location 7; the CFA offset 32 holds from there on.
    const Bytes advances = frameInfo({0x44, 0x43, 0x0E, 32});
    EXPECT_EQ(step(advances, 6, stack).context.registers[CWRegisterRSP], reinterpret_cast<uintptr_t>(stack.data()) + 8);
    EXPECT_EQ(step(advances, 7, stack).context.registers[CWRegisterRIP], 0x7f0000007777u);

    // remember_state / restore_state around an early return's epilogue.
    const Bytes remembered = frameInfo({0x41, 0x0E, 32, 0x41, 0x0A, 0x0E, 8, 0x41, 0x0B});
    EXPECT_EQ(
        step(remembered, 2, stack).context.registers[CWRegisterRSP], reinterpret_cast<uintptr_t>(stack.data()) + 8);
    EXPECT_EQ(step(remembered, 3, stack).context.registers[CWRegisterRIP], 0x7f0000007777u);

    // restore brings back the CIE's rule: the return address at CFA - 8 again.
    const Bytes restored = frameInfo({0x41, 0x0E, 32, 0x90, 2, 0x41, 0xD0});
    stack[2] = 0x7f0000008888;
    EXPECT_EQ(step(restored, 1, stack).context.registers[CWRegisterRIP], 0x7f0000008888u);
    EXPECT_EQ(step(restored, 2, stack).context.registers[CWRegisterRIP], 0x7f0000007777u);

    // val_offset: rbp is the value CFA - 16, not a word stored there.
    const Bytes value = frameInfo({0x0E, 16, 0x14, 6, 2});
    EXPECT_EQ(step(value, 0, stack).context.registers[CWRegisterRBP], reinterpret_cast<uintptr_t>(stack.data()));
    // GNU_args_size is skipped with its operand.
    EXPECT_EQ(step(frameInfo({0x2E, 0x80, 0x01, 0x0E, 32}), 0, stack).result, CWDwarfStepDone);
}

TEST(CWDwarfTest, StepsThatMakeNoProgressOrReachTheEndStop)
{
    CrashReportFolder folder;
    std::vector<uint64_t> stack(4, 0x7f0000005555);
    EXPECT_EQ(step(frameInfo({0x0E, 0}), 0, stack).result, CWDwarfStepFailed);
    EXPECT_NE(folder.read("sdk.log").find("] Error: Stack pointer hasn't changed\n"), std::string::npos);

    const size_t before = folder.read("sdk.log").size();
    EXPECT_EQ(step(frameInfo({0x07, 16}), 0, stack).result, CWDwarfStepEndOfStack);
    EXPECT_EQ(folder.read("sdk.log").size(), before);

    EXPECT_EQ(step(frameInfo({0x05, 17, 1}), 0, stack).result, CWDwarfStepFailed);
    EXPECT_NE(
        folder.read("sdk.log").find("] Error: Found an invalid DW_CFA_offset register number\n"), std::string::npos);
    EXPECT_EQ(step(frameInfo({0x2F}), 0, stack).result, CWDwarfStepFailed);
    EXPECT_NE(folder.read("sdk.log").find("] Error: Unimplemented DWARF instruction 0x2f\n"), std::string::npos);
}

TEST(CWDwarfTest, AugmentationsParseOnlyInTheirKnownForms)
{
    CrashReportFolder folder;
    uint64_t personality = 0x7f00000abcde;
    Bytes cie;
    cie.u32(0).u8({1}).text("zPLR").u8({1, 0x78, 16, 11, 0x00}).u64(personality).u8({0x1B, 0x00, 0, 0, 0});
    Bytes record;
    record.u32(static_cast<uint32_t>(cie.data.size())).raw(cie.data.data(), cie.data.size());
    CWDwarfCIE parsed;
    ASSERT_TRUE(CWDwarfParseCIERecord(&parsed, record.address(), 0));
    EXPECT_EQ(parsed.personality, personality);
    EXPECT_EQ(parsed.lsdaEncoding, 0x1B);
    EXPECT_EQ(parsed.pointerEncoding, 0x00);
    EXPECT_EQ(parsed.dataAlignment, -8);

    const Bytes plain = frameInfo({}, "eh");
    EXPECT_FALSE(CWDwarfParseCIERecord(&parsed, plain.address(), 0));
    EXPECT_NE(folder.read("sdk.log").find("] Error: Unimplemented: augmentation string eh\n"), std::string::npos);
}

TEST(CWDwarfTest, NumbersUseTheWholeSixtyFourBits)
{
    const Bytes big = Bytes().u8({0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0x01});
    uint64_t cursor = big.address();
    uint64_t value = 0;
    ASSERT_TRUE(CWDwarfReadULEB128(&cursor, big.address() + 10, &value));
    EXPECT_EQ(value, UINT64_MAX);
    const Bytes tooLong = Bytes().u8({0x80, 0x80, 0x80, 0x80, 0x80, 0x80, 0x80, 0x80, 0x80, 0x80, 0x01});
    cursor = tooLong.address();
    EXPECT_FALSE(CWDwarfReadULEB128(&cursor, tooLong.address() + 11, &value));
    const Bytes negative = Bytes().u8({0x80, 0x7F});
    cursor = negative.address();
    int64_t signedValue = 0;
    ASSERT_TRUE(CWDwarfReadSLEB128(&cursor, negative.address() + 2, &signedValue));
    EXPECT_EQ(signedValue, -128);
    // A rule offset past 32 bits stays exact.
    const Bytes wide = Bytes().u8({0x80, 0x80, 0x80, 0x80, 0x10});
    cursor = wide.address();
    ASSERT_TRUE(CWDwarfReadULEB128(&cursor, wide.address() + 5, &value));
    EXPECT_EQ(value, uint64_t(1) << 32);
}

TEST(CWDwarfTest, ExpressionOperations)
{
    CrashReportFolder folder;
    const uint64_t word = 0x1122334455667788;
    const uint64_t wordAddress = reinterpret_cast<uintptr_t>(&word);
    std::vector<uint8_t> derefWord = {0x0E};
    derefWord.insert(derefWord.end(), reinterpret_cast<const uint8_t*>(&wordAddress),
        reinterpret_cast<const uint8_t*>(&wordAddress) + 8);
    std::vector<uint8_t> derefByte = derefWord;
    derefWord.push_back(0x06);
    derefByte.insert(derefByte.end(), {0x94, 1});
    const std::vector<std::pair<std::vector<uint8_t>, uint64_t>> cases = {
        {{0x35}, 5}, // lit5
        {{0x12, 0x22}, 20}, // dup plus (initial 10)
        {{0x33, 0x16, 0x1C}, uint64_t(-7)}, // lit3 swap minus: 3 - 10
        {{0x3C, 0x1A}, 8}, // lit12 and 10
        {{0x23, 0x90, 0x01}, 154}, // plus_uconst 144
        {{0x32, 0x24}, 40}, // lit2 shl
        {{0x31, 0x25}, 5}, // lit1 shr
        {{0x3A, 0x29}, 1}, // lit10 eq
        {{0x3B, 0x2A}, 0}, // lit11 ge: 10 >= 11
        {{0x09, 0xFF, 0x2B}, 1}, // const1s -1, gt: 10 > -1 (signed)
        {{0x3A, 0x2C}, 1}, // lit10 le
        {{0x3A, 0x2D}, 0}, // lit10 lt
        {{0x3B, 0x2E}, 1}, // lit11 ne
        {{0x08, 0xFF}, 0xFF}, // const1u
        {{0x0B, 0x00, 0x80}, uint64_t(-32768)}, // const2s
        {{0x0C, 0x01, 0x00, 0x00, 0x80}, 0x80000001}, // const4u
        {{0x0D, 0xFE, 0xFF, 0xFF, 0xFF}, uint64_t(-2)},
        {{0x0E, 1, 2, 3, 4, 5, 6, 7, 8}, 0x0807060504030201},
        {{0x73, 0x7E}, 998}, // breg3 (rbx = 1000) - 2
        {derefWord, word},
        {derefByte, 0x88},
    };
    for (const auto& [operations, expected] : cases) {
        uint64_t result = 0;
        EXPECT_TRUE(evaluate(operations, 10, &result)) << int(operations[0]);
        EXPECT_EQ(result, expected) << int(operations[0]);
    }
    uint64_t result = 0;
    EXPECT_FALSE(evaluate({0x22, 0x22}, 10, &result));
    EXPECT_NE(folder.read("sdk.log").find("] Error: DWARF machine pointers invalid\n"), std::string::npos);
    EXPECT_FALSE(evaluate({0x81, 0x00}, 10, &result));
    EXPECT_NE(folder.read("sdk.log").find("] Error: DW_OP_breg invalid register number\n"), std::string::npos);
    EXPECT_FALSE(evaluate({0x0E, 0, 0, 0, 0, 0, 0, 0, 0, 0x06}, 10, &result));
    EXPECT_NE(folder.read("sdk.log").find("] Error: DW_OP_deref failed to read memory\n"), std::string::npos);
    EXPECT_FALSE(evaluate({0x96}, 10, &result));
    EXPECT_NE(folder.read("sdk.log").find("] Error: Unrecognized DWARF expression opcode 0x96\n"), std::string::npos);

    // The initial value is the first of a hundred entries.
    EXPECT_TRUE(evaluate(std::vector<uint8_t>(99, 0x30), 10, &result));
    EXPECT_FALSE(evaluate(std::vector<uint8_t>(100, 0x30), 10, &result));
    EXPECT_NE(folder.read("sdk.log").find("] Error: DWARF machine stack invalid\n"), std::string::npos);
}

TEST(CWDwarfTest, TheSearchTableFindsTheFunctionOfAPc)
{
    CrashReportFolder folder;
    // One buffer laid out like a linked image: ".eh_frame_hdr" with its sorted
    // table, then ".eh_frame" with a CIE and two FDEs. Both functions sit after
    // the buffer so that every offset fits the table's 4-byte fields.
    const Bytes cfi = frameInfo({0x41, 0x0E, 16});
    std::vector<uint8_t> image(4096 + 0x400, 0);
    const uint64_t header = reinterpret_cast<uintptr_t>(image.data());
    const uint64_t frames = header + 64;
    const uint64_t first = header + 4096;
    const uint64_t second = first + 0x200;
    // The FDE of the test frame info, once for each function.
    uint32_t cieLength = 0;
    memcpy(&cieLength, cfi.data.data(), 4);
    const size_t cieSize = 4 + cieLength;
    const size_t fdeSize = cfi.data.size() - cieSize;
    memcpy(image.data() + 64, cfi.data.data(), cfi.data.size());
    std::vector<uint8_t> secondFde(cfi.data.begin() + cieSize, cfi.data.end());
    const uint32_t secondCiePointer = static_cast<uint32_t>(cieSize + fdeSize + 4);
    memcpy(secondFde.data() + 4, &secondCiePointer, 4);
    memcpy(image.data() + 64 + cfi.data.size(), secondFde.data(), secondFde.size());
    const uint64_t firstFde = frames + cieSize;
    const uint64_t secondFdeAddress = firstFde + fdeSize;
    memcpy(reinterpret_cast<void*>(firstFde + 8), &first, 8);
    memcpy(reinterpret_cast<void*>(secondFdeAddress + 8), &second, 8);

    auto writeTable = [&](uint8_t tableEncoding) {
        Bytes table;
        table.u8({1, 0x1B, 0x03, tableEncoding});
        table.u32(static_cast<uint32_t>(frames - (header + 4)));
        table.u32(2);
        for (const auto& [function, fde] : {std::pair{first, firstFde}, std::pair{second, secondFdeAddress}}) {
            table.u32(static_cast<uint32_t>(function - header)).u32(static_cast<uint32_t>(fde - header));
        }
        memcpy(image.data(), table.data.data(), table.data.size());
    };
    writeTable(0x3B);
    uint64_t cursor = header + 4;
    EXPECT_EQ(CWParseAddressWithEncodingAndAdvance(&cursor, 0x1B, header), frames);
    cursor = header + 12;
    EXPECT_EQ(CWParseAddressWithEncodingAndAdvance(&cursor, 0x3B, header), first);

    uint64_t fde = 0;
    EXPECT_FALSE(CWEhFrameHeaderFindFDE(header, first - 1, &fde));
    ASSERT_TRUE(CWEhFrameHeaderFindFDE(header, first, &fde));
    EXPECT_EQ(fde, firstFde);
    ASSERT_TRUE(CWEhFrameHeaderFindFDE(header, second + 0x50, &fde));
    EXPECT_EQ(fde, secondFdeAddress);

    // A step inside the second function works; one past its end finds no function.
    std::vector<uint64_t> stack = {0, 0x7f0000005555, 0};
    const CWBinaryImageRange range{header, 0x2000, header, frames};
    CWUnwindCursor unwind;
    CWMachineContext context{};
    context.registers[CWRegisterRSP] = reinterpret_cast<uintptr_t>(stack.data());
    CWUnwindInit(&unwind, &context, false);
    EXPECT_EQ(CWUnwindStepWithEhFrame(&unwind, &range, second + 2), CWDwarfStepDone);
    EXPECT_EQ(CWUnwindCurrentPC(&unwind), 0x7f0000005555u);
    CWUnwindInit(&unwind, &context, false);
    EXPECT_EQ(CWUnwindStepWithEhFrame(&unwind, &range, second + 0x100), CWDwarfStepFailed);

    writeTable(0x1B);
    EXPECT_FALSE(CWEhFrameHeaderFindFDE(header, first, &fde));
    EXPECT_NE(folder.read("sdk.log").find("] Error: unsupported .eh_frame_hdr table encoding 1b\n"), std::string::npos);
}
