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
    // A signed decimal coordinate within 90 (latitude) or 180 (longitude)
    // degrees, bounds included. While typing, "", "-", "." and "-." pass so a
    // value can be entered one character at a time; with `finished` only the
    // empty text (an emptied axis) and complete numbers pass.
    static bool isVaildGPS(const QString& text, bool isLatitude, bool finished = false);
    // "512 bytes", "1.5 KB", "3.2 MB", "1.1 GB" (units of 1000, one decimal).
    static QString sizeStringWithBytes(int64_t bytes);
};
