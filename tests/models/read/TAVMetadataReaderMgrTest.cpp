#include "models/read/TAVMetadataReaderMgr.h"

#include "models/image/TAVImageObject.h"
#include "models/tables/TAVCVSParaser.h"

#include "support/ExifTool.h"
#include "support/ImageFixtures.h"
#include "support/QtPrinters.h"
#include "support/TempFolder.h"

#include <QStringList>

#include <exiv2/exiv2.hpp>

#include <algorithm>
#include <cstdlib>
#include <ctime>
#include <functional>
#include <memory>

namespace {

using Reader = TAVMetadataReaderMgr;
using Tags = std::vector<std::pair<const char*, const char*>>;

QStringList keysOf(const QList<TAVEntityPtr>& rows)
{
    QStringList keys;
    for (const TAVEntityPtr& row : rows) {
        keys << row->key();
    }
    return keys;
}

QString label(const Reader::LabelAndIcon& value)
{
    return value.value(QLatin1String(Reader::kValueKey));
}

QString icon(const Reader::LabelAndIcon& value)
{
    return value.value(QLatin1String(Reader::kImageNameKey));
}

// One value read from a file made with the tags; nullptr: no text at all.
struct RuleCase {
    Tags tags;
    std::function<QString(const Reader&)> read;
    const char* expected;
};

class TAVMetadataReaderMgrTest : public TempFolderTest {
protected:
    QString fileWith(const Tags& tags)
    {
        std::vector<ImageFixtures::Tag> list;
        for (const auto& [key, value] : tags) {
            list.push_back({QString::fromLatin1(key), QString::fromUtf8(value), std::nullopt});
        }
        const QString path = tempPath(QStringLiteral("image-%1.jpg").arg(++files_));
        EXPECT_TRUE(ImageFixtures::makeImageWithTags(path, list));
        return path;
    }

    // Reads a file as the image object does and silences the "no data" lines.
    static std::unique_ptr<Reader> readFile(const QString& path)
    {
        auto manager = std::make_unique<Reader>(path);
        testing::internal::CaptureStdout();
        manager->readAllMetadata();
        testing::internal::GetCapturedStdout();
        return manager;
    }

    std::unique_ptr<Reader> readTags(const Tags& tags) { return readFile(fileWith(tags)); }

    void expectRules(const std::vector<RuleCase>& cases)
    {
        for (const RuleCase& rule : cases) {
            SCOPED_TRACE(testing::Message() << "row " << (&rule - cases.data()) << ", " << rule.tags.back().first);
            const QString value = rule.read(*readTags(rule.tags));
            EXPECT_EQ(value, QString::fromUtf8(rule.expected));
            EXPECT_EQ(value.isNull(), rule.expected == nullptr);
        }
    }

    int files_ = 0;
};

TEST_F(TAVMetadataReaderMgrTest, DatesReadInTheApplicationFormAndTheCaptureDateWins)
{
    auto manager = readTags(
        {{"Exif.Image.DateTime", "2024:05:01 10:00:00"}, {"Exif.Photo.DateTimeOriginal", "2023:07:14 08:30:05"},
            {"Exif.Photo.DateTimeDigitized", "2023:07:14 08:30:06"}});
    const QStringList keys = keysOf(manager->readAllMetadata());
    // The last-modified date comes first in the file's own order.
    ASSERT_LT(keys.indexOf("Exif.Image.DateTime"), keys.indexOf("Exif.Photo.DateTimeOriginal"));
    EXPECT_EQ(manager->getOneValueForKey("Exif.Image.DateTime"), "2024-05-01 10:00:00");
    EXPECT_EQ(manager->getOneValueForKey("Exif.Photo.DateTimeDigitized"), "2023-07-14 08:30:06");
    EXPECT_EQ(manager->getCreateDateAndTime(), "2023-07-14 08:30:05");
}

TEST_F(TAVMetadataReaderMgrTest, DateTextsOutsideTheTwoFormsStayAsTheyAre)
{
    EXPECT_EQ(Reader::getConvertDatetimeString("2023/07/14 08:30:05"), "2023-07-14 08:30:05");
    EXPECT_FALSE(Reader::getConvertDatetimeString(QString()).isNull());
    for (const char* kept : {"2023-07-14 08:30:05", "2023:02:30 10:00:00", "2023:07:14", "    :  :     :  :  "}) {
        EXPECT_EQ(Reader::getConvertDatetimeString(QString::fromLatin1(kept)), QString::fromLatin1(kept));
    }

    // 02:30 on that day does not exist in Berlin (clocks jump to 03:00); a
    // camera date has no zone, so it must come through unchanged.
    const QByteArray previousZone = qgetenv("TZ");
    qputenv("TZ", "Europe/Berlin");
    tzset();
    const QString converted = Reader::getConvertDatetimeString("2023:03:26 02:30:00");
    previousZone.isNull() ? qunsetenv("TZ") : qputenv("TZ", previousZone);
    tzset();
    EXPECT_EQ(converted, "2023-03-26 02:30:00");
}

TEST_F(TAVMetadataReaderMgrTest, TheTypedReadGivesEveryFamilyWithTheFileDatesAndKeepsNothing)
{
    const QString path = fileWith({{"Exif.Photo.DateTimeOriginal", "2023:07:14 08:30:05"},
        {"Iptc.Application2.Caption", "Evening"}, {"Xmp.dc.rights", "Ann"}});
    Reader manager(path);
    const QStringList keys = keysOf(manager.readAllMetadata(8)); // 8: thumbnail only
    EXPECT_EQ(keys.first(), "EXIF");
    EXPECT_LT(keys.indexOf("IPTC"), keys.indexOf("Iptc.Application2.Caption"));
    EXPECT_LT(keys.indexOf("Iptc.Application2.Caption"), keys.indexOf("XMP"));
    EXPECT_LT(keys.indexOf("XMP"), keys.indexOf("Xmp.dc.rights"));
    const QList<TAVEntityPtr> rows = manager.readAllMetadata(16);
    const qsizetype dateRow = keysOf(rows).indexOf("Exif.Photo.DateTimeOriginal");
    ASSERT_GE(dateRow, 0);
    EXPECT_EQ(rows.at(dateRow)->value(), "2023:07:14 08:30:05");
    EXPECT_TRUE(manager.getCaption().isNull()); // the getters see only the kept list
}

// Each getter follows its chain of keys over the families.
TEST_F(TAVMetadataReaderMgrTest, GettersFollowTheirKeyChains)
{
    const Tags iptcFirst = {{"Iptc.Application2.ObjectName", "Harbour"}, {"Iptc.Application2.Copyright", "Ann"},
        {"Iptc.Application2.Keywords", "sea"}, {"Iptc.Application2.Keywords", "sun"}, {"Xmp.dc.description", "Boats"}};
    const Tags exifFirst = {{"Iptc.Application2.ObjectName", "Harbour"}, {"Iptc.Application2.Copyright", "Ann"},
        {"Exif.Image.Copyright", "Bo"}, {"Exif.Image.XPTitle", "72 0 105 0 0 0"}};
    expectRules({
        {iptcFirst, &Reader::getTitle, "Harbour"},
        {iptcFirst, &Reader::getCopyright, "Ann"},
        {iptcFirst, &Reader::getDescription, "Boats"},
        {iptcFirst, &Reader::getKeywords, "sea, sun"},
        {iptcFirst, &Reader::getLensModel, nullptr},
        {iptcFirst, &Reader::getCreateDateAndTime, nullptr},
        {exifFirst, &Reader::getTitle, "Harbour"},
        {{{"Iptc.Application2.BylineTitle", "Staff"}, {"Exif.Image.XPTitle", "72 0 105 0 0 0"}}, &Reader::getTitle,
            "Hi"},
        {{{"Iptc.Application2.BylineTitle", "Staff"}, {"Xmp.dc.title", "Harbour"}}, &Reader::getTitle, "Harbour"},
        {{{"Iptc.Application2.BylineTitle", "Staff"}}, &Reader::getTitle, "Staff"},
        {{{"Xmp.dc.subject", "sea"}}, &Reader::getKeywords, "sea"},
        {exifFirst, &Reader::getCopyright, "Bo"},
        {{{"Exif.Image.Make", "Acme"}, {"Exif.Image.Model", "X100"}}, &Reader::getCameraMakeAndModel, "Acme X100"},
        {{{"Exif.Image.Make", "Acme"}}, &Reader::getCameraMakeAndModel, "Acme"},
        {{{"Exif.Image.Artist", "Ann"}}, &Reader::getCameraMakeAndModel, ""},
        {{{"Exif.GPSInfo.GPSVersionID", "2 3 0 0"}}, &Reader::getGPSVersion, "version 2.3.0.0"},
        {{{"Exif.Image.Artist", "Ann"}}, &Reader::getGPSVersion, nullptr},
        {{{"Exif.Image.DateTime", "2024/05/01 10:00:00"}}, &Reader::getCreateDateAndTime, "2024-05-01 10:00:00"},
        {{{"Exif.Image.DateTime", "2024:05:01 10:00:00"}, {"Exif.Photo.DateTimeDigitized", "2023:07:14 08:30:06"}},
            &Reader::getCreateDateAndTime, "2023-07-14 08:30:06"},
    });
}

// Camera values the exposure tab shows, derived from standard tags and from
// real maker notes that the metadata library writes for the given Make.
TEST_F(TAVMetadataReaderMgrTest, CameraValuesFollowTheStandardAndTheMakerRules)
{
    const auto focal = [](const Reader& m) { return m.getFocalLength() + "|" + m.getFocalLength35(); };
    const auto balance = [](const Reader& m) { return label(m.getWhitebalance()); };
    const auto contrast = [](const Reader& m) { return label(m.getContrast()); };
    const auto saturation = [](const Reader& m) { return label(m.getSaturation()); };
    const auto sharpness = [](const Reader& m) { return label(m.getSharpness()); };
    const auto balanceIcon = [](const Reader& m) { return icon(m.getWhitebalance()); };
    expectRules({
        {{{"Exif.Photo.ExposureTime", "10/2000"}}, &Reader::getShutterSpeed, "1/200"},
        {{{"Exif.Photo.ExposureTime", "30/10"}}, &Reader::getShutterSpeed, "3/1"},
        {{{"Exif.Photo.ShutterSpeedValue", "7/1"}}, &Reader::getShutterSpeed, "1/128 sec"},
        {{{"Exif.Photo.ShutterSpeedValue", "-2/1"}}, &Reader::getShutterSpeed, "4/1 sec"}, // four seconds, not "1/0"
        {{{"Exif.Photo.ExposureTime", "1/0"}}, &Reader::getShutterSpeed, nullptr},
        {{{"Exif.Photo.ShutterSpeedValue", "400/1"}}, &Reader::getShutterSpeed, nullptr},
        {{{"Exif.Photo.FNumber", "28/10"}}, &Reader::getAperture, "2.80"},
        {{{"Exif.Photo.ApertureValue", "3/1"}}, &Reader::getAperture, "2.83"},
        {{{"Exif.Photo.FNumber", "28/0"}}, &Reader::getAperture, nullptr},
        {{{"Exif.Photo.ISOSpeedRatings", "400"}}, &Reader::getSensitivity, "400"},
        {{{"Exif.Image.Make", "NIKON"}, {"Exif.Nikon1.ISOSpeed", "0 200"}}, &Reader::getSensitivity, "200"},
        {{{"Exif.Image.Make", "NIKON"}, {"Exif.Nikon2.ISOSpeed", "4"}}, &Reader::getSensitivity, "320"},
        {{{"Exif.Image.Make", "NIKON"}, {"Exif.Nikon2.ISOSpeed", "3"}}, &Reader::getSensitivity, nullptr},
        {{{"Exif.Image.Make", "NIKON CORPORATION"}, {"Exif.Nikon3.ISOSpeed", "0 800"}}, &Reader::getSensitivity, "800"},
        {{{"Exif.Image.Make", "Acme"}}, &Reader::getSensitivity, nullptr},
        {{{"Exif.Image.Make", "Canon"}, {"Exif.CanonSi.ISOSpeed", "160"}}, &Reader::getSensitivity, "100"},
        {{{"Exif.Image.Make", "Canon"}, {"Exif.CanonSi.ISOSpeed", "0"}}, &Reader::getSensitivity, nullptr},
        {{{"Exif.Image.Make", "Canon"}, {"Exif.CanonCs.Contrast", "-1"}}, contrast, "Soft"},
        {{{"Exif.Image.Make", "Canon"}, {"Exif.CanonSi.SubjectDistance", "782"}}, &Reader::getSubjectDistance, "8"},
        {{{"Exif.Image.Make", "Canon"}, {"Exif.CanonCs.FlashMode", "1"}, {"Exif.CanonCs.FlashActivity", "1"}},
            &Reader::getFlash, "Fired"},
        {{{"Exif.Photo.Flash", "25"}}, &Reader::getFlash, "Fired"},
        {{{"Exif.Photo.Flash", "24"}}, &Reader::getFlash, "Did not fire"},
        {{{"Exif.Photo.Flash", "16"}}, &Reader::getFlash, "Suppressed"},
        {{{"Exif.Photo.Flash", "65"}}, &Reader::getFlash, "Red eye"},
        {{{"Exif.Photo.Flash", "9"}}, &Reader::getFlash, "Forced"},
        {{{"Exif.Image.Make", "FUJIFILM"}, {"Exif.Fujifilm.FlashMode", "2"}}, &Reader::getFlash, "Suppressed"},
        {{{"Exif.Image.Make", "Acme"}}, &Reader::getFlash, "Unknown"},
        {{{"Exif.Photo.SensingMethod", "7"}}, &Reader::getSensor, "Trilinear"},
        {{{"Exif.Photo.SensingMethod", "3"}}, &Reader::getSensor, "Two chip area"},
        {{{"Exif.Image.Make", "SIGMA"}, {"Exif.Image.Model", "SD10"}, {"Exif.Photo.SensingMethod", "2"}},
            &Reader::getSensor, "Three chip area"},
        {{{"Exif.Image.Make", "OLYMPUS"}, {"Exif.Image.Model", "C3040Z"}, {"Exif.Photo.SensingMethod", "5"}},
            &Reader::getSensor, "One chip area"},
        {{{"Exif.Photo.SubjectDistanceRange", "2"}}, &Reader::getFocusMode, "Close View"},
        {{{"Exif.Image.Make", "FUJIFILM"}, {"Exif.Fujifilm.Macro", "1"}}, &Reader::getFocusMode, "Macro"},
        {{{"Exif.Image.Make", "FUJIFILM"}, {"Exif.Fujifilm.FocusMode", "1"}}, &Reader::getFocusMode, "Manual"},
        {{{"Exif.Image.Make", "OLYMPUS"}, {"Exif.Olympus.Macro", "1"}}, &Reader::getFocusMode, "Macro"},
        {{{"Exif.Image.Make", "NIKON"}, {"Exif.Nikon1.Focus", "MF"}}, &Reader::getFocusMode, "Manual"},
        {{{"Exif.Image.Make", "NIKON CORPORATION"}, {"Exif.Nikon3.Focus", "AF-S"},
             {"Exif.Photo.SubjectDistanceRange", "3"}},
            &Reader::getFocusMode, "Auto"},
        {{{"Exif.Image.Make", "SIGMA"}, {"Exif.Sigma.FocusSetting", "m"}}, &Reader::getFocusMode, "Manual"},
        {{{"Exif.Photo.MeteringMode", "5"}}, &Reader::getMeteringMode, "Matrix"},
        {{{"Exif.Photo.MeteringMode", "6"}}, &Reader::getMeteringMode, "Partial"},
        {{{"Exif.Image.Make", "SIGMA"}, {"Exif.Sigma.MeteringMode", "8"}}, &Reader::getMeteringMode, "Matrix"},
        {{{"Exif.Image.Make", "Canon"}, {"Exif.CanonCs.MeteringMode", "4"}}, &Reader::getMeteringMode, "Partial"},
        {{{"Exif.Photo.ExposureProgram", "3"}}, &Reader::getExposureProgram, "Aperture Priority"},
        {{{"Exif.Photo.ExposureProgram", "8"}}, &Reader::getExposureProgram, "Landscape"},
        {{{"Exif.Image.Make", "Acme"}}, &Reader::getExposureProgram, "Unknown"},
        {{{"Exif.Image.Make", "Canon"}, {"Exif.CanonCs.ExposureProgram", "2"}}, &Reader::getExposureProgram,
            "Shutter Priority"},
        {{{"Exif.Image.Make", "Canon"}, {"Exif.CanonCs.ExposureProgram", "0"}, {"Exif.CanonCs.EasyMode", "10"}},
            &Reader::getExposureProgram, "Close Up"},
        {{{"Exif.Image.Make", "Canon"}, {"Exif.CanonCs.ExposureProgram", "0"}, {"Exif.CanonCs.EasyMode", "6"}},
            &Reader::getExposureProgram, "Manual"},
        {{{"Exif.Image.Make", "Canon"}, {"Exif.CanonCs.ExposureProgram", "-1"}}, &Reader::getExposureProgram,
            "Unknown"},
        {{{"Exif.Image.Make", "Canon"}, {"Exif.CanonCs.ExposureProgram", "4"}}, &Reader::getExposureProgram, "Manual"},
        {{{"Exif.Image.Make", "FUJIFILM"}, {"Exif.Fujifilm.PictureMode", "256"}}, &Reader::getExposureProgram,
            "Aperture Priority"},
        {{{"Exif.Image.Make", "SIGMA"}, {"Exif.Sigma.ExposureMode", "s"}}, &Reader::getExposureProgram,
            "Shutter Priority"},
        {{{"Exif.Image.Make", "NIKON CORPORATION"}, {"Exif.Nikon3.VariProgram", "NIGHT PORTRAIT"}},
            &Reader::getExposureProgram, "Night Portrait"},
        {{{"Exif.Image.Make", "NIKON CORPORATION"}, {"Exif.Nikon3.VariProgram", "AUTO"}}, &Reader::getExposureProgram,
            "Automatic"},
        {{{"Exif.Image.Make", "NIKON CORPORATION"}, {"Exif.Nikon3.Quality", "FINE"},
             {"Exif.Photo.ExposureProgram", "2"}},
            &Reader::getExposureProgram, "Flexible Automatic"},
        {{{"Exif.Photo.SubjectDistance", "26/10"}}, &Reader::getSubjectDistance, "3"},
        {{{"Exif.Photo.SubjectDistance", "0/1"}}, &Reader::getSubjectDistance, ""},
        {{{"Exif.Photo.SubjectDistance", "4294967295/1"}}, &Reader::getSubjectDistance, ""}, // "infinity"
        {{{"Exif.Photo.FocalLength", "213/10"}, {"Exif.Photo.FocalLengthIn35mmFilm", "105"}}, focal, "21|105"},
        {{{"Exif.Image.Make", "Acme"}}, focal, "|"},
        {{{"Exif.Photo.DigitalZoomRatio", "0/0"}}, &Reader::getDigitalZoom, "1"},
        {{{"Exif.Photo.DigitalZoomRatio", "9/4"}}, &Reader::getDigitalZoom, "2"},
        {{{"Exif.Image.Make", "NIKON"}, {"Exif.Nikon2.DigitalZoom", "0/100"}}, &Reader::getDigitalZoom, "1"},
        {{{"Exif.Image.Make", "OLYMPUS"}, {"Exif.Olympus.DigitalZoom", "0/1"}}, &Reader::getDigitalZoom, ""},
        {{{"Exif.Photo.WhiteBalance", "0"}, {"Exif.Photo.LightSource", "10"}}, balance, "Auto"},
        {{{"Exif.Photo.WhiteBalance", "1"}, {"Exif.Photo.LightSource", "10"}}, balance, "Shade"},
        {{{"Exif.Photo.WhiteBalance", "1"}}, balance, "Unknown"}, // asks the maker notes, finds none
        {{{"Exif.Photo.WhiteBalance", "1"}, {"Exif.Photo.LightSource", "10"}}, balanceIcon, "whiteBalance_shade"},
        {{{"Exif.Photo.WhiteBalance", "1"}}, balanceIcon, ""},
        {{{"Exif.Photo.Sharpness", "2"}}, [](const Reader& m) { return icon(m.getSharpness()); }, "sharpness_hard"},
        {{{"Exif.Image.Make", "FUJIFILM"}, {"Exif.Photo.WhiteBalance", "1"}, {"Exif.Fujifilm.WhiteBalance", "512"}},
            balance, "Shade"},
        {{{"Exif.Photo.LightSource", "3"}}, balance, "Incandescent"},
        {{{"Exif.Photo.LightSource", "12"}}, balance, "Fluorescent"},
        {{{"Exif.Photo.WhiteBalance", "2"}, {"Exif.Photo.LightSource", "10"}}, balance, "Unknown"},
        {{{"Exif.Image.Make", "OLYMPUS"}, {"Exif.Photo.LightSource", "20"}}, balance, "Shade"},
        {{{"Exif.Image.Make", "NIKON"}, {"Exif.Nikon1.WhiteBalance", "auto"}}, balance, "Auto"},
        {{{"Exif.Image.Make", "SIGMA"}, {"Exif.Sigma.WhiteBalance", "Sunlight"}}, balance, "Daylight"},
        // The standard tag decides, even with a value outside its table.
        {{{"Exif.Image.Make", "FUJIFILM"}, {"Exif.Photo.Contrast", "5"}, {"Exif.Fujifilm.Tone", "256"}}, contrast,
            "Unknown"},
        {{{"Exif.Image.Make", "FUJIFILM"}, {"Exif.Fujifilm.Tone", "256"}}, contrast, "Hard"},
        {{{"Exif.Image.Make", "NIKON"}, {"Exif.Nikon1.ImageAdjustment", "CONTRAST-"}}, contrast, "Soft"},
        {{{"Exif.Image.Make", "SIGMA"}, {"Exif.Sigma.Contrast", "cont:+1.0"}}, contrast, "Hard"},
        {{{"Exif.Image.Make", "FUJIFILM"}, {"Exif.Fujifilm.Color", "512"}}, saturation, "Low"},
        {{{"Exif.Image.Make", "SIGMA"}, {"Exif.Sigma.Saturation", "Satu:-0.3"}}, saturation, "Low"},
        {{{"Exif.Image.Make", "FUJIFILM"}, {"Exif.Fujifilm.Sharpness", "3"}}, sharpness, "Normal"},
        {{{"Exif.Image.Make", "SIGMA"}, {"Exif.Sigma.Sharpness", "shar:+0.0"}}, sharpness, "Normal"},
        {{{"Exif.Image.Make", "NIKON"}, {"Exif.Nikon1.Sharpening", "HIGH"}}, sharpness, "Hard"},
    });
}

// The choices a tab offers as text, '1' where a choice is enabled.
template <std::size_t N> std::string offered(const std::array<bool, N>& choices)
{
    std::string text;
    for (const bool enabled : choices) {
        text += enabled ? '1' : '0';
    }
    return text;
}

TEST_F(TAVMetadataReaderMgrTest, TheMakerNoteDecidesTheChoicesOffered)
{
    const struct {
        std::vector<std::pair<const char*, const char*>> tags;
        const char* programs;
        const char* focus;
    } cameras[] = {
        {{{"Exif.Image.Make", "Acme"}}, "1110111111000", "100111"},
        {{{"Exif.Image.Make", "NIKON CORPORATION"}, {"Exif.Nikon3.Quality", "FINE"}}, "1111111111111", "111111"},
        {{{"Exif.Image.Make", "NIKON"}, {"Exif.Nikon1.Quality", "FINE"}}, "1110111111000", "111111"},
        {{{"Exif.Image.Make", "Canon"}, {"Exif.CanonCs.Macro", "1"}}, "1110111111011", "111111"},
        {{{"Exif.Image.Make", "FUJIFILM"}, {"Exif.Fujifilm.Macro", "1"}}, "1110111111010", "111111"},
        {{{"Exif.Image.Make", "OLYMPUS"}, {"Exif.Olympus.Quality", "2"}}, "1110111111000", "100111"},
    };
    for (const auto& camera : cameras) {
        SCOPED_TRACE(camera.tags.back().first);
        const auto manager = readTags(camera.tags);
        EXPECT_EQ(offered(manager->validExposureProgramSettings()), camera.programs);
        EXPECT_EQ(offered(manager->validFocusSettings()), camera.focus);
    }

    // The Canon sample's own maker note decides its focus and the choices offered.
    const auto canon = readFile(ImageFixtures::copySample("npm-canon-s40.jpg", tempFolder()));
    EXPECT_EQ(canon->getSensor(), "One chip area");
    EXPECT_EQ(canon->getMeteringMode(), "Center Weighted");
    EXPECT_EQ(canon->getFocusMode(), "Auto");
    EXPECT_EQ(canon->getExposureProgram(), "Automatic");
    EXPECT_EQ(offered(canon->validFocusSettings()), "111111");
}

TEST_F(TAVMetadataReaderMgrTest, AMissingOrUnreadFileGivesNoRowsAndEmptyAnswers)
{
    auto manager = readFile(tempPath("gone.jpg"));
    EXPECT_TRUE(manager->readAllMetadata().isEmpty());
    EXPECT_EQ(manager->getCameraMakeAndModel(), "");
    EXPECT_TRUE(manager->getOneValueForKey(QString()).isNull());

    // A coordinate stored as text is no position (not 0 degrees).
    const QString textual = tempPath("gps-text.jpg");
    ASSERT_TRUE(ImageFixtures::makeImageWithTags(textual,
        {{"Exif.GPSInfo.GPSLatitudeRef", "N", std::nullopt}, {"Exif.GPSInfo.GPSLatitude", "37.7749", 2},
            {"Exif.GPSInfo.GPSLongitude", "0 0 0", 2}}));
    double degree = 0, minutes = 0, seconds = 0;
    EXPECT_FALSE(readFile(textual)->getGPSLatitudeDecimalValue(degree, minutes, seconds));
    EXPECT_FALSE(readFile(textual)->getGPSLongitudeDecimalValue(degree, minutes, seconds));

    const QString path = fileWith({{"Exif.Image.Copyright", "Bo"}});
    EXPECT_TRUE(Reader(path).getCopyright().isNull());
    EXPECT_TRUE(readFile(path)->getOneValueForKey("Exif.Image.Nothing").isNull());
}

TEST_F(TAVMetadataReaderMgrTest, AnswersStayTheSameOnceTheFileIsLetGo)
{
    for (const char* name : {"npm-canon-s40.jpg", "npm-iphone6p.jpg", "png-nikon-d3.png"}) {
        SCOPED_TRACE(name);
        const QString path = ImageFixtures::copySample(name, tempFolder());
        const auto manager = readFile(path);
        const auto answers = [&manager] {
            QStringList texts{manager->getCreateDateAndTime(), manager->getShutterSpeed(), manager->getAperture(),
                manager->getSensitivity(), manager->getFlash(), manager->getFocusMode(), manager->getExposureProgram(),
                manager->getFocalLength(), label(manager->getWhitebalance()), manager->getGPSLatitudeString()};
            for (const QString& key : keysOf(manager->readAllMetadata(0))) {
                texts << key << manager->getOneValueForKey(key) << QString::number(manager->hasRowWithKey(key));
            }
            return texts;
        };
        const QStringList read = answers();
        const auto choices = std::make_pair(manager->validExposureProgramSettings(), manager->validFocusSettings());
        manager->releaseFile();
        EXPECT_EQ(answers(), read);
        EXPECT_FALSE(manager->hasRowWithKey("Exif.Image.Nothing"));

        // The maker note found in the read rows is the one a manager that
        // never read them finds in the file.
        testing::internal::CaptureStdout();
        const Reader unread(path);
        EXPECT_EQ(std::make_pair(unread.validExposureProgramSettings(), unread.validFocusSettings()), choices);
        testing::internal::GetCapturedStdout();
    }
}

// Real camera files read as the independent reader reads them.
TEST_F(TAVMetadataReaderMgrTest, CameraFilesAgreeWithExifTool)
{
    for (const char* name : {"npm-canon-s40.jpg", "npm-iphone6p.jpg", "npm-lumia.jpg", "npm-evil1.jpg"}) {
        SCOPED_TRACE(name);
        const QString path = ImageFixtures::copySample(QString::fromLatin1(name), tempFolder());
        ASSERT_FALSE(path.isEmpty());
        const QJsonObject shown = ExifTool::read(path);
        const QJsonObject expected = ExifTool::read(path, {"-n"});
        auto manager = readFile(path);

        EXPECT_EQ(manager->getCameraMake(), expected.value("IFD0:Make").toString());
        EXPECT_EQ(manager->getCameraModel(), expected.value("IFD0:Model").toString());
        QString captured = expected.value("ExifIFD:DateTimeOriginal").toString();
        captured.replace(4, 1, QLatin1Char('-')).replace(7, 1, QLatin1Char('-'));
        EXPECT_EQ(manager->getCreateDateAndTime(), captured);

        double degree = 0, minutes = 0, seconds = 0;
        if (expected.contains("GPS:GPSLatitude")) {
            ASSERT_TRUE(manager->getGPSLatitudeDecimalValue(degree, minutes, seconds));
            EXPECT_NEAR(degree + minutes / 60 + seconds / 3600, expected.value("GPS:GPSLatitude").toDouble(), 1e-6);
            ASSERT_TRUE(manager->getGPSLongitudeDecimalValue(degree, minutes, seconds));
            EXPECT_NEAR(degree + minutes / 60 + seconds / 3600, expected.value("GPS:GPSLongitude").toDouble(), 1e-6);
            EXPECT_EQ(manager->getGPSLatitudeRef(), expected.value("GPS:GPSLatitudeRef").toString());
        } else {
            EXPECT_FALSE(manager->getGPSLatitudeDecimalValue(degree, minutes, seconds));
        }

        // The exposure tab's camera values.
        EXPECT_EQ(manager->getShutterSpeed(), shown.value("ExifIFD:ExposureTime").toString());
        EXPECT_EQ(manager->getAperture(), QString::asprintf("%.2f", expected.value("ExifIFD:FNumber").toDouble()));
        // The composite ISO includes the maker note's, where the standard tag is absent.
        const QJsonValue iso
            = expected.contains("Composite:ISO") ? expected.value("Composite:ISO") : expected.value("ExifIFD:ISO");
        EXPECT_EQ(manager->getSensitivity(), iso.isUndefined() ? QString() : QString::number(iso.toInt()));
        const QJsonValue focal = expected.value("ExifIFD:FocalLength");
        EXPECT_EQ(manager->getFocalLength(), focal.isUndefined() ? "" : QString::asprintf("%.0f", focal.toDouble()));
        if (shown.contains("ExifIFD:WhiteBalance")) {
            EXPECT_EQ(manager->getWhitebalance().value(QLatin1String(Reader::kValueKey)),
                shown.value("ExifIFD:WhiteBalance").toString());
        }
        for (const QString tag : {"ExifIFD:Contrast", "Canon:Contrast", "ExifIFD:Saturation", "Canon:Saturation"}) {
            const auto getter = tag.endsWith("Contrast") ? &Reader::getContrast : &Reader::getSaturation;
            if (shown.contains(tag)) {
                EXPECT_EQ(label((*manager.*getter)()), shown.value(tag).toString()) << qPrintable(tag);
            }
        }
        const QJsonValue distance = expected.value("Canon:FocusDistanceUpper");
        if (!expected.contains("ExifIFD:SubjectDistance") && !distance.isUndefined()) {
            EXPECT_EQ(manager->getSubjectDistance(), QString::asprintf("%.0f", distance.toDouble()));
        }
    }

    // Without the standard flash tag the Canon notes tell.
    const QString canon = ImageFixtures::copySample("npm-canon-s40.jpg", tempFolder(), "noflash.jpg");
    {
        const auto image = Exiv2::ImageFactory::open(canon.toStdString());
        image->readMetadata();
        image->exifData().erase(image->exifData().findKey(Exiv2::ExifKey("Exif.Photo.Flash")));
        image->writeMetadata();
    }
    const QJsonObject notes = ExifTool::read(canon, {"-n"});
    ASSERT_EQ(notes.value("Canon:CanonFlashMode").toInt(), 1); // auto
    ASSERT_EQ(notes.value("Canon:FlashActivity").toInt(-1), 0);
    EXPECT_EQ(readFile(canon)->getFlash(), "Did not fire");
}

} // namespace

// An imported photo's manager keeps the record's list of rows, which holds
// empty rows of the editable tags the file lacks among the rows read: every
// getter must still answer as the fresh read's does, for every camera.
TEST_F(TAVMetadataReaderMgrTest, AnImportedPhotosManagerAnswersAsItsFreshReadForEveryCamera)
{
    TAVCVSParaser::loadCanEditTags();
    QStringList editable;
    for (const auto& family : TAVCVSParaser::tagsByFamily()) {
        for (const TAVExifTagPtr& tag : family) {
            editable << tag->tagStr();
        }
    }
    for (const char* camera : {"npm-sony-a6000.jpg", "gowebp-pentax.jpg", "npm-nikon-d90-photometric.jpg",
             "npm-canon-s40.jpg", "npm-iphone6p.jpg", "npm-lumia.jpg", "npm-windows-xmp.jpg", "png-nikon-d3.png",
             "goexif.tif", "1x1_exif_xmp.jpg"}) {
        const QString path = ImageFixtures::copySample(QLatin1String(camera), tempFolder());
        Reader fresh(path);
        const QStringList keys = keysOf(fresh.readAllMetadata()) + editable;
        const TAVImageObjectPtr image = TAVImageObject::create(path);
        const Reader& kept = *image->readerMgr();
        ASSERT_GT(image->exifData()->maryOrgExifData().size(), fresh.keptRows().size()) << camera;
        for (const QString& key : keys) {
            EXPECT_EQ(kept.getOneValueForKey(key), fresh.getOneValueForKey(key)) << camera << " " << qPrintable(key);
            EXPECT_EQ(kept.getOneValueForKey(key).isNull(), fresh.getOneValueForKey(key).isNull())
                << camera << " " << qPrintable(key);
            EXPECT_EQ(kept.hasRowWithKey(key), fresh.hasRowWithKey(key)) << camera << " " << qPrintable(key);
        }
        EXPECT_EQ(kept.getCameraMakeAndModel(), fresh.getCameraMakeAndModel()) << camera;
        EXPECT_EQ(kept.getCreateDateAndTime(), fresh.getCreateDateAndTime()) << camera;
    }
}

// A photo read again after its save shares the packed maker-note values of
// its earlier read that are unchanged: a member the save changed reads as the
// file holds it, every row as a read of the file alone gives it.
TEST_F(TAVMetadataReaderMgrTest, ARereadSharesOnlyTheLongValuesThatAreUnchanged)
{
    const QString path = ImageFixtures::copySample("npm-sony-a6000.jpg", tempFolder());
    auto earlierRead = std::make_unique<Reader>(path);
    Reader& earlier = *earlierRead;
    earlier.readAllMetadata();

    // One long member of the maker note changed in its middle, as a save may.
    auto image = Exiv2::ImageFactory::open(path.toStdString());
    image->readMetadata();
    QString changedKey;
    for (Exiv2::Exifdatum& datum : image->exifData()) {
        if (datum.groupName().rfind("Sony", 0) == 0 && datum.typeId() == Exiv2::undefined && datum.size() >= 1024) {
            std::vector<Exiv2::byte> bytes(size_t(datum.size()));
            datum.copy(bytes.data(), Exiv2::littleEndian);
            bytes[bytes.size() / 2] ^= 0x5a;
            datum.setValue(Exiv2::DataValue(bytes.data(), long(bytes.size())).clone().get());
            changedKey = QString::fromStdString(datum.key());
            break;
        }
    }
    ASSERT_FALSE(changedKey.isEmpty());
    image->writeMetadata();

    Reader fresh(path);
    const QList<TAVEntityPtr> freshRows = fresh.readAllMetadata();
    Reader shared(path);
    shared.shareLongValuesOf(earlier.keptRows());
    const QList<TAVEntityPtr> sharedRows = shared.readAllMetadata();
    ASSERT_EQ(keysOf(sharedRows), keysOf(freshRows));
    int longRows = 0;
    for (qsizetype i = 0; i < freshRows.size(); ++i) {
        EXPECT_EQ(sharedRows[i]->value(), freshRows[i]->value()) << qPrintable(freshRows[i]->key());
        longRows += freshRows[i]->value().size() > 3000 ? 1 : 0;
    }
    EXPECT_GE(longRows, 5);
    EXPECT_NE(shared.getOneValueForKey(changedKey), earlier.getOneValueForKey(changedKey));

    // The new reader keeps its own rows only: the earlier ones go with their reader.
    std::vector<std::weak_ptr<TAVEntity>> earlierRows;
    for (const TAVEntityPtr& row : earlier.keptRows())
        earlierRows.push_back(row);
    earlierRead.reset();
    EXPECT_TRUE(std::all_of(earlierRows.begin(), earlierRows.end(), [](const auto& row) { return row.expired(); }));
    EXPECT_EQ(shared.getOneValueForKey(changedKey), fresh.getOneValueForKey(changedKey));
}
