#include "kit/core/KBIcon.h"

#include "kit/support/KBDigest.h"

#include <cstdint>

namespace {

uint32_t bigEndian(const std::string& bytes, size_t at)
{
    return static_cast<uint32_t>(static_cast<uint8_t>(bytes[at])) << 24
        | static_cast<uint32_t>(static_cast<uint8_t>(bytes[at + 1])) << 16
        | static_cast<uint32_t>(static_cast<uint8_t>(bytes[at + 2])) << 8
        | static_cast<uint32_t>(static_cast<uint8_t>(bytes[at + 3]));
}

} // namespace

KBIcon::KBIcon(std::string data, std::string dataHash, KBSize size, bool prerendered)
    : prerendered_(prerendered)
    , data_(std::move(data))
    , dataHash_(std::move(dataHash))
    , size_(size)
{
}

KBIcon::KBIcon(std::string data, KBSize size, bool prerendered)
    : KBIcon(data, KBSHA1HexDigest(data), size, prerendered)
{
}

KBIcon::KBIcon(std::string data, KBSize size)
    : KBIcon(std::move(data), size, true)
{
}

std::optional<KBIcon> KBIcon::fromImage(const std::string& png)
{
    // Signature (8), then the IHDR chunk: length (4), "IHDR" (4), width, height.
    static const std::string signature("\x89PNG\r\n\x1a\n", 8);
    if (png.size() < 24 || png.compare(0, 8, signature) != 0 || png.compare(12, 4, "IHDR") != 0) {
        return std::nullopt;
    }
    const KBSize size{static_cast<double>(bigEndian(png, 16)), static_cast<double>(bigEndian(png, 20))};
    return KBIcon(png, size);
}

double KBIcon::surfaceArea() const
{
    return size_.width * size_.height;
}

bool KBIcon::isWithinMaxSurfaceArea() const
{
    return surfaceArea() <= 1048576.0;
}

bool KBIcon::largerThanSize(KBSize size) const
{
    return surfaceArea() > size.width * size.height;
}

bool KBIcon::prerendered() const
{
    return prerendered_;
}

const std::string& KBIcon::data() const
{
    return data_;
}

const std::string& KBIcon::dataHash() const
{
    return dataHash_;
}

KBSize KBIcon::size() const
{
    return size_;
}
