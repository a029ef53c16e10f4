#include "models/values/FDStringDataBit.h"

#include <QStringDecoder>

#include <exiv2/exiv2.hpp>

FDStringDataBit::FDStringDataBit(QString string)
    : string_(std::move(string))
{
}

FDDataBitPtr FDStringDataBit::dataBitWithDatum(const Exiv2::Metadatum& datum)
{
    const std::string text = datum.toString();
    QStringDecoder decoder(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
    QString decoded = decoder.decode(QByteArrayView(text.data(), static_cast<qsizetype>(text.size())));
    if (decoder.hasError() || decoded.isNull()) {
        decoded = QStringLiteral("");
    }
    return std::make_shared<FDStringDataBit>(std::move(decoded));
}

bool FDStringDataBit::isEqual(const FDDataBit& other) const
{
    return other.kind() == Kind::String && static_cast<const FDStringDataBit&>(other).string_ == string_;
}
