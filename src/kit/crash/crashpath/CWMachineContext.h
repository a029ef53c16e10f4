#pragma once

#include <ucontext.h>

#include <cstdint>

// The registers of one thread as the unwinder walks them, indexed by their
// DWARF numbers. Everything that depends on the processor lives here: x86-64
// now; aarch64 would add its own numbering, return-address column and frame
// record below.
#if defined(__x86_64__)

enum CWRegister : int {
    CWRegisterRAX = 0,
    CWRegisterRDX = 1,
    CWRegisterRCX = 2,
    CWRegisterRBX = 3,
    CWRegisterRSI = 4,
    CWRegisterRDI = 5,
    CWRegisterRBP = 6,
    CWRegisterRSP = 7,
    CWRegisterR8 = 8,
    CWRegisterR15 = 15,
    CWRegisterRIP = 16,
};

inline constexpr int CWRegisterCount = 17;
inline constexpr int CWRegisterReturnAddress = CWRegisterRIP;
inline constexpr int CWRegisterStackPointer = CWRegisterRSP;
inline constexpr int CWRegisterFramePointer = CWRegisterRBP;
// A frame record at the frame pointer: the caller's frame pointer, then the return address.
inline constexpr uint64_t CWFrameRecordSize = 16;
inline constexpr uint64_t CWFrameRecordReturnAddressOffset = 8;

#else
#error "The crash kit's unwinder knows x86-64 only"
#endif

struct CWMachineContext {
    uint64_t registers[CWRegisterCount];
    uint64_t flags;
    uint64_t cs;
    uint64_t fs;
    uint64_t gs;
};

// The registers a signal handler or getcontext() saw.
void CWMachineContextFromUcontext(const ucontext_t* source, CWMachineContext* out);
