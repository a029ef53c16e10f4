#include "models/values/FDRationalDataBit.h"

#include "models/values/FDNumberDataBit.h"

#include <exiv2/exiv2.hpp>

FDRationalDataBit::FDRationalDataBit(float num, float denum)
    : num_(num)
    , denum_(denum)
{
}

FDDataBitPtr FDRationalDataBit::dataBitWithDatum(const Exiv2::Metadatum& datum)
{
    if (datum.count() != 2) {
        return FDNumberDataBit::dataBitWithDatum(datum);
    }
    return std::make_shared<FDRationalDataBit>(datum.toFloat(0), datum.toFloat(1));
}

bool FDRationalDataBit::isEqual(const FDDataBit& other) const
{
    if (other.kind() != Kind::Rational) {
        return false;
    }
    const auto& rational = static_cast<const FDRationalDataBit&>(other);
    return rational.num_ == num_ && rational.denum_ == denum_;
}

QString FDRationalDataBit::description() const
{
    return numberText(num_) + QLatin1Char('/') + numberText(denum_);
}
