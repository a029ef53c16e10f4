#include "models/read/TAVXmpReader.h"

#include "models/formats/XmpText.h"

#include <exiv2/exiv2.hpp>

TAVXmpReader::TAVXmpReader(const QString& path, SharedImagePtr shared)
    : TAVImageMetadatReaderBase(path, std::move(shared))
{
    openImage();
}

std::string TAVXmpReader::textValue(const Exiv2::Xmpdatum& datum)
{
    if (const std::string* plain = XmpText::plainOf(datum)) {
        return *plain;
    }
    if (datum.typeId() == Exiv2::langAlt) {
        const auto* langAlt = dynamic_cast<const Exiv2::LangAltValue*>(&datum.value());
        if (langAlt) {
            return langAlt->toString("x-default");
        }
    }
    return datum.toString();
}

std::optional<QList<TAVEntityPtr>> TAVXmpReader::doReadImageMeatadata()
{
    return readFamily(QStringLiteral("XMP"), [this](Exiv2::Image& image, QList<TAVEntityPtr>& rows) {
        const auto textOf = [](const Exiv2::Xmpdatum& datum) { return decodeUtf8(textValue(datum)); };
        forEachTextDatum(
            image.xmpData(), "xmp", textOf, [&rows](const QString& key, const QString& value, int32_t typeId) {
                rows.append(makeRow(3, typeId, key, value));
            });
    });
}
