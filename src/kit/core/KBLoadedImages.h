#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

// One ELF image loaded in the process (the executable, a shared library or
// the vDSO), as the crash kit's image table and the identity model need it.
struct KBLoadedImage {
    std::string path; // /proc/self/exe resolved for the executable
    uintptr_t base = 0; // address of its ELF header
    uint64_t textSize = 0; // from base to the end of the last executable segment
    std::string uuid; // first 16 bytes of the GNU build-id, 32 lower-case hex; empty without one
    std::string architecture; // "x86_64", "arm64", ...
    uintptr_t ehFrameHeader = 0; // the PT_GNU_EH_FRAME address, 0 when there is none
    std::string version = "0.0.0";
    bool isExecutable = false;

    bool contains(uintptr_t address) const { return address >= base && address - base < textSize; }
};

// Reads the loaded images with dl_iterate_phdr. It allocates and takes the
// loader's lock, so it runs at set-up only, never on the crash path.
class KBLoadedImages {
public:
    static std::vector<KBLoadedImage> all();
    static std::optional<KBLoadedImage> executable();
    static std::optional<KBLoadedImage> containing(uintptr_t address);

    // The architecture name of an ELF machine number; "unknown" for others.
    static std::string architectureName(uint16_t machine);
};
