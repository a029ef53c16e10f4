#include <cstring>

#include "kit/crash/crashpath/CWDwarf.h"
#include "kit/crash/crashpath/CWSDKLog.h"
#include "kit/crash/crashpath/CWSafeRead.h"

namespace {

constexpr int kStackDepth = 100;

// The stack machine that evaluates one expression; it lives on the caller's stack.
struct Machine {
    uint64_t stack[kStackDepth];
    int depth;
    bool valid;
    uint64_t cursor;
    uint64_t end;
    const CWMachineContext* context;

    bool push(uint64_t value)
    {
        if (depth >= kStackDepth) {
            CWLOG_WARN("Error: DWARF machine stack invalid\n");
            valid = false;
            return false;
        }
        stack[depth++] = value;
        return true;
    }

    bool pop(uint64_t* value)
    {
        if (depth <= 0) {
            CWLOG_WARN("Error: DWARF machine pointers invalid\n");
            valid = false;
            return false;
        }
        *value = stack[--depth];
        return true;
    }

    // Pops b then a and pushes the result of the operation on a and b.
    template <typename Operation> bool binary(Operation operation)
    {
        uint64_t a = 0;
        uint64_t b = 0;
        return pop(&b) && pop(&a) && push(operation(a, b));
    }

    bool constant(int size, bool isSigned)
    {
        if (cursor + size > end) {
            return false;
        }
        uint64_t value = 0;
        memcpy(&value, reinterpret_cast<const void*>(cursor), size);
        if (isSigned && size < 8 && (value >> (size * 8 - 1)) != 0) {
            value |= ~uint64_t(0) << (size * 8);
        }
        cursor += size;
        return push(value);
    }
};

bool readMemory(uint64_t address, int size, uint64_t* value)
{
    *value = 0;
    return CWSafeRead(reinterpret_cast<const void*>(address), value, size);
}

bool executeNextOpcode(Machine* machine)
{
    const uint8_t opcode = *reinterpret_cast<const uint8_t*>(machine->cursor++);
    if (opcode >= 0x30 && opcode <= 0x4F) {
        return machine->push(opcode - 0x30);
    }
    if (opcode >= 0x70 && opcode <= 0x8F) {
        int64_t offset = 0;
        uint64_t value = 0;
        if (!CWDwarfReadSLEB128(&machine->cursor, machine->end, &offset)) {
            return false;
        }
        if (!CWDwarfUnwindGetRegisterValue(machine->context, opcode - 0x70, &value)) {
            CWLOG_WARN("Error: DW_OP_breg invalid register number\n");
            return false;
        }
        return machine->push(value + static_cast<uint64_t>(offset));
    }
    uint64_t a = 0;
    uint64_t b = 0;
    switch (opcode) {
    case 0x06: // deref
        if (!machine->pop(&a) || !readMemory(a, 8, &b)) {
            CWLOG_WARN("Error: DW_OP_deref failed to read memory\n");
            return false;
        }
        return machine->push(b);
    case 0x08:
        return machine->constant(1, false);
    case 0x09:
        return machine->constant(1, true);
    case 0x0A:
        return machine->constant(2, false);
    case 0x0B:
        return machine->constant(2, true);
    case 0x0C:
        return machine->constant(4, false);
    case 0x0D:
        return machine->constant(4, true);
    case 0x0E:
        return machine->constant(8, false);
    case 0x0F:
        return machine->constant(8, true);
    case 0x12: // dup
        return machine->pop(&a) && machine->push(a) && machine->push(a);
    case 0x16: // swap
        return machine->pop(&b) && machine->pop(&a) && machine->push(b) && machine->push(a);
    case 0x1A:
        return machine->binary([](uint64_t x, uint64_t y) { return x & y; });
    case 0x1C:
        return machine->binary([](uint64_t x, uint64_t y) { return x - y; });
    case 0x22:
        return machine->binary([](uint64_t x, uint64_t y) { return x + y; });
    case 0x23: // plus_uconst
        return CWDwarfReadULEB128(&machine->cursor, machine->end, &b) && machine->pop(&a) && machine->push(a + b);
    case 0x24:
        return machine->binary([](uint64_t x, uint64_t y) { return y >= 64 ? 0 : x << y; });
    case 0x25:
        return machine->binary([](uint64_t x, uint64_t y) { return y >= 64 ? 0 : x >> y; });
    // Comparisons are signed.
    case 0x29:
        return machine->binary([](uint64_t x, uint64_t y) -> uint64_t { return x == y; });
    case 0x2A:
        return machine->binary([](uint64_t x, uint64_t y) -> uint64_t { return int64_t(x) >= int64_t(y); });
    case 0x2B:
        return machine->binary([](uint64_t x, uint64_t y) -> uint64_t { return int64_t(x) > int64_t(y); });
    case 0x2C:
        return machine->binary([](uint64_t x, uint64_t y) -> uint64_t { return int64_t(x) <= int64_t(y); });
    case 0x2D:
        return machine->binary([](uint64_t x, uint64_t y) -> uint64_t { return int64_t(x) < int64_t(y); });
    case 0x2E:
        return machine->binary([](uint64_t x, uint64_t y) -> uint64_t { return x != y; });
    case 0x94: { // deref_size
        if (machine->cursor >= machine->end) {
            return false;
        }
        const uint8_t size = *reinterpret_cast<const uint8_t*>(machine->cursor++);
        if (size != 1 && size != 2 && size != 4 && size != 8) {
            CWLOG_WARN("Error: unrecognized DW_OP_deref_size argument %x\n", static_cast<uint32_t>(size));
            return false;
        }
        if (!machine->pop(&a) || !readMemory(a, size, &b)) {
            CWLOG_WARN("Error: DW_OP_deref failed to read memory\n");
            return false;
        }
        return machine->push(b);
    }
    default:
        CWLOG_WARN("Error: Unrecognized DWARF expression opcode 0x%x\n", static_cast<uint32_t>(opcode));
        return false;
    }
}

} // namespace

bool CWDwarfEvalulateExpression(uint64_t location, const CWMachineContext* context, uint64_t initial, uint64_t* out)
{
    if (location < 4096 || reinterpret_cast<uintptr_t>(out) < 4096) {
        CWLOG_WARN("Error: inputs invalid\n");
        return false;
    }
    Machine machine;
    machine.depth = 0;
    machine.valid = true;
    machine.context = context;
    machine.push(initial);
    uint64_t cursor = location;
    uint64_t length = 0;
    if (!CWDwarfReadULEB128(&cursor, location + 10, &length) || length == 0) {
        CWLOG_WARN("Error: DWARF expression length is zero\n");
        CWLOG_WARN("Error: unable to prepare for execution\n");
        return false;
    }
    machine.cursor = cursor;
    machine.end = cursor + length;
    while (machine.cursor < machine.end) {
        if (!executeNextOpcode(&machine) || !machine.valid) {
            CWLOG_WARN("Error: failed to execute DWARF machine opcode\n");
            return false;
        }
    }
    if (!machine.pop(out)) {
        CWLOG_WARN("Error: failed to get DWARF expression result\n");
        return false;
    }
    return true;
}
