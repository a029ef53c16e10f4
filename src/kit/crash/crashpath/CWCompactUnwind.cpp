#include "kit/crash/crashpath/CWCompactUnwind.h"

#include <cstring>

#include "kit/crash/crashpath/CWDwarf.h"
#include "kit/crash/crashpath/CWSDKLog.h"
#include "kit/crash/crashpath/CWSafeRead.h"
#include "kit/crash/crashpath/CWUnwind.h"

namespace {

constexpr uint32_t kFirstLevelEntrySize = 12;
constexpr uint32_t kRegularPage = 2;
constexpr uint32_t kCompressedPage = 3;

template <typename T> bool read(uint64_t address, T* value)
{
    return CWSafeRead(reinterpret_cast<const void*>(address), value, sizeof(T));
}

uint64_t& registerOf(CWUnwindCursor* cursor, int number)
{
    return cursor->context.registers[number];
}

} // namespace

bool CWCompactUnwindInit(CWCompactUnwindContext* context, uint64_t unwindInfo, uint64_t ehFrame, uint64_t loadAddress)
{
    if (reinterpret_cast<uintptr_t>(context) < 4096) {
        CWLOG_WARN("Error: invalid context passed to compact unwind init");
        return false;
    }
    if (unwindInfo < 4096) {
        CWLOG_WARN("Error: invalid unwind info passed to compact unwind init");
        return false;
    }
    if (loadAddress < 4096) {
        CWLOG_WARN("Error: invalid load address passed to compact unwind init");
        return false;
    }
    memset(context, 0, sizeof(*context));
    if (!read(unwindInfo, &context->header)) {
        CWLOG_WARN("Error: could not read memory contents of unwindInfo\n");
        return false;
    }
    if (context->header.version != 1) {
        CWLOG_WARN("Error: bad unwind_info structure version (%d != %d)\n", int32_t(context->header.version), 1);
        return false;
    }
    context->unwindInfo = unwindInfo;
    context->ehFrame = ehFrame;
    context->loadAddress = loadAddress;
    return true;
}

bool CWCompactUnwindLookup(CWCompactUnwindContext* context, uint64_t pc, CWCompactUnwindResult* result)
{
    const CWCompactUnwindHeader& header = context->header;
    const uint64_t target = pc - context->loadAddress;
    bool found = false;
    if (header.indexCount >= 2 && context->loadAddress <= pc) {
        uint32_t previous[3];
        if (!read(context->unwindInfo + header.indexOffset, &previous)) {
            return false;
        }
        for (uint32_t i = 1; i < header.indexCount && !found; ++i) {
            uint32_t entry[3];
            if (!read(context->unwindInfo + header.indexOffset + i * kFirstLevelEntrySize, &entry)) {
                return false;
            }
            if (previous[0] <= target && target < entry[0]) {
                context->functionOffset = previous[0];
                context->secondLevelOffset = previous[1];
                context->lsdaOffset = previous[2];
                context->nextFunctionOffset = entry[0];
                found = true;
            }
            memcpy(previous, entry, sizeof(entry));
        }
    }
    if (!found) {
        CWLOG_WARN("Unable to find pc in first level\n");
        return false;
    }
    CWLOG_DEBUG("Found first level (second => %u)\n", context->secondLevelOffset);
    if (!CWCompactUnwindLookupSecondLevel(context, pc, result)) {
        CWLOG_INFO("Second-level PC lookup failed\n");
        return false;
    }
    return true;
}

bool CWCompactUnwindLookupSecondLevel(CWCompactUnwindContext* context, uint64_t pc, CWCompactUnwindResult* result)
{
    uint32_t kind = 0;
    if (!read(context->unwindInfo + context->secondLevelOffset, &kind)) {
        return false;
    }
    if (kind == kCompressedPage) {
        CWLOG_INFO("Found a second level compressed header\n");
        return CWCompactUnwindLookupSecondLevelCompressed(context, pc, result);
    }
    if (kind == kRegularPage) {
        CWLOG_INFO("Found a second level regular header\n");
        CWLOG_WARN("Encountered a regular second-level page\n");
        return false;
    }
    CWLOG_ERROR("Unrecognized header kind - unable to continue\n");
    return false;
}

bool CWCompactUnwindLookupSecondLevelCompressed(
    CWCompactUnwindContext* context, uint64_t pc, CWCompactUnwindResult* result)
{
    const uint64_t page = context->unwindInfo + context->secondLevelOffset;
    uint16_t fields[4]; // entries offset, entry count, encodings offset, encoding count
    if (!read(page + 4, &fields)) {
        return false;
    }
    const uint64_t base = context->loadAddress + context->functionOffset;
    uint64_t pageTarget = 0;
    if (pc > base) {
        pageTarget = pc - base;
    } else if (pc < base) {
        CWLOG_WARN("Error: PC is invalid\n");
    }
    // The last entry whose function starts at or before the pc.
    int64_t low = 0;
    int64_t high = int64_t(fields[1]) - 1;
    int64_t match = -1;
    uint32_t entry = 0;
    while (low <= high) {
        const int64_t middle = (low + high) / 2;
        if (!read(page + fields[0] + middle * 4, &entry)) {
            return false;
        }
        if ((entry & 0xFFFFFF) <= pageTarget) {
            match = middle;
            low = middle + 1;
        } else {
            high = middle - 1;
        }
    }
    if (match < 0) {
        CWLOG_INFO("Unable to find PC in second level\n");
        return false;
    }
    read(page + fields[0] + match * 4, &entry);
    memset(result, 0, sizeof(*result));
    result->functionStart = base + (entry & 0xFFFFFF);
    uint32_t next = 0;
    if (match + 1 < fields[1] && read(page + fields[0] + (match + 1) * 4, &next)) {
        result->functionEnd = base + (next & 0xFFFFFF);
    } else {
        result->functionEnd = context->loadAddress + context->nextFunctionOffset;
    }
    if (pc < result->functionStart || pc >= result->functionEnd) {
        CWLOG_WARN("PC does not match computed function range\n");
        return false;
    }
    const uint32_t index = entry >> 24;
    const CWCompactUnwindHeader& header = context->header;
    const uint64_t encodingAddress = index < header.commonEncodingsCount
        ? context->unwindInfo + header.commonEncodingsOffset + index * 4
        : page + fields[2] + (index - header.commonEncodingsCount) * 4;
    if (!read(encodingAddress, &result->encoding)) {
        return false;
    }
    if (result->encoding == 0) {
        CWLOG_INFO("Entry has has no unwind info\n");
        return false;
    }
    return true;
}

bool CWCompactUnwindComputeStackSize(uint32_t encoding, uint64_t functionStart, bool indirect, uint64_t* size)
{
    const uint32_t field = (encoding >> 16) & 0xFF;
    if (!indirect) {
        *size = uint64_t(field) * 8;
        return true;
    }
    uint32_t immediate = 0;
    if (!read(functionStart + field, &immediate)) {
        CWLOG_WARN("Error: unable to read subl value\n");
        return false;
    }
    *size = uint64_t(immediate) + uint64_t((encoding >> 13) & 0x7) * 8;
    return true;
}

bool CWCompactUnwindDecompressPermutation(uint32_t count, uint32_t permutation, uint32_t digits[6])
{
    memset(digits, 0, 6 * sizeof(uint32_t));
    uint32_t p = permutation;
    switch (count) {
    case 6:
    case 5:
        digits[0] = p / 120;
        digits[1] = p % 120 / 24;
        digits[2] = p % 24 / 6;
        digits[3] = p % 6 / 2;
        digits[4] = p % 2;
        return true;
    case 4:
        digits[0] = p / 60;
        digits[1] = p % 60 / 12;
        digits[2] = p % 12 / 3;
        digits[3] = p % 3;
        return true;
    case 3:
        digits[0] = p / 20;
        digits[1] = p % 20 / 4;
        digits[2] = p % 4;
        return true;
    case 2:
        digits[0] = p / 5;
        digits[1] = p % 5;
        return true;
    case 1:
        digits[0] = p;
        return true;
    case 0:
        return true;
    default:
        return false;
    }
}

bool CWCompactUnwindRemapRegisters(uint32_t count, const uint32_t digits[6], uint32_t registers[6])
{
    if (count > 6) {
        CWLOG_WARN("Error: invalid register number count %d\n", int32_t(count));
        return false;
    }
    bool used[7] = {};
    for (uint32_t i = 0; i < count; ++i) {
        uint32_t unused = 0;
        registers[i] = 0;
        for (uint32_t number = 1; number <= 6; ++number) {
            if (!used[number] && unused++ == digits[i]) {
                registers[i] = number;
                used[number] = true;
                break;
            }
        }
        if (registers[i] == 0) {
            return false;
        }
    }
    return true;
}

bool CWCompactUnwindRestoreRegisters(
    CWUnwindCursor* cursor, uint64_t stackSize, uint32_t count, const uint32_t registers[6])
{
    const uint64_t area = registerOf(cursor, CWRegisterStackPointer) + stackSize - 8 - count * 8;
    for (uint32_t i = 0; i < count; ++i) {
        const uint64_t slot = area + i * 8;
        if (registers[i] != CWCompactUnwindRBP) {
            CWLOG_WARN("Error: skipping a restore of register %d at %p\n", int32_t(registers[i]), slot);
            continue;
        }
        uint64_t value = 0;
        if (!read(slot, &value)) {
            CWLOG_WARN("Error: unable to read memory to set register\n");
            return false;
        }
        registerOf(cursor, CWRegisterFramePointer) = value;
    }
    return true;
}

bool CWCompactUnwindFrameless(uint32_t encoding, CWUnwindCursor* cursor, uint64_t functionStart, bool indirect)
{
    CWLOG_WARN("Frameless unwind encountered with encoding %x\n", encoding);
    uint64_t stackSize = 0;
    if (!CWCompactUnwindComputeStackSize(encoding, functionStart, indirect, &stackSize)) {
        CWLOG_WARN("Error: unable to compute stack size for encoding %x\n", encoding);
        return false;
    }
    const uint32_t count = (encoding >> 10) & 0x7;
    uint32_t digits[6];
    if (count == 7) {
        CWLOG_WARN("Error: unhandled number of register permutations for encoding %x\n", encoding);
        return false;
    }
    if (!CWCompactUnwindDecompressPermutation(count, encoding & 0x3FF, digits)) {
        CWLOG_WARN("Error: unable to decompress registers %x\n", encoding);
        return false;
    }
    uint32_t registers[6] = {};
    if (!CWCompactUnwindRemapRegisters(count, digits, registers)) {
        CWLOG_WARN("Error: unable to remap registers %x\n", encoding);
        return false;
    }
    if (!CWCompactUnwindRestoreRegisters(cursor, stackSize, count, registers)) {
        CWLOG_WARN("Error: unable to restore registers\n");
        return false;
    }
    const uint64_t sp = registerOf(cursor, CWRegisterStackPointer);
    const uint64_t returnAddress = sp + stackSize - 8;
    CWLOG_WARN("SP is %p and we are reading %p\n", sp, returnAddress);
    uint64_t pc = 0;
    if (!read(returnAddress, &pc)) {
        CWLOG_WARN("Error: unable to read memory to set register\n");
        return false;
    }
    CWLOG_WARN("Read PC to be %p\n", pc);
    if (pc < 4096) {
        CWLOG_WARN("Error: computed PC is invalid\n");
        return false;
    }
    registerOf(cursor, CWRegisterReturnAddress) = pc;
    registerOf(cursor, CWRegisterStackPointer) = returnAddress + 8;
    cursor->pcIsReturnAddress = 1;
    return true;
}

bool CWCompactUnwindDwarfFrame(CWCompactUnwindContext* context, uint32_t offset, CWUnwindCursor* cursor)
{
    CWLOG_INFO("Trying to read dwarf data with offset %lx\n");
    CWDwarfCIE cie;
    CWDwarfFDE fde;
    if (!CWDwarfParseFDERecord(&fde, true, &cie, context->ehFrame + offset, 0)) {
        CWLOG_ERROR("Unable to init FDE\n");
        return false;
    }
    const uint64_t pc = registerOf(cursor, CWRegisterReturnAddress);
    const uint64_t lookupPc = pc - (cursor->pcIsReturnAddress ? 1 : 0);
    if (CWDwarfUnwindComputeRegisters(&cie, &fde, &cursor->context, lookupPc, 0) != CWDwarfStepDone) {
        CWLOG_ERROR("Failed to compute DWARF registers\n");
        return false;
    }
    cursor->pcIsReturnAddress = cie.isSignalFrame ? 0 : 1;
    return true;
}

bool CWCompactUnwindComputeRegisters(
    CWCompactUnwindContext* context, const CWCompactUnwindResult* result, CWUnwindCursor* cursor)
{
    if (reinterpret_cast<uintptr_t>(cursor) < 4096 || reinterpret_cast<uintptr_t>(result) < 4096) {
        CWLOG_ERROR("invalid inputs\n");
        return false;
    }
    const uint32_t encoding = result->encoding;
    CWLOG_DEBUG("Computing registers for encoding %x\n", encoding);
    switch ((encoding >> 24) & 0xF) {
    case 1:
        return CWCompactUnwindBPFrame(cursor);
    case 2:
        return CWCompactUnwindFrameless(encoding, cursor, result->functionStart, false);
    case 3:
        return CWCompactUnwindFrameless(encoding, cursor, result->functionStart, true);
    case 4:
        return CWCompactUnwindDwarfFrame(context, encoding & 0xFFFFFF, cursor);
    default:
        CWLOG_ERROR("Invalid encoding %x\n", encoding);
        return false;
    }
}

bool CWCompactUnwindLookupAndCompute(CWCompactUnwindContext* context, CWUnwindCursor* cursor)
{
    const uint64_t pc = registerOf(cursor, CWRegisterReturnAddress);
    const uint64_t lookupPc = pc - (cursor->pcIsReturnAddress ? 1 : 0);
    if (lookupPc < context->loadAddress) {
        return false;
    }
    CWCompactUnwindResult result;
    if (!CWCompactUnwindLookup(context, lookupPc, &result)) {
        CWLOG_INFO("Unable to lookup compact unwind for pc %p\n", lookupPc);
        return false;
    }
    if (!CWCompactUnwindComputeRegisters(context, &result, cursor)) {
        CWLOG_ERROR("Failed to compute registers\n");
        return false;
    }
    return true;
}
