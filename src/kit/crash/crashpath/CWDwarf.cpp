#include "kit/crash/crashpath/CWDwarf.h"

#include <cstring>

#include "kit/crash/crashpath/CWSDKLog.h"
#include "kit/crash/crashpath/CWSafeRead.h"

namespace {

constexpr int kRememberDepth = 8;

template <typename T> T load(uint64_t address)
{
    T value;
    memcpy(&value, reinterpret_cast<const void*>(address), sizeof(T));
    return value;
}

uint8_t nextByte(uint64_t* cursor)
{
    return load<uint8_t>((*cursor)++);
}

// The length field of a CIE or FDE; 0xFFFFFFFF announces a 64-bit length.
uint64_t readLength(uint64_t* cursor)
{
    uint64_t length = load<uint32_t>(*cursor);
    *cursor += 4;
    if (length == 0xFFFFFFFF) {
        length = load<uint64_t>(*cursor);
        *cursor += 8;
    }
    return length;
}

bool validRegister(uint64_t number)
{
    return number < CWRegisterCount;
}

struct Instructions {
    uint64_t cursor;
    uint64_t end;
    const CWDwarfCIE* cie;
    CWDwarfRuleSet* rules;
    const CWDwarfRuleSet* initial;
    uint64_t pcBegin;
    uint64_t dataBase;
    uint64_t location;
    CWDwarfRuleSet remembered[kRememberDepth];
    int rememberedCount;

    bool uleb(uint64_t* value) { return CWDwarfReadULEB128(&cursor, end, value); }
    bool sleb(int64_t* value) { return CWDwarfReadSLEB128(&cursor, end, value); }

    bool setRule(uint64_t number, uint8_t rule, int64_t value, const char* invalidMessage)
    {
        if (!validRegister(number)) {
            CWLOG_WARN("Error: Found an invalid %s register number\n", invalidMessage);
            return false;
        }
        rules->registers[number].rule = rule;
        rules->registers[number].value = value;
        return true;
    }

    bool restore(uint64_t number)
    {
        if (!validRegister(number)) {
            return false;
        }
        rules->registers[number] = initial != nullptr ? initial->registers[number] : CWDwarfRegisterRule{};
        return true;
    }

    bool skipExpression(uint64_t* start)
    {
        *start = cursor;
        uint64_t length = 0;
        if (!uleb(&length) || length > end - cursor) {
            return false;
        }
        cursor += length;
        return true;
    }

    bool advance(uint64_t delta)
    {
        location += delta * cie->codeAlignment;
        return true;
    }

    bool execute(uint8_t opcode);
};

bool Instructions::execute(uint8_t opcode)
{
    uint64_t number = 0;
    uint64_t unsignedValue = 0;
    int64_t signedValue = 0;
    uint64_t expression = 0;
    const int64_t dataAlignment = cie->dataAlignment;
    switch (opcode & 0xC0) {
    case 0x40:
        return advance(opcode & 0x3F);
    case 0x80:
        return uleb(&unsignedValue)
            && setRule(
                opcode & 0x3F, CWDwarfRuleOffsetFromCFA, int64_t(unsignedValue) * dataAlignment, "DW_CFA_offset");
    case 0xC0:
        return restore(opcode & 0x3F);
    default:
        break;
    }
    switch (opcode) {
    case 0x00:
        return true;
    case 0x01:
        unsignedValue = CWParseAddressWithEncodingAndAdvance(&cursor, cie->pointerEncoding, dataBase);
        location = unsignedValue - pcBegin;
        return unsignedValue != CWDwarfInvalidAddress;
    case 0x02:
        return advance(nextByte(&cursor));
    case 0x03:
        cursor += 2;
        return advance(load<uint16_t>(cursor - 2));
    case 0x04:
        cursor += 4;
        return advance(load<uint32_t>(cursor - 4));
    case 0x05:
        return uleb(&number) && uleb(&unsignedValue)
            && setRule(number, CWDwarfRuleOffsetFromCFA, int64_t(unsignedValue) * dataAlignment, "DW_CFA_offset");
    case 0x06:
        return uleb(&number) && restore(number);
    case 0x07:
        return uleb(&number) && setRule(number, CWDwarfRuleUndefined, 0, "DW_CFA_undefined");
    case 0x08:
        return uleb(&number) && setRule(number, CWDwarfRuleUnchanged, 0, "DW_CFA_same_value");
    case 0x09:
        if (!uleb(&number) || !validRegister(number)) {
            CWLOG_WARN("Error: Found an invalid DW_CFA_register number\n");
            return false;
        }
        if (!uleb(&unsignedValue) || !validRegister(unsignedValue)) {
            CWLOG_WARN("Error: Found an invalid DW_CFA_register value\n");
            return false;
        }
        return setRule(number, CWDwarfRuleInRegister, int64_t(unsignedValue), "DW_CFA_register");
    case 0x0A:
        if (rememberedCount >= kRememberDepth) {
            return false;
        }
        remembered[rememberedCount++] = *rules;
        return true;
    case 0x0B:
        if (rememberedCount == 0) {
            return false;
        }
        *rules = remembered[--rememberedCount];
        return true;
    case 0x0C:
        if (!uleb(&number) || !uleb(&unsignedValue) || !validRegister(number)) {
            CWLOG_WARN("Error: Found an invalid DW_CFA_def_cfa register number\n");
            return false;
        }
        rules->cfaRegister = number;
        rules->cfaOffset = int64_t(unsignedValue);
        rules->cfaExpression = 0;
        return true;
    case 0x0D:
        if (!uleb(&number) || !validRegister(number)) {
            CWLOG_WARN("Error: Found an invalid DW_CFA_def_cfa_register register number\n");
            return false;
        }
        rules->cfaRegister = number;
        rules->cfaExpression = 0;
        return true;
    case 0x0E:
        if (!uleb(&unsignedValue)) {
            return false;
        }
        rules->cfaOffset = int64_t(unsignedValue);
        return true;
    case 0x0F:
        rules->cfaRegister = CWDwarfCFAIsExpression;
        return skipExpression(&rules->cfaExpression);
    case 0x10:
        return uleb(&number) && skipExpression(&expression)
            && setRule(number, CWDwarfRuleAtExpression, int64_t(expression), "DW_CFA_expression");
    case 0x11:
        return uleb(&number) && sleb(&signedValue)
            && setRule(number, CWDwarfRuleOffsetFromCFA, signedValue * dataAlignment, "DW_CFA_offset");
    case 0x12:
        if (!uleb(&number) || !sleb(&signedValue) || !validRegister(number)) {
            CWLOG_WARN("Error: Found an invalid DW_CFA_def_cfa register number\n");
            return false;
        }
        rules->cfaRegister = number;
        rules->cfaOffset = signedValue * dataAlignment;
        rules->cfaExpression = 0;
        return true;
    case 0x13:
        if (!sleb(&signedValue)) {
            return false;
        }
        rules->cfaOffset = signedValue * dataAlignment;
        return true;
    case 0x14:
        return uleb(&number) && uleb(&unsignedValue)
            && setRule(
                number, CWDwarfRuleValueOffsetFromCFA, int64_t(unsignedValue) * dataAlignment, "DW_CFA_val_offset");
    case 0x15:
        return uleb(&number) && sleb(&signedValue)
            && setRule(number, CWDwarfRuleValueOffsetFromCFA, signedValue * dataAlignment, "DW_CFA_val_offset");
    case 0x16:
        return uleb(&number) && skipExpression(&expression)
            && setRule(number, CWDwarfRuleIsExpression, int64_t(expression), "DW_CFA_val_expression");
    case 0x2E: // GNU_args_size: the argument area does not move the CFA
        return uleb(&unsignedValue);
    case 0x2D:
    case 0x2F:
        CWLOG_WARN("Error: Unimplemented DWARF instruction 0x%x\n", uint32_t(opcode));
        return false;
    default:
        CWLOG_WARN("Error: Unrecognized DWARF instruction 0x%x\n", uint32_t(opcode));
        return false;
    }
}

bool parseAugmentation(CWDwarfCIE* cie, uint64_t* cursor, uint64_t end, uint64_t dataBase)
{
    const char* augmentation = cie->augmentation;
    if (augmentation[0] == 0) {
        return true;
    }
    if (augmentation[0] != 'z') {
        CWLOG_WARN("Error: Unimplemented: augmentation string %s\n", augmentation);
        return false;
    }
    uint64_t dataLength = 0;
    if (!CWDwarfReadULEB128(cursor, end, &dataLength) || dataLength > end - *cursor) {
        return false;
    }
    const uint64_t dataEnd = *cursor + dataLength;
    for (const char* entry = augmentation + 1; *entry != 0; ++entry) {
        if (*entry == 'S') {
            cie->isSignalFrame = 1;
            continue;
        }
        if (*cursor >= dataEnd) {
            return false;
        }
        switch (*entry) {
        case 'L':
            cie->lsdaEncoding = nextByte(cursor);
            break;
        case 'R':
            cie->pointerEncoding = nextByte(cursor);
            break;
        case 'P':
            cie->personalityEncoding = nextByte(cursor);
            cie->personality = CWParseAddressWithEncodingAndAdvance(cursor, cie->personalityEncoding, dataBase);
            if (cie->personality == CWDwarfInvalidAddress) {
                CWLOG_WARN("Error: Found an invalid start address\n");
                return false;
            }
            break;
        default:
            CWLOG_WARN("Error: Unhandled augmentation string entry %c\n");
            return false;
        }
    }
    if (*cursor > dataEnd) {
        return false;
    }
    *cursor = dataEnd;
    return true;
}

bool getSavedRegister(const CWDwarfRegisterRule& rule, uint64_t cfa, const CWMachineContext* callee, uint64_t* value)
{
    *value = 0;
    uint64_t address = 0;
    switch (rule.rule) {
    case CWDwarfRuleOffsetFromCFA:
        if (!CWSafeRead(reinterpret_cast<const void*>(cfa + rule.value), value, 8)) {
            CWLOG_WARN("Error: Unable to read CFA value\n");
            return false;
        }
        return true;
    case CWDwarfRuleValueOffsetFromCFA:
        *value = cfa + rule.value;
        return true;
    case CWDwarfRuleInRegister:
        return CWDwarfUnwindGetRegisterValue(callee, uint64_t(rule.value), value);
    case CWDwarfRuleAtExpression:
        if (!CWDwarfEvalulateExpression(uint64_t(rule.value), callee, cfa, &address)) {
            CWLOG_WARN("Error: unable to evaluate expression\n");
            return false;
        }
        if (!CWSafeRead(reinterpret_cast<const void*>(address), value, 8)) {
            CWLOG_WARN("Error: Unable to read memory computed from expression\n");
            return false;
        }
        return true;
    case CWDwarfRuleIsExpression:
        return CWDwarfEvalulateExpression(uint64_t(rule.value), callee, cfa, value);
    default:
        CWLOG_WARN("Error: Unrecognized register save location 0x%x\n", uint32_t(rule.rule));
        return false;
    }
}

} // namespace

bool CWDwarfReadULEB128(uint64_t* cursor, uint64_t end, uint64_t* value)
{
    uint64_t result = 0;
    for (int i = 0; i < 10 && *cursor < end; ++i) {
        const uint8_t byte = nextByte(cursor);
        result |= uint64_t(byte & 0x7F) << (7 * i);
        if ((byte & 0x80) == 0) {
            *value = result;
            return true;
        }
    }
    return false;
}

bool CWDwarfReadSLEB128(uint64_t* cursor, uint64_t end, int64_t* value)
{
    uint64_t result = 0;
    for (int i = 0; i < 10 && *cursor < end; ++i) {
        const uint8_t byte = nextByte(cursor);
        const int shift = 7 * i;
        result |= uint64_t(byte & 0x7F) << shift;
        if ((byte & 0x80) == 0) {
            if ((byte & 0x40) != 0 && shift + 7 < 64) {
                result |= ~uint64_t(0) << (shift + 7);
            }
            *value = int64_t(result);
            return true;
        }
    }
    return false;
}

uint64_t CWParseAddressWithEncodingAndAdvance(uint64_t* cursor, uint8_t encoding, uint64_t dataBase)
{
    if (encoding == 0xFF) {
        return 0;
    }
    const uint64_t field = *cursor;
    uint64_t value = 0;
    int64_t signedValue = 0;
    switch (encoding & 0x0F) {
    case 0x00:
    case 0x04:
    case 0x0C:
        value = load<uint64_t>(field);
        *cursor += 8;
        break;
    case 0x01:
        if (!CWDwarfReadULEB128(cursor, field + 10, &value)) {
            return CWDwarfInvalidAddress;
        }
        break;
    case 0x02:
        value = load<uint16_t>(field);
        *cursor += 2;
        break;
    case 0x03:
        value = load<uint32_t>(field);
        *cursor += 4;
        break;
    case 0x09:
        if (!CWDwarfReadSLEB128(cursor, field + 10, &signedValue)) {
            return CWDwarfInvalidAddress;
        }
        value = uint64_t(signedValue);
        break;
    case 0x0A:
        value = uint64_t(int64_t(load<int16_t>(field)));
        *cursor += 2;
        break;
    case 0x0B:
        value = uint64_t(int64_t(load<int32_t>(field)));
        *cursor += 4;
        break;
    default:
        CWLOG_WARN("Unhandled: encoding 0x%02x\n");
        return CWDwarfInvalidAddress;
    }
    switch (encoding & 0x70) {
    case 0x00:
        break;
    case 0x10:
        value += field;
        break;
    case 0x30:
        if (dataBase == 0) {
            CWLOG_WARN("Unhandled: relative encoding 0x%02x\n");
            return CWDwarfInvalidAddress;
        }
        value += dataBase;
        break;
    default:
        CWLOG_WARN("Unhandled: relative encoding 0x%02x\n");
        return CWDwarfInvalidAddress;
    }
    if ((encoding & 0x80) != 0) {
        uint64_t target = 0;
        if (!CWSafeRead(reinterpret_cast<const void*>(value), &target, 8)) {
            return CWDwarfInvalidAddress;
        }
        value = target;
    }
    return value;
}

bool CWDwarfParseCIERecord(CWDwarfCIE* cie, uint64_t address, uint64_t dataBase)
{
    memset(cie, 0, sizeof(*cie));
    uint64_t cursor = address;
    cie->length = readLength(&cursor);
    if (cie->length == 0) {
        CWLOG_WARN("Error: CIE length invalid\n");
        return false;
    }
    const uint64_t end = cursor + cie->length;
    if (load<uint32_t>(cursor) != 0) {
        CWLOG_WARN("Error: CIE flag not found\n");
    }
    cursor += 4;
    cie->version = nextByte(&cursor);
    if (cie->version != 1 && cie->version != 3) {
        CWLOG_WARN("Error: CIE version %u unsupported\n", uint32_t(cie->version));
        return false;
    }
    cie->augmentation = reinterpret_cast<const char*>(cursor);
    cursor += strnlen(cie->augmentation, end - cursor) + 1;
    cie->pointerEncoding = 0;
    cie->lsdaEncoding = 0xFF;
    cie->personalityEncoding = 0xFF;
    if (!CWDwarfReadULEB128(&cursor, end, &cie->codeAlignment)
        || !CWDwarfReadSLEB128(&cursor, end, &cie->dataAlignment)) {
        return false;
    }
    if (cie->version == 1) {
        cie->returnAddressRegister = nextByte(&cursor);
    } else if (!CWDwarfReadULEB128(&cursor, end, &cie->returnAddressRegister)) {
        return false;
    }
    if (!parseAugmentation(cie, &cursor, end, dataBase) || cursor > end) {
        return false;
    }
    cie->instructionsStart = cursor;
    cie->instructionsLength = end - cursor;
    return true;
}

bool CWDwarfParseFDERecord(CWDwarfFDE* fde, bool parseCIE, CWDwarfCIE* cie, uint64_t address, uint64_t dataBase)
{
    memset(fde, 0, sizeof(*fde));
    uint64_t cursor = address;
    fde->length = readLength(&cursor);
    if (fde->length == 0) {
        CWLOG_WARN("Error: FDE has zero length\n");
        return false;
    }
    const uint64_t end = cursor + fde->length;
    const uint64_t ciePointerField = cursor;
    fde->ciePointer = load<uint32_t>(cursor);
    cursor += 4;
    if (fde->ciePointer == 0) {
        CWLOG_WARN("Error: CIE offset invalid\n");
        return false;
    }
    if (parseCIE && !CWDwarfParseCIERecord(cie, ciePointerField - fde->ciePointer, dataBase)) {
        CWLOG_WARN("Error: Unable to parse CIE record\n");
        return false;
    }
    if (cie->length == 0 || (cie->version != 1 && cie->version != 3)) {
        CWLOG_WARN("Error: CIE invalid\n");
        return false;
    }
    fde->pcBegin = CWParseAddressWithEncodingAndAdvance(&cursor, cie->pointerEncoding, dataBase);
    if (fde->pcBegin == CWDwarfInvalidAddress) {
        CWLOG_WARN("Error: Found an invalid start address\n");
        return false;
    }
    fde->pcRange = CWParseAddressWithEncodingAndAdvance(&cursor, cie->pointerEncoding & 0x0F, dataBase);
    if (fde->pcRange == CWDwarfInvalidAddress) {
        CWLOG_WARN("Error: Found an invalid address range\n");
        return false;
    }
    if (cie->augmentation[0] == 'z') {
        uint64_t skip = 0;
        if (!CWDwarfReadULEB128(&cursor, end, &skip) || skip > end - cursor) {
            return false;
        }
        cursor += skip;
    }
    fde->instructionsStart = cursor;
    fde->instructionsLength = end - cursor;
    return cursor <= end;
}

bool CWDwarfInstructionsEnumerate(uint64_t start, uint64_t end, const CWDwarfCIE* cie, CWDwarfRuleSet* rules,
    uint64_t limit, const CWDwarfRuleSet* initial, uint64_t pcBegin, uint64_t dataBase)
{
    Instructions run;
    run.cursor = start;
    run.end = end;
    run.cie = cie;
    run.rules = rules;
    run.initial = initial;
    run.pcBegin = pcBegin;
    run.dataBase = dataBase;
    run.location = 0;
    run.rememberedCount = 0;
    while (run.cursor < run.end && run.location < limit) {
        const uint8_t opcode = nextByte(&run.cursor);
        if (!run.execute(opcode)) {
            CWLOG_WARN("Error: Failed to execute dwarf instruction 0x%x\n", uint32_t(opcode));
            return false;
        }
    }
    return true;
}

bool CWDwarfUnwindGetRegisterValue(const CWMachineContext* context, uint64_t number, uint64_t* value)
{
    if (!validRegister(number)) {
        CWLOG_WARN("Error: Unrecognized get register number %llu\n");
        return false;
    }
    *value = context->registers[number];
    return true;
}

bool CWDwarfUnwindSetRegisterValue(CWMachineContext* context, uint64_t number, uint64_t value)
{
    if (!validRegister(number)) {
        CWLOG_WARN("Unrecognized set register number %llu\n");
        return false;
    }
    context->registers[number] = value;
    return true;
}

bool CWDwarfGetCFA(const CWDwarfRuleSet* rules, const CWMachineContext* context, uint64_t* cfa)
{
    if (rules->cfaRegister == CWDwarfCFAIsExpression) {
        if (!CWDwarfEvalulateExpression(rules->cfaExpression, context, 0, cfa)) {
            CWLOG_WARN("Error: failed to compute CFA expression\n");
            return false;
        }
        return true;
    }
    uint64_t base = 0;
    if (!CWDwarfUnwindGetRegisterValue(context, rules->cfaRegister, &base)) {
        return false;
    }
    *cfa = base + uint64_t(rules->cfaOffset);
    return true;
}

CWDwarfStep CWDwarfUnwindComputeRegisters(
    const CWDwarfCIE* cie, const CWDwarfFDE* fde, CWMachineContext* context, uint64_t lookupPc, uint64_t dataBase)
{
    CWDwarfRuleSet initial;
    memset(&initial, 0, sizeof(initial));
    const uint64_t cieEnd = cie->instructionsStart + cie->instructionsLength;
    if (!CWDwarfInstructionsEnumerate(
            cie->instructionsStart, cieEnd, cie, &initial, ~uint64_t(0), nullptr, fde->pcBegin, dataBase)) {
        CWLOG_WARN("Error: Unable to run CIE instructions\n");
        return CWDwarfStepFailed;
    }
    if (lookupPc < fde->pcBegin) {
        CWLOG_WARN("Error: The FDE pcOffset value cannot be negative\n");
        return CWDwarfStepFailed;
    }
    CWDwarfRuleSet rules = initial;
    const uint64_t fdeEnd = fde->instructionsStart + fde->instructionsLength;
    if (!CWDwarfInstructionsEnumerate(fde->instructionsStart, fdeEnd, cie, &rules, lookupPc - fde->pcBegin + 1,
            &initial, fde->pcBegin, dataBase)) {
        CWLOG_WARN("Error: Unable to run FDE instructions\n");
        return CWDwarfStepFailed;
    }
    uint64_t cfa = 0;
    if (!CWDwarfGetCFA(&rules, context, &cfa)) {
        CWLOG_WARN("Error: failed to get CFA\n");
        return CWDwarfStepFailed;
    }
    const uint64_t returnColumn = cie->returnAddressRegister;
    if (validRegister(returnColumn) && rules.registers[returnColumn].rule == CWDwarfRuleUndefined) {
        return CWDwarfStepEndOfStack;
    }
    // Every saved value comes from the callee's registers, never from the copy being filled.
    CWMachineContext caller = *context;
    for (int number = 0; number < CWRegisterCount; ++number) {
        const CWDwarfRegisterRule& rule = rules.registers[number];
        if (rule.rule == CWDwarfRuleUnchanged || rule.rule == CWDwarfRuleUndefined) {
            continue;
        }
        uint64_t value = 0;
        if (!getSavedRegister(rule, cfa, context, &value)) {
            CWLOG_WARN("Error: Unable to restore register value\n");
            CWLOG_ERROR("Error: Unable to assign DWARF registers\n");
            return CWDwarfStepFailed;
        }
        caller.registers[number] = value;
    }
    if (validRegister(returnColumn) && returnColumn != CWRegisterReturnAddress) {
        caller.registers[CWRegisterReturnAddress] = caller.registers[returnColumn];
    }
    caller.registers[CWRegisterStackPointer] = cfa;
    // Only a stack pointer that stays put means no progress. The same pc comes
    // back on every level of a self-recursion, each from a higher stack.
    if (caller.registers[CWRegisterStackPointer] == context->registers[CWRegisterStackPointer]) {
        CWLOG_WARN("Error: Stack pointer hasn't changed\n");
        return CWDwarfStepFailed;
    }
    *context = caller;
    return CWDwarfStepDone;
}
