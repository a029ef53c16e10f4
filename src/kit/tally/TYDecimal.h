#pragma once

#include <cstdint>
#include <optional>
#include <string>

// A decimal number as written (mantissa times a power of ten), so that a
// price such as 9.99 becomes exactly 9990000 micros.
struct TYDecimal {
    int64_t mantissa = 0;
    int32_t exponent = 0;

    // "9.99", "-3", "1e3"; nothing for text that is not a decimal number or
    // whose digits do not fit.
    static std::optional<TYDecimal> fromString(const std::string& text);
    std::string description() const;
    // The value times 10^6 when it is a whole number that fits in int64.
    std::optional<int64_t> micros() const;
};
