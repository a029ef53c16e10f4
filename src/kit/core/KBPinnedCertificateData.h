#pragma once

#include <cstddef>
#include <vector>

// The DER blocks of the pinned roots, generated at build time from
// resources/kit-pins.
struct KBPinnedCertificateBlock {
    const unsigned char* bytes;
    size_t length;
};

extern const std::vector<KBPinnedCertificateBlock> kKBPinnedCertificateBlocks;
