#include "kit/crash/crashpath/CWMachineContext.h"

#include <cstring>

void CWMachineContextFromUcontext(const ucontext_t* source, CWMachineContext* out)
{
    memset(out, 0, sizeof(*out));
    const greg_t* g = source->uc_mcontext.gregs;
    auto value = [g](int index) { return static_cast<uint64_t>(g[index]); };
    uint64_t* r = out->registers;
    r[CWRegisterRAX] = value(REG_RAX);
    r[CWRegisterRDX] = value(REG_RDX);
    r[CWRegisterRCX] = value(REG_RCX);
    r[CWRegisterRBX] = value(REG_RBX);
    r[CWRegisterRSI] = value(REG_RSI);
    r[CWRegisterRDI] = value(REG_RDI);
    r[CWRegisterRBP] = value(REG_RBP);
    r[CWRegisterRSP] = value(REG_RSP);
    const int high[] = {REG_R8, REG_R9, REG_R10, REG_R11, REG_R12, REG_R13, REG_R14, REG_R15};
    for (int i = 0; i < 8; ++i) {
        r[CWRegisterR8 + i] = value(high[i]);
    }
    r[CWRegisterRIP] = value(REG_RIP);
    out->flags = value(REG_EFL);
    // cs, gs and fs share one slot of the kernel's frame, 16 bits each.
    const uint64_t segments = value(REG_CSGSFS);
    out->cs = segments & 0xFFFF;
    out->gs = (segments >> 16) & 0xFFFF;
    out->fs = (segments >> 32) & 0xFFFF;
}
