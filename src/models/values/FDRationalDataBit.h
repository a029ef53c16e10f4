#pragma once

#include "models/values/FDDataBit.h"

// A numerator and a denominator kept apart.
class FDRationalDataBit : public FDDataBit {
public:
    FDRationalDataBit(float num, float denum);

    // A datum of exactly two components becomes a rational; any other count
    // (one quotient, or degrees/minutes/seconds) becomes a number list.
    static FDDataBitPtr dataBitWithDatum(const Exiv2::Metadatum& datum);

    float num() const { return num_; }
    float denum() const { return denum_; }

    Kind kind() const override { return Kind::Rational; }
    bool isEqual(const FDDataBit& other) const override;
    QString description() const override;

private:
    float num_;
    float denum_;
};
