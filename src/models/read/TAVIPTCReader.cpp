#include "models/read/TAVIPTCReader.h"

#include "models/formats/IptcCharacterSet.h"

#include <exiv2/exiv2.hpp>

#include <optional>

namespace {

const QString kKeywordsKey = QStringLiteral("Iptc.Application2.Keywords");

} // namespace

TAVIPTCReader::TAVIPTCReader(const QString& path, SharedImagePtr shared)
    : TAVImageMetadatReaderBase(path, std::move(shared))
{
    openImage();
}

QString TAVIPTCReader::textValue(const Exiv2::Iptcdatum& datum, const IptcCharacterSet* set)
{
    const std::string bytes = datum.toString();
    if (set) {
        return set->shown(bytes);
    }
    const QString utf8 = decodeUtf8(bytes);
    return utf8.isNull() && !bytes.empty() ? QString::fromLatin1(bytes.data(), qsizetype(bytes.size())) : utf8;
}

std::optional<QList<TAVEntityPtr>> TAVIPTCReader::doReadImageMeatadata()
{
    return readFamily(QStringLiteral("IPTC"), [this](Exiv2::Image& image, QList<TAVEntityPtr>& rows) {
        TAVEntityPtr keywordsRow;
        // A block read as UTF-8 where it is not would show its texts empty,
        // and so would a damaged date kept as the file holds it.
        const bool latin1 = IptcCharacterSet::showsAsLatin1(image.iptcData());
        const std::optional<IptcCharacterSet> set
            = latin1 ? std::optional<IptcCharacterSet>(image.iptcData()) : std::nullopt;
        const auto textOf = [&set](const Exiv2::Iptcdatum& datum) { return textValue(datum, set ? &*set : nullptr); };
        forEachTextDatum(image.iptcData(), "IPTC", textOf,
            [&rows, &keywordsRow](const QString& key, const QString& value, int32_t typeId) {
                if (key == kKeywordsKey && keywordsRow) {
                    // Cameras and programs store one dataset per keyword;
                    // the editor shows and edits them as one list.
                    keywordsRow->setValue(QStringLiteral("%1, %2").arg(keywordsRow->value(), value));
                    keywordsRow->setDataType(typeId);
                    return;
                }
                rows.append(makeRow(2, typeId, key, value));
                if (key == kKeywordsKey) {
                    keywordsRow = rows.last();
                }
            });
    });
}
