#pragma once

#include <cstdint>
#include <cstring>
#include <initializer_list>
#include <vector>

// Call-frame information assembled byte by byte, the way a compiler lays it out.
struct Bytes {
    std::vector<uint8_t> data;

    Bytes& u8(std::initializer_list<int> values)
    {
        for (int value : values) {
            data.push_back(static_cast<uint8_t>(value));
        }
        return *this;
    }
    Bytes& u32(uint32_t value) { return raw(&value, 4); }
    Bytes& u64(uint64_t value) { return raw(&value, 8); }
    Bytes& text(const char* value) { return raw(value, strlen(value) + 1); }
    Bytes& raw(const void* bytes, size_t length)
    {
        const auto* cursor = static_cast<const uint8_t*>(bytes);
        data.insert(data.end(), cursor, cursor + length);
        return *this;
    }
    uint64_t address() const { return reinterpret_cast<uintptr_t>(data.data()); }
};

inline constexpr uint64_t kFunction = 0x7f0000001000;

// A CIE at offset 0 (absolute 8-byte pointers, code alignment 1, data alignment
// -8, return address in column 16) with CFA = rsp + 8 and the return address at
// CFA - 8, followed by an FDE for [kFunction, kFunction + 0x100) with `program`.
Bytes frameInfo(const std::vector<uint8_t>& program, const char* augmentation = "zR");
// Where the FDE of `frameInfo` starts.
uint64_t fdeAddress(const Bytes& info);
