#pragma once

#include <QString>

#include <memory>

namespace Exiv2 {
class Metadatum;
}

class FDDataBit;
using FDDataBitPtr = std::shared_ptr<const FDDataBit>;

// One metadata value as a small typed object: a text, a rational or a list of
// numbers. Values are immutable once made and may be shared freely.
class FDDataBit {
public:
    enum class Kind { String, Rational, Number };

    virtual ~FDDataBit() = default;

    // The typed value of a datum, chosen by the datum's type id. A datum
    // without a value (invalid type id) gives nothing.
    static FDDataBitPtr dataBitWithDatum(const Exiv2::Metadatum& datum);

    virtual Kind kind() const = 0;
    // Equal only to a value of the same kind with the same content.
    virtual bool isEqual(const FDDataBit& other) const = 0;
    // The text shown for the value in tables and preview lines.
    virtual QString description() const = 0;

protected:
    FDDataBit() = default;
    // Numbers are shown the way the value lists elsewhere in the application
    // show them: at most seven significant digits, no trailing zeros.
    static QString numberText(float value);
};

inline bool operator==(const FDDataBit& left, const FDDataBit& right)
{
    return left.isEqual(right);
}
