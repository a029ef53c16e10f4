#pragma once

#include <cstdint>

#include "kit/crash/crashpath/CWBinaryImage.h"
#include "kit/crash/crashpath/CWMachineContext.h"

// Walks a thread's stack from its saved registers, one frame at a time, inside
// the dying process: DWARF call-frame information found through the image's
// ".eh_frame_hdr" first, then the frame-pointer chain, and at the first frame a
// scan of the stack. Stack memory is read only through the safe read.

inline constexpr uint32_t CWUnwindMaxFrames = 600000;

struct CWUnwindCursor {
    CWMachineContext context;
    uint32_t framesStepped;
    uint64_t lastPc;
    uint32_t repeatCount;
    // The pc of the current frame is a return address (look up the byte before
    // it) rather than an interrupted instruction.
    uint8_t pcIsReturnAddress;
};

// `pcIsReturnAddress` is false for a context a signal interrupted (its pc is the
// faulting instruction) and true for one a thread took of itself.
bool CWUnwindInit(CWUnwindCursor* cursor, const CWMachineContext* context, bool pcIsReturnAddress);
// Moves to the next frame: frame 0 is the context's own pc. True while there is one.
bool CWUnwindNextFrameUsingAllStrategies(CWUnwindCursor* cursor);

uint64_t CWUnwindCurrentPC(const CWUnwindCursor* cursor);
uint64_t CWUnwindCurrentSP(const CWUnwindCursor* cursor);
uint32_t CWUnwindRepeatCount(const CWUnwindCursor* cursor);
void CWUnwindSetPC(CWUnwindCursor* cursor, uint64_t pc);
void CWUnwindSetSP(CWUnwindCursor* cursor, uint64_t sp);
void CWUnwindSetFP(CWUnwindCursor* cursor, uint64_t fp);

// The DWARF step of one frame of the image `range`. 1 stepped, 2 end of stack
// (undefined return address), 0 failed.
int CWUnwindStepWithEhFrame(CWUnwindCursor* cursor, const CWBinaryImageRange* range, uint64_t lookupPc);
// The FDE for `pc` from an ".eh_frame_hdr" search table; false before the first
// and after the last function, and for tables in another encoding.
bool CWEhFrameHeaderFindFDE(uint64_t ehFrameHeader, uint64_t pc, uint64_t* fde);

bool CWUnwindWithFramePointer(CWUnwindCursor* cursor, bool firstFrame);
// The frame-pointer step: the frame record at rbp gives the caller's rbp and pc.
bool CWCompactUnwindBPFrame(CWUnwindCursor* cursor);
// The address of the first word in [start, end) that lies in a known image.
bool CWUnwindFirstExecutableAddress(uint64_t start, uint64_t end, uint64_t* address, uint64_t* location);
