// IPTC blocks that older programs wrote in the system's code page without
// declaring it (Windows-1251, Shift-JIS, GB2312), made by the test on copies
// of camera files: their texts keep their bytes through every save, an edit
// that would need the block re-encoded is refused and names the field, and
// a block whose other texts are plain ASCII turns UTF-8. exiftool, told the
// code page, reads back what was saved.

#include "models/formats/IptcCharacterSet.h"
#include "models/write/DamagedSamples.h"

#include <QRegularExpression>

#include <exiv2/exiv2.hpp>

#include <map>

using namespace DamagedSamples;

namespace {

const char* const kCity = "Iptc.Application2.City";
const char* const kTitle = "Iptc.Application2.ObjectName";
const char* const kUnknownSet = "the character set of the file's IPTC block is not known";

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

class IptcCodePagesTest : public DamagedFilesSaveTest {
protected:
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
                QStringLiteral("%1, so the IPTC ObjectName (%2)").arg(QLatin1String(kUnknownSet), kTitle),
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
    QString shown;
    {
        const auto image = openWorkingCopy(user);
        for (int32_t category = 0; category < 4 && shown.isEmpty(); ++category)
            shown = image->getValueForKey(QLatin1String(keywords), category);
    }
    ASSERT_TRUE(QFile::remove(tempPath("work/gowebp-pentax.jpg")));
    ASSERT_EQ(shown, QString::fromLatin1(kRussia1251) + QStringLiteral(", Torremolinos"));
    ASSERT_TRUE(savedWith(user, keywords, shown + QStringLiteral(", Kremlin")));
    EXPECT_EQ(storedText(user, 25), kRussia1251);
    const QJsonObject tags = ExifTool::read(user, {QStringLiteral("-charset"), QStringLiteral("iptc=cp1251")});
    EXPECT_EQ(tags.value("IPTC:Keywords").toVariant().toStringList(),
        (QStringList{QString::fromUtf8("Россия"), QStringLiteral("Torremolinos"), QStringLiteral("Kremlin")}));
    EXPECT_EQ(tags.value("IPTC:City").toString(), QString::fromUtf8("Москва"));
    EXPECT_FALSE(tags.contains("IPTC:CodedCharacterSet"));
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
        {"it\x92s", Kind::Unknown}, // Windows-1252's apostrophe
        {"\xE0 Paris", Kind::Latin1}, {"\xC5\xF8", Kind::Unknown},
        {"Caf\xC3\xA9 Benalm\xE1"
         "dena",
            Kind::Unknown}, // UTF-8 beside Latin-1
        {"5 \xA4", Kind::Unknown}, // ¤ in Latin-1, € in its sibling
    };
    for (const auto& [text, kind] : cases) {
        SCOPED_TRACE(text.toStdString());
        Exiv2::IptcData iptc;
        iptc["Iptc.Application2.City"] = text.toStdString();
        iptc["Iptc.Application2.CountryName"] = std::string("Spain");
        EXPECT_EQ(IptcCharacterSet(iptc).kind(), kind);
    }
    Exiv2::IptcData declared;
    declared["Iptc.Application2.City"] = kMoscow1251.toStdString();
    declared["Iptc.Envelope.CharacterSet"] = std::string("\x1b.A");
    EXPECT_EQ(IptcCharacterSet(declared).kind(), Kind::Latin1);
    declared["Iptc.Envelope.CharacterSet"] = std::string("\x1b$B");
    declared["Iptc.Application2.City"] = std::string("Tokyo");
    EXPECT_EQ(IptcCharacterSet(declared).kind(), Kind::Unknown);
}
