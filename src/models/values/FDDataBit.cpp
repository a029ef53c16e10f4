#include "models/values/FDDataBit.h"

#include "models/values/FDNumberDataBit.h"
#include "models/values/FDRationalDataBit.h"
#include "models/values/FDStringDataBit.h"

#include <exiv2/exiv2.hpp>

FDDataBitPtr FDDataBit::dataBitWithDatum(const Exiv2::Metadatum& datum)
{
    switch (datum.typeId()) {
    case Exiv2::invalidTypeId:
        return nullptr;
    case Exiv2::unsignedRational:
    case Exiv2::signedRational:
        return FDRationalDataBit::dataBitWithDatum(datum);
    case Exiv2::asciiString:
    case Exiv2::string:
    case Exiv2::date:
    case Exiv2::comment:
    case Exiv2::directory:
    case Exiv2::xmpText:
    case Exiv2::xmpAlt:
    case Exiv2::xmpBag:
    case Exiv2::langAlt:
    // A time ("12:30:00+00:00") and an ordered XMP list (authors, history) are
    // texts too: read as numbers they would show as a row of zeros or of
    // repeated seconds-since-midnight.
    case Exiv2::time:
    case Exiv2::xmpSeq:
        return FDStringDataBit::dataBitWithDatum(datum);
    default:
        return FDNumberDataBit::dataBitWithDatum(datum);
    }
}

QString FDDataBit::numberText(float value)
{
    return QString::number(static_cast<double>(value), 'g', 7);
}
