#include "models/formats/IptcCharacterSet.h"

#include <QUtf8StringView>

#include <exiv2/exiv2.hpp>

#include <algorithm>

namespace {

const char* const kCharacterSetKey = "Iptc.Envelope.CharacterSet";
const std::string kUtf8Marker("\x1b%G");

bool declaresUtf8(const Exiv2::IptcData& iptc)
{
    const auto found = iptc.findKey(Exiv2::IptcKey(kCharacterSetKey));
    return found != iptc.end() && found->toString() == kUtf8Marker;
}

bool isText(const Exiv2::Iptcdatum& datum)
{
    return datum.typeId() == Exiv2::string;
}

bool isAscii(const std::string& text)
{
    return std::none_of(text.begin(), text.end(), [](char c) { return static_cast<unsigned char>(c) >= 0x80; });
}

bool isValidUtf8(const std::string& text)
{
    return QUtf8StringView(text.data(), qsizetype(text.size())).isValidUtf8();
}

bool fitsLatin1(const std::string& utf8)
{
    const QString text = QString::fromUtf8(utf8.data(), qsizetype(utf8.size()));
    return std::all_of(text.begin(), text.end(), [](QChar c) { return c.unicode() <= 0xFF; });
}

void setText(Exiv2::Iptcdatum& datum, const QByteArray& bytes)
{
    Exiv2::StringValue value(bytes.toStdString());
    datum.setValue(&value);
}

void declareUtf8(Exiv2::IptcData& iptc)
{
    iptc[kCharacterSetKey] = kUtf8Marker;
}

// A block of valid UTF-8 says so once a text needs it; a block in some
// other undeclared set is never labelled UTF-8.
void declareUtf8WhereItHolds(Exiv2::IptcData& iptc)
{
    if (iptc.empty() || declaresUtf8(iptc)) {
        return;
    }
    const auto texts = [&iptc](auto test) {
        return std::any_of(iptc.begin(), iptc.end(),
            [&test](const Exiv2::Iptcdatum& datum) { return isText(datum) && test(datum.toString()); });
    };
    const bool needed = texts([](const std::string& text) { return !isAscii(text); });
    const bool invalid = texts([](const std::string& text) { return !isValidUtf8(text); });
    if (needed && !invalid) {
        declareUtf8(iptc);
    }
}

} // namespace

bool IptcCharacterSet::isLatin1(const Exiv2::IptcData& iptc)
{
    if (declaresUtf8(iptc)) {
        return false;
    }
    return std::any_of(iptc.begin(), iptc.end(),
        [](const Exiv2::Iptcdatum& datum) { return isText(datum) && !isValidUtf8(datum.toString()); });
}

void IptcCharacterSet::settle(Exiv2::IptcData& iptc, const QSet<QString>& editedKeys, bool latin1)
{
    if (!latin1) {
        declareUtf8WhereItHolds(iptc);
        return;
    }
    const auto edited = [&editedKeys](const Exiv2::Iptcdatum& datum) {
        return editedKeys.contains(QString::fromStdString(datum.key()));
    };
    const bool fits = std::all_of(iptc.begin(), iptc.end(), [&edited](const Exiv2::Iptcdatum& datum) {
        return !isText(datum) || !edited(datum) || fitsLatin1(datum.toString());
    });
    // Where every edited text fits, the edited texts turn Latin-1; else the
    // file's own texts turn UTF-8 beside them.
    for (Exiv2::Iptcdatum& datum : iptc) {
        const bool turns = fits ? edited(datum) : !edited(datum);
        const std::string bytes = isText(datum) && turns ? datum.toString() : std::string();
        if (isAscii(bytes)) {
            continue;
        }
        setText(datum,
            fits ? QString::fromUtf8(bytes.data(), qsizetype(bytes.size())).toLatin1()
                 : QString::fromLatin1(bytes.data(), qsizetype(bytes.size())).toUtf8());
    }
    if (!fits) {
        declareUtf8(iptc);
    }
}
