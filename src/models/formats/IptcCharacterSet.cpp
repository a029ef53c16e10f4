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
// The replacement character, shown for a byte whose character is not known.
constexpr char16_t kUnknownByte = 0xFFFD;
const std::string kUtf8Marker("\x1b%G");
// ISO 2022's designations of Latin-1's upper half, as G1 and as G2.
const std::string kLatin1Markers[] = {std::string("\x1b-A"), std::string("\x1b.A")};

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

bool isAsciiLetter(int byte)
{
    return (byte >= 'a' && byte <= 'z') || (byte >= 'A' && byte <= 'Z');
}

bool isDigit(int byte)
{
    return byte >= '0' && byte <= '9';
}

// À to ÿ, without × and ÷.
bool isLatin1Letter(int byte)
{
    return byte >= 0xC0 && byte <= 0xFF && byte != 0xD7 && byte != 0xF7;
}

bool isLatinLetter(int byte)
{
    return isAsciiLetter(byte) || isLatin1Letter(byte);
}

// -1 stands for the text's start or end.
bool isSpaceOrEdge(int byte)
{
    return byte < 0 || byte == ' ' || byte == '\t' || byte == '\n' || byte == '\r';
}

// Windows-1252's characters of the bytes 0x80 to 0x9F, where Latin-1 and
// Latin-9 have control codes; 0 where it has none either.
constexpr char16_t kWindows1252High[32] = {0x20AC, 0, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030,
    0x0160, 0x2039, 0x0152, 0, 0x017D, 0, 0, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014, 0x02DC, 0x2122,
    0x0161, 0x203A, 0x0153, 0, 0x017E, 0x0178};

// The signs where Latin-1 and Latin-9 disagree (¤ or €, ¦ or Š, ¨ or š, ´ or
// Ž, ¸ or ž, ¼ or Œ, ½ or œ, ¾ or Ÿ); Windows-1252 reads them as Latin-1.
bool isSiblingSign(int code)
{
    static const std::u16string kSiblingSigns(u"\u00A4\u00A6\u00A8\u00B4\u00B8\u00BC\u00BD\u00BE");
    return kSiblingSigns.find(char16_t(code)) != std::u16string::npos;
}

// The Windows-1252 signs a Western text holds between its words: € … ‘ ’ “
// ” – — ™. Its other bytes there are letters (Š, œ...) or none, which
// Shift-JIS and the Cyrillic and Greek code pages hold as well.
bool isWindowsSign(int byte)
{
    static const std::string kSigns("\x80\x85\x91\x92\x93\x94\x96\x97\x99");
    return byte >= 0x80 && byte <= 0x9F && kSigns.find(char(byte)) != std::string::npos;
}

bool isWordPart(int byte)
{
    return isLatinLetter(byte) || isDigit(byte);
}

// Whether a Windows-1252 sign stands where Western text puts it: a quote
// around its words, an apostrophe within or after a word, a dash
// between words or numbers, € beside a number, ™ after a name. Beside it
// stands ASCII, an accented letter or another such sign, never a byte of a
// multi-byte set.
bool standsAsPunctuation(int byte, int before, int after)
{
    const auto besideFits = [](int next) { return next < 0x80 || isLatin1Letter(next) || isWindowsSign(next); };
    if (!besideFits(before) || !besideFits(after)) {
        return false;
    }
    switch (byte) {
    case 0x80: // €
        return !isLatinLetter(before) && !isLatinLetter(after);
    case 0x85: // …
        return true;
    case 0x91: // ‘
    case 0x93: // “
        return !isWordPart(before) && !isSpaceOrEdge(after);
    case 0x92: // ’, also eliding a word's start ("’90s")
        return !isSpaceOrEdge(before) || isWordPart(after);
    case 0x94: // ”
        return !isSpaceOrEdge(before);
    case 0x96: // –
    case 0x97: // —
        return (isSpaceOrEdge(before) && isSpaceOrEdge(after)) || (isDigit(before) && isDigit(after))
            || (byte == 0x97 && isLatinLetter(before) && isLatinLetter(after));
    case 0x99: // ™
        return isWordPart(before) && !isWordPart(after);
    default:
        return false;
    }
}

// Whether the text reads as Japanese or Chinese in a code page of two-byte
// characters: Shift-JIS, or GBK, whose ranges hold Big5's and the Korean
// code page's. Each of its bytes 0x80 to 0x9F is half of a character there,
// and no character stands against an ASCII letter, as a name never does:
// Shift-JIS's 池谷 (92 72 92 4A) and GBK's 吳 (85 C7) read so, where
// Windows-1252 reads ’r’J and …Ç; "it’s" would be "it" run into one, and
// "rock ’n’ roll" leaves a ’ before a space alone. `ofCharacters` asks for
// one two-byte character at least, not Shift-JIS's half-width katakana alone.
bool readsAsTwoByteText(const std::string& text, bool shiftJis, bool ofCharacters = false)
{
    const auto isLead = [shiftJis](int byte) {
        return shiftJis ? (byte >= 0x81 && byte <= 0x9F) || (byte >= 0xE0 && byte <= 0xFC)
                        : byte >= 0x81 && byte <= 0xFE;
    };
    const auto isTrail
        = [shiftJis](int byte) { return byte >= 0x40 && byte != 0x7F && byte <= (shiftJis ? 0xFC : 0xFE); };
    bool letterBefore = false;
    bool characterBefore = false;
    bool anyCharacter = false;
    for (size_t at = 0; at < text.size();) {
        const int byte = static_cast<unsigned char>(text[at]);
        if (!isLead(byte)) {
            // Beside ASCII, only Shift-JIS's half-width katakana stand alone.
            const bool alone = byte < 0x80 || (shiftJis && byte >= 0xA1 && byte <= 0xDF);
            if (!alone || (characterBefore && isAsciiLetter(byte))) {
                return false;
            }
            letterBefore = isAsciiLetter(byte);
            characterBefore = false;
            ++at;
            continue;
        }
        if (letterBefore) {
            return false;
        }
        // A text cut at its length may end in a character's first byte.
        if (at + 1 == text.size()) {
            return characterBefore;
        }
        if (!isTrail(static_cast<unsigned char>(text[at + 1]))) {
            return false;
        }
        characterBefore = true;
        anyCharacter = true;
        at += 2;
    }
    return anyCharacter || !ofCharacters;
}

// How an undeclared text reads as Western text, if it does.
struct WesternReading {
    bool holds = true;
    // It holds Windows-1252's own signs, which settle the set.
    bool windowsSigns = false;
    // It holds a sign Latin-1 and Latin-9 read differently.
    bool siblingSigns = false;
};

// Read as Western text, a text of a Cyrillic, Greek or Chinese code page is
// words of accented letters alone ("Ìîñêâà") or signs run together; Western
// text puts accented letters into words of ASCII letters ("Benalmádena",
// "ações"), has words of one accented letter ("à"), stands its signs apart
// ("© Bjørn", "1½") and Windows-1252's where punctuation goes ("it’s").
WesternReading westernReading(const std::string& text)
{
    WesternReading reading;
    const auto byteAt = [&text](size_t at) { return static_cast<unsigned char>(text[at]); };
    bool openingQuote = false;
    for (size_t at = 0; at < text.size(); ++at) {
        const int byte = byteAt(at);
        if (byte < 0x80 || byte > 0x9F) {
            continue;
        }
        const int before = at > 0 ? byteAt(at - 1) : -1;
        const int after = at + 1 < text.size() ? byteAt(at + 1) : -1;
        if (!isWindowsSign(byte) || !standsAsPunctuation(byte, before, after)) {
            reading.holds = false;
            return reading;
        }
        // An opening quote is no evidence of its own: Shift-JIS puts ‘ and “
        // on first bytes before an ASCII byte, 田 as 93 63 ("“c") and 前田
        // as 91 4F 93 63 ("‘O“c"). A quote counts by its closing partner,
        // after a word; a ‘ before a number elides its century ("‘90s",
        // typed the wrong way round), where no character's second byte is.
        const bool opening = (byte == 0x91 && !isDigit(after)) || byte == 0x93;
        openingQuote = openingQuote || opening;
        reading.windowsSigns = reading.windowsSigns || !opening;
    }
    if (openingQuote && !reading.windowsSigns) {
        reading.holds = false;
        return reading;
    }
    if (reading.windowsSigns && (readsAsTwoByteText(text, true) || readsAsTwoByteText(text, false))) {
        reading.holds = false;
        return reading;
    }
    // Shift-JIS's rarer kanji lead with the bytes of Latin-1's small
    // accented letters, some before a capital or a sign: 颯 (E9 44) reads
    // "éD", 餃 (E9 4C) "éL", where Western text never runs a small accented
    // letter into either.
    const auto smallLetterIntoCapital = [&byteAt, &text](size_t at) {
        const int next = at + 1 < text.size() ? byteAt(at + 1) : 0;
        return byteAt(at) >= 0xE0 && isLatin1Letter(byteAt(at)) && next >= 0x40 && next <= 0x7E
            && !(next >= 'a' && next <= 'z');
    };
    for (size_t at = 0; at < text.size(); ++at) {
        if (smallLetterIntoCapital(at) && readsAsTwoByteText(text, true, true)) {
            reading.holds = false;
            return reading;
        }
    }
    // Windows-1252's signs stand between words, as spaces do.
    const auto inWord = [](unsigned char byte) { return byte >= 0xA0 || std::isalnum(byte) != 0; };
    size_t at = 0;
    while (at < text.size()) {
        if (!inWord(byteAt(at))) {
            ++at;
            continue;
        }
        bool asciiLetter = false;
        int accentedLetters = 0;
        size_t run = 0;
        bool runHasSign = false;
        for (; at < text.size() && inWord(byteAt(at)); ++at) {
            const int byte = byteAt(at);
            if (byte < 0x80) {
                asciiLetter = asciiLetter || isAsciiLetter(byte);
                run = 0;
                runHasSign = false;
                continue;
            }
            reading.siblingSigns = reading.siblingSigns || isSiblingSign(byte);
            accentedLetters += isLatin1Letter(byte) ? 1 : 0;
            runHasSign = runHasSign || !isLatin1Letter(byte);
            if (++run > 1 && runHasSign) {
                reading.holds = false;
                return reading;
            }
        }
        if (accentedLetters > 1 && !asciiLetter) {
            reading.holds = false;
            return reading;
        }
    }
    return reading;
}

// Whether the bytes read as UTF-8 and as no other set's text: GBK's 一 (D2
// BB) is UTF-8's "һ", and UTF-8's "Москва" reads whole as GBK characters;
// UTF-8's "Café" reads as UTF-8 alone (Shift-JIS would make it half-width
// katakana beside ASCII, which no text is).
bool readsAsUtf8AloneText(const std::string& text)
{
    return isValidUtf8(text) && !westernReading(text).holds && !readsAsTwoByteText(text, true, true)
        && !readsAsTwoByteText(text, false, true);
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
    WesternReading block;
    for (const Exiv2::Iptcdatum& datum : iptc) {
        const WesternReading text = isText(datum) ? westernReading(datum.toString()) : WesternReading();
        if (!text.holds) {
            return Kind::Unknown;
        }
        block.windowsSigns = block.windowsSigns || text.windowsSigns;
        block.siblingSigns = block.siblingSigns || text.siblingSigns;
    }
    return block.windowsSigns ? Kind::Windows1252 : block.siblingSigns ? Kind::Western : Kind::Latin1;
}

QString fromUtf8(const std::string& utf8)
{
    return QString::fromUtf8(utf8.data(), qsizetype(utf8.size()));
}

} // namespace

IptcCharacterSet::IptcCharacterSet(const Exiv2::IptcData& asRead)
    : kind_(kindOf(asRead))
    , declared_(!declaredSet(asRead).empty())
{
    for (const Exiv2::Iptcdatum& datum : asRead) {
        const std::string bytes = datum.toString();
        if (isText(datum) && !isPlainAscii(bytes)) {
            asRead_[datum.key()].insert(bytes);
        }
    }
}

bool IptcCharacterSet::readsAsUtf8Alone(const std::string& bytes)
{
    return readsAsUtf8AloneText(bytes);
}

bool IptcCharacterSet::showsAsLatin1(const Exiv2::IptcData& iptc)
{
    return declaredSet(iptc) != kUtf8Marker
        && anyText(iptc, [](const std::string& text) { return !isValidUtf8(text); });
}

QString IptcCharacterSet::shown(const std::string& bytes) const
{
    QString text;
    text.reserve(qsizetype(bytes.size()));
    for (const char byte : bytes) {
        text += QChar(shownCode(static_cast<unsigned char>(byte)));
    }
    return text;
}

char16_t IptcCharacterSet::shownCode(unsigned char byte) const
{
    if (byte < 0x80 || byte > 0x9F) {
        return char16_t(byte);
    }
    // Latin-1 has control codes there, which no text holds: Windows-1252's
    // sign where the block's bytes settle that set, else a character that
    // says the byte is not known.
    return kind_ == Kind::Windows1252 && kWindows1252High[byte - 0x80] != 0 ? kWindows1252High[byte - 0x80]
                                                                            : kUnknownByte;
}

std::optional<char> IptcCharacterSet::heldByte(const std::string& key, char16_t code) const
{
    // A single-byte Western reading gives each byte one character; a block
    // of another set may hold a byte that is only half of one. A byte shown
    // as not known may be any of several.
    const auto read = asRead_.find(key);
    if (kind_ == Kind::Unknown || read == asRead_.end() || code == kUnknownByte) {
        return std::nullopt;
    }
    for (const std::string& bytes : read->second) {
        for (const char byte : bytes) {
            if (static_cast<unsigned char>(byte) >= 0x80 && shownCode(static_cast<unsigned char>(byte)) == code) {
                return byte;
            }
        }
    }
    return std::nullopt;
}

std::optional<std::string> IptcCharacterSet::encoded(const std::string& key, const std::string& utf8) const
{
    const QString text = fromUtf8(utf8);
    std::string bytes;
    bytes.reserve(size_t(text.size()));
    for (const QChar c : text) {
        const char16_t code = c.unicode();
        if (code < 0x80) {
            bytes += char(code);
            continue;
        }
        // A character the text already held goes back as the byte it was:
        // a caption "Sise ½ inch" corrected for its typo keeps its ½.
        if (const auto held = heldByte(key, code)) {
            bytes += *held;
            continue;
        }
        if (kind_ == Kind::Windows1252) {
            const auto high = std::find(std::begin(kWindows1252High), std::end(kWindows1252High), code);
            if (high != std::end(kWindows1252High)) {
                bytes += char(0x80 + (high - std::begin(kWindows1252High)));
                continue;
            }
        }
        // Where the set is not settled, only what every Western set writes
        // alike.
        const bool settled = (kind_ == Kind::Windows1252 && code >= 0xA0) || (kind_ == Kind::Latin1 && declared_);
        const bool agreed = code >= 0xA0 && !isSiblingSign(code);
        const bool known = kind_ != Kind::Unknown && (settled || agreed);
        if (!known || code > 0xFF) {
            return std::nullopt;
        }
        bytes += char(code);
    }
    return bytes;
}

QString IptcCharacterSet::settle(Exiv2::IptcData& iptc, const QSet<QString>& editedKeys) const
{
    if (kind_ == Kind::Utf8) {
        declareUtf8WhereCertain(iptc, editedKeys);
        return QString();
    }
    QStringList needing;
    bool othersPlain = true;
    std::vector<std::pair<Exiv2::Iptcdatum*, std::string>> asBytes;
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
            asBytes.emplace_back(&datum, *fileBytes);
            othersPlain = false;
            continue;
        }
        if (const auto blockBytes = encoded(datum.key(), bytes)) {
            asBytes.emplace_back(&datum, *blockBytes);
            continue;
        }
        const QString field = QStringLiteral("IPTC %1 (%2)")
                                  .arg(QString::fromStdString(datum.tagName()), QString::fromStdString(datum.key()));
        if (!needing.contains(field)) {
            needing.append(field);
        }
    }
    if (needing.isEmpty()) {
        for (const auto& [datum, bytes] : asBytes) {
            setText(*datum, QByteArray::fromStdString(bytes));
        }
        return QString();
    }
    // Only a block that declares its set turns UTF-8 beside the edit with
    // its other texts re-encoded; an undeclared one only where it keeps
    // nothing but plain ASCII. What its bytes settle for an edit does not
    // settle its texts: Windows-1252's signs and Latin-1's letters stand on
    // the same bytes in Windows-1250, 1254 and 1257, whose "İstanbul" a
    // Western reading turns into "Ýstanbul".
    const bool certain = kind_ == Kind::Latin1 && declared_;
    if (!certain && !othersPlain) {
        return refusal(needing);
    }
    for (Exiv2::Iptcdatum& datum : iptc) {
        const std::string bytes = isText(datum) ? datum.toString() : std::string();
        if (isAscii(bytes)) {
            continue;
        }
        // A block that turns UTF-8 declares Latin-1 (or keeps no other
        // text but ASCII): its bytes are Latin-1's characters, control codes
        // included.
        const bool edited = editedKeys.contains(QString::fromStdString(datum.key()));
        setText(datum,
            edited ? QByteArray::fromStdString(bytes)
                   : QString::fromLatin1(bytes.data(), qsizetype(bytes.size())).toUtf8());
    }
    declareUtf8(iptc);
    return QString();
}

void IptcCharacterSet::declareUtf8WhereCertain(Exiv2::IptcData& iptc, const QSet<QString>& editedKeys) const
{
    if (declaredSet(iptc) == kUtf8Marker) {
        return;
    }
    bool needed = false;
    bool certain = true;
    for (const Exiv2::Iptcdatum& datum : iptc) {
        const std::string bytes = isText(datum) ? datum.toString() : std::string();
        if (isPlainAscii(bytes)) {
            continue;
        }
        const auto read = asRead_.find(datum.key());
        const bool fileText = read != asRead_.end() && read->second.count(bytes) > 0;
        if (editedKeys.contains(QString::fromStdString(datum.key())) && !fileText) {
            needed = needed || !isAscii(bytes);
        } else {
            certain = certain && readsAsUtf8AloneText(bytes);
        }
    }
    if (needed && certain) {
        declareUtf8(iptc);
    }
}

QString IptcCharacterSet::refusal(const QStringList& fields) const
{
    const QString named = fields.join(QStringLiteral(", "));
    if (declared_) {
        return QStringLiteral("the character set of the file's IPTC block is not known, so the %1, which is not "
                              "plain ASCII, cannot be written without re-encoding the block's other texts on a guess")
            .arg(named);
    }
    const QString western = kind_ == Kind::Western
        ? QStringLiteral(", and its bytes do not say whether it is Latin-1, Latin-9 or Windows-1252")
        : QString();
    return QStringLiteral("the file's IPTC block does not declare its character set%1, so the %2 cannot be written "
                          "in the block's own bytes with certainty, and turning the block UTF-8 would re-encode its "
                          "other texts on a guess")
        .arg(western, named);
}

std::optional<std::string> IptcCharacterSet::fileTextShownAs(const std::string& key, const std::string& utf8) const
{
    const auto read = asRead_.find(key);
    if (read == asRead_.end()) {
        return std::nullopt;
    }
    const QString text = fromUtf8(utf8);
    for (const std::string& bytes : read->second) {
        if (shown(bytes) == text) {
            return bytes;
        }
    }
    return std::nullopt;
}
