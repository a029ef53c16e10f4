#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>

// Readers for Mach-O executables mapped from a file. They allocate nothing
// and take no locks. Every read stays inside the bytes the caller has: the
// header's counts and sizes are checked against the mapping, never trusted.
// No Mach-O image runs on Linux, so the lookups of loaded images find none.

struct CWMachOFile {
    int32_t fd = -1;
    uint64_t size = 0;
    const uint8_t* mapping = nullptr;
};

struct CWMachOSlice {
    const uint8_t* start = nullptr;
    int32_t cpuType = 0;
    int32_t cpuSubtype = 0;
    // Bytes readable from start (the rest of its fat entry or of the file).
    uint64_t size = 0;
};

struct CWMachOSection {
    uint64_t address = 0;
    uint64_t size = 0;
    uint32_t offset = 0;
};

struct CWMachOSegment {
    char name[16] = {};
    uint64_t address = 0;
    uint64_t size = 0;
};

struct CWMachOVersion {
    uint32_t major = 0;
    uint32_t minor = 0;
    uint32_t bugfix = 0;
};

inline constexpr uint32_t kCWMachOMagic32 = 0xfeedface;
inline constexpr uint32_t kCWMachOMagic64 = 0xfeedfacf;
inline constexpr uint32_t kCWMachOCigam32 = 0xcefaedfe;
inline constexpr uint32_t kCWMachOCigam64 = 0xcffaedfe;
inline constexpr uint32_t kCWMachOFatMagic = 0xcafebabe;
inline constexpr int32_t kCWMachOCpuArch64 = 0x01000000;
inline constexpr uint32_t kCWMachOLoadSegment32 = 1;
inline constexpr uint32_t kCWMachOLoadSegment64 = 25;
inline constexpr uint32_t kCWMachOLoadUUID = 27;
inline constexpr uint32_t kCWMachOLoadVersionMinMacOS = 36;
inline constexpr uint32_t kCWMachOLoadVersionMinIOS = 37;

using CWMachOSliceBlock = std::function<void(const CWMachOSlice&)>;
// (type, size, command address)
using CWMachOLoadCommandBlock = std::function<void(uint32_t, uint32_t, const uint8_t*)>;

bool CWMachOFileInitWithPath(CWMachOFile* file, const char* path);
bool CWMachOFileInitWithCurrentProcess(CWMachOFile* file);
void CWMachOFileDestroy(CWMachOFile* file);
void CWMachOFileEnumerateSlices(const CWMachOFile* file, const CWMachOSliceBlock& block);
CWMachOSlice CWMachOFileSliceWithArchitectureName(const CWMachOFile* file, const char* name);

CWMachOSlice CWMachOSliceGetCurrent();
CWMachOSlice CWMachOSliceWithHeader(const void* header);
const char* CWMachOSliceGetExecutablePath(const CWMachOSlice* slice);
const char* CWMachOSliceGetArchitectureName(const CWMachOSlice* slice);
bool CWMachOSliceIs64Bit(const CWMachOSlice* slice);
void CWMachOSliceEnumerateLoadCommands(CWMachOSlice* slice, const CWMachOLoadCommandBlock& block);
bool CWMachOSliceGetSectionByName(
    const CWMachOSlice* slice, const char* segment, const char* section, CWMachOSection* out);
bool CWMachOSliceGetSectionAddress(
    const CWMachOSlice* slice, const char* segment, const char* section, uintptr_t* address);
void CWMachOSliceGetUnwindInformation(const CWMachOSlice* slice, uintptr_t* ehFrame, uintptr_t* unwindInfo);

// Accessors of one load command; `size` is the command's size, so that a
// field past its end reads as absent.
const uint8_t* CWMachOGetUUID(const uint8_t* command, uint32_t size);
const char* CWMachOGetString(const uint8_t* command, uint32_t size);
bool CWMachOGetEncrypted(const uint8_t* command, uint32_t size);
CWMachOVersion CWMachOGetMinimumOSVersion(const uint8_t* command, uint32_t size);
CWMachOVersion CWMachOGetLinkedSDKVersion(const uint8_t* command, uint32_t size);
CWMachOSegment CWMachOGetSegmentCommand(const uint8_t* command, uint32_t size);

CWMachOVersion CWMachODecodeVersion(uint32_t word);
std::optional<std::string> CWMachOFormatVersion(const CWMachOVersion* version);
std::string CWMachONormalizedUUIDString(const uint8_t* uuid);
