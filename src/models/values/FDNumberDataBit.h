#pragma once

#include "models/values/FDDataBit.h"

#include <QList>

// A list of numbers, one per component of the datum.
class FDNumberDataBit : public FDDataBit {
public:
    explicit FDNumberDataBit(QList<float> values);

    static FDDataBitPtr dataBitWithDatum(const Exiv2::Metadatum& datum);

    const QList<float>& values() const { return values_; }

    Kind kind() const override { return Kind::Number; }
    // Same length and every pair equal as floats; a NaN never matches.
    bool isEqual(const FDDataBit& other) const override;
    // The values joined by single blanks.
    QString description() const override;

private:
    QList<float> values_;
};
