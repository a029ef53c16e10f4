#include "kit/crash/crashpath/CWUnwind.h"

#include <cstring>

#include "kit/crash/crashpath/CWDwarf.h"
#include "kit/crash/crashpath/CWSDKLog.h"
#include "kit/crash/crashpath/CWSafeRead.h"

namespace {

// The only table layout the linker writes: pc-relative eh_frame_ptr, then
// pairs of 4-byte signed offsets from the section's start.
constexpr uint8_t kTableEncoding = 0x3B;

uint64_t& pcOf(CWUnwindCursor* cursor)
{
    return cursor->context.registers[CWRegisterReturnAddress];
}

uint64_t& spOf(CWUnwindCursor* cursor)
{
    return cursor->context.registers[CWRegisterStackPointer];
}

uint64_t& fpOf(CWUnwindCursor* cursor)
{
    return cursor->context.registers[CWRegisterFramePointer];
}

bool fail()
{
    CWLOG_ERROR("Failed to advance to the next frame\n");
    return false;
}

// Step 8 of every call: check the new frame, count it and its repeats.
bool acceptFrame(CWUnwindCursor* cursor)
{
    const uint64_t pc = pcOf(cursor);
    if (pc < 4096) {
        return false;
    }
    if (spOf(cursor) < 4096) {
        CWLOG_WARN("Error: SP (%p) isn't a valid pointer\n", spOf(cursor));
        return false;
    }
    cursor->repeatCount = cursor->framesStepped > 0 && cursor->lastPc == pc ? cursor->repeatCount + 1 : 0;
    ++cursor->framesStepped;
    cursor->lastPc = pc;
    return true;
}

} // namespace

bool CWUnwindInit(CWUnwindCursor* cursor, const CWMachineContext* context, bool pcIsReturnAddress)
{
    if (cursor == nullptr) {
        return false;
    }
    memset(cursor, 0, sizeof(*cursor));
    cursor->context = *context;
    cursor->pcIsReturnAddress = pcIsReturnAddress ? 1 : 0;
    return true;
}

uint64_t CWUnwindCurrentPC(const CWUnwindCursor* cursor)
{
    return cursor != nullptr ? cursor->context.registers[CWRegisterReturnAddress] : 0;
}

uint64_t CWUnwindCurrentSP(const CWUnwindCursor* cursor)
{
    return cursor != nullptr ? cursor->context.registers[CWRegisterStackPointer] : 0;
}

uint32_t CWUnwindRepeatCount(const CWUnwindCursor* cursor)
{
    return cursor != nullptr ? cursor->repeatCount : 0;
}

void CWUnwindSetPC(CWUnwindCursor* cursor, uint64_t pc)
{
    pcOf(cursor) = pc;
}

void CWUnwindSetSP(CWUnwindCursor* cursor, uint64_t sp)
{
    spOf(cursor) = sp;
}

void CWUnwindSetFP(CWUnwindCursor* cursor, uint64_t fp)
{
    fpOf(cursor) = fp;
}

bool CWEhFrameHeaderFindFDE(uint64_t ehFrameHeader, uint64_t pc, uint64_t* fde)
{
    uint8_t header[4];
    if (!CWSafeRead(reinterpret_cast<const void*>(ehFrameHeader), header, sizeof(header)) || header[0] != 1) {
        CWLOG_WARN("Error: unreadable .eh_frame_hdr at %p\n", ehFrameHeader);
        return false;
    }
    if (header[3] != kTableEncoding) {
        CWLOG_WARN("Error: unsupported .eh_frame_hdr table encoding %x\n", uint32_t(header[3]));
        return false;
    }
    uint64_t cursor = ehFrameHeader + 4;
    if (CWParseAddressWithEncodingAndAdvance(&cursor, header[1], ehFrameHeader) == CWDwarfInvalidAddress) {
        return false;
    }
    const uint64_t count = CWParseAddressWithEncodingAndAdvance(&cursor, header[2], ehFrameHeader);
    if (count == CWDwarfInvalidAddress || count == 0) {
        return false;
    }
    // The last entry whose function starts at or before the pc.
    uint64_t low = 0;
    uint64_t high = count;
    while (high - low > 1) {
        const uint64_t middle = low + (high - low) / 2;
        int32_t start = 0;
        memcpy(&start, reinterpret_cast<const void*>(cursor + middle * 8), 4);
        if (ehFrameHeader + int64_t(start) <= pc) {
            low = middle;
        } else {
            high = middle;
        }
    }
    int32_t entry[2];
    memcpy(entry, reinterpret_cast<const void*>(cursor + low * 8), sizeof(entry));
    if (ehFrameHeader + int64_t(entry[0]) > pc) {
        return false;
    }
    *fde = ehFrameHeader + int64_t(entry[1]);
    return true;
}

int CWUnwindStepWithEhFrame(CWUnwindCursor* cursor, const CWBinaryImageRange* range, uint64_t lookupPc)
{
    uint64_t fdeAddress = 0;
    if (!CWEhFrameHeaderFindFDE(range->ehFrameHeader, lookupPc, &fdeAddress)) {
        CWLOG_INFO("Unable to lookup compact unwind for pc %p\n", lookupPc);
        return CWDwarfStepFailed;
    }
    CWDwarfCIE cie;
    CWDwarfFDE fde;
    if (!CWDwarfParseFDERecord(&fde, true, &cie, fdeAddress, range->ehFrameHeader)) {
        CWLOG_ERROR("Unable to init FDE\n");
        return CWDwarfStepFailed;
    }
    if (lookupPc >= fde.pcBegin + fde.pcRange) {
        CWLOG_INFO("Unable to lookup compact unwind for pc %p\n", lookupPc);
        return CWDwarfStepFailed;
    }
    const CWDwarfStep step
        = CWDwarfUnwindComputeRegisters(&cie, &fde, &cursor->context, lookupPc, range->ehFrameHeader);
    if (step == CWDwarfStepFailed) {
        CWLOG_ERROR("Failed to compute DWARF registers\n");
    } else if (step == CWDwarfStepDone) {
        // Out of a signal frame the pc is the interrupted instruction itself.
        cursor->pcIsReturnAddress = cie.isSignalFrame ? 0 : 1;
    }
    return step;
}

bool CWCompactUnwindBPFrame(CWUnwindCursor* cursor)
{
    const uint64_t frame = fpOf(cursor);
    uint64_t record[2];
    if (!CWSafeRead(reinterpret_cast<const void*>(frame), record, CWFrameRecordSize)) {
        CWLOG_WARN("Error: failed to read memory at address %p\n", frame);
        return false;
    }
    // Callers' frames lie above; a record that points back down (or at itself)
    // ends the chain after this frame.
    fpOf(cursor) = record[0] > frame ? record[0] : 0;
    pcOf(cursor) = record[1];
    spOf(cursor) = frame + CWFrameRecordSize;
    cursor->pcIsReturnAddress = 1;
    return true;
}

bool CWUnwindFirstExecutableAddress(uint64_t start, uint64_t end, uint64_t* address, uint64_t* location)
{
    CWBinaryImageRange range;
    for (uint64_t at = start; at < end; at += 8) {
        uint64_t word = 0;
        if (!CWSafeRead(reinterpret_cast<const void*>(at), &word, 8)) {
            return false;
        }
        if (CWBinaryImageSafeFindImageForAddress(word, &range)) {
            *address = word;
            *location = at;
            return true;
        }
    }
    return false;
}

bool CWUnwindWithFramePointer(CWUnwindCursor* cursor, bool firstFrame)
{
    if (firstFrame) {
        CWLOG_INFO("Attempting stack scan\n");
        uint64_t found = 0;
        uint64_t location = 0;
        if (CWUnwindFirstExecutableAddress(spOf(cursor), fpOf(cursor), &found, &location)) {
            pcOf(cursor) = found;
            // The caller's frame starts after the return address found.
            spOf(cursor) = location + 8;
            cursor->pcIsReturnAddress = 1;
            CWLOG_INFO("Stack scan successful\n");
            return true;
        }
    }
    return CWCompactUnwindBPFrame(cursor);
}

bool CWUnwindNextFrameUsingAllStrategies(CWUnwindCursor* cursor)
{
    if (reinterpret_cast<uintptr_t>(cursor) < 4096) {
        CWLOG_WARN("Error: invalid inputs\n");
        return false;
    }
    if (pcOf(cursor) < 4096 || spOf(cursor) < 4096) {
        if (cursor->framesStepped == 0) {
            CWLOG_WARN("Cancelling unwind for thread with invalid PC/SP\n");
        } else {
            CWLOG_WARN("Error: thread PC/SP invalid before unwind\n");
        }
        return false;
    }
    if (cursor->framesStepped >= CWUnwindMaxFrames) {
        CWLOG_WARN("Exceeded maximum number of frames\n");
        return fail();
    }
    if (cursor->framesStepped == 0) {
        return acceptFrame(cursor);
    }
    const uint64_t lookupPc = pcOf(cursor) - (cursor->pcIsReturnAddress ? 1 : 0);
    if (lookupPc < 4096) {
        CWLOG_ERROR("PC is invalid\n");
        return fail();
    }
    CWBinaryImageRange range;
    if (CWBinaryImageSafeFindImageForAddress(lookupPc, &range)) {
        CWLOG_DEBUG("Binary image for %p at %p\n", lookupPc, range.base);
        if (!CWBinaryImageHasUnwindInfo(&range)) {
            CWLOG_INFO("Binary image at %p has no unwind info\n", range.base);
        } else {
            const int step = CWUnwindStepWithEhFrame(cursor, &range, lookupPc);
            if (step == CWDwarfStepDone) {
                return acceptFrame(cursor);
            }
            if (step == CWDwarfStepEndOfStack) {
                return false;
            }
        }
    } else {
        CWLOG_WARN("Unable to find binary for %p\n", lookupPc);
    }
    if (fpOf(cursor) == 0) {
        CWLOG_WARN("FP is zero, aborting unwind\n");
        pcOf(cursor) = 0;
        return acceptFrame(cursor);
    }
    if (!CWUnwindWithFramePointer(cursor, cursor->framesStepped == 1)) {
        CWLOG_ERROR("Unable to use frame pointer\n");
        return fail();
    }
    return acceptFrame(cursor);
}
