#include "kit/core/CWMachO.h"

#include "kit/support/KBDigest.h"

#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>

namespace {

constexpr uint64_t kHeader32Size = 28;
constexpr uint64_t kHeader64Size = 32;
constexpr uint64_t kFatHeaderSize = 8;
constexpr uint64_t kFatEntrySize = 20;
constexpr int32_t kCpuSubtypeMask = static_cast<int32_t>(0xff000000);

uint32_t readLittle32(const uint8_t* at)
{
    return static_cast<uint32_t>(at[0]) | static_cast<uint32_t>(at[1]) << 8 | static_cast<uint32_t>(at[2]) << 16
        | static_cast<uint32_t>(at[3]) << 24;
}

uint32_t readBig32(const uint8_t* at)
{
    return static_cast<uint32_t>(at[3]) | static_cast<uint32_t>(at[2]) << 8 | static_cast<uint32_t>(at[1]) << 16
        | static_cast<uint32_t>(at[0]) << 24;
}

uint64_t readLittle64(const uint8_t* at)
{
    return static_cast<uint64_t>(readLittle32(at)) | static_cast<uint64_t>(readLittle32(at + 4)) << 32;
}

bool isPlainMagic(uint32_t magic)
{
    return magic == kCWMachOMagic32 || magic == kCWMachOMagic64;
}

bool isSwappedMagic(uint32_t magic)
{
    return magic == kCWMachOCigam32 || magic == kCWMachOCigam64;
}

uint64_t headerSize(uint32_t magic)
{
    return (magic == kCWMachOMagic64 || magic == kCWMachOCigam64) ? kHeader64Size : kHeader32Size;
}

struct ArchitectureName {
    int32_t type;
    int32_t subtype;
    const char* name;
};

// Names for the CPU types and subtypes a Mach-O file may carry.
constexpr ArchitectureName kArchitectures[] = {
    {7, 3, "i386"},
    {7, 4, "i486"},
    {kCWMachOCpuArch64 | 7, 3, "x86_64"},
    {kCWMachOCpuArch64 | 7, 8, "x86_64h"},
    {12, 0, "arm"},
    {12, 5, "armv4t"},
    {12, 6, "armv6"},
    {12, 7, "armv5"},
    {12, 9, "armv7"},
    {12, 10, "armv7f"},
    {12, 14, "armv6m"},
    {12, 15, "armv7m"},
    {12, 16, "armv7em"},
    {kCWMachOCpuArch64 | 12, 1, "arm64v8"},
    {kCWMachOCpuArch64 | 12, 2, "arm64e"},
    {18, 0, "ppc"},
    {kCWMachOCpuArch64 | 18, 0, "ppc64"},
};

} // namespace

bool CWMachOFileInitWithPath(CWMachOFile* file, const char* path)
{
    if (file == nullptr || path == nullptr) {
        return false;
    }
    *file = CWMachOFile{};
    const int fd = ::open(path, O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        return false;
    }
    struct stat info { };
    if (::fstat(fd, &info) != 0 || !S_ISREG(info.st_mode) || info.st_size < 16) {
        ::close(fd);
        return false;
    }
    void* mapping = ::mmap(nullptr, static_cast<size_t>(info.st_size), PROT_READ, MAP_SHARED, fd, 0);
    if (mapping == MAP_FAILED) {
        ::close(fd);
        return false;
    }
    file->fd = fd;
    file->size = static_cast<uint64_t>(info.st_size);
    file->mapping = static_cast<const uint8_t*>(mapping);
    return true;
}

bool CWMachOFileInitWithCurrentProcess(CWMachOFile* file)
{
    const CWMachOSlice current = CWMachOSliceGetCurrent();
    const char* path = CWMachOSliceGetExecutablePath(&current);
    return path != nullptr && CWMachOFileInitWithPath(file, path);
}

void CWMachOFileDestroy(CWMachOFile* file)
{
    if (file == nullptr) {
        return;
    }
    if (file->mapping != nullptr && file->size > 0) {
        ::munmap(const_cast<uint8_t*>(file->mapping), static_cast<size_t>(file->size));
    }
    if (file->fd >= 0) {
        ::close(file->fd);
    }
    *file = CWMachOFile{};
}

void CWMachOFileEnumerateSlices(const CWMachOFile* file, const CWMachOSliceBlock& block)
{
    if (file == nullptr || file->mapping == nullptr || file->size < 4 || !block) {
        return;
    }
    const uint8_t* bytes = file->mapping;
    const uint32_t magic = readLittle32(bytes);
    if (magic == kCWMachOFatMagic || readBig32(bytes) == kCWMachOFatMagic) {
        if (file->size < kFatHeaderSize) {
            return;
        }
        // The count is only as good as the entries that fit: the table ends
        // at the file's end and before the first slice it names, and an
        // entry pointing back into the table is no slice.
        const uint64_t count = readBig32(bytes + 4);
        uint64_t firstSlice = file->size;
        for (uint64_t i = 0; i < count; ++i) {
            const uint64_t entryEnd = kFatHeaderSize + (i + 1) * kFatEntrySize;
            if (entryEnd > firstSlice) {
                return;
            }
            const uint8_t* entry = bytes + entryEnd - kFatEntrySize;
            const uint64_t offset = readBig32(entry + 8);
            const uint64_t size = readBig32(entry + 12);
            if (offset >= file->size || offset < entryEnd) {
                continue;
            }
            firstSlice = offset < firstSlice ? offset : firstSlice;
            CWMachOSlice slice;
            slice.start = bytes + offset;
            slice.cpuType = static_cast<int32_t>(readBig32(entry));
            slice.cpuSubtype = static_cast<int32_t>(readBig32(entry + 4));
            slice.size = size < file->size - offset ? size : file->size - offset;
            block(slice);
        }
        return;
    }
    CWMachOSlice slice;
    slice.start = bytes;
    slice.size = file->size;
    if ((isPlainMagic(magic) || isSwappedMagic(magic)) && file->size >= 12) {
        const bool swapped = isSwappedMagic(magic);
        slice.cpuType = static_cast<int32_t>(swapped ? readBig32(bytes + 4) : readLittle32(bytes + 4));
        slice.cpuSubtype = static_cast<int32_t>(swapped ? readBig32(bytes + 8) : readLittle32(bytes + 8));
    }
    block(slice);
}

CWMachOSlice CWMachOFileSliceWithArchitectureName(const CWMachOFile* file, const char* name)
{
    CWMachOSlice found;
    if (name == nullptr) {
        return found;
    }
    CWMachOFileEnumerateSlices(file, [&](const CWMachOSlice& slice) {
        if (found.start == nullptr && std::strcmp(CWMachOSliceGetArchitectureName(&slice), name) == 0) {
            found = slice;
        }
    });
    return found;
}

CWMachOSlice CWMachOSliceGetCurrent()
{
    // Linux executables are ELF: there is no Mach-O header of the running
    // program to find, so the start stays null.
    return CWMachOSlice{};
}

CWMachOSlice CWMachOSliceWithHeader(const void* header)
{
    CWMachOSlice slice;
    slice.start = static_cast<const uint8_t*>(header);
    // An image in memory has no known end; its header's command size bounds the walk.
    slice.size = header != nullptr ? UINT64_MAX : 0;
    return slice;
}

const char* CWMachOSliceGetExecutablePath(const CWMachOSlice* slice)
{
    // No loaded image of this process is a Mach-O image.
    (void)slice;
    return nullptr;
}

const char* CWMachOSliceGetArchitectureName(const CWMachOSlice* slice)
{
    if (slice == nullptr) {
        return "unknown";
    }
    const int32_t type = slice->cpuType;
    const int32_t subtype = slice->cpuSubtype & ~kCpuSubtypeMask;
    if (type == (kCWMachOCpuArch64 | 12) && subtype == 0) {
        return "arm64";
    }
    if (type == 12 && subtype == 11) {
        return "armv7s";
    }
    if (type == 12 && subtype == 12) {
        return "armv7k";
    }
    for (const auto& known : kArchitectures) {
        if (known.type == type && known.subtype == subtype) {
            return known.name;
        }
    }
    return "unknown";
}

bool CWMachOSliceIs64Bit(const CWMachOSlice* slice)
{
    return slice != nullptr && (slice->cpuType & kCWMachOCpuArch64) != 0;
}

void CWMachOSliceEnumerateLoadCommands(CWMachOSlice* slice, const CWMachOLoadCommandBlock& block)
{
    if (slice == nullptr || slice->start == nullptr || !block || slice->size < kHeader32Size) {
        return;
    }
    const uint8_t* header = slice->start;
    const uint32_t magic = readLittle32(header);
    // A byte-swapped image would need every field swapped; the walk reads
    // host order only, so it leaves such slices alone.
    if (!isPlainMagic(magic)) {
        return;
    }
    const uint64_t commandsStart = headerSize(magic);
    if (slice->size < commandsStart) {
        return;
    }
    slice->cpuType = static_cast<int32_t>(readLittle32(header + 4));
    slice->cpuSubtype = static_cast<int32_t>(readLittle32(header + 8));
    const uint32_t count = readLittle32(header + 16);
    const uint64_t commandsSize = readLittle32(header + 20);
    if (commandsSize > slice->size - commandsStart) {
        return;
    }
    const uint8_t* commands = header + commandsStart;
    uint64_t offset = 0;
    for (uint32_t i = 0; i < count; ++i) {
        if (offset + 8 > commandsSize) {
            return;
        }
        const uint32_t type = readLittle32(commands + offset);
        const uint32_t size = readLittle32(commands + offset + 4);
        if (size < 8 || size > commandsSize - offset) {
            return;
        }
        block(type, size, commands + offset);
        offset += size;
    }
}

bool CWMachOSliceGetSectionByName(
    const CWMachOSlice* slice, const char* segment, const char* section, CWMachOSection* out)
{
    if (slice == nullptr || out == nullptr || slice->start == nullptr || segment == nullptr || section == nullptr) {
        return false;
    }
    bool found = false;
    CWMachOSlice walk = *slice;
    CWMachOSliceEnumerateLoadCommands(&walk, [&](uint32_t type, uint32_t size, const uint8_t* command) {
        const bool wide = type == kCWMachOLoadSegment64;
        if (found || (type != kCWMachOLoadSegment32 && !wide)) {
            return;
        }
        // Segment command: name at 8, section count at 48 (64-bit) or 40.
        const uint32_t segmentSize = wide ? 72 : 56;
        const uint32_t sectionSize = wide ? 80 : 68;
        if (size < segmentSize || std::strncmp(reinterpret_cast<const char*>(command + 8), segment, 16) != 0) {
            return;
        }
        const uint32_t sections = readLittle32(command + (wide ? 64 : 48));
        for (uint32_t i = 0; i < sections; ++i) {
            const uint64_t at = segmentSize + static_cast<uint64_t>(i) * sectionSize;
            if (at + sectionSize > size) {
                return;
            }
            const uint8_t* record = command + at;
            if (std::strncmp(reinterpret_cast<const char*>(record), section, 16) != 0) {
                continue;
            }
            out->address = wide ? readLittle64(record + 32) : readLittle32(record + 32);
            out->size = wide ? readLittle64(record + 40) : readLittle32(record + 36);
            out->offset = readLittle32(record + (wide ? 48 : 40));
            found = true;
            return;
        }
    });
    return found;
}

bool CWMachOSliceGetSectionAddress(
    const CWMachOSlice* slice, const char* segment, const char* section, uintptr_t* address)
{
    if (address == nullptr) {
        return false;
    }
    *address = 0;
    CWMachOSection record;
    if (!CWMachOSliceGetSectionByName(slice, segment, section, &record)) {
        return false;
    }
    *address = reinterpret_cast<uintptr_t>(slice->start) + record.offset;
    return true;
}

void CWMachOSliceGetUnwindInformation(const CWMachOSlice* slice, uintptr_t* ehFrame, uintptr_t* unwindInfo)
{
    // Only a loaded image has a slide; no Mach-O image is loaded here, so both
    // outputs stay untouched.
    (void)slice;
    (void)ehFrame;
    (void)unwindInfo;
}

const uint8_t* CWMachOGetUUID(const uint8_t* command, uint32_t size)
{
    return command != nullptr && size >= 24 ? command + 8 : nullptr;
}

const char* CWMachOGetString(const uint8_t* command, uint32_t size)
{
    if (command == nullptr || size < 12) {
        return nullptr;
    }
    const uint32_t offset = readLittle32(command + 8);
    if (offset >= size || std::memchr(command + offset, '\0', size - offset) == nullptr) {
        return nullptr;
    }
    return reinterpret_cast<const char*>(command + offset);
}

bool CWMachOGetEncrypted(const uint8_t* command, uint32_t size)
{
    return command != nullptr && size >= 20 && readLittle32(command + 16) != 0;
}

CWMachOVersion CWMachOGetMinimumOSVersion(const uint8_t* command, uint32_t size)
{
    return command != nullptr && size >= 12 ? CWMachODecodeVersion(readLittle32(command + 8)) : CWMachOVersion{};
}

CWMachOVersion CWMachOGetLinkedSDKVersion(const uint8_t* command, uint32_t size)
{
    return command != nullptr && size >= 16 ? CWMachODecodeVersion(readLittle32(command + 12)) : CWMachOVersion{};
}

CWMachOSegment CWMachOGetSegmentCommand(const uint8_t* command, uint32_t size)
{
    CWMachOSegment segment;
    if (command == nullptr || size < 8) {
        return segment;
    }
    const uint32_t type = readLittle32(command);
    if (type == kCWMachOLoadSegment64 && size >= 40) {
        std::memcpy(segment.name, command + 8, 16);
        segment.address = readLittle64(command + 24);
        segment.size = readLittle64(command + 32);
    } else if (type == kCWMachOLoadSegment32 && size >= 32) {
        std::memcpy(segment.name, command + 8, 16);
        segment.address = readLittle32(command + 24);
        segment.size = readLittle32(command + 28);
    }
    return segment;
}

CWMachOVersion CWMachODecodeVersion(uint32_t word)
{
    return CWMachOVersion{word >> 16, (word >> 8) & 0xff, word & 0xff};
}

std::optional<std::string> CWMachOFormatVersion(const CWMachOVersion* version)
{
    if (version == nullptr) {
        return std::nullopt;
    }
    char text[40];
    std::snprintf(text, sizeof text, "%d.%d.%d", static_cast<int>(version->major), static_cast<int>(version->minor),
        static_cast<int>(version->bugfix));
    return std::string(text);
}

std::string CWMachONormalizedUUIDString(const uint8_t* uuid)
{
    return uuid != nullptr ? KBHexStringFromUUIDBytes(uuid) : std::string();
}
