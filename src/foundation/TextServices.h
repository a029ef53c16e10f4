#pragma once

#include <QString>

#include <cstdint>

// Text checks and texts for the interface.
//
// Callers rely on:
// - isAllNumberic and isUnsiginedFloatNumber judge text as it is being typed:
//   the empty text passes both (a field may be cleared), and "2." or "." pass
//   isUnsiginedFloatNumber so that "2.8" can be typed character by character.
//   Only ASCII digits count; signs, exponents and blanks never pass.
class TextServices {
public:
    static QString stringByTrimmingLeadingAndTrailingWhitespaceAndNewlineCharacters(const QString& text);
    static bool isAllNumberic(const QString& text);
    static bool isUnsiginedFloatNumber(const QString& text);
    // "512 bytes", "1.5 KB", "3.2 MB", "1.1 GB" (units of 1000, one decimal).
    static QString sizeStringWithBytes(int64_t bytes);
};
