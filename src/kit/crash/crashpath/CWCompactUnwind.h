#pragma once

#include <cstdint>

struct CWUnwindCursor;

// The compact unwind table ("__unwind_info") of the platform the kit was first
// written for, decoded over a byte range and a load address. ELF images carry no
// such table, so the Linux step never reaches it; it stays for tables the
// service or tests hand over.

struct CWCompactUnwindHeader {
    uint32_t version;
    uint32_t commonEncodingsOffset;
    uint32_t commonEncodingsCount;
    uint32_t personalitiesOffset;
    uint32_t personalitiesCount;
    uint32_t indexOffset;
    uint32_t indexCount;
};

struct CWCompactUnwindContext {
    uint64_t unwindInfo;
    uint64_t ehFrame;
    uint64_t loadAddress;
    CWCompactUnwindHeader header;
    uint32_t functionOffset;
    uint32_t secondLevelOffset;
    uint32_t lsdaOffset;
    uint32_t nextFunctionOffset;
};

struct CWCompactUnwindResult {
    uint32_t encoding;
    uint64_t functionStart;
    uint64_t functionEnd;
    uint64_t personality;
    uint64_t lsda;
};

// Saved-register numbers of the frameless encodings.
enum CWCompactUnwindRegister : uint32_t {
    CWCompactUnwindRBX = 1,
    CWCompactUnwindR12 = 2,
    CWCompactUnwindR13 = 3,
    CWCompactUnwindR14 = 4,
    CWCompactUnwindR15 = 5,
    CWCompactUnwindRBP = 6,
};

bool CWCompactUnwindInit(CWCompactUnwindContext* context, uint64_t unwindInfo, uint64_t ehFrame, uint64_t loadAddress);
bool CWCompactUnwindLookupAndCompute(CWCompactUnwindContext* context, CWUnwindCursor* cursor);
bool CWCompactUnwindLookup(CWCompactUnwindContext* context, uint64_t pc, CWCompactUnwindResult* result);
bool CWCompactUnwindLookupSecondLevel(CWCompactUnwindContext* context, uint64_t pc, CWCompactUnwindResult* result);
bool CWCompactUnwindLookupSecondLevelCompressed(
    CWCompactUnwindContext* context, uint64_t pc, CWCompactUnwindResult* result);
bool CWCompactUnwindComputeRegisters(
    CWCompactUnwindContext* context, const CWCompactUnwindResult* result, CWUnwindCursor* cursor);
bool CWCompactUnwindFrameless(uint32_t encoding, CWUnwindCursor* cursor, uint64_t functionStart, bool indirect);
bool CWCompactUnwindComputeStackSize(uint32_t encoding, uint64_t functionStart, bool indirect, uint64_t* size);
// The digits of a permutation of `count` saved registers.
bool CWCompactUnwindDecompressPermutation(uint32_t count, uint32_t permutation, uint32_t digits[6]);
// Digits to register numbers 1 to 6: each digit picks among the numbers not yet used.
bool CWCompactUnwindRemapRegisters(uint32_t count, const uint32_t digits[6], uint32_t registers[6]);
bool CWCompactUnwindRestoreRegisters(
    CWUnwindCursor* cursor, uint64_t stackSize, uint32_t count, const uint32_t registers[6]);
bool CWCompactUnwindDwarfFrame(CWCompactUnwindContext* context, uint32_t offset, CWUnwindCursor* cursor);
