#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>

struct CWFile;

// The table that maps a code address to its loaded image and that image's
// unwind sections, readable on the crash path without any lock. Slots belong to
// one image by a compare-and-swap on their base; one thread writes at a time
// (the binary-images queue at set-up, the crashing thread once the others are
// stopped).

inline constexpr int CWBinaryImageSlotCount = 512;
inline constexpr size_t CWBinaryImagePathSize = 1024;

struct CWBinaryImageSlot {
    std::atomic<uint64_t> base;
    uint64_t size;
    uint64_t ehFrameHeader;
    uint64_t ehFrame;
};

// A copy of one slot's fields.
struct CWBinaryImageRange {
    uint64_t base;
    uint64_t size;
    uint64_t ehFrameHeader;
    uint64_t ehFrame;
};

// What a "load" or "unload" record says about an image.
struct CWBinaryImageDetails {
    char path[CWBinaryImagePathSize];
    char uuid[33];
    uint64_t base;
    uint64_t size;
    uint64_t ehFrameHeader;
    uint64_t ehFrame;
};

// Takes a free slot for a load, frees the image's slot for an unload; logs an
// image no slot took. False when the table did not change.
bool CWBinaryImageStoreNode(bool loaded, const CWBinaryImageDetails* details);
bool CWBinaryImageSafeFindImageForAddress(uint64_t address, CWBinaryImageRange* out);
bool CWBinaryImageHasUnwindInfo(const CWBinaryImageRange* range);

// Opens the record file unless it is open; `openedNow` says whether this call opened it.
bool CWBinaryImageOpenIfNeeded(bool* openedNow);
// Appends one "load" or "unload" record, closing the file again if it opened it.
bool CWBinaryImageRecordSlice(bool loaded, const CWBinaryImageDetails* details);
// "uuid", "base" and "size" of an image (also the fields of "executable").
bool CWBinaryImageRecordDetails(CWFile* file, const CWBinaryImageDetails* details);

// The ".eh_frame" address that an ".eh_frame_hdr" section points at; 0 when unreadable.
uint64_t CWBinaryImageEhFrameFromHeader(uint64_t ehFrameHeader);
// Reads an image mapped at `base` (its ELF header) with load bias `bias` through
// safe reads only: size to the end of its last executable segment, unwind
// sections and build-id.
bool CWBinaryImageDetailsFromMemory(uint64_t bias, uint64_t base, const char* path, CWBinaryImageDetails* out);

// At crash time, before any unwinding: brings the table in line with the
// loader's list of images (walked with safe reads), so that a library loaded
// after set-up is found and one unloaded since is forgotten. Each change gets its
// record.
void CWBinaryImageReconcile();
