#include "models/values/FDNumberDataBit.h"

#include <QStringList>

#include <exiv2/exiv2.hpp>

FDNumberDataBit::FDNumberDataBit(QList<float> values)
    : values_(std::move(values))
{
}

FDDataBitPtr FDNumberDataBit::dataBitWithDatum(const Exiv2::Metadatum& datum)
{
    QList<float> values;
    const long count = datum.count();
    values.reserve(count);
    for (long index = 0; index < count; ++index) {
        values.append(datum.toFloat(index));
    }
    return std::make_shared<FDNumberDataBit>(std::move(values));
}

bool FDNumberDataBit::isEqual(const FDDataBit& other) const
{
    if (other.kind() != Kind::Number) {
        return false;
    }
    const auto& numbers = static_cast<const FDNumberDataBit&>(other);
    if (numbers.values_.size() != values_.size()) {
        return false;
    }
    for (qsizetype index = 0; index < values_.size(); ++index) {
        if (!(numbers.values_[index] == values_[index])) {
            return false;
        }
    }
    return true;
}

QString FDNumberDataBit::description() const
{
    QStringList parts;
    parts.reserve(values_.size());
    for (float value : values_) {
        parts.append(numberText(value));
    }
    return parts.join(QLatin1Char(' '));
}
