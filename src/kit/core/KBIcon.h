#pragma once

#include <optional>
#include <string>

struct KBSize {
    double width = 0;
    double height = 0;
};

// The application icon as PNG bytes with their SHA-1 and pixel size.
class KBIcon {
public:
    KBIcon(std::string data, std::string dataHash, KBSize size, bool prerendered);
    KBIcon(std::string data, KBSize size, bool prerendered);
    KBIcon(std::string data, KBSize size);
    // An icon from PNG bytes, sized from the PNG header; nothing when the
    // bytes are not a PNG.
    static std::optional<KBIcon> fromImage(const std::string& png);

    double surfaceArea() const;
    bool isWithinMaxSurfaceArea() const;
    bool largerThanSize(KBSize size) const;

    bool prerendered() const;
    const std::string& data() const;
    const std::string& dataHash() const;
    KBSize size() const;

private:
    bool prerendered_;
    std::string data_;
    std::string dataHash_;
    KBSize size_;
};
