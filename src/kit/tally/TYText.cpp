#include "kit/tally/TYText.h"

char32_t TYText::decode(std::string_view text, size_t& position)
{
    const auto byte = [&](size_t i) { return static_cast<unsigned char>(text[i]); };
    const unsigned char lead = byte(position);
    size_t length = 0;
    char32_t value = 0;
    if (lead < 0x80) {
        ++position;
        return lead;
    }
    if (lead >= 0xC2 && lead <= 0xDF) {
        length = 2;
        value = lead & 0x1F;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
        length = 3;
        value = lead & 0x0F;
    } else if (lead >= 0xF0 && lead <= 0xF4) {
        length = 4;
        value = lead & 0x07;
    } else {
        ++position;
        return 0xFFFD;
    }
    if (position + length > text.size()) {
        ++position;
        return 0xFFFD;
    }
    for (size_t i = 1; i < length; ++i) {
        if ((byte(position + i) & 0xC0) != 0x80) {
            ++position;
            return 0xFFFD;
        }
        value = (value << 6) | (byte(position + i) & 0x3F);
    }
    // Overlong forms, surrogates and values past the last plane are not text.
    const bool overlong = (length == 3 && value < 0x800) || (length == 4 && value < 0x10000);
    if (overlong || (value >= 0xD800 && value <= 0xDFFF) || value > 0x10FFFF) {
        ++position;
        return 0xFFFD;
    }
    position += length;
    return value;
}

size_t TYText::utf16Length(std::string_view text)
{
    size_t units = 0;
    for (size_t position = 0; position < text.size();) {
        units += decode(text, position) >= 0x10000 ? 2 : 1;
    }
    return units;
}

std::string TYText::truncatedToUtf16Units(std::string_view text, size_t units)
{
    size_t counted = 0;
    size_t position = 0;
    while (position < text.size()) {
        size_t next = position;
        const size_t width = decode(text, next) >= 0x10000 ? 2 : 1;
        if (counted + width > units) {
            break;
        }
        counted += width;
        position = next;
    }
    return std::string(text.substr(0, position));
}

int32_t TYText::javaHashCode(std::string_view text)
{
    uint32_t hash = 0;
    const auto add = [&hash](uint32_t unit) { hash = hash * 31u + unit; };
    for (size_t position = 0; position < text.size();) {
        const char32_t character = decode(text, position);
        if (character >= 0x10000) {
            const uint32_t offset = character - 0x10000;
            add(0xD800 + (offset >> 10));
            add(0xDC00 + (offset & 0x3FF));
        } else {
            add(character);
        }
    }
    return static_cast<int32_t>(hash);
}
