// IPTC blocks that older programs wrote in the system's code page without
// declaring it (Windows-1251, Shift-JIS, GB2312), made by the test on copies
// of camera files: their texts keep their bytes through every save, an edit
// that would need the block re-encoded is refused and names the field, and
// a block whose other texts are plain ASCII turns UTF-8. exiftool, told the
// code page, reads back what was saved.

#include "models/formats/IptcCharacterSet.h"
#include "models/write/DamagedSamples.h"
#include "models/write/PngChunkMaker.h"
#include "models/write/TiffView.h"

#include <QRegularExpression>

#include <exiv2/exiv2.hpp>

#include <functional>
#include <map>
#include <span>

using namespace DamagedSamples;

namespace {

const char* const kCity = "Iptc.Application2.City";
const char* const kTitle = "Iptc.Application2.ObjectName";
const char* const kUndeclaredSet = "the file's IPTC block does not declare its character set";

// Москва and Россия in Windows-1251, 東京 in Shift-JIS, 北京 in GB2312
// (exiftool is told no such set for IPTC: their bytes are compared).
const QByteArray kMoscow1251("\xCC\xEE\xF1\xEA\xE2\xE0");
const QByteArray kRussia1251("\xD0\xEE\xF1\xF1\xE8\xFF");
const QByteArray kTokyoShiftJis("\x93\x8C\x8B\x9E");
const QByteArray kBeijingGb2312("\xB1\xB1\xBE\xA9");

using Texts = std::map<std::string, QByteArray>;

// The sample's IPTC block without a coded character set, its `texts` put in
// as raw bytes and each of its other texts made plain ASCII.
QString codePageSample(const QString& sample, const QString& folder, const Texts& texts)
{
    const QString user = ImageFixtures::copySample(sample, folder);
    auto image = Exiv2::ImageFactory::open(user.toStdString());
    image->readMetadata();
    Exiv2::IptcData& iptc = image->iptcData();
    for (auto found = iptc.findKey(Exiv2::IptcKey("Iptc.Envelope.CharacterSet")); found != iptc.end();
         found = iptc.findKey(Exiv2::IptcKey("Iptc.Envelope.CharacterSet")))
        iptc.erase(found);
    for (Exiv2::Iptcdatum& datum : iptc) {
        if (datum.typeId() == Exiv2::string)
            datum.setValue(QString::fromStdString(datum.toString())
                               .normalized(QString::NormalizationForm_D)
                               .remove(QRegularExpression(QStringLiteral("[^\\x20-\\x7E]")))
                               .toStdString());
    }
    for (const auto& [key, bytes] : texts)
        iptc[key] = bytes.toStdString();
    image->writeMetadata();
    return user;
}

// The stored bytes of the IPTC dataset 2:`dataset` in the file.
QByteArray storedText(const QString& path, char dataset)
{
    const QByteArray bytes = WrittenFileProbe::bytes(path);
    for (const qsizetype field : iptcLengthFields(bytes)) {
        if (bytes[field - 2] == 2 && bytes[field - 1] == dataset)
            return bytes.mid(field + 2, qFromBigEndian<quint16>(bytes.constData() + field));
    }
    return QByteArray();
}

using KindCase = std::pair<QByteArray, IptcCharacterSet::Kind>;

// Each text as a block's city, beside a country in ASCII, gives its kind.
void expectKinds(std::span<const KindCase> cases)
{
    for (const auto& [text, kind] : cases) {
        SCOPED_TRACE(text.toStdString());
        Exiv2::IptcData iptc;
        iptc["Iptc.Application2.City"] = text.toStdString();
        iptc["Iptc.Application2.CountryName"] = std::string("Spain");
        EXPECT_EQ(IptcCharacterSet(iptc).kind(), kind);
    }
}

class IptcCodePagesTest : public DamagedFilesSaveTest {
protected:
    // The key's value as the photo's record shows it.
    QString shownValue(const QString& user, const char* key)
    {
        QString shown;
        {
            const auto image = openWorkingCopy(user);
            for (int32_t category = 0; category < 4 && shown.isEmpty(); ++category)
                shown = image->getValueForKey(QLatin1String(key), category);
        }
        EXPECT_TRUE(QFile::remove(tempPath("work/") + QFileInfo(user).fileName()));
        return shown;
    }

    // The photo saved with one edit, made where the key's row is shown;
    // false with the reason printed.
    bool savedWith(const QString& user, const char* key, const QString& value)
    {
        const auto image = openWorkingCopy(user);
        bool edited = false;
        for (int32_t category = 0; category < 4 && !edited; ++category)
            edited = image->exifData()->setValue(value, QLatin1String(key), category, false, false, true);
        EXPECT_TRUE(edited) << key;
        const bool saved = image->saveMetadataToImage();
        EXPECT_TRUE(saved) << qPrintable(image->lastSaveFailure());
        EXPECT_TRUE(QFile::remove(tempPath("work/") + QFileInfo(user).fileName()));
        return saved;
    }

    // A Software save leaves the IPTC block exiftool reads (which starts
    // with `leading`) as it was, `keptInFile` checking the file's own bytes;
    // a title save then writes the title beside the By-line "Someone".
    void expectKeptThenTitled(const QString& user, const QByteArray& leading, const std::function<void()>& keptInFile)
    {
        const QByteArray before = ExifTool::binary(user, QStringLiteral("IPTC"));
        ASSERT_TRUE(before.startsWith(leading));
        ASSERT_TRUE(savedWith(user, "Exif.Image.Software", QStringLiteral("Lumetta 2")));
        keptInFile();
        EXPECT_EQ(ExifTool::binary(user, QStringLiteral("IPTC")), before);
        EXPECT_EQ(ExifTool::read(user).value("IFD0:Software").toString(), QStringLiteral("Lumetta 2"));

        ASSERT_TRUE(savedWith(user, kTitle, QStringLiteral("Harbour")));
        const QJsonObject tags = ExifTool::read(user);
        EXPECT_EQ(tags.value("IPTC:ObjectName").toString(), QStringLiteral("Harbour"));
        EXPECT_EQ(tags.value("IPTC:By-line").toString(), QStringLiteral("Someone"));
        QFile::remove(user);
    }
};

} // namespace

// A block in Windows-1251, Shift-JIS or GB2312 takes a title in plain ASCII
// with every other text's bytes kept (the Cyrillic city read as "Ìîñêâà" and
// written as UTF-8 before); a title that is not ASCII, Cyrillic or an accent
// Latin-1 would hold, is refused naming the field, the file untouched.
TEST_F(IptcCodePagesTest, AnUndeclaredCodePageKeepsItsTextsAndRefusesAnEditNeedingAnotherSet)
{
    struct Case {
        const char* sample;
        Texts texts;
        const char* exiftoolSet;
        const char* city;
    };
    const Case cases[] = {
        {"gowebp-pentax.jpg", {{kCity, kMoscow1251}, {"Iptc.Application2.CountryName", kRussia1251}}, "cp1251",
            "Москва"},
        {"npm-canon-s40.jpg", {{kCity, kTokyoShiftJis}}, nullptr, nullptr},
        {"npm-nikon-d90-photometric.jpg", {{kCity, kBeijingGb2312}}, nullptr, nullptr},
    };
    for (const Case& test : cases) {
        SCOPED_TRACE(test.sample);
        const QString user = codePageSample(test.sample, tempPath("user"), test.texts);
        const QStringList charset{QStringLiteral("-charset"), QStringLiteral("iptc=%1").arg(test.exiftoolSet)};
        if (test.exiftoolSet) {
            ASSERT_EQ(ExifTool::read(user, charset).value("IPTC:City").toString(), QString::fromUtf8(test.city));
        }

        ASSERT_TRUE(savedWith(user, kTitle, QStringLiteral("Red Square")));
        for (const auto& [key, bytes] : test.texts) {
            const char dataset = char(Exiv2::IptcKey(key).tag());
            EXPECT_EQ(storedText(user, dataset), bytes) << key;
        }
        const QJsonObject tags = ExifTool::read(user, test.exiftoolSet ? charset : QStringList());
        EXPECT_EQ(tags.value("IPTC:ObjectName").toString(), QStringLiteral("Red Square"));
        EXPECT_FALSE(tags.contains("IPTC:CodedCharacterSet"));
        if (test.exiftoolSet) {
            EXPECT_EQ(tags.value("IPTC:City").toString(), QString::fromUtf8(test.city));
        }

        for (const char* title : {"Красная площадь", "Café"}) {
            SCOPED_TRACE(title);
            expectEditRefused(user, QLatin1String(kTitle), TAVExifData::CategorySummary,
                QStringLiteral("%1, so the IPTC ObjectName (%2)").arg(QLatin1String(kUndeclaredSet), kTitle),
                QString::fromUtf8(title));
        }
        QFile::remove(user);
    }
}

// Where every text the edit leaves is plain ASCII, the block can turn UTF-8
// without re-encoding anything: the city typed in Cyrillic over its
// Windows-1251 bytes goes in as UTF-8, and the block says so.
TEST_F(IptcCodePagesTest, AnEditNeedingUtf8TurnsTheBlockUtf8WhereEveryOtherTextIsAscii)
{
    for (const char* sample : {"gowebp-pentax.jpg", "npm-canon-s40.jpg"}) {
        SCOPED_TRACE(sample);
        const QString user = codePageSample(sample, tempPath("user"), {{kCity, kMoscow1251}});
        const QJsonObject before = tagsOf(user, "IPTC:");
        ASSERT_TRUE(savedWith(user, kCity, QString::fromUtf8("Санкт-Петербург")));
        QJsonObject expected = before;
        expected.insert("IPTC:City", QString::fromUtf8("Санкт-Петербург"));
        expected.insert("IPTC:CodedCharacterSet", QStringLiteral("UTF8"));
        EXPECT_EQ(tagsOf(user, "IPTC:"), expected);
        QFile::remove(user);
    }
}

// The keywords are edited as one list, shown with the file's keyword read as
// Latin-1 ("Ìîñêâà"): that keyword goes back as the file's bytes beside the
// new one, not as UTF-8 of what was shown.
TEST_F(IptcCodePagesTest, AKeywordListKeepsTheFileKeywordsBesideANewOne)
{
    const char* const keywords = "Iptc.Application2.Keywords";
    const QString user
        = codePageSample("gowebp-pentax.jpg", tempPath("user"), {{kCity, kMoscow1251}, {keywords, kRussia1251}});
    const QString shown = shownValue(user, keywords);
    ASSERT_EQ(shown, QString::fromLatin1(kRussia1251) + QStringLiteral(", Torremolinos"));
    ASSERT_TRUE(savedWith(user, keywords, shown + QStringLiteral(", Kremlin")));
    EXPECT_EQ(storedText(user, 25), kRussia1251);
    const QJsonObject tags = ExifTool::read(user, {QStringLiteral("-charset"), QStringLiteral("iptc=cp1251")});
    EXPECT_EQ(tags.value("IPTC:Keywords").toVariant().toStringList(),
        (QStringList{QString::fromUtf8("Россия"), QStringLiteral("Torremolinos"), QStringLiteral("Kremlin")}));
    EXPECT_EQ(tags.value("IPTC:City").toString(), QString::fromUtf8("Москва"));
    EXPECT_FALSE(tags.contains("IPTC:CodedCharacterSet"));
}

// The bytes 0x80 to 0x9F of a block whose set is not known are Latin-1's
// control codes, which no text holds: the Shift-JIS city 東京 (93 8C 8B 9E)
// shows U+FFFD for them rather than invisible controls, and a keyword list
// holding such a keyword, given back as shown beside a new keyword, keeps
// the keyword's bytes.
TEST_F(IptcCodePagesTest, NoReadingShowsControlCodesAndTheShownTextGoesBackAsItsBytes)
{
    const char* const keywords = "Iptc.Application2.Keywords";
    const QString user
        = codePageSample("gowebp-pentax.jpg", tempPath("user"), {{kCity, kTokyoShiftJis}, {keywords, kTokyoShiftJis}});
    const QString city = shownValue(user, kCity);
    EXPECT_EQ(city, QString(4, QChar::ReplacementCharacter));
    const QString shown = shownValue(user, keywords);
    EXPECT_TRUE(std::none_of(shown.begin(), shown.end(), [](QChar c) {
        return c.unicode() >= 0x80 && c.unicode() <= 0x9F;
    })) << qPrintable(shown);
    ASSERT_TRUE(savedWith(user, keywords, shown + QStringLiteral(", Kremlin")));
    EXPECT_EQ(storedText(user, 25), kTokyoShiftJis);
    EXPECT_EQ(storedText(user, 90), kTokyoShiftJis);
}

// Only bytes no other code page would hold make an undeclared block Latin-1:
// accented letters within words of ASCII letters and signs standing apart.
// A word of accented letters alone is Cyrillic, Greek or Chinese as likely
// (one letter alone is "à" as likely as "в"),
// and the C1 bytes are letters in Windows-1252, Mac Roman and Shift-JIS.
TEST(IptcCharacterSetTest, AnUndeclaredBlockIsLatin1OnlyWhereItsBytesLeaveNoDoubt)
{
    using Kind = IptcCharacterSet::Kind;
    const std::pair<QByteArray, Kind> cases[] = {
        {"Benalm\xE1"
         "dena",
            Kind::Latin1},
        {"\xA9 Bj\xF8rn", Kind::Latin1},
        {"a\xE7\xF5"
         "es",
            Kind::Latin1},
        {"Caf\xC3\xA9", Kind::Utf8}, {kMoscow1251, Kind::Unknown}, {"Moscow \xE2 " + kMoscow1251, Kind::Unknown},
        {"\xC1\xE8\xDE\xED\xE1", Kind::Unknown}, // Αθήνα in Windows-1253
        {kBeijingGb2312, Kind::Unknown}, {kTokyoShiftJis, Kind::Unknown},
        {"it\x92s", Kind::Windows1252}, // Windows-1252's apostrophe
        {"\xE0 Paris", Kind::Latin1}, {"\xC5\xF8", Kind::Unknown},
        {"Caf\xC3\xA9 Benalm\xE1"
         "dena",
            Kind::Unknown}, // UTF-8 beside Latin-1
        {"5 \xA4", Kind::Western}, // ¤ in Latin-1, € in its sibling
    };
    expectKinds(cases);
    Exiv2::IptcData declared;
    declared["Iptc.Application2.City"] = kMoscow1251.toStdString();
    declared["Iptc.Envelope.CharacterSet"] = std::string("\x1b.A");
    EXPECT_EQ(IptcCharacterSet(declared).kind(), Kind::Latin1);
    declared["Iptc.Envelope.CharacterSet"] = std::string("\x1b$B");
    declared["Iptc.Application2.City"] = std::string("Tokyo");
    EXPECT_EQ(IptcCharacterSet(declared).kind(), Kind::Unknown);
}

// Windows programs wrote their code page undeclared: Windows-1252's signs
// standing as punctuation beside Latin words make a block Windows-1252, and
// Latin-1's signs that Latin-9 reads as letters (´ ½ ¤) a Western block that
// does not say which. The same signs beside Cyrillic or Greek words, which
// Windows-1251 and 1253 hold at the same bytes, or run into other bytes as
// Shift-JIS puts them, leave the set unknown.
TEST(IptcCharacterSetTest, WindowsSignsBesideLatinWordsMakeAWesternBlock)
{
    using Kind = IptcCharacterSet::Kind;
    const std::pair<QByteArray, Kind> cases[] = {
        {"Photographer\x92s view \x96 sunset", Kind::Windows1252},
        {"\x93Sunset\x94 at Caf\xE9 Ol\xE9\x85 5\x80 or \x80 5, 1990\x96"
         "1995 Lumetta\x99, well\x97"
         "done",
            Kind::Windows1252},
        {"it\xB4s 1\xBD hours, \xBC, 5 \xA4", Kind::Western}, {"it\x92s 1\xBD hours", Kind::Windows1252},
        {"a \x92 b", Kind::Unknown}, {"x\x96y", Kind::Unknown}, {"Lumetta\x99s", Kind::Unknown},
        {"\x93 quoted", Kind::Unknown}, {"quoted \x94", Kind::Unknown}, {"5\x80z", Kind::Unknown},
        {"\x8A"
         "koda",
            Kind::Unknown}, // Windows-1252's Š, a letter of other sets too
        {"\x81", Kind::Unknown}, {"\x93\x8C\x8B\x9E", Kind::Unknown}, // 東京 in Shift-JIS
        {"\x93\xFA\x96{", Kind::Unknown}, // 日本 in Shift-JIS
        // Москва – «Россия», “Москва”, it’s Москва in Windows-1251.
        {kMoscow1251 + " \x96 \xAB" + kRussia1251 + "\xBB", Kind::Unknown},
        {"\x93" + kMoscow1251 + "\x94", Kind::Unknown}, {"it\x92s " + kMoscow1251, Kind::Unknown},
        {"\xC1\xE8\xDE\xED\xE1 \x96 \x93\xC1\xE8\xDE\xED\xE1\x94", Kind::Unknown}, // Αθήνα – “Αθήνα” in 1253
    };
    expectKinds(cases);
    // One text in Windows-1251 makes the whole block unknown.
    Exiv2::IptcData mixed;
    mixed["Iptc.Application2.Caption"] = std::string("it\x92s");
    mixed["Iptc.Application2.City"] = kMoscow1251.toStdString();
    EXPECT_EQ(IptcCharacterSet(mixed).kind(), Kind::Unknown);
}

namespace {

const char* const kCaption = "Iptc.Application2.Caption";
const QStringList kWindows1252{QStringLiteral("-charset"), QStringLiteral("iptc=cp1252")};

} // namespace

// A caption a Windows program wrote ("Photographer’s view – sunset" in
// Windows-1252) beside a euro sign: a title or photographer with accented
// letters goes in as the block's bytes, as do Windows-1252's own signs, every
// other text keeping its bytes; a title the code page cannot hold is refused,
// the caption kept. The caption is shown with its signs.
TEST_F(IptcCodePagesTest, AWindows1252BlockTakesAccentedLettersAndItsOwnSigns)
{
    const QByteArray caption("Photographer\x92s view \x96 sunset, 5\x80");
    const QString shownCaption = QString::fromUtf8("Photographer’s view – sunset, 5€");
    const QString user = codePageSample("gowebp-pentax.jpg", tempPath("user"), {{kCaption, caption}});
    ASSERT_EQ(ExifTool::read(user, kWindows1252).value("IPTC:Caption-Abstract").toString(), shownCaption);
    // Shown as Windows-1252 reads it, not with control codes for its signs,
    // and an edit of it keeps their bytes.
    EXPECT_EQ(shownValue(user, kCaption), shownCaption);

    const std::pair<const char*, QByteArray> titles[]
        = {{"Café", "Caf\xE9"}, {"It’s “Ærø” – 5 €", "It\x92s \x93\xC6r\xF8\x94 \x96 5 \x80"}};
    for (const auto& [title, bytes] : titles) {
        SCOPED_TRACE(title);
        ASSERT_TRUE(savedWith(user, kTitle, QString::fromUtf8(title)));
        EXPECT_EQ(storedText(user, 5), bytes);
        EXPECT_EQ(storedText(user, 120), caption);
        const QJsonObject tags = ExifTool::read(user, kWindows1252);
        EXPECT_EQ(tags.value("IPTC:ObjectName").toString(), QString::fromUtf8(title));
        EXPECT_EQ(tags.value("IPTC:Caption-Abstract").toString(), shownCaption);
        EXPECT_FALSE(tags.contains("IPTC:CodedCharacterSet"));
    }
    ASSERT_TRUE(savedWith(user, kCaption, shownCaption + QStringLiteral(" again")));
    EXPECT_EQ(storedText(user, 120), caption + " again");
    ASSERT_TRUE(savedWith(user, kCaption, shownCaption));
    // The photographer reaches its By-line twin.
    ASSERT_TRUE(savedWith(user, "Exif.Image.Artist", QString::fromUtf8("Jürgen")));
    EXPECT_EQ(storedText(user, 80), QByteArray("J\xFCrgen"));
    EXPECT_EQ(storedText(user, 120), caption);
    EXPECT_EQ(ExifTool::read(user, kWindows1252).value("IPTC:By-line").toString(), QString::fromUtf8("Jürgen"));

    // Its signs stand on the same bytes in Windows-1250, 1254 and 1257: a
    // title the block cannot hold would re-encode the others on a guess.
    expectEditRefused(user, QLatin1String(kTitle), TAVExifData::CategorySummary,
        QStringLiteral("%1, so the IPTC ObjectName (%2)").arg(QLatin1String(kUndeclaredSet), kTitle),
        QString::fromUtf8("Москва"));
    EXPECT_EQ(storedText(user, 120), caption);
    EXPECT_EQ(storedText(user, 80), QByteArray("J\xFCrgen"));
}

// Latin-1 text holding signs Latin-9 reads as letters (´ ½ ¤) does not say
// which of the two it is: accented letters the Western sets agree on go in as
// its bytes, the other texts' bytes kept; a sign they write differently is
// refused, naming the field, the file untouched.
TEST_F(IptcCodePagesTest, AWesternBlockNotSayingWhichTakesOnlyWhatItsSetsAgreeOn)
{
    const QByteArray caption("it\xB4s 1\xBD hours to Caf\xE9 Ol\xE9, 5 \xA4");
    const QString user = codePageSample("gowebp-pentax.jpg", tempPath("user"), {{kCaption, caption}});

    ASSERT_TRUE(savedWith(user, kTitle, QString::fromUtf8("Café Ærø")));
    EXPECT_EQ(storedText(user, 5), QByteArray("Caf\xE9 \xC6r\xF8"));
    EXPECT_EQ(storedText(user, 120), caption);
    const QJsonObject tags = ExifTool::read(user, kWindows1252);
    EXPECT_EQ(tags.value("IPTC:ObjectName").toString(), QString::fromUtf8("Café Ærø"));
    EXPECT_EQ(tags.value("IPTC:Caption-Abstract").toString(), QString::fromUtf8("it´s 1½ hours to Café Olé, 5 ¤"));
    EXPECT_FALSE(tags.contains("IPTC:CodedCharacterSet"));

    for (const char* title : {"5 €", "It’s", "½", "Москва"}) {
        SCOPED_TRACE(title);
        expectEditRefused(user, QLatin1String(kTitle), TAVExifData::CategorySummary,
            QStringLiteral("Latin-1, Latin-9 or Windows-1252, so the IPTC ObjectName (%1)").arg(kTitle),
            QString::fromUtf8(title));
    }
}

// A block whose bytes read the same in every Western set takes a sign they
// write differently only by turning UTF-8, which it does where every text it
// keeps is plain ASCII; "½" went in as the byte Latin-9 reads as "œ". Beside
// a text it keeps, the sign is refused.
TEST_F(IptcCodePagesTest, AnUndeclaredLatin1BlockTurnsUtf8ForASignItsSetsWriteDifferently)
{
    const QString user = codePageSample("gowebp-pentax.jpg", tempPath("user"),
        {{kCity,
            QByteArray("Benalm\xE1"
                       "dena")}});
    expectEditRefused(user, QLatin1String(kTitle), TAVExifData::CategorySummary,
        QStringLiteral("%1, so the IPTC ObjectName (%2)").arg(QLatin1String(kUndeclaredSet), kTitle),
        QString::fromUtf8("½ kg"));
    ASSERT_TRUE(savedWith(user, kCity, QString::fromUtf8("Benalmádena, ½ km")));
    const QJsonObject tags = ExifTool::read(user);
    EXPECT_EQ(tags.value("IPTC:CodedCharacterSet").toString(), QStringLiteral("UTF8"));
    EXPECT_EQ(tags.value("IPTC:City").toString(), QString::fromUtf8("Benalmádena, ½ km"));
}

namespace {

QStringList charsetOption(const char* set)
{
    return {QStringLiteral("-charset"), QStringLiteral("iptc=%1").arg(QLatin1String(set))};
}

} // namespace

// Turkish, Central European and Baltic Windows programs wrote their code page
// undeclared too, with Windows-1252's ’ and – on the same bytes and their
// letters on bytes Latin-1 reads as its own: a title outside the set the
// bytes suggest is refused with every byte kept, where the block turned
// UTF-8 with "İstanbul" made "Ýstanbul" and "Jiří" made "Jiøí". A title the
// block's own bytes hold still goes in as them.
TEST_F(IptcCodePagesTest, AnUndeclaredBlockIsNeverReEncodedFromWhatItsBytesSuggest)
{
    struct Case {
        const char* key;
        QByteArray bytes;
        const char* exiftoolSet; // ISO 8859-2's ő stands where Windows-1250 puts it
        const char* text;
        const char* title;
    };
    const Case cases[] = {
        {kCaption,
            "\xDDstanbul\x92"
            "da \x96 Bo\xF0"
            "az",
            "cp1254", "İstanbul’da – Boğaz", "Boğaziçi"},
        {kCity,
            "Eski\xFE"
            "ehir",
            "cp1254", "Eskişehir", "Boğaziçi"},
        {"Iptc.Application2.Byline",
            "Ji\xF8\xED \xC8"
            "ern\xFD",
            "cp1250", "Jiří Černý", "Karlův most"},
        {kCaption, "Karl\xF9v most \x96 Praha\x92s bridge", "cp1250", "Karlův most – Praha’s bridge", "Győr"},
        {kCity, "\xD0iauli\xF8", "cp1257", "Šiaulių", "Klaipėda"},
        {kCaption, "Kry\xFEi\xF8 kalnas \x96 \xD0iauli\xF8", "cp1257", "Kryžių kalnas – Šiaulių", "Klaipėda"},
        {kCity, "Gy\xF5r", "cp1250", "Győr", "Łódź"},
    };
    for (const Case& test : cases) {
        SCOPED_TRACE(test.text);
        const QString user = codePageSample("gowebp-pentax.jpg", tempPath("user"), {{test.key, test.bytes}});
        const char* const exifToolKey = test.key == kCaption ? "IPTC:Caption-Abstract"
            : test.key == kCity                              ? "IPTC:City"
                                                             : "IPTC:By-line";
        ASSERT_EQ(ExifTool::read(user, charsetOption(test.exiftoolSet)).value(exifToolKey).toString(),
            QString::fromUtf8(test.text));

        expectEditRefused(user, QLatin1String(kTitle), TAVExifData::CategorySummary,
            QStringLiteral("%1, so the IPTC ObjectName (%2)").arg(QLatin1String(kUndeclaredSet), kTitle),
            QString::fromUtf8(test.title));

        ASSERT_TRUE(savedWith(user, kTitle, QString::fromUtf8("Café")));
        const char dataset = char(Exiv2::IptcKey(test.key).tag());
        EXPECT_EQ(storedText(user, dataset), test.bytes);
        EXPECT_EQ(storedText(user, 5), QByteArray("Caf\xE9"));
        const QJsonObject tags = ExifTool::read(user, charsetOption(test.exiftoolSet));
        EXPECT_EQ(tags.value(exifToolKey).toString(), QString::fromUtf8(test.text));
        EXPECT_EQ(tags.value("IPTC:ObjectName").toString(), QString::fromUtf8("Café"));
        EXPECT_FALSE(tags.contains("IPTC:CodedCharacterSet"));
        QFile::remove(user);
    }
}

// A text being edited keeps the characters it held in the file's own bytes,
// whatever set they are: a Latin-1 caption corrected for a typo keeps its ½
// as the byte it was, where it was refused as a character the Western sets
// write differently.
TEST_F(IptcCodePagesTest, AnEditedTextKeepsTheCharactersItHeldAsTheirBytes)
{
    const QByteArray caption("Sise \xBD inch, Caf\xE9 Ol\xE9");
    const QByteArray city("M\xE1laga");
    const QString user = codePageSample("gowebp-pentax.jpg", tempPath("user"), {{kCaption, caption}, {kCity, city}});
    ASSERT_TRUE(savedWith(user, kCaption, QString::fromUtf8("Size ½ inch, Café Olé")));
    EXPECT_EQ(storedText(user, 120), QByteArray("Size \xBD inch, Caf\xE9 Ol\xE9"));
    EXPECT_EQ(storedText(user, 90), city);
    const QJsonObject tags = ExifTool::read(user, charsetOption("latin"));
    EXPECT_EQ(tags.value("IPTC:Caption-Abstract").toString(), QString::fromUtf8("Size ½ inch, Café Olé"));
    EXPECT_EQ(tags.value("IPTC:City").toString(), QString::fromUtf8("Málaga"));
    EXPECT_FALSE(tags.contains("IPTC:CodedCharacterSet"));
}

// A Shift-JIS name whose bytes hold Windows-1252's – and “ (本田 as 96 7B 93
// 63, 藤田 as 93 A1 93 63) is not Western text: a Japanese title, or one
// Windows-1252 would write as its own bytes, is refused and the block kept
// (exiftool takes no multi-byte set for IPTC: the bytes are compared).
TEST_F(IptcCodePagesTest, AShiftJisNameHoldingWindowsSignsKeepsItsBlock)
{
    for (const QByteArray& name : {QByteArray("\x96\x7B\x93\x63"), QByteArray("\x93\xA1\x93\x63")}) {
        SCOPED_TRACE(name.toHex(' ').toStdString());
        const QString user
            = codePageSample("npm-canon-s40.jpg", tempPath("user"), {{"Iptc.Application2.Byline", name}});
        for (const char* title : {"東京", "Café", "It’s"}) {
            SCOPED_TRACE(title);
            expectEditRefused(user, QLatin1String(kTitle), TAVExifData::CategorySummary,
                QStringLiteral("%1, so the IPTC ObjectName (%2)").arg(QLatin1String(kUndeclaredSet), kTitle),
                QString::fromUtf8(title));
        }
        EXPECT_EQ(storedText(user, 80), name);
        QFile::remove(user);
    }
}

// Japanese and Chinese names put their characters' first bytes on
// Windows-1252's ‘ ’ “ ” … before an ASCII byte: Shift-JIS's 田 reads "“c",
// 前田 "‘O“c", 池谷 "’r’J", 知念 "’m”O", GBK's 吳 "…Ç". An opening quote
// counts only by its closing partner, and a text that reads whole as such
// characters is no Western text, while Western quotes, apostrophes, dashes
// and signs still settle the set.
TEST(IptcCharacterSetTest, TwoByteNamesAreNotReadAsWindowsQuotes)
{
    using Kind = IptcCharacterSet::Kind;
    const std::pair<QByteArray, Kind> cases[] = {
        {"\x93\x63", Kind::Unknown}, // 田
        {"\x91\x4F\x93\x63", Kind::Unknown}, // 前田
        {"\x92\x72\x93\x63", Kind::Unknown}, // 池田
        {"\x93\x79\x93\x63", Kind::Unknown}, // 土田
        {"\x92\x72\x92\x4A", Kind::Unknown}, // 池谷
        {"\x92\x6D\x94\x4F", Kind::Unknown}, // 知念
        {"\x93\x73\x92\x7A", Kind::Unknown}, // 都築
        {"\x92\x4A", Kind::Unknown}, // 谷
        {"Photo: \x93\x63 \x92\x72\x92\x4A", Kind::Unknown}, // Photo: 田 池谷
        {"\x92\x72\x92\x4A\x92", Kind::Unknown}, // 池谷 and a half, cut at a length
        {"\x85\xC7", Kind::Unknown}, // 吳 in GBK
        {"\x93Unclosed quote", Kind::Unknown},
        {"x\x93y\x94", Kind::Unknown},
        {"\x93quoted words\x94", Kind::Windows1252},
        {"He said \x93no\x94.", Kind::Windows1252},
        {"\x93Yes,\x94 she said", Kind::Windows1252},
        {"\x91single\x92 quotes", Kind::Windows1252},
        {"\x93He said \x91hi\x92\x94", Kind::Windows1252},
        {"\x91He said \x93hi\x94\x92", Kind::Windows1252},
        {"\x93"
         "Caf\xE9\x94",
            Kind::Windows1252},
        {"the \x91"
         "90s",
            Kind::Windows1252},
        {"\x91Tis the season \x96 it\x92s here", Kind::Windows1252},
        {"it\x92s", Kind::Windows1252},
        {"O\x92"
         "Brien",
            Kind::Windows1252},
        {"rock \x92n\x92 roll", Kind::Windows1252},
        {"5 \x80", Kind::Windows1252},
        {"Brand\x99", Kind::Windows1252},
        {"1990\x96"
         "2000",
            Kind::Windows1252},
        {"a \x96 b", Kind::Windows1252},
        {"Wait \x85", Kind::Windows1252},
    };
    expectKinds(cases);
}

// A By-line of a Shift-JIS or GBK name whose bytes read as Windows-1252's
// quotes or apostrophes refuses a title the block's bytes cannot settle, and
// every byte of the file is kept: "Café" went in as E9, which Shift-JIS
// reads as the first byte of a character.
TEST_F(IptcCodePagesTest, ATwoByteNameReadAsQuotesKeepsItsBlock)
{
    const QByteArray names[] = {
        "\x93\x63", // 田
        "\x91\x4F\x93\x63", // 前田
        "\x92\x72\x93\x63", // 池田
        "\x92\x72\x92\x4A", // 池谷
        "\x92\x6D\x94\x4F", // 知念
        "\x85\xC7", // 吳 in GBK
    };
    for (const QByteArray& name : names) {
        SCOPED_TRACE(name.toHex(' ').toStdString());
        const QString user
            = codePageSample("npm-canon-s40.jpg", tempPath("user"), {{"Iptc.Application2.Byline", name}});
        expectEditRefused(user, QLatin1String(kTitle), TAVExifData::CategorySummary,
            QStringLiteral("%1, so the IPTC ObjectName (%2)").arg(QLatin1String(kUndeclaredSet), kTitle),
            QStringLiteral("Café"));
        EXPECT_EQ(storedText(user, 80), name);
        QFile::remove(user);
    }
}

// Captions a Windows program wrote with paired quotes and nothing else of
// Windows-1252's own still settle the block: a title "Café" goes in as E9,
// the caption's bytes kept, read back by exiftool as Windows-1252.
TEST_F(IptcCodePagesTest, AWindows1252CaptionWithPairedQuotesTakesItsBytes)
{
    const std::pair<QByteArray, const char*> captions[] = {
        {"The \x93Old Town\x94 at dusk", "The “Old Town” at dusk"},
        {"A \x91quiet\x92 morning", "A ‘quiet’ morning"},
        {"\x93He said \x91no\x92\x94", "“He said ‘no’”"},
    };
    for (const auto& [caption, shown] : captions) {
        SCOPED_TRACE(shown);
        const QString user = codePageSample("gowebp-pentax.jpg", tempPath("user"), {{kCaption, caption}});
        ASSERT_TRUE(savedWith(user, kTitle, QStringLiteral("Café")));
        EXPECT_EQ(storedText(user, 5), QByteArray("Caf\xE9"));
        EXPECT_EQ(storedText(user, 120), caption);
        const QJsonObject tags = ExifTool::read(user, kWindows1252);
        EXPECT_EQ(tags.value("IPTC:ObjectName").toString(), QStringLiteral("Café"));
        EXPECT_EQ(tags.value("IPTC:Caption-Abstract").toString(), QString::fromUtf8(shown));
        EXPECT_FALSE(tags.contains("IPTC:CodedCharacterSet"));
        QFile::remove(user);
    }
}

namespace {

const char* const kByline = "Iptc.Application2.Byline";
// 一 in GBK, which reads as UTF-8 too (as the Cyrillic "һ").
const QByteArray kOneGbk("\xD2\xBB");

// An IPTC dataset as the file stores it.
QByteArray dataset(char record, char number, const QByteArray& value)
{
    QByteArray bytes{"\x1C"};
    bytes += record;
    bytes += number;
    bytes.append(2, '\0');
    qToBigEndian<quint16>(quint16(value.size()), bytes.data() + 3);
    return bytes + value;
}

// A record-2 dataset before a record-1 one, which the library would sort.
const QByteArray kUnsortedIptc
    = dataset(2, 80, "Someone") + dataset(1, 0, QByteArray("\0\x04", 2)) + dataset(2, 5, kOneGbk);

// A copy of the Canon file with a Photoshop segment after its EXIF holding
// `iptc` as its IPTC resource.
QString withIptcResource(const QString& folder, const QByteArray& iptc)
{
    const QString user = ImageFixtures::copySample(QStringLiteral("npm-canon-s40.jpg"), folder);
    QByteArray jpeg = WrittenFileProbe::bytes(user);
    QByteArray resources("8BIM\x04\x04\0\0\0\0\0\0", 12);
    qToBigEndian<quint32>(quint32(iptc.size()), resources.data() + 8);
    resources += iptc;
    resources.append(iptc.size() % 2, '\0');
    const QByteArray data = QByteArray("Photoshop 3.0\0", 14) + resources;
    QByteArray segment("\xFF\xED\0\0", 4);
    qToBigEndian<quint16>(quint16(2 + data.size()), segment.data() + 2);
    const qsizetype exif = segmentAt(jpeg, 0xE1);
    EXPECT_GT(exif, 0);
    jpeg.insert(exif + 2 + qFromBigEndian<quint16>(jpeg.constData() + exif + 2), segment + data);
    EXPECT_TRUE(FileServices::writeFileAtomically(user, jpeg));
    return user;
}

} // namespace

// A save that edits no IPTC leaves the block as the file holds it: a GBK
// By-line 一, whose bytes read as UTF-8 too, gained a UTF-8 declaration from
// a save setting the EXIF Software, and every reader then showed "һ"; a block
// of undeclared UTF-8 was declared alike. In a JPEG, a TIFF and a PNG the
// datasets keep every byte and no declaration is added.
TEST_F(IptcCodePagesTest, ASaveEditingNoIptcKeepsTheBlockAsItWas)
{
    const Texts blocks[] = {
        {{kByline, kOneGbk}},
        {{kByline, kOneGbk}, {kCity, kMoscow1251}},
        {{kCaption, QByteArray("Caf\xC3\xA9")}},
    };
    for (const char* sample : {"gowebp-pentax.jpg", "goexif.tif", "png-nikon-d3.png"}) {
        for (const Texts& texts : blocks) {
            SCOPED_TRACE(sample);
            const QString user = codePageSample(sample, tempPath("user"), texts);
            const QByteArray before = ExifTool::binary(user, QStringLiteral("IPTC"));
            ASSERT_FALSE(before.isEmpty());
            ASSERT_TRUE(savedWith(user, "Exif.Image.Software", QStringLiteral("Lumetta 2")));
            EXPECT_EQ(ExifTool::binary(user, QStringLiteral("IPTC")), before);
            const QJsonObject tags = ExifTool::read(user);
            EXPECT_EQ(tags.value("IFD0:Software").toString(), QStringLiteral("Lumetta 2"));
            EXPECT_FALSE(tags.contains("IPTC:CodedCharacterSet"));
            QFile::remove(user);
        }
    }
}

// A JPEG's block that the library would write otherwise, its datasets out of
// record order and zero bytes after them, keeps its bytes through an EXIF
// edit: the datasets were sorted and the padding dropped.
TEST_F(IptcCodePagesTest, AJpegBlockKeepsItsOrderAndPaddingThroughAnExifEdit)
{
    const QByteArray iptc = kUnsortedIptc + QByteArray(3, '\0');
    const QString user = withIptcResource(tempPath("user"), iptc);
    ASSERT_EQ(ExifTool::binary(user, QStringLiteral("IPTC")), iptc);
    ASSERT_TRUE(savedWith(user, "Exif.Image.Software", QStringLiteral("Lumetta 2")));
    EXPECT_EQ(ExifTool::binary(user, QStringLiteral("IPTC")), iptc);
    EXPECT_EQ(ExifTool::read(user).value("IFD0:Software").toString(), QStringLiteral("Lumetta 2"));
}

namespace {

// The type, count and value bytes of IFD0's entry `tag` of a TIFF.
QByteArray rawEntry(const QString& path, uint16_t tag)
{
    const QByteArray file = WrittenFileProbe::bytes(path);
    const TiffView tiff(file);
    const qsizetype entry = tiff.entry(tiff.ifd0(), tag);
    const uint32_t size = tiff.read(entry + 4, 4) * (tiff.read(entry + 2, 2) == 4 ? 4 : 1);
    return file.mid(entry + 2, 6) + (size <= 4 ? file.mid(entry + 8, 4) : file.mid(tiff.read(entry + 8, 4), size));
}

// A copy of a TIFF whose IPTC entry holds kUnsortedIptc and two zero bytes,
// as bytes (UNDEFINED), and whose Photoshop resources hold a resolution and
// kUnsortedIptc. The library writes the datasets sorted, then the test puts
// them back in their order, in place.
QString tiffWithUnsortedIptc(const QString& sample, const QString& folder)
{
    const QString user = ImageFixtures::copySample(sample, folder);
    {
        auto image = Exiv2::ImageFactory::open(user.toStdString());
        image->readMetadata();
        image->iptcData().clear();
        image->iptcData()["Iptc.Envelope.ModelVersion"] = uint16_t(4);
        image->iptcData()["Iptc.Application2.Byline"] = "Someone";
        image->iptcData()["Iptc.Application2.ObjectName"] = kOneGbk.toStdString();
        Exiv2::DataValue resources(Exiv2::undefined);
        const QByteArray held = QByteArray::fromHex("3842494d03ed000000000010012c000000010001012c000000010001")
            + QByteArray("8BIM\x04\x04\0\0\0\0\0\0", 12);
        resources.read(reinterpret_cast<const Exiv2::byte*>(held.constData()), long(held.size()));
        image->exifData()["Exif.Image.ImageResources"].setValue(&resources);
        image->exifData()["Exif.Image.IPTCNAA"] = uint32_t(0);
        image->writeMetadata();
    }
    QByteArray file = WrittenFileProbe::bytes(user);
    const TiffView tiff(file);
    const qsizetype entry = tiff.entry(tiff.ifd0(), 0x83BB);
    EXPECT_EQ(tiff.read(entry + 4, 4), 7u);
    const qsizetype value = tiff.read(entry + 8, 4);
    EXPECT_NE(file.mid(value, kUnsortedIptc.size()), kUnsortedIptc);
    file.replace(value, kUnsortedIptc.size(), kUnsortedIptc);
    file.replace(entry + 2, 6, tiff.number(7, 2) + tiff.number(28, 4));
    const qsizetype resources = tiff.read(tiff.entry(tiff.ifd0(), 0x8649) + 8, 4);
    const qsizetype iptc = file.indexOf(QByteArray("8BIM\x04\x04", 6), resources) + 12;
    EXPECT_GT(iptc, resources);
    file.replace(iptc, kUnsortedIptc.size(), kUnsortedIptc);
    EXPECT_TRUE(FileServices::writeFileAtomically(user, file));
    return user;
}

} // namespace

// A TIFF's IPTC entry and Photoshop resources keep their bytes through a
// save that edits no IPTC: the library wrote the block anew, its datasets
// sorted by record, the padding dropped and the entry made LONGs. An IPTC
// edit still writes the block.
TEST_F(IptcCodePagesTest, ATiffsIptcEntriesKeepTheirBytesThroughAnExifEdit)
{
    for (const char* sample : {"goexif.tif", "npm-arbitro.tiff"}) {
        SCOPED_TRACE(sample);
        const QString user = tiffWithUnsortedIptc(sample, tempPath("user"));
        const QByteArray entry = rawEntry(user, 0x83BB);
        const QByteArray resources = rawEntry(user, 0x8649);
        ASSERT_EQ(entry.mid(6), kUnsortedIptc + QByteArray(2, '\0'));
        ASSERT_TRUE(resources.contains(kUnsortedIptc));
        expectKeptThenTitled(user, kUnsortedIptc, [&] {
            EXPECT_EQ(rawEntry(user, 0x83BB), entry);
            EXPECT_EQ(rawEntry(user, 0x8649), resources);
            // No stale copy of the block as the library wrote it.
            EXPECT_FALSE(WrittenFileProbe::bytes(user).contains(
                dataset(1, 0, QByteArray("\0\x04", 2)) + dataset(2, 80, "Someone") + dataset(2, 5, kOneGbk)));
        });
    }
}

// A PNG's IPTC chunk, placed after other text chunks, keeps its bytes and
// its place through a save that edits no IPTC: the library wrote a block of
// its own, sorted, after the header chunk. An IPTC edit still writes it.
TEST_F(IptcCodePagesTest, APngsIptcChunkKeepsItsBytesAndPlaceThroughAnExifEdit)
{
    using namespace PngChunkMaker;
    const QByteArray iptcChunk = rawProfileChunk("iptc", kUnsortedIptc + QByteArray(3, '\0'));
    for (const char* sample : {"png-nikon-d3.png", "png-sony-gps.png"}) {
        SCOPED_TRACE(sample);
        const QString user = ImageFixtures::copySample(sample, tempPath("user"));
        QByteArray png = WrittenFileProbe::bytes(user);
        insertBeforeEnd(png, textChunk("tEXt", "Comment", "A note") + iptcChunk);
        ASSERT_TRUE(FileServices::writeFileAtomically(user, png));
        const qsizetype place = chunksOf(png).indexOf(iptcChunk);
        ASSERT_GT(place, 1);
        expectKeptThenTitled(user, kUnsortedIptc, [&] {
            const QByteArrayList saved = chunksOf(WrittenFileProbe::bytes(user));
            EXPECT_EQ(saved.indexOf(iptcChunk), place);
            EXPECT_EQ(saved.count(iptcChunk), 1);
        });
    }
}

// An edit of an undeclared block whose texts read as UTF-8 and as another
// set (GBK's 一, a Cyrillic city whose UTF-8 reads as GBK) goes in as UTF-8
// beside them, their bytes kept, and the block declares nothing on that
// guess. Texts that read as UTF-8 alone still make the block say so.
TEST_F(IptcCodePagesTest, AnEditBesideTextsOtherSetsReadAlikeDeclaresNothing)
{
    const QByteArray moscowUtf8("Москва");
    for (const Texts& texts : {Texts{{kByline, kOneGbk}}, Texts{{kCity, moscowUtf8}}}) {
        SCOPED_TRACE(texts.begin()->second.toHex(' ').toStdString());
        const QString user = codePageSample("npm-canon-s40.jpg", tempPath("user"), texts);
        ASSERT_TRUE(savedWith(user, kTitle, QString::fromUtf8("Café")));
        for (const auto& [key, bytes] : texts)
            EXPECT_EQ(storedText(user, char(Exiv2::IptcKey(key).tag())), bytes);
        EXPECT_EQ(storedText(user, 5), QByteArray("Caf\xC3\xA9"));
        const QJsonObject tags = ExifTool::read(user, charsetOption("utf8"));
        EXPECT_EQ(tags.value("IPTC:ObjectName").toString(), QString::fromUtf8("Café"));
        EXPECT_FALSE(tags.contains("IPTC:CodedCharacterSet"));
        QFile::remove(user);
    }

    const QByteArray caption("Caf\xC3\xA9 Ol\xC3\xA9");
    const QString user = codePageSample("npm-canon-s40.jpg", tempPath("user"), {{kCaption, caption}});
    ASSERT_TRUE(savedWith(user, kTitle, QString::fromUtf8("Ærø")));
    EXPECT_EQ(storedText(user, 120), caption);
    const QJsonObject tags = ExifTool::read(user);
    EXPECT_EQ(tags.value("IPTC:CodedCharacterSet").toString(), QStringLiteral("UTF8"));
    EXPECT_EQ(tags.value("IPTC:ObjectName").toString(), QString::fromUtf8("Ærø"));
    EXPECT_EQ(tags.value("IPTC:Caption-Abstract").toString(), QString::fromUtf8("Café Olé"));
}

// A Japanese title whose kanji lead with E9, the byte Latin-1 reads as é, is
// of a set the block does not say: retitled "Café", it lends none of its
// bytes to the edit, which is refused with every byte kept, as is a block
// whose only Windows-1252 sign is an opening quote that nothing closes (前 is
// 91 4F, "‘O") or whose texts read whole as GBK characters (FD 92 and C1 92,
// "ý’" and "Á’"). A caption opening with an elision, "’Tis the season", is
// Windows-1252, and takes a Western title in its bytes.
TEST_F(IptcCodePagesTest, ABlockOfAnUnknownSetLendsNoBytesToAWesternTitle)
{
    // The titles beside a By-line 田中 in Shift-JIS, which the block keeps:
    // a block whose only text is the title turns UTF-8.
    const QByteArray tanaka("\x93\x63\x92\x86");
    const Texts blocks[] = {
        {{kTitle, "\xE9\x4C\x8E\x71"}, {kByline, tanaka}}, // 餃子
        {{kTitle, "\xE9\x44\x91\xBE"}, {kByline, tanaka}}, // 颯太
        {{kTitle, "\xE9\xBD"}, {kByline, tanaka}}, // 鮨
        {{kTitle, "Tokyo \xE9\x51\x8E\x71"}, {kByline, tanaka}}, // Tokyo 餡子
        {{kByline, "\xE9\x44"}}, // 颯, "éD"
        {{kCaption, "Photo: \xE9\x4C \xE9\x61"}}, // Photo: 餃 饌
        {{kByline, "\x91\x4F"}}, // 前
        {{kCaption, "\x91Quiet morning at the harbour"}},
        {{kByline, "\xFD\x92"}},
        {{kByline, "\xC1\x92"}},
    };
    for (const Texts& texts : blocks) {
        SCOPED_TRACE(texts.rbegin()->second.toHex(' ').toStdString());
        const QString user = codePageSample("npm-canon-s40.jpg", tempPath("user"), texts);
        const QByteArray before = WrittenFileProbe::bytes(user);
        expectEditRefused(user, QLatin1String(kTitle), TAVExifData::CategorySummary,
            QStringLiteral("%1, so the IPTC ObjectName (%2)").arg(QLatin1String(kUndeclaredSet), kTitle),
            QStringLiteral("Café"));
        EXPECT_EQ(WrittenFileProbe::bytes(user), before);
        QFile::remove(user);
    }

    const QString titleOnly
        = codePageSample("npm-canon-s40.jpg", tempPath("user"), {{kTitle, QByteArray("\xE9\x4C\x8E\x71")}});
    ASSERT_TRUE(savedWith(titleOnly, kTitle, QStringLiteral("Café")));
    EXPECT_EQ(storedText(titleOnly, 5), QByteArray("Caf\xC3\xA9"));
    EXPECT_EQ(ExifTool::read(titleOnly).value("IPTC:CodedCharacterSet").toString(), QStringLiteral("UTF8"));

    const QByteArray season("\x92Tis the season");
    const QString user = codePageSample("npm-canon-s40.jpg", tempPath("user"), {{kCaption, season}});
    const std::pair<const char*, QByteArray> titles[]
        = {{"Café", "Caf\xE9"}, {"“Noël” – it’s here", "\x93No\xEBl\x94 \x96 it\x92s here"}};
    for (const auto& [title, bytes] : titles) {
        SCOPED_TRACE(title);
        ASSERT_TRUE(savedWith(user, kTitle, QString::fromUtf8(title)));
        EXPECT_EQ(storedText(user, 5), bytes);
        EXPECT_EQ(storedText(user, 120), season);
        const QJsonObject tags = ExifTool::read(user, kWindows1252);
        EXPECT_EQ(tags.value("IPTC:ObjectName").toString(), QString::fromUtf8(title));
        EXPECT_EQ(tags.value("IPTC:Caption-Abstract").toString(), QString::fromUtf8("’Tis the season"));
        EXPECT_FALSE(tags.contains("IPTC:CodedCharacterSet"));
    }
}

// Shift-JIS's rarer kanji lead with the bytes of Latin-1's small accented
// letters and end in an ASCII byte: where one reads as a small accented
// letter run into a capital or a sign ("éD"), the text is not Western, while
// Western words that start with an accented letter still are.
TEST(IptcCharacterSetTest, KanjiReadAsAnAccentRunIntoACapitalAreNotWestern)
{
    using Kind = IptcCharacterSet::Kind;
    const std::pair<QByteArray, Kind> cases[] = {
        {"\xE9\x44", Kind::Unknown}, // 颯
        {"\xE9\x4C\xE0\x40", Kind::Unknown}, // 餃 and a kanji whose second byte is @
        {"Photo: \xE9\x4C \xE9\x61", Kind::Unknown}, // Photo: 餃 饌
        {"\xE7"
         "a va",
            Kind::Latin1},
        {"\xE9t\xE9", Kind::Latin1},
        {"\xE0 Paris", Kind::Latin1},
        {"jos\xE9@example.com", Kind::Latin1},
        {"[caf\xE9]", Kind::Latin1},
        {"\xEEle Saint-Louis", Kind::Latin1},
    };
    expectKinds(cases);
}
