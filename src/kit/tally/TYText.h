#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

// Text measured the way the analytics service counts it: in UTF-16 code
// units, over the kit's UTF-8 strings. Bytes that are not UTF-8 count as one
// replacement character each.
class TYText {
public:
    static size_t utf16Length(std::string_view text);
    // The longest prefix of at most that many units that ends on a whole
    // character, so that a cut never leaves half a surrogate pair.
    static std::string truncatedToUtf16Units(std::string_view text, size_t units);
    // The string hash of the Java platform over the UTF-16 units.
    static int32_t javaHashCode(std::string_view text);

private:
    // Decodes one character at position (advancing it); 0xFFFD for a bad byte.
    static char32_t decode(std::string_view text, size_t& position);
};
