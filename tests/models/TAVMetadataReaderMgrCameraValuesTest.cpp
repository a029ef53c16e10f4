// Camera values the exposure tab shows, derived from standard tags and from
// real maker notes that the metadata library writes for the given Make.
#include "models/TAVMetadataReaderMgr.h"

#include "models/TAVKeyLists.h"

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

TEST_F(TAVMetadataReaderMgrCameraValuesTest, ShutterSpeedAndAperture)
{
    EXPECT_EQ(cameraWith({{"Exif.Photo.ExposureTime", "10/2000"}})->getShutterSpeed(), QStringLiteral("1/200"));
    EXPECT_EQ(cameraWith({{"Exif.Photo.ExposureTime", "30/10"}})->getShutterSpeed(), QStringLiteral("3/1"));
    EXPECT_EQ(cameraWith({{"Exif.Photo.ShutterSpeedValue", "7/1"}})->getShutterSpeed(), QStringLiteral("1/128 sec"));
    // Four seconds; the APEX value is negative.
    EXPECT_EQ(cameraWith({{"Exif.Photo.ShutterSpeedValue", "-2/1"}})->getShutterSpeed(), QStringLiteral("4/1 sec"));
    EXPECT_TRUE(cameraWith({{"Exif.Photo.ExposureTime", "1/0"}})->getShutterSpeed().isNull());
    EXPECT_TRUE(cameraWith({{"Exif.Photo.ShutterSpeedValue", "400/1"}})->getShutterSpeed().isNull());

    EXPECT_EQ(cameraWith({{"Exif.Photo.FNumber", "28/10"}})->getAperture(), QStringLiteral("2.80"));
    EXPECT_EQ(cameraWith({{"Exif.Photo.ApertureValue", "3/1"}})->getAperture(), QStringLiteral("2.83"));
    EXPECT_TRUE(cameraWith({{"Exif.Photo.FNumber", "28/0"}})->getAperture().isNull());
}

TEST_F(TAVMetadataReaderMgrCameraValuesTest, FlashBitPatterns)
{
    const QStringList& labels = TAVKeyLists::flashLabels();
    EXPECT_EQ(cameraWith({{"Exif.Photo.Flash", "25"}})->getFlash(), labels.at(2)); // fired, auto
    EXPECT_EQ(cameraWith({{"Exif.Photo.Flash", "24"}})->getFlash(), labels.at(1)); // auto, did not fire
    EXPECT_EQ(cameraWith({{"Exif.Photo.Flash", "16"}})->getFlash(), labels.at(4)); // suppressed
    EXPECT_EQ(cameraWith({{"Exif.Photo.Flash", "65"}})->getFlash(), labels.at(5)); // red-eye
    EXPECT_EQ(cameraWith({{"Exif.Photo.Flash", "9"}})->getFlash(), labels.at(3)); // forced
    EXPECT_EQ(cameraWith({{"Exif.Image.Make", "Acme"}})->getFlash(), QStringLiteral("Unknown"));
}

TEST_F(TAVMetadataReaderMgrCameraValuesTest, SensitivityFromStandardAndNikonTags)
{
    EXPECT_EQ(cameraWith({{"Exif.Photo.ISOSpeedRatings", "400"}})->getSensitivity(), QStringLiteral("400"));
    EXPECT_EQ(cameraWith({{"Exif.Image.Make", "NIKON"}, {"Exif.Nikon2.ISOSpeed", "4"}})->getSensitivity(),
        QStringLiteral("320"));
    EXPECT_EQ(
        cameraWith({{"Exif.Image.Make", "NIKON CORPORATION"}, {"Exif.Nikon3.ISOSpeed", "0 800"}})->getSensitivity(),
        QStringLiteral("800"));
    EXPECT_TRUE(cameraWith({{"Exif.Image.Make", "Acme"}})->getSensitivity().isNull());
}

TEST_F(TAVMetadataReaderMgrCameraValuesTest, WhiteBalanceAndTheOtherAdjustmentsCarryTheirIcons)
{
    using Mgr = TAVMetadataReaderMgr;
    const auto shade
        = cameraWith({{"Exif.Photo.WhiteBalance", "1"}, {"Exif.Photo.LightSource", "10"}})->getWhitebalance();
    EXPECT_EQ(shade.value(QLatin1String(Mgr::kValueKey)), QStringLiteral("Shade"));
    EXPECT_EQ(shade.value(QLatin1String(Mgr::kImageNameKey)), QStringLiteral("whiteBalance_shade"));
    EXPECT_EQ(cameraWith({{"Exif.Photo.WhiteBalance", "0"}, {"Exif.Photo.LightSource", "10"}})
                  ->getWhitebalance()
                  .value(QLatin1String(Mgr::kValueKey)),
        QStringLiteral("Auto"));
    // Manual without a light source asks the maker notes; with none there it is unknown.
    const auto unknown = cameraWith({{"Exif.Photo.WhiteBalance", "1"}})->getWhitebalance();
    EXPECT_EQ(unknown.value(QLatin1String(Mgr::kValueKey)), QStringLiteral("Unknown"));
    EXPECT_EQ(unknown.value(QLatin1String(Mgr::kImageNameKey)), QStringLiteral(""));
    EXPECT_EQ(cameraWith({{"Exif.Image.Make", "FUJIFILM"}, {"Exif.Photo.WhiteBalance", "1"},
                             {"Exif.Fujifilm.WhiteBalance", "512"}})
                  ->getWhitebalance()
                  .value(QLatin1String(Mgr::kValueKey)),
        QStringLiteral("Shade"));

    // The standard tag decides, even with a value outside its table.
    auto standard
        = cameraWith({{"Exif.Image.Make", "FUJIFILM"}, {"Exif.Photo.Contrast", "5"}, {"Exif.Fujifilm.Tone", "256"}});
    EXPECT_EQ(standard->getContrast().value(QLatin1String(Mgr::kValueKey)), QStringLiteral("Unknown"));
    auto maker = cameraWith({{"Exif.Image.Make", "FUJIFILM"}, {"Exif.Fujifilm.Tone", "256"},
        {"Exif.Fujifilm.Color", "512"}, {"Exif.Fujifilm.Sharpness", "3"}});
    EXPECT_EQ(maker->getContrast().value(QLatin1String(Mgr::kValueKey)), QStringLiteral("Hard"));
    EXPECT_EQ(maker->getSaturation().value(QLatin1String(Mgr::kValueKey)), QStringLiteral("Low"));
    EXPECT_EQ(maker->getSharpness().value(QLatin1String(Mgr::kImageNameKey)), QStringLiteral("sharpness_normal"));
}

TEST_F(TAVMetadataReaderMgrCameraValuesTest, ExposureProgramAndFocusFollowTheMakerNote)
{
    const QStringList& programs = TAVKeyLists::exposureProgramLabels();
    auto nikon = cameraWith({{"Exif.Image.Make", "NIKON CORPORATION"}, {"Exif.Nikon3.Quality", "FINE"},
        {"Exif.Photo.ExposureProgram", "2"}});
    EXPECT_EQ(nikon->getExposureProgram(), programs.at(3)); // Nikon's flexible program
    const std::array<bool, 13> nikonPrograms = nikon->validExposureProgramSettings();
    for (int code : {3, 10, 11, 12}) {
        EXPECT_TRUE(nikonPrograms[code]) << code;
    }
    const std::array<bool, 6> nikonFocus = nikon->validFocusSettings();
    EXPECT_TRUE(nikonFocus[1] && nikonFocus[2]);

    auto canon = cameraWith(
        {{"Exif.Image.Make", "Canon"}, {"Exif.CanonCs.ExposureProgram", "0"}, {"Exif.CanonCs.EasyMode", "10"}});
    EXPECT_EQ(canon->getExposureProgram(), programs.at(12)); // easy mode "close up"
    const std::array<bool, 13> canonPrograms = canon->validExposureProgramSettings();
    EXPECT_TRUE(canonPrograms[11] && canonPrograms[12]);
    EXPECT_FALSE(canonPrograms[3] || canonPrograms[10]);

    auto plain = cameraWith({{"Exif.Image.Make", "Acme"}, {"Exif.Photo.ExposureProgram", "2"}});
    EXPECT_EQ(plain->getExposureProgram(), programs.at(2));
    const std::array<bool, 13> plainPrograms = plain->validExposureProgramSettings();
    EXPECT_FALSE(plainPrograms[3] || plainPrograms[10] || plainPrograms[11] || plainPrograms[12]);
    EXPECT_TRUE(plainPrograms[0] && plainPrograms[9]);
    const std::array<bool, 6> plainFocus = plain->validFocusSettings();
    EXPECT_FALSE(plainFocus[1] || plainFocus[2]);
    EXPECT_TRUE(plainFocus[0] && plainFocus[3] && plainFocus[5]);
    // No maker tag at all gives no exposure program, not a guessed one.
    EXPECT_EQ(cameraWith({{"Exif.Image.Make", "Acme"}})->getExposureProgram(), QStringLiteral("Unknown"));
}

TEST_F(TAVMetadataReaderMgrCameraValuesTest, DistancesAndLengthsRoundToWholeNumbers)
{
    EXPECT_EQ(cameraWith({{"Exif.Photo.SubjectDistance", "26/10"}})->getSubjectDistance(), QStringLiteral("3"));
    EXPECT_EQ(cameraWith({{"Exif.Photo.SubjectDistance", "0/1"}})->getSubjectDistance(), QStringLiteral(""));
    EXPECT_EQ(cameraWith({{"Exif.Photo.SubjectDistance", "4294967295/1"}})->getSubjectDistance(), QStringLiteral(""));
    auto lens = cameraWith({{"Exif.Photo.FocalLength", "213/10"}, {"Exif.Photo.FocalLengthIn35mmFilm", "105"},
        {"Exif.Photo.DigitalZoomRatio", "0/1"}});
    EXPECT_EQ(lens->getFocalLength(), QStringLiteral("21"));
    EXPECT_EQ(lens->getFocalLength35(), QStringLiteral("105"));
    EXPECT_EQ(lens->getDigitalZoom(), QStringLiteral("1"));
    EXPECT_EQ(cameraWith({{"Exif.Image.Make", "Acme"}})->getFocalLength(), QStringLiteral(""));
}

// One derived value per file: the tags written, the value read, the text the
// exposure tab shows for it.
struct RuleCase {
    std::vector<std::pair<const char*, const char*>> tags;
    QString (*read)(const TAVMetadataReaderMgr&);
    const char* expected;
};

QString label(const TAVMetadataReaderMgr::LabelAndIcon& value)
{
    return value.value(QLatin1String(TAVMetadataReaderMgr::kValueKey));
}

TEST_F(TAVMetadataReaderMgrCameraValuesTest, StandardAndMakerRulesGiveTheShownLabels)
{
    const auto sensor = [](const TAVMetadataReaderMgr& m) { return m.getSensor(); };
    const auto focus = [](const TAVMetadataReaderMgr& m) { return m.getFocusMode(); };
    const auto metering = [](const TAVMetadataReaderMgr& m) { return m.getMeteringMode(); };
    const auto program = [](const TAVMetadataReaderMgr& m) { return m.getExposureProgram(); };
    const auto iso = [](const TAVMetadataReaderMgr& m) { return m.getSensitivity(); };
    const auto flash = [](const TAVMetadataReaderMgr& m) { return m.getFlash(); };
    const auto zoom = [](const TAVMetadataReaderMgr& m) { return m.getDigitalZoom(); };
    const auto balance = [](const TAVMetadataReaderMgr& m) { return label(m.getWhitebalance()); };
    const auto contrast = [](const TAVMetadataReaderMgr& m) { return label(m.getContrast()); };
    const auto saturation = [](const TAVMetadataReaderMgr& m) { return label(m.getSaturation()); };
    const auto sharpness = [](const TAVMetadataReaderMgr& m) { return label(m.getSharpness()); };
    const std::vector<RuleCase> cases = {
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
        {{{"Exif.Image.Make", "Canon"}, {"Exif.CanonCs.ExposureProgram", "2"}}, program, "Shutter Priority"},
        {{{"Exif.Image.Make", "Canon"}, {"Exif.CanonCs.ExposureProgram", "0"}, {"Exif.CanonCs.EasyMode", "6"}},
            program, "Manual"},
        {{{"Exif.Image.Make", "FUJIFILM"}, {"Exif.Fujifilm.PictureMode", "256"}}, program, "Aperature Priority"},
        {{{"Exif.Image.Make", "SIGMA"}, {"Exif.Sigma.ExposureMode", "s"}}, program, "Shutter Priority"},
        {{{"Exif.Image.Make", "NIKON CORPORATION"}, {"Exif.Nikon3.VariProgram", "NIGHT PORTRAIT"}}, program,
            "Night Portrait"},
        {{{"Exif.Image.Make", "NIKON CORPORATION"}, {"Exif.Nikon3.VariProgram", "AUTO"}}, program, "Automatic"},
        {{{"Exif.Image.Make", "NIKON"}, {"Exif.Nikon1.ISOSpeed", "0 200"}}, iso, "200"},
        {{{"Exif.Image.Make", "NIKON"}, {"Exif.Nikon2.ISOSpeed", "3"}}, iso, ""},
        {{{"Exif.Image.Make", "FUJIFILM"}, {"Exif.Fujifilm.FlashMode", "2"}}, flash, "Suppressed"},
        {{{"Exif.Photo.DigitalZoomRatio", "0/0"}}, zoom, "1"},
        {{{"Exif.Photo.DigitalZoomRatio", "9/4"}}, zoom, "2"},
        {{{"Exif.Image.Make", "NIKON"}, {"Exif.Nikon2.DigitalZoom", "0/100"}}, zoom, "1"},
        {{{"Exif.Image.Make", "OLYMPUS"}, {"Exif.Olympus.DigitalZoom", "0/1"}}, zoom, ""},
        {{{"Exif.Photo.LightSource", "3"}}, balance, "Incandescent"},
        {{{"Exif.Photo.LightSource", "12"}}, balance, "Fluorescent"},
        {{{"Exif.Photo.WhiteBalance", "2"}, {"Exif.Photo.LightSource", "10"}}, balance, "Unknown"},
        {{{"Exif.Image.Make", "OLYMPUS"}, {"Exif.Photo.LightSource", "20"}}, balance, "Shade"},
        {{{"Exif.Image.Make", "NIKON"}, {"Exif.Nikon1.WhiteBalance", "auto"}}, balance, "Auto"},
        {{{"Exif.Image.Make", "SIGMA"}, {"Exif.Sigma.WhiteBalance", "Sunlight"}}, balance, "Daylight"},
        {{{"Exif.Image.Make", "NIKON"}, {"Exif.Nikon1.ImageAdjustment", "CONTRAST-"}}, contrast, "Soft"},
        {{{"Exif.Image.Make", "SIGMA"}, {"Exif.Sigma.Contrast", "cont:+1.0"}}, contrast, "Hard"},
        {{{"Exif.Image.Make", "SIGMA"}, {"Exif.Sigma.Saturation", "Satu:-0.3"}}, saturation, "Low"},
        {{{"Exif.Image.Make", "SIGMA"}, {"Exif.Sigma.Sharpness", "shar:+0.0"}}, sharpness, "Normal"},
        {{{"Exif.Image.Make", "NIKON"}, {"Exif.Nikon1.Sharpening", "HIGH"}}, sharpness, "Hard"},
    };
    for (const RuleCase& rule : cases) {
        SCOPED_TRACE(rule.tags.back().first + std::string(" = ") + rule.tags.back().second);
        EXPECT_EQ(rule.read(*cameraWith(rule.tags)), QString::fromLatin1(rule.expected));
    }
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
