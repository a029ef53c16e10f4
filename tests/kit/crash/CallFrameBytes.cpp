#include "CallFrameBytes.h"

#include <string>

Bytes frameInfo(const std::vector<uint8_t>& program, const char* augmentation)
{
    Bytes cie;
    cie.u32(0).u8({1}).text(augmentation).u8({1, 0x78, 16});
    if (std::string(augmentation) == "zR") {
        cie.u8({1, 0x00});
    }
    cie.u8({0x0C, 7, 8, 0x90, 1});
    while (cie.data.size() % 4 != 0) {
        cie.u8({0});
    }
    Bytes all;
    all.u32(static_cast<uint32_t>(cie.data.size())).raw(cie.data.data(), cie.data.size());
    Bytes fde;
    const uint32_t cieOffset = static_cast<uint32_t>(all.data.size() + 4);
    fde.u32(cieOffset).u64(kFunction).u64(0x100);
    if (augmentation[0] == 'z') {
        fde.u8({0});
    }
    fde.raw(program.data(), program.size());
    all.u32(static_cast<uint32_t>(fde.data.size())).raw(fde.data.data(), fde.data.size());
    return all;
}

uint64_t fdeAddress(const Bytes& info)
{
    uint32_t cieLength = 0;
    memcpy(&cieLength, info.data.data(), 4);
    return info.address() + 4 + cieLength;
}
