#pragma once

#include <cstdint>

#include "kit/crash/crashpath/CWMachineContext.h"

// Steps one frame with the DWARF call-frame information of an image's
// ".eh_frame": the FDE of the pc and its CIE are parsed, their instructions run
// up to the pc, the CFA is computed and every saved register read back. The
// sections are read where the image is mapped; stack memory only through the
// safe read.

struct CWDwarfCIE {
    uint64_t length;
    uint8_t version;
    const char* augmentation;
    uint64_t personality;
    uint64_t codeAlignment;
    int64_t dataAlignment;
    uint64_t returnAddressRegister;
    uint8_t pointerEncoding;
    uint8_t lsdaEncoding;
    uint8_t personalityEncoding;
    uint8_t isSignalFrame;
    uint64_t instructionsLength;
    uint64_t instructionsStart;
};

struct CWDwarfFDE {
    uint64_t length;
    uint32_t ciePointer;
    uint64_t pcBegin;
    uint64_t pcRange;
    uint64_t instructionsLength;
    uint64_t instructionsStart;
};

enum CWDwarfRule : uint8_t {
    CWDwarfRuleUnchanged = 0,
    CWDwarfRuleOffsetFromCFA = 1,
    CWDwarfRuleValueOffsetFromCFA = 2,
    CWDwarfRuleInRegister = 3,
    CWDwarfRuleAtExpression = 4,
    CWDwarfRuleIsExpression = 5,
    CWDwarfRuleUndefined = 6,
};

struct CWDwarfRegisterRule {
    uint8_t rule;
    int64_t value;
};

// The CFA register number that says "the CFA is given by an expression".
inline constexpr uint64_t CWDwarfCFAIsExpression = 17;

struct CWDwarfRuleSet {
    uint64_t cfaRegister;
    int64_t cfaOffset;
    uint64_t cfaExpression;
    CWDwarfRegisterRule registers[CWRegisterCount];
};

enum CWDwarfStep : int {
    CWDwarfStepFailed = 0,
    CWDwarfStepDone = 1,
    // The return address is undefined: the outermost frame (thread start).
    CWDwarfStepEndOfStack = 2,
};

// Encoded pointers of ".eh_frame" and ".eh_frame_hdr". `dataBase` is the address
// data-relative values count from (the ".eh_frame_hdr" section); all ones on failure.
inline constexpr uint64_t CWDwarfInvalidAddress = ~uint64_t(0);
uint64_t CWParseAddressWithEncodingAndAdvance(uint64_t* cursor, uint8_t encoding, uint64_t dataBase);

// LEB128 numbers of up to 10 bytes into 64 bits; false past `end` or when longer.
bool CWDwarfReadULEB128(uint64_t* cursor, uint64_t end, uint64_t* value);
bool CWDwarfReadSLEB128(uint64_t* cursor, uint64_t end, int64_t* value);

bool CWDwarfParseCIERecord(CWDwarfCIE* cie, uint64_t address, uint64_t dataBase);
bool CWDwarfParseFDERecord(CWDwarfFDE* fde, bool parseCIE, CWDwarfCIE* cie, uint64_t address, uint64_t dataBase);

// Runs instructions while the location stays below `limit` (a pc offset plus one,
// so that the rules of the instruction at the pc are in effect). `initial`
// holds the CIE's rules for restore; `pcBegin` turns set_loc addresses into locations.
bool CWDwarfInstructionsEnumerate(uint64_t start, uint64_t end, const CWDwarfCIE* cie, CWDwarfRuleSet* rules,
    uint64_t limit, const CWDwarfRuleSet* initial, uint64_t pcBegin, uint64_t dataBase);

// `lookupPc` lies inside the instruction the frame is at: the pc itself for an
// interrupted instruction, the return address minus one otherwise.
CWDwarfStep CWDwarfUnwindComputeRegisters(
    const CWDwarfCIE* cie, const CWDwarfFDE* fde, CWMachineContext* context, uint64_t lookupPc, uint64_t dataBase);

bool CWDwarfGetCFA(const CWDwarfRuleSet* rules, const CWMachineContext* context, uint64_t* cfa);
bool CWDwarfUnwindGetRegisterValue(const CWMachineContext* context, uint64_t number, uint64_t* value);
bool CWDwarfUnwindSetRegisterValue(CWMachineContext* context, uint64_t number, uint64_t value);

// Evaluates the expression at `location` (its length first, as LEB128) with
// `initial` as the only stack entry.
bool CWDwarfEvalulateExpression(uint64_t location, const CWMachineContext* context, uint64_t initial, uint64_t* out);
