#pragma once

#include <QString>

#include <cstdint>

// Numbers from text and text from numbers, always in the C locale.
//
// Callers rely on the leading-number reading rules: white space at the front is
// skipped, an optional sign and the longest numeric prefix are read, anything
// after it is ignored, and a text without a number reads as 0 (false). Integer
// reads saturate at the limits of their type instead of wrapping. Qt switches the
// C library to the user's locale on Unix, so nothing here uses strtod/printf; the
// decimal separator is always "." whatever the user's locale says.
class TextNumbers {
public:
    static int32_t intValue(const QString& text);
    static int64_t longLongValue(const QString& text);
    static float floatValue(const QString& text);
    static double doubleValue(const QString& text);
    // True when the text (after white space, an optional sign and leading zeros)
    // starts with one of "Y", "y", "T", "t" or a digit 1 to 9.
    static bool boolValue(const QString& text);
    // The whole part of a number (cut towards zero), saturated at the limits;
    // 0 for NaN. What a number's text reads as with longLongValue.
    static int64_t integerPart(double value);

    // The shortest text that reads back as the same value ("2.8", "0.0125", "3",
    // "1e+20"); "nan", "inf" and "-inf" for the special values.
    static QString stringFromDouble(double value);
    static QString stringFromFloat(float value);
    // Fixed notation with the given number of decimals, as "%.Nf" would give.
    static QString stringFromDouble(double value, int decimals);
};
