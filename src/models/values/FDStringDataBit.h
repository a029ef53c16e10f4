#pragma once

#include "models/values/FDDataBit.h"

// A text value.
class FDStringDataBit : public FDDataBit {
public:
    explicit FDStringDataBit(QString string);

    // The datum's text read as UTF-8; "" when the bytes are not valid UTF-8.
    static FDDataBitPtr dataBitWithDatum(const Exiv2::Metadatum& datum);

    const QString& string() const { return string_; }

    Kind kind() const override { return Kind::String; }
    bool isEqual(const FDDataBit& other) const override;
    QString description() const override { return string_; }

private:
    QString string_;
};
