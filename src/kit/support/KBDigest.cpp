#include "kit/support/KBDigest.h"

#include <openssl/sha.h>

#include <sys/random.h>

#include <cctype>
#include <random>

std::string KBHexStringFromData(const void* bytes, size_t length)
{
    static constexpr char digits[] = "0123456789abcdef";
    std::string text(length * 2, '0');
    const auto* in = static_cast<const uint8_t*>(bytes);
    for (size_t i = 0; i < length; ++i) {
        text[2 * i] = digits[in[i] >> 4];
        text[2 * i + 1] = digits[in[i] & 0x0f];
    }
    return text;
}

std::string KBSHA1HexDigest(const void* bytes, size_t length)
{
    unsigned char digest[SHA_DIGEST_LENGTH];
    SHA1(static_cast<const unsigned char*>(bytes), length, digest);
    return KBHexStringFromData(digest, sizeof digest);
}

namespace {

void fillRandom(uint8_t* bytes, size_t length)
{
    size_t filled = 0;
    while (filled < length) {
        const ssize_t got = ::getrandom(bytes + filled, length - filled, 0);
        if (got > 0) {
            filled += static_cast<size_t>(got);
            continue;
        }
        // getrandom only fails when interrupted or on ancient kernels; a
        // random_device read is the fallback.
        std::random_device device;
        for (; filled < length; ++filled) {
            bytes[filled] = static_cast<uint8_t>(device());
        }
    }
}

} // namespace

std::string KBCreateUUIDString()
{
    uint8_t uuid[16];
    fillRandom(uuid, sizeof uuid);
    uuid[6] = static_cast<uint8_t>((uuid[6] & 0x0f) | 0x40);
    uuid[8] = static_cast<uint8_t>((uuid[8] & 0x3f) | 0x80);
    const std::string hex = KBHexStringFromData(uuid, sizeof uuid);
    std::string text = hex.substr(0, 8) + "-" + hex.substr(8, 4) + "-" + hex.substr(12, 4) + "-" + hex.substr(16, 4)
        + "-" + hex.substr(20);
    for (char& c : text) {
        c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    }
    return text;
}

std::string KBHexStringFromUUIDBytes(const uint8_t* uuid)
{
    return KBHexStringFromData(uuid, 16);
}
