#include "models/read/TAVIPTCReader.h"

#include "models/formats/IptcCharacterSet.h"

#include <exiv2/exiv2.hpp>

#include <algorithm>
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
    if (!utf8.isNull() || bytes.empty()) {
        return utf8;
    }
    // Bytes that are not the UTF-8 the block declares: read as Latin-1, less
    // its control codes, which no text holds.
    QString text = QString::fromLatin1(bytes.data(), qsizetype(bytes.size()));
    for (QChar& c : text) {
        if (c.unicode() >= 0x80 && c.unicode() <= 0x9F) {
            c = QChar::ReplacementCharacter;
        }
    }
    return text;
}

bool TAVIPTCReader::readsOnAGuess(const Exiv2::IptcData& iptc, const IptcCharacterSet& set)
{
    const bool declared = iptc.findKey(Exiv2::IptcKey("Iptc.Envelope.CharacterSet")) != iptc.end();
    return set.kind() != IptcCharacterSet::Kind::Utf8 && !(set.kind() == IptcCharacterSet::Kind::Latin1 && declared);
}

bool TAVIPTCReader::readsAsUtf8Undeclared(const Exiv2::IptcData& iptc)
{
    return !IptcCharacterSet::showsAsLatin1(iptc)
        && iptc.findKey(Exiv2::IptcKey("Iptc.Envelope.CharacterSet")) == iptc.end();
}

bool TAVIPTCReader::isTextOnAGuess(const std::string& bytes, bool latin1Guess, bool utf8Undeclared)
{
    const bool ascii
        = std::all_of(bytes.begin(), bytes.end(), [](char c) { return static_cast<unsigned char>(c) < 0x80; });
    return !ascii && (latin1Guess || (utf8Undeclared && !IptcCharacterSet::readsAsUtf8Alone(bytes)));
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
        const bool guessed = set && readsOnAGuess(image.iptcData(), *set);
        const bool utf8Undeclared = !set && readsAsUtf8Undeclared(image.iptcData());
        forEachTextDatum(image.iptcData(), "IPTC", textOf,
            [&rows, &keywordsRow, guessed, utf8Undeclared](const QString& key, const QString& value, int32_t typeId) {
                const bool onAGuess = isTextOnAGuess(value.toStdString(), guessed, utf8Undeclared);
                if (key == kKeywordsKey && keywordsRow) {
                    // Cameras and programs store one dataset per keyword;
                    // the editor shows and edits them as one list.
                    keywordsRow->setValue(QStringLiteral("%1, %2").arg(keywordsRow->value(), value));
                    keywordsRow->setDataType(typeId);
                    keywordsRow->setIsReadOnAGuess(keywordsRow->isReadOnAGuess() || onAGuess);
                    return;
                }
                rows.append(makeRow(2, typeId, key, value));
                rows.last()->setIsReadOnAGuess(onAGuess);
                if (key == kKeywordsKey) {
                    keywordsRow = rows.last();
                }
            });
    });
}
