#include "models/formats/IptcCharacterSet.h"

#include <QStringList>
#include <QUtf8StringView>

#include <exiv2/exiv2.hpp>

#include <algorithm>
#include <cctype>
#include <functional>
#include <optional>
#include <vector>

namespace {

const char* const kCharacterSetKey = "Iptc.Envelope.CharacterSet";
const std::string kUtf8Marker("\x1b%G");
// ISO 2022's designations of Latin-1's upper half, as G1 and as G2.
const std::string kLatin1Markers[] = {std::string("\x1b-A"), std::string("\x1b.A")};

using IsEdited = std::function<bool(const Exiv2::Iptcdatum&)>;

std::string declaredSet(const Exiv2::IptcData& iptc)
{
    const auto found = iptc.findKey(Exiv2::IptcKey(kCharacterSetKey));
    return found == iptc.end() ? std::string() : found->toString();
}

// A dataset the standard gives text, by its number rather than by the value
// the library made of it: a date the library could not read is kept as a
// string value, and its bytes are no text of the block.
bool isText(const Exiv2::Iptcdatum& datum)
{
    return Exiv2::IptcDataSets::dataSetType(datum.tag(), datum.record()) == Exiv2::string
        && datum.key() != kCharacterSetKey;
}

bool isAscii(const std::string& text)
{
    return std::none_of(text.begin(), text.end(), [](char c) { return static_cast<unsigned char>(c) >= 0x80; });
}

// ASCII that means the same in every set: no escape into another set, no
// other control than line breaks and tabs.
bool isPlainAscii(const std::string& text)
{
    return std::all_of(text.begin(), text.end(), [](char c) {
        const auto byte = static_cast<unsigned char>(c);
        return (byte >= 0x20 && byte < 0x7F) || byte == '\t' || byte == '\n' || byte == '\r';
    });
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

bool isAsciiLetter(unsigned char byte)
{
    return (byte >= 'a' && byte <= 'z') || (byte >= 'A' && byte <= 'Z');
}

// À to ÿ, without × and ÷.
bool isLatin1Letter(unsigned char byte)
{
    return byte >= 0xC0 && byte != 0xD7 && byte != 0xF7;
}

// Bytes no Latin-1 text holds: the C1 controls, where Windows-1252, Mac
// Roman and Shift-JIS put letters and signs; and the signs where Latin-1 and
// its sibling with the euro sign disagree (¤ or €, ¨ or š...).
bool isDoubtful(unsigned char byte)
{
    static const std::string kSiblingSigns("\xA4\xA6\xA8\xB4\xB8\xBC\xBD\xBE");
    return (byte >= 0x80 && byte <= 0x9F) || kSiblingSigns.find(char(byte)) != std::string::npos;
}

// Whether an undeclared text can only be Latin-1. Read as Latin-1, a text of
// a Cyrillic, Greek or Chinese code page is words of accented letters alone
// ("Ìîñêâà") or signs run together; Latin-1 text puts accented letters into
// words of ASCII letters ("Benalmádena", "ações"), has words of one accented
// letter ("à") and stands its signs apart ("© Bjørn").
bool onlyLatin1Holds(const std::string& text)
{
    const auto inWord = [](unsigned char byte) { return byte >= 0x80 || std::isalnum(byte) != 0; };
    size_t at = 0;
    while (at < text.size()) {
        if (!inWord(static_cast<unsigned char>(text[at]))) {
            ++at;
            continue;
        }
        bool asciiLetter = false;
        int accentedLetters = 0;
        size_t run = 0;
        bool runHasSign = false;
        for (; at < text.size() && inWord(static_cast<unsigned char>(text[at])); ++at) {
            const auto byte = static_cast<unsigned char>(text[at]);
            if (byte < 0x80) {
                asciiLetter = asciiLetter || isAsciiLetter(byte);
                run = 0;
                runHasSign = false;
                continue;
            }
            if (isDoubtful(byte)) {
                return false;
            }
            accentedLetters += isLatin1Letter(byte) ? 1 : 0;
            runHasSign = runHasSign || !isLatin1Letter(byte);
            if (++run > 1 && runHasSign) {
                return false;
            }
        }
        if (accentedLetters > 1 && !asciiLetter) {
            return false;
        }
    }
    return true;
}

bool anyText(const Exiv2::IptcData& iptc, const std::function<bool(const std::string&)>& test)
{
    return std::any_of(iptc.begin(), iptc.end(),
        [&test](const Exiv2::Iptcdatum& datum) { return isText(datum) && test(datum.toString()); });
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

// A block of valid UTF-8 says so once a text needs it.
void declareUtf8WhereItHolds(Exiv2::IptcData& iptc)
{
    if (iptc.empty() || declaredSet(iptc) == kUtf8Marker) {
        return;
    }
    const bool needed = anyText(iptc, [](const std::string& text) { return !isAscii(text); });
    const bool invalid = anyText(iptc, [](const std::string& text) { return !isValidUtf8(text); });
    if (needed && !invalid) {
        declareUtf8(iptc);
    }
}

void settleLatin1(Exiv2::IptcData& iptc, const IsEdited& edited)
{
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

IptcCharacterSet::Kind kindOf(const Exiv2::IptcData& iptc)
{
    using Kind = IptcCharacterSet::Kind;
    const std::string declared = declaredSet(iptc);
    if (declared == kUtf8Marker) {
        return Kind::Utf8;
    }
    if (std::find(std::begin(kLatin1Markers), std::end(kLatin1Markers), declared) != std::end(kLatin1Markers)) {
        return Kind::Latin1;
    }
    if (!declared.empty()) {
        return Kind::Unknown;
    }
    if (!anyText(iptc, [](const std::string& text) { return !isValidUtf8(text); })) {
        return Kind::Utf8;
    }
    return anyText(iptc, [](const std::string& text) { return !onlyLatin1Holds(text); }) ? Kind::Unknown : Kind::Latin1;
}

} // namespace

IptcCharacterSet::IptcCharacterSet(const Exiv2::IptcData& asRead)
    : kind_(kindOf(asRead))
{
    if (kind_ != Kind::Unknown) {
        return;
    }
    for (const Exiv2::Iptcdatum& datum : asRead) {
        const std::string bytes = datum.toString();
        if (isText(datum) && !isPlainAscii(bytes)) {
            asRead_[datum.key()].insert(bytes);
        }
    }
}

bool IptcCharacterSet::showsAsLatin1(const Exiv2::IptcData& iptc)
{
    return declaredSet(iptc) != kUtf8Marker
        && anyText(iptc, [](const std::string& text) { return !isValidUtf8(text); });
}

QString IptcCharacterSet::settle(Exiv2::IptcData& iptc, const QSet<QString>& editedKeys) const
{
    const IsEdited edited = [&editedKeys](const Exiv2::Iptcdatum& datum) {
        return editedKeys.contains(QString::fromStdString(datum.key()));
    };
    switch (kind_) {
    case Kind::Utf8:
        declareUtf8WhereItHolds(iptc);
        return QString();
    case Kind::Latin1:
        settleLatin1(iptc, edited);
        return QString();
    case Kind::Unknown:
        return settleUnknown(iptc, editedKeys);
    }
    return QString();
}

std::optional<std::string> IptcCharacterSet::fileTextShownAs(const std::string& key, const std::string& utf8) const
{
    const auto read = asRead_.find(key);
    if (read == asRead_.end() || !fitsLatin1(utf8)) {
        return std::nullopt;
    }
    const std::string bytes = QString::fromUtf8(utf8.data(), qsizetype(utf8.size())).toLatin1().toStdString();
    return read->second.count(bytes) > 0 ? std::optional<std::string>(bytes) : std::nullopt;
}

// Plain ASCII reads alike in every set, so it goes in as it is; any other
// edited text needs the block declared UTF-8, which would mislabel every
// text of the file that is not plain ASCII.
QString IptcCharacterSet::settleUnknown(Exiv2::IptcData& iptc, const QSet<QString>& editedKeys) const
{
    QStringList needing;
    bool othersPlain = true;
    std::vector<std::pair<Exiv2::Iptcdatum*, std::string>> givenBack;
    for (Exiv2::Iptcdatum& datum : iptc) {
        const std::string bytes = isText(datum) ? datum.toString() : std::string();
        if (!editedKeys.contains(QString::fromStdString(datum.key()))) {
            othersPlain = othersPlain && isPlainAscii(bytes);
            continue;
        }
        if (isAscii(bytes)) {
            continue;
        }
        if (const auto fileBytes = fileTextShownAs(datum.key(), bytes)) {
            // One of the file's texts, which are not plain ASCII.
            givenBack.emplace_back(&datum, *fileBytes);
            othersPlain = false;
            continue;
        }
        const QString field = QStringLiteral("IPTC %1 (%2)")
                                  .arg(QString::fromStdString(datum.tagName()), QString::fromStdString(datum.key()));
        if (!needing.contains(field)) {
            needing.append(field);
        }
    }
    if (!needing.isEmpty() && !othersPlain) {
        return QStringLiteral("the character set of the file's IPTC block is not known, so the %1, which is not plain "
                              "ASCII, cannot be written without re-encoding the block's other texts on a guess")
            .arg(needing.join(QStringLiteral(", ")));
    }
    for (const auto& [datum, bytes] : givenBack) {
        setText(*datum, QByteArray::fromStdString(bytes));
    }
    if (!needing.isEmpty()) {
        declareUtf8(iptc);
    }
    return QString();
}
