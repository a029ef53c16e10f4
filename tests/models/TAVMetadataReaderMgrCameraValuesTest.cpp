// Camera values the exposure tab shows, derived from standard tags and from
// real maker notes that the metadata library writes for the given Make.
#include "models/TAVMetadataReaderMgr.h"

#include "support/ExifTool.h"
#include "support/ImageFixtures.h"
#include "support/QtPrinters.h"
#include "support/TempFolder.h"

namespace {

using ImageFixtures::Tag;

class TAVMetadataReaderMgrCameraValuesTest : public TempFolderTest {
protected:
    // A new file with the tags, read as the image object reads it.
    std::unique_ptr<TAVMetadataReaderMgr> cameraWith(const std::vector<std::pair<const char*, const char*>>& tags)
    {
        std::vector<Tag> list;
        for (const auto& [key, value] : tags) {
            list.push_back({QString::fromLatin1(key), QString::fromLatin1(value), std::nullopt});
        }
        const QString path = tempPath(QStringLiteral("camera-%1.jpg").arg(++files_));
        EXPECT_TRUE(ImageFixtures::makeImageWithTags(path, list));
        return readFile(path);
    }

    // Reads a file as the image object does, without the "no data" lines.
    static std::unique_ptr<TAVMetadataReaderMgr> readFile(const QString& path)
    {
        auto manager = std::make_unique<TAVMetadataReaderMgr>(path);
        testing::internal::CaptureStdout();
        manager->readAllMetadata();
        testing::internal::GetCapturedStdout();
        return manager;
    }

    int files_ = 0;
};

// One derived value per file: the tags written, the value read, and the text
// the exposure tab shows for it (nullptr: no text at all).
struct RuleCase {
    std::vector<std::pair<const char*, const char*>> tags;
    QString (*read)(const TAVMetadataReaderMgr&);
    const char* expected;
};

QString label(const TAVMetadataReaderMgr::LabelAndIcon& value)
{
    return value.value(QLatin1String(TAVMetadataReaderMgr::kValueKey));
}

QString icon(const TAVMetadataReaderMgr::LabelAndIcon& value)
{
    return value.value(QLatin1String(TAVMetadataReaderMgr::kImageNameKey));
}

TEST_F(TAVMetadataReaderMgrCameraValuesTest, StandardAndMakerRulesGiveTheShownValues)
{
    const auto shutter = [](const TAVMetadataReaderMgr& m) { return m.getShutterSpeed(); };
    const auto aperture = [](const TAVMetadataReaderMgr& m) { return m.getAperture(); };
    const auto iso = [](const TAVMetadataReaderMgr& m) { return m.getSensitivity(); };
    const auto flash = [](const TAVMetadataReaderMgr& m) { return m.getFlash(); };
    const auto sensor = [](const TAVMetadataReaderMgr& m) { return m.getSensor(); };
    const auto focus = [](const TAVMetadataReaderMgr& m) { return m.getFocusMode(); };
    const auto metering = [](const TAVMetadataReaderMgr& m) { return m.getMeteringMode(); };
    const auto program = [](const TAVMetadataReaderMgr& m) { return m.getExposureProgram(); };
    const auto distance = [](const TAVMetadataReaderMgr& m) { return m.getSubjectDistance(); };
    const auto focal = [](const TAVMetadataReaderMgr& m) { return m.getFocalLength() + "|" + m.getFocalLength35(); };
    const auto zoom = [](const TAVMetadataReaderMgr& m) { return m.getDigitalZoom(); };
    const auto balance = [](const TAVMetadataReaderMgr& m) { return label(m.getWhitebalance()); };
    const auto contrast = [](const TAVMetadataReaderMgr& m) { return label(m.getContrast()); };
    const auto saturation = [](const TAVMetadataReaderMgr& m) { return label(m.getSaturation()); };
    const auto sharpness = [](const TAVMetadataReaderMgr& m) { return label(m.getSharpness()); };
    const std::vector<RuleCase> cases = {
        {{{"Exif.Photo.ExposureTime", "10/2000"}}, shutter, "1/200"},
        {{{"Exif.Photo.ExposureTime", "30/10"}}, shutter, "3/1"},
        {{{"Exif.Photo.ShutterSpeedValue", "7/1"}}, shutter, "1/128 sec"},
        {{{"Exif.Photo.ShutterSpeedValue", "-2/1"}}, shutter, "4/1 sec"}, // four seconds, not "1/0"
        {{{"Exif.Photo.ExposureTime", "1/0"}}, shutter, nullptr},
        {{{"Exif.Photo.ShutterSpeedValue", "400/1"}}, shutter, nullptr},
        {{{"Exif.Photo.FNumber", "28/10"}}, aperture, "2.80"},
        {{{"Exif.Photo.ApertureValue", "3/1"}}, aperture, "2.83"},
        {{{"Exif.Photo.FNumber", "28/0"}}, aperture, nullptr},
        {{{"Exif.Photo.ISOSpeedRatings", "400"}}, iso, "400"},
        {{{"Exif.Image.Make", "NIKON"}, {"Exif.Nikon1.ISOSpeed", "0 200"}}, iso, "200"},
        {{{"Exif.Image.Make", "NIKON"}, {"Exif.Nikon2.ISOSpeed", "4"}}, iso, "320"},
        {{{"Exif.Image.Make", "NIKON"}, {"Exif.Nikon2.ISOSpeed", "3"}}, iso, nullptr},
        {{{"Exif.Image.Make", "NIKON CORPORATION"}, {"Exif.Nikon3.ISOSpeed", "0 800"}}, iso, "800"},
        {{{"Exif.Image.Make", "Acme"}}, iso, nullptr},
        {{{"Exif.Photo.Flash", "25"}}, flash, "Fired"},
        {{{"Exif.Photo.Flash", "24"}}, flash, "Did not fire"},
        {{{"Exif.Photo.Flash", "16"}}, flash, "Suppressed"},
        {{{"Exif.Photo.Flash", "65"}}, flash, "Red eye"},
        {{{"Exif.Photo.Flash", "9"}}, flash, "Forced"},
        {{{"Exif.Image.Make", "FUJIFILM"}, {"Exif.Fujifilm.FlashMode", "2"}}, flash, "Suppressed"},
        {{{"Exif.Image.Make", "Acme"}}, flash, "Unknown"},
        {{{"Exif.Photo.SensingMethod", "7"}}, sensor, "Trilinear"},
        {{{"Exif.Photo.SensingMethod", "3"}}, sensor, "Two chip area"},
        {{{"Exif.Image.Make", "SIGMA"}, {"Exif.Image.Model", "SD10"}, {"Exif.Photo.SensingMethod", "2"}}, sensor,
            "Three chip area"},
        {{{"Exif.Image.Make", "OLYMPUS"}, {"Exif.Image.Model", "C3040Z"}, {"Exif.Photo.SensingMethod", "5"}}, sensor,
            "One chip area"},
        {{{"Exif.Photo.SubjectDistanceRange", "2"}}, focus, "Close View"},
        {{{"Exif.Image.Make", "FUJIFILM"}, {"Exif.Fujifilm.Macro", "1"}}, focus, "Macro"},
        {{{"Exif.Image.Make", "FUJIFILM"}, {"Exif.Fujifilm.FocusMode", "1"}}, focus, "Manual"},
        {{{"Exif.Image.Make", "OLYMPUS"}, {"Exif.Olympus.Macro", "1"}}, focus, "Macro"},
        {{{"Exif.Image.Make", "NIKON"}, {"Exif.Nikon1.Focus", "MF"}}, focus, "Manual"},
        {{{"Exif.Image.Make", "NIKON CORPORATION"}, {"Exif.Nikon3.Focus", "AF-S"},
             {"Exif.Photo.SubjectDistanceRange", "3"}},
            focus, "Auto"},
        {{{"Exif.Image.Make", "SIGMA"}, {"Exif.Sigma.FocusSetting", "m"}}, focus, "Manual"},
        {{{"Exif.Photo.MeteringMode", "5"}}, metering, "Matrix"},
        {{{"Exif.Photo.MeteringMode", "6"}}, metering, "Partial"},
        {{{"Exif.Image.Make", "SIGMA"}, {"Exif.Sigma.MeteringMode", "8"}}, metering, "Matrix"},
        {{{"Exif.Image.Make", "Canon"}, {"Exif.CanonCs.MeteringMode", "4"}}, metering, "Partial"},
        {{{"Exif.Photo.ExposureProgram", "3"}}, program, "Aperature Priority"},
        {{{"Exif.Photo.ExposureProgram", "8"}}, program, "Landscape"},
        {{{"Exif.Image.Make", "Acme"}}, program, "Unknown"},
        {{{"Exif.Image.Make", "Canon"}, {"Exif.CanonCs.ExposureProgram", "2"}}, program, "Shutter Priority"},
        {{{"Exif.Image.Make", "Canon"}, {"Exif.CanonCs.ExposureProgram", "0"}, {"Exif.CanonCs.EasyMode", "10"}},
            program, "Close Up"},
        {{{"Exif.Image.Make", "Canon"}, {"Exif.CanonCs.ExposureProgram", "0"}, {"Exif.CanonCs.EasyMode", "6"}},
            program, "Manual"},
        {{{"Exif.Image.Make", "FUJIFILM"}, {"Exif.Fujifilm.PictureMode", "256"}}, program, "Aperature Priority"},
        {{{"Exif.Image.Make", "SIGMA"}, {"Exif.Sigma.ExposureMode", "s"}}, program, "Shutter Priority"},
        {{{"Exif.Image.Make", "NIKON CORPORATION"}, {"Exif.Nikon3.VariProgram", "NIGHT PORTRAIT"}}, program,
            "Night Portrait"},
        {{{"Exif.Image.Make", "NIKON CORPORATION"}, {"Exif.Nikon3.VariProgram", "AUTO"}}, program, "Automatic"},
        {{{"Exif.Image.Make", "NIKON CORPORATION"}, {"Exif.Nikon3.Quality", "FINE"},
             {"Exif.Photo.ExposureProgram", "2"}},
            program, "Flexible Automatic"},
        {{{"Exif.Photo.SubjectDistance", "26/10"}}, distance, "3"},
        {{{"Exif.Photo.SubjectDistance", "0/1"}}, distance, ""},
        {{{"Exif.Photo.SubjectDistance", "4294967295/1"}}, distance, ""}, // "infinity"
        {{{"Exif.Photo.FocalLength", "213/10"}, {"Exif.Photo.FocalLengthIn35mmFilm", "105"}}, focal, "21|105"},
        {{{"Exif.Image.Make", "Acme"}}, focal, "|"},
        {{{"Exif.Photo.DigitalZoomRatio", "0/0"}}, zoom, "1"},
        {{{"Exif.Photo.DigitalZoomRatio", "9/4"}}, zoom, "2"},
        {{{"Exif.Image.Make", "NIKON"}, {"Exif.Nikon2.DigitalZoom", "0/100"}}, zoom, "1"},
        {{{"Exif.Image.Make", "OLYMPUS"}, {"Exif.Olympus.DigitalZoom", "0/1"}}, zoom, ""},
        {{{"Exif.Photo.WhiteBalance", "0"}, {"Exif.Photo.LightSource", "10"}}, balance, "Auto"},
        {{{"Exif.Photo.WhiteBalance", "1"}, {"Exif.Photo.LightSource", "10"}}, balance, "Shade"},
        {{{"Exif.Photo.WhiteBalance", "1"}}, balance, "Unknown"}, // asks the maker notes, finds none
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
    };
    for (const RuleCase& rule : cases) {
        SCOPED_TRACE(rule.tags.back().first + std::string(" = ") + rule.tags.back().second);
        const QString value = rule.read(*cameraWith(rule.tags));
        EXPECT_EQ(value, QString::fromLatin1(rule.expected));
        EXPECT_EQ(value.isNull(), rule.expected == nullptr);
    }
}

TEST_F(TAVMetadataReaderMgrCameraValuesTest, AdjustmentsCarryTheIconOfTheirLabel)
{
    EXPECT_EQ(icon(cameraWith({{"Exif.Photo.WhiteBalance", "1"}, {"Exif.Photo.LightSource", "10"}})->getWhitebalance()),
        QStringLiteral("whiteBalance_shade"));
    EXPECT_EQ(icon(cameraWith({{"Exif.Photo.Sharpness", "2"}})->getSharpness()), QStringLiteral("sharpness_hard"));
    const auto unknown = cameraWith({{"Exif.Photo.WhiteBalance", "1"}})->getWhitebalance();
    EXPECT_EQ(icon(unknown), QStringLiteral(""));
    EXPECT_EQ(unknown.size(), 2);
}

TEST_F(TAVMetadataReaderMgrCameraValuesTest, TheMakerNoteDecidesTheChoicesOffered)
{
    const auto nikon = cameraWith({{"Exif.Image.Make", "NIKON CORPORATION"}, {"Exif.Nikon3.Quality", "FINE"}});
    const std::array<bool, 13> nikonPrograms = nikon->validExposureProgramSettings();
    EXPECT_TRUE(nikonPrograms[3] && nikonPrograms[10] && nikonPrograms[11] && nikonPrograms[12]);
    const std::array<bool, 6> nikonFocus = nikon->validFocusSettings();
    EXPECT_TRUE(nikonFocus[1] && nikonFocus[2]);
    const std::array<bool, 13> canon
        = cameraWith({{"Exif.Image.Make", "Canon"}, {"Exif.CanonCs.Macro", "1"}})->validExposureProgramSettings();
    EXPECT_TRUE(canon[11] && canon[12]);
    EXPECT_FALSE(canon[3] || canon[10]);
    const std::array<bool, 13> fujifilm = cameraWith({{"Exif.Image.Make", "FUJIFILM"}, {"Exif.Fujifilm.Macro", "1"}})
                                              ->validExposureProgramSettings();
    EXPECT_TRUE(fujifilm[11]);
    EXPECT_FALSE(fujifilm[12]);

    const auto plain = cameraWith({{"Exif.Image.Make", "Acme"}});
    EXPECT_EQ(plain->validExposureProgramSettings(),
        (std::array<bool, 13>{true, true, true, false, true, true, true, true, true, true, false, false, false}));
    EXPECT_EQ(plain->validFocusSettings(), (std::array<bool, 6>{true, false, false, true, true, true}));
    const std::array<bool, 6> nikon1
        = cameraWith({{"Exif.Image.Make", "NIKON"}, {"Exif.Nikon1.Quality", "FINE"}})->validFocusSettings();
    EXPECT_TRUE(nikon1[1] && nikon1[2]);
    const std::array<bool, 6> olympus
        = cameraWith({{"Exif.Image.Make", "OLYMPUS"}, {"Exif.Olympus.Quality", "2"}})->validFocusSettings();
    EXPECT_FALSE(olympus[1] || olympus[2]);
}

TEST_F(TAVMetadataReaderMgrCameraValuesTest, RealCameraFilesReadAsExifToolReports)
{
    if (!ExifTool::available()) {
        GTEST_SKIP() << "exiftool is not installed";
    }
    for (const char* name : {"npm-canon-s40.jpg", "npm-iphone6p.jpg", "npm-lumia.jpg", "npm-evil1.jpg"}) {
        SCOPED_TRACE(name);
        const QString path = ImageFixtures::copySample(QString::fromLatin1(name), tempFolder());
        ASSERT_FALSE(path.isEmpty());
        const QJsonObject shown = ExifTool::read(path);
        const QJsonObject numbers = ExifTool::read(path, {QStringLiteral("-n")});
        const auto manager = readFile(path);
        EXPECT_EQ(manager->getShutterSpeed(), shown.value(QStringLiteral("ExifIFD:ExposureTime")).toString());
        EXPECT_EQ(manager->getAperture(),
            QString::asprintf("%.2f", numbers.value(QStringLiteral("ExifIFD:FNumber")).toDouble()));
        const QJsonValue iso = numbers.value(QStringLiteral("ExifIFD:ISO"));
        EXPECT_EQ(manager->getSensitivity(), iso.isUndefined() ? QString() : QString::number(iso.toInt()));
        const QJsonValue focal = numbers.value(QStringLiteral("ExifIFD:FocalLength"));
        EXPECT_EQ(manager->getFocalLength(),
            focal.isUndefined() ? QStringLiteral("") : QString::asprintf("%.0f", focal.toDouble()));
        if (shown.contains(QStringLiteral("ExifIFD:WhiteBalance"))) {
            EXPECT_EQ(manager->getWhitebalance().value(QLatin1String(TAVMetadataReaderMgr::kValueKey)),
                shown.value(QStringLiteral("ExifIFD:WhiteBalance")).toString());
        }
    }

    // The Canon sample's own maker note decides its focus and the choices offered.
    const auto canon = readFile(tempFolder() + QStringLiteral("/npm-canon-s40.jpg"));
    EXPECT_EQ(canon->getSensor(), QStringLiteral("One chip area"));
    EXPECT_EQ(canon->getMeteringMode(), QStringLiteral("Center Weighted"));
    EXPECT_EQ(canon->getFocusMode(), QStringLiteral("Auto"));
    EXPECT_EQ(canon->getExposureProgram(), QStringLiteral("Automatic"));
    const std::array<bool, 6> focus = canon->validFocusSettings();
    EXPECT_TRUE(focus[1] && focus[2]);
}

} // namespace
