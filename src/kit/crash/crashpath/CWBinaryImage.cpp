#include "kit/crash/crashpath/CWBinaryImage.h"

#include <elf.h>
#include <link.h>

#include <cstring>

#include "kit/crash/crashpath/CWContext.h"
#include "kit/crash/crashpath/CWDwarf.h"
#include "kit/crash/crashpath/CWFile.h"
#include "kit/crash/crashpath/CWSDKLog.h"
#include "kit/crash/crashpath/CWSafeRead.h"

namespace {

constexpr int kMaxProgramHeaders = 64;
constexpr int kMaxLoaderEntries = 4096;
constexpr uint32_t kBuildIdNote = 3;

bool read(uint64_t address, void* out, size_t length)
{
    return CWSafeRead(reinterpret_cast<const void*>(address), out, length);
}

bool isElfHeader(uint64_t address, Elf64_Ehdr* header)
{
    return address >= 4096 && read(address, header, sizeof(*header)) && memcmp(header->e_ident, ELFMAG, SELFMAG) == 0
        && header->e_ident[EI_CLASS] == ELFCLASS64;
}

int slotWithBase(CWCrashState* state, uint64_t base)
{
    for (int i = 0; i < CWBinaryImageSlotCount; ++i) {
        if (state->binaryImages[i].base.load() == base) {
            return i;
        }
    }
    return -1;
}

// The zero-terminated text at `address`, read in pieces that never cross a page
// the string does not reach.
void readText(uint64_t address, char* out, size_t size)
{
    out[0] = 0;
    size_t length = 0;
    while (address >= 4096 && length + 1 < size) {
        size_t part = 4096 - ((address + length) % 4096);
        part = part < size - 1 - length ? part : size - 1 - length;
        if (!read(address + length, out + length, part)) {
            break;
        }
        const void* end = memchr(out + length, 0, part);
        length += part;
        if (end != nullptr) {
            return;
        }
    }
    out[length] = 0;
}

// The first 16 bytes of the GNU build-id in the notes at [start, start + size).
bool buildIdFromNotes(uint64_t start, uint64_t size, char* uuid)
{
    uint64_t offset = 0;
    while (offset + sizeof(Elf64_Nhdr) <= size) {
        Elf64_Nhdr note;
        if (!read(start + offset, &note, sizeof(note))) {
            return false;
        }
        const uint64_t nameOffset = offset + sizeof(note);
        const uint64_t descOffset = nameOffset + ((note.n_namesz + 3) & ~3u);
        char name[4] = {};
        if (note.n_type == kBuildIdNote && note.n_namesz == 4 && read(start + nameOffset, name, 4)
            && memcmp(name, "GNU", 4) == 0) {
            unsigned char id[16] = {};
            const size_t length = note.n_descsz < 16 ? note.n_descsz : 16;
            if (!read(start + descOffset, id, length)) {
                return false;
            }
            CWHexEncodeBytes(id, length, uuid);
            return true;
        }
        offset = descOffset + ((note.n_descsz + 3) & ~3u);
    }
    return false;
}

} // namespace

bool CWBinaryImageStoreNode(bool loaded, const CWBinaryImageDetails* details)
{
    CWCrashState* state = CWCrashStateGet();
    if (state == nullptr) {
        CWLOG_WARN("Error: Writable context is NULL\n");
        return false;
    }
    const uint64_t expected = loaded ? 0 : details->base;
    const uint64_t replacement = loaded ? details->base : 0;
    for (int i = 0; i < CWBinaryImageSlotCount; ++i) {
        CWBinaryImageSlot& slot = state->binaryImages[i];
        uint64_t found = expected;
        if (slot.base.load() != expected) {
            continue;
        }
        if (slot.base.compare_exchange_strong(found, replacement, std::memory_order_seq_cst)) {
            slot.size = loaded ? details->size : 0;
            slot.ehFrameHeader = loaded ? details->ehFrameHeader : 0;
            slot.ehFrame = loaded ? details->ehFrame : 0;
            return true;
        }
        if (!loaded) {
            CWLOG_WARN("Error: Failed to swap during image unload\n");
            return false;
        }
    }
    CWLOG_WARN("Error: Unable to track a %s node %p\n", loaded ? "loaded" : "unloaded", details->base);
    return false;
}

bool CWBinaryImageSafeFindImageForAddress(uint64_t address, CWBinaryImageRange* out)
{
    CWCrashState* state = CWCrashStateGet();
    if (!CWContextIsInitialized() || state == nullptr || reinterpret_cast<uintptr_t>(out) < 4096 || address == 0) {
        return false;
    }
    for (int i = 0; i < CWBinaryImageSlotCount; ++i) {
        const CWBinaryImageSlot& slot = state->binaryImages[i];
        const uint64_t base = slot.base.load(std::memory_order_acquire);
        if (base != 0 && base <= address && address - base < slot.size) {
            *out = CWBinaryImageRange{base, slot.size, slot.ehFrameHeader, slot.ehFrame};
            return true;
        }
    }
    return false;
}

bool CWBinaryImageHasUnwindInfo(const CWBinaryImageRange* range)
{
    return range->ehFrameHeader >= 4096;
}

bool CWBinaryImageOpenIfNeeded(bool* openedNow)
{
    *openedNow = false;
    CWContext* context = CWContextGet();
    CWCrashState* state = CWCrashStateGet();
    if (context == nullptr || state == nullptr) {
        return false;
    }
    if (state->binaryImagesFile.descriptor >= 0) {
        return true;
    }
    *openedNow = CWFileInit(&state->binaryImagesFile, context->binaryImagesPath, false);
    return *openedNow;
}

bool CWBinaryImageRecordDetails(CWFile* file, const CWBinaryImageDetails* details)
{
    return CWFileWriteHashString(file, "uuid", details->uuid[0] != 0 ? details->uuid : nullptr)
        && CWFileWriteHashUnsigned(file, "base", details->base) && CWFileWriteHashUnsigned(file, "size", details->size);
}

bool CWBinaryImageRecordSlice(bool loaded, const CWBinaryImageDetails* details)
{
    bool openedNow = false;
    if (!CWBinaryImageOpenIfNeeded(&openedNow)) {
        CWLOG_WARN("Error: unable to open binary image log file\n");
        return false;
    }
    CWFile* file = &CWCrashStateGet()->binaryImagesFile;
    const bool written = CWFileWriteRecordStart(file, loaded ? "load" : "unload") && CWFileWriteObjectOpen(file)
        && CWFileWriteHashString(file, "path", details->path[0] != 0 ? details->path : nullptr)
        && CWBinaryImageRecordDetails(file, details) && CWFileWriteObjectClose(file) && CWFileWriteObjectClose(file)
        && CWFileWriteLineEnd(file);
    if (openedNow) {
        CWFileClose(file);
    }
    return written;
}

uint64_t CWBinaryImageEhFrameFromHeader(uint64_t ehFrameHeader)
{
    uint8_t header[12];
    if (ehFrameHeader < 4096 || !read(ehFrameHeader, header, sizeof(header)) || header[0] != 1) {
        return 0;
    }
    uint64_t cursor = ehFrameHeader + 4;
    const uint64_t address = CWParseAddressWithEncodingAndAdvance(&cursor, header[1], ehFrameHeader);
    return address == CWDwarfInvalidAddress ? 0 : address;
}

bool CWBinaryImageDetailsFromMemory(uint64_t bias, uint64_t base, const char* path, CWBinaryImageDetails* out)
{
    memset(out, 0, sizeof(*out));
    Elf64_Ehdr header;
    Elf64_Phdr segments[kMaxProgramHeaders];
    if (!isElfHeader(base, &header) || header.e_phentsize != sizeof(Elf64_Phdr) || header.e_phnum > kMaxProgramHeaders
        || !read(base + header.e_phoff, segments, header.e_phnum * sizeof(Elf64_Phdr))) {
        return false;
    }
    uint64_t textEnd = 0;
    for (int i = 0; i < header.e_phnum; ++i) {
        const Elf64_Phdr& segment = segments[i];
        if (segment.p_type == PT_LOAD && (segment.p_flags & PF_X) != 0) {
            const uint64_t end = bias + segment.p_vaddr + segment.p_memsz;
            textEnd = end > textEnd ? end : textEnd;
        } else if (segment.p_type == PT_GNU_EH_FRAME) {
            out->ehFrameHeader = bias + segment.p_vaddr;
        } else if (segment.p_type == PT_NOTE && out->uuid[0] == 0) {
            buildIdFromNotes(bias + segment.p_vaddr, segment.p_filesz, out->uuid);
        }
    }
    if (textEnd <= base) {
        return false;
    }
    out->base = base;
    out->size = textEnd - base;
    out->ehFrame = CWBinaryImageEhFrameFromHeader(out->ehFrameHeader);
    if (path != nullptr) {
        strncpy(out->path, path, sizeof(out->path) - 1);
    }
    return true;
}

void CWBinaryImageReconcile()
{
    CWCrashState* state = CWCrashStateGet();
    r_debug loader;
    if (state == nullptr || !read(reinterpret_cast<uintptr_t>(&_r_debug), &loader, sizeof(loader))
        || loader.r_version == 0 || loader.r_state != r_debug::RT_CONSISTENT) {
        CWLOG_WARN("Loaded image list unavailable, image table left as it is\n");
        return;
    }
    bool seen[CWBinaryImageSlotCount] = {};
    uint64_t node = reinterpret_cast<uintptr_t>(loader.r_map);
    CWBinaryImageDetails details;
    for (int count = 0; node != 0 && count < kMaxLoaderEntries; ++count) {
        link_map entry;
        if (!read(node, &entry, sizeof(entry))) {
            CWLOG_WARN("Unable to read loaded image entry %p\n", node);
            break;
        }
        node = reinterpret_cast<uintptr_t>(entry.l_next);
        Elf64_Ehdr header;
        // A non-PIE executable is listed with bias 0; it is in the table since set-up.
        if (!isElfHeader(entry.l_addr, &header)) {
            continue;
        }
        const int known = slotWithBase(state, entry.l_addr);
        if (known >= 0) {
            seen[known] = true;
            continue;
        }
        char path[CWBinaryImagePathSize];
        readText(reinterpret_cast<uintptr_t>(entry.l_name), path, sizeof(path));
        if (!CWBinaryImageDetailsFromMemory(entry.l_addr, entry.l_addr, path, &details)) {
            CWLOG_WARN("Unable to read program headers of image %p\n", static_cast<uint64_t>(entry.l_addr));
            continue;
        }
        if (CWBinaryImageStoreNode(true, &details)) {
            seen[slotWithBase(state, details.base)] = true;
        }
        CWBinaryImageRecordSlice(true, &details);
    }
    for (int i = 0; i < CWBinaryImageSlotCount; ++i) {
        const uint64_t base = state->binaryImages[i].base.load();
        Elf64_Ehdr header;
        // Gone means no longer mapped: the loader does not list every image by its header address.
        if (base == 0 || seen[i] || isElfHeader(base, &header)) {
            continue;
        }
        memset(&details, 0, sizeof(details));
        details.base = base;
        details.size = state->binaryImages[i].size;
        CWBinaryImageStoreNode(false, &details);
        CWBinaryImageRecordSlice(false, &details);
    }
}
