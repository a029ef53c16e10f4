#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

// Hexadecimal, SHA-1 and UUID texts used by every request and report of the kit.

// Two lower-case digits per byte, high nibble first.
std::string KBHexStringFromData(const void* bytes, size_t length);
inline std::string KBHexStringFromData(std::string_view data)
{
    return KBHexStringFromData(data.data(), data.size());
}

// SHA-1 of the bytes as 40 lower-case hexadecimal digits.
std::string KBSHA1HexDigest(const void* bytes, size_t length);
inline std::string KBSHA1HexDigest(std::string_view data)
{
    return KBSHA1HexDigest(data.data(), data.size());
}

// A new random (version 4) UUID, upper case with dashes: 36 characters.
std::string KBCreateUUIDString();

// 16 bytes as 32 lower-case hexadecimal digits.
std::string KBHexStringFromUUIDBytes(const uint8_t* uuid);
