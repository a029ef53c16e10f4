#include "models/write/TAVMetadataWritterMgr.h"

#include "models/read/TAVMetadataReaderMgr.h"
#include "models/tables/TAVCVSParaser.h"
#include "models/tables/TAVKeyLists.h"
#include "models/write/WrittenFileProbe.h"
#include "support/ExifTool.h"
#include "support/ImageFixtures.h"
#include "support/QtPrinters.h"
#include "support/TempFolder.h"

#include <functional>

namespace {

using ImageFixtures::Tag;
using WrittenFileProbe::expectValues;

const QString kFlash = "Exif.Photo.Flash";
const QString kImageDateTime = "Exif.Image.DateTime";
const QString kExposureProgram = "Exif.Photo.ExposureProgram";
const QString kFocus = "Exif.Photo.SubjectDistanceRange";

Tag tag(const char* key, const char* text)
{
    return {QString::fromLatin1(key), QString::fromUtf8(text), std::nullopt};
}

TAVEntityPtr entity(const char* key, const char* text)
{
    return TAVEntity::entityWithValue(QString::fromUtf8(text), QString::fromLatin1(key));
}

// exiftool's reading of the file as plain numbers.
QJsonObject exifToolNumbers(const QString& path)
{
    return ExifTool::read(path, {"-n"});
}

class TAVMetadataWritterMgrTest : public TempFolderTest {
protected:
    static void SetUpTestSuite() { TAVCVSParaser::loadCanEditTags(); }

    QString imageWith(const std::vector<Tag>& tags)
    {
        const QString path = tempPath(QStringLiteral("image%1.jpg").arg(++count_));
        EXPECT_TRUE(ImageFixtures::makeImageWithTags(path, tags));
        return path;
    }

    // Writes one field as a tab hands it over and saves the file.
    static bool writeAndSave(TAVMetadataWritterMgr& manager, const QString& key, const QString& text)
    {
        const bool written = manager.writeMetadat(text, key);
        EXPECT_TRUE(manager.saveMetadataToImage());
        return written;
    }

    int count_ = 0;
};

TEST_F(TAVMetadataWritterMgrTest, FlashLabelsWriteTheStandardAndTheMakersTags)
{
    const QString path = imageWith({tag("Exif.Image.Make", "FUJIFILM"), tag("Exif.Fujifilm.Quality", "NORMAL"),
        tag("Exif.Fujifilm.FlashMode", "1"), tag("Exif.Photo.Flash", "16")});
    TAVMetadataWritterMgr manager(path);
    EXPECT_TRUE(writeAndSave(manager, kFlash, "Fired"));
    EXPECT_EQ(exifToolNumbers(path).value("ExifIFD:Flash").toInt(), 25);
    expectValues(path, {{"Exif.Fujifilm.FlashMode", "0"}});
    EXPECT_TRUE(writeAndSave(manager, kFlash, "Forced"));
    EXPECT_EQ(ExifTool::read(path).value("FujiFilm:FujiFlashMode").toString(), "On");
    EXPECT_TRUE(writeAndSave(manager, kFlash, "Unknown"));
    expectValues(path, {{"Exif.Photo.Flash", nullptr}, {"Exif.Fujifilm.FlashMode", nullptr}});

    // A real Canon file's own flash notes follow the choice.
    const QString canon = ImageFixtures::copySample("npm-canon-s40.jpg", tempFolder());
    TAVMetadataWritterMgr canonManager(canon);
    EXPECT_TRUE(writeAndSave(canonManager, kFlash, "Fired"));
    const QJsonObject canonTags = exifToolNumbers(canon);
    EXPECT_EQ(canonTags.value("ExifIFD:Flash").toInt(), 25);
    EXPECT_EQ(canonTags.value("Canon:CanonFlashMode").toInt(), 1);
    EXPECT_EQ(canonTags.value("Canon:FlashActivity").toInt(), 1);

    // The maker tag is only written where the camera wrote one.
    const QString plain = imageWith({});
    TAVMetadataWritterMgr plainManager(plain);
    EXPECT_TRUE(writeAndSave(plainManager, kFlash, "Red eye"));
    expectValues(plain, {{"Exif.Photo.Flash", "65"}, {"Exif.Fujifilm.FlashMode", nullptr}});
}

// The label round trips below use our own reader; here exiftool checks that
// the numbers mean what the labels say.
TEST_F(TAVMetadataWritterMgrTest, LabelsWriteTheNumbersTheStandardGivesThem)
{
    const QString path = imageWith({});
    const QString metering = "Exif.Photo.MeteringMode";
    const QString balance = "Exif.Photo.WhiteBalance";
    TAVMetadataWritterMgr manager(path);
    EXPECT_TRUE(writeAndSave(manager, metering, "Partial"));
    EXPECT_EQ(ExifTool::read(path).value("ExifIFD:MeteringMode").toString(), "Partial");
    EXPECT_TRUE(writeAndSave(manager, metering, "Matrix"));
    EXPECT_TRUE(writeAndSave(manager, balance, "Shade"));

    const QJsonObject tags = exifToolNumbers(path);
    EXPECT_EQ(tags.value("ExifIFD:MeteringMode").toInt(), 5);
    EXPECT_EQ(tags.value("ExifIFD:WhiteBalance").toInt(), 1);
    EXPECT_EQ(tags.value("ExifIFD:LightSource").toInt(), 11);
    // A light source the table does not know fails the white balance; an
    // unknown balance takes the light source with it.
    EXPECT_FALSE(writeAndSave(manager, balance, "Tungsten"));
    EXPECT_TRUE(writeAndSave(manager, balance, "Unknown"));
    expectValues(path, {{"Exif.Photo.LightSource", nullptr}});
}

TEST_F(TAVMetadataWritterMgrTest, SensitivityGoesWhereTheCameraKeptItAndMakerCopiesGo)
{
    const QString iso = "Exif.Photo.ISOSpeedRatings";
    const QString indexOnly = imageWith({tag("Exif.Photo.ExposureIndex", "100/1")});
    TAVMetadataWritterMgr indexManager(indexOnly);
    EXPECT_TRUE(writeAndSave(indexManager, iso, "200"));
    expectValues(indexOnly, {{"Exif.Photo.ExposureIndex", "200/1"}, {"Exif.Photo.ISOSpeedRatings", nullptr}});

    // The erase list starts with a key this library rejects; the Nikon copy
    // after it must still go.
    const QString nikon = imageWith({tag("Exif.Image.Make", "NIKON CORPORATION"), tag("Exif.Nikon3.Quality", "FINE"),
        tag("Exif.Nikon3.ISOSpeed", "0 800")});
    TAVMetadataWritterMgr nikonManager(nikon);
    EXPECT_TRUE(writeAndSave(nikonManager, iso, "200"));
    expectValues(nikon,
        {{"Exif.Photo.ISOSpeedRatings", "200"}, {"Exif.Photo.ExposureIndex", nullptr},
            {"Exif.Nikon3.ISOSpeed", nullptr}});
}

TEST_F(TAVMetadataWritterMgrTest, ClearsSetUnknownValuesAndEraseTheMakersCopies)
{
    const QString path = imageWith({tag("Exif.Image.Make", "FUJIFILM"), tag("Exif.Fujifilm.Tone", "256"),
        tag("Exif.Fujifilm.Color", "0"), tag("Exif.Photo.Contrast", "2"), tag("Exif.Photo.SensingMethod", "2"),
        tag("Exif.Photo.FNumber", "28/10"), tag("Exif.Photo.ApertureValue", "3/1")});
    TAVMetadataWritterMgr manager(path);
    for (const char* key : {"Exif.Photo.Contrast", "Exif.Photo.SensingMethod", "Exif.Photo.FNumber"}) {
        EXPECT_TRUE(manager.clearOneMetadata(QString::fromLatin1(key))) << key;
    }
    ASSERT_TRUE(manager.saveMetadataToImage());
    expectValues(path,
        {{"Exif.Photo.Contrast", "3"}, {"Exif.Fujifilm.Tone", nullptr}, {"Exif.Photo.SensingMethod", "1"},
            {"Exif.Fujifilm.Color", "0"}, {"Exif.Photo.FNumber", nullptr}, {"Exif.Photo.ApertureValue", nullptr}});
}

TEST_F(TAVMetadataWritterMgrTest, DatesGoBackToTheExifFormOrAreErasedOrRefused)
{
    const char* const keys[] = {"Exif.Image.DateTime", "Exif.Photo.DateTimeOriginal", "Exif.Photo.DateTimeDigitized"};
    const QString path = imageWith({tag(keys[0], "2001:01:01 01:01:01"), tag(keys[1], "2001:01:01 01:01:01"),
        tag(keys[2], "2001:01:01 01:01:01")});
    const auto expectAllDates = [&](const char* text) {
        expectValues(path, {{keys[0], text}, {keys[1], text}, {keys[2], text}});
    };
    TAVMetadataWritterMgr manager(path);

    EXPECT_TRUE(writeAndSave(manager, kImageDateTime, "2015-03-01 10:20:30"));
    expectAllDates("2015:03:01 10:20:30");
    // A time without its date names no day: refused rather than put on a made-up one.
    EXPECT_FALSE(writeAndSave(manager, kImageDateTime, "first of March"));
    EXPECT_FALSE(writeAndSave(manager, kImageDateTime, " 11:00:00"));
    expectAllDates("2015:03:01 10:20:30");

    EXPECT_TRUE(writeAndSave(manager, QString::fromLatin1(keys[1]), "2016-04-02 11:21:31"));
    expectValues(path, {{keys[1], "2016:04:02 11:21:31"}, {keys[0], "2015:03:01 10:20:30"}});

    // A cleared date arrives as an empty date and time joined by a blank,
    // which takes the capture dates and leaves the modify date, or as a
    // clear of the date key (Clear > EXIF), which takes them all.
    EXPECT_TRUE(writeAndSave(manager, kImageDateTime, " "));
    expectValues(path, {{keys[0], "2015:03:01 10:20:30"}, {keys[1], nullptr}, {keys[2], nullptr}});
    EXPECT_TRUE(writeAndSave(manager, kImageDateTime, "2015:03:01 10:20:30"));
    expectAllDates("2015:03:01 10:20:30");
    EXPECT_TRUE(manager.clearOneMetadata(kImageDateTime));
    ASSERT_TRUE(manager.saveMetadataToImage());
    expectAllDates(nullptr);
}

TEST_F(TAVMetadataWritterMgrTest, NumbersBecomeFractionsAndUnfitOnesAreRefused)
{
    const QString path = imageWith({tag("Exif.Photo.FocalLength", "50/1"), tag("Exif.Photo.ExposureTime", "1/60"),
        tag("Exif.Photo.ShutterSpeedValue", "6/1"), tag("Exif.Photo.FocalLengthIn35mmFilm", "75"),
        tag("Exif.Photo.SubjectDistance", "3/1"), tag("Exif.Photo.DigitalZoomRatio", "2/1"),
        tag("Exif.Photo.ISOSpeedRatings", "100")});
    TAVMetadataWritterMgr manager(path);
    // The caller's entity is the record's own entry: converting it in place
    // would make a second save write f/28.
    const TAVEntityPtr aperture = entity("Exif.Photo.FNumber", "2.8");
    EXPECT_TRUE(manager.setAperture(aperture));
    EXPECT_TRUE(manager.setAperture(aperture));
    EXPECT_EQ(aperture->value(), "2.8");
    // Unsigned fractions refuse what would wrap or overflow.
    EXPECT_FALSE(manager.setAperture(entity("Exif.Photo.FNumber", "-2.8")));
    EXPECT_FALSE(manager.writeMetadat("1e30", "Exif.Photo.FocalLength"));
    // The shutter fields hand over "numerator/denominator"; an empty side reads as 1.
    EXPECT_TRUE(manager.writeMetadat("/250", "Exif.Photo.ExposureTime"));
    // An emptied number field removes its value.
    for (const char* key : {"Exif.Photo.FocalLengthIn35mmFilm", "Exif.Photo.SubjectDistance",
             "Exif.Photo.DigitalZoomRatio", "Exif.Photo.ISOSpeedRatings"}) {
        EXPECT_TRUE(manager.writeMetadat(QString(""), QString::fromLatin1(key))) << key;
    }
    EXPECT_TRUE(manager.writeMetadat("version 2.2.0.0", "Exif.GPSInfo.GPSVersionID"));
    ASSERT_TRUE(manager.saveMetadataToImage());

    expectValues(path,
        {{"Exif.Photo.FNumber", "28/10"}, {"Exif.Photo.FocalLength", "50/1"}, {"Exif.Photo.ExposureTime", "1/250"},
            {"Exif.Photo.ShutterSpeedValue", nullptr}, {"Exif.Photo.FocalLengthIn35mmFilm", nullptr},
            {"Exif.Photo.SubjectDistance", nullptr}, {"Exif.Photo.DigitalZoomRatio", nullptr},
            {"Exif.Photo.ISOSpeedRatings", nullptr}, {"Exif.GPSInfo.GPSVersionID", "2 2 0 0"}});
    EXPECT_TRUE(writeAndSave(manager, "Exif.Photo.ExposureTime", "/"));
    expectValues(path, {{"Exif.Photo.ExposureTime", nullptr}});
}

// The editors' check and the save agree on every text: what the check
// accepts is saved, what it refuses fails the key (never a 0 saved as success).
TEST_F(TAVMetadataWritterMgrTest, EditorsAcceptExactlyWhatTheSaveAccepts)
{
    const struct {
        const char* key;
        const char* text;
        bool accepted;
    } cases[] = {
        {"Exif.Photo.FNumber", "4.0", true},
        {"Exif.Photo.FNumber", "abc", false},
        {"Exif.Photo.FNumber", "f/2.8", false},
        {"Exif.Photo.FNumber", "2,8", false},
        {"Exif.Photo.FocalLength", "35", true},
        {"Exif.Photo.FocalLength", "abc", false},
        {"Exif.Photo.SubjectDistance", "abc", false},
        {"Exif.Photo.DigitalZoomRatio", "abc", false},
        {"Exif.Photo.ISOSpeedRatings", "400", true},
        {"Exif.Photo.ISOSpeedRatings", "abc", false},
        {"Exif.Photo.FocalLengthIn35mmFilm", "x50", false},
        {"Exif.Photo.ExposureTime", "1/128 sec", true},
        {"Exif.Photo.ExposureTime", "4/1 sec", true},
        {"Exif.Photo.ExposureTime", "1/0", false},
        {"Exif.Photo.ExposureTime", "fast", false},
        {"Exif.Photo.Contrast", "Hard", true},
        {"Exif.Photo.Contrast", "Vivid", false},
        {"Exif.Photo.Flash", "Fired", true},
        {"Exif.Photo.Flash", "Sometimes", false},
        {"Exif.Photo.SensingMethod", "Bogus", false},
        {"Exif.Image.DateTime", "2015-03-01 10:20:30", true},
        {"Exif.Image.DateTime", "yesterday", false},
        {"Exif.Image.Artist", "Ann", true},
    };
    const QString path = imageWith({tag("Exif.Photo.FNumber", "28/10"), tag("Exif.Photo.ISOSpeedRatings", "100")});
    for (const auto& [key, text, accepted] : cases) {
        EXPECT_EQ(TAVMetadataWritterMgr::testValueVaild(text, key), accepted) << key << " = " << text;
        TAVMetadataWritterMgr manager(path);
        EXPECT_EQ(manager.writeMetadat(text, key), accepted) << key << " = " << text;
    }
    // Refused numbers leave the old values.
    expectValues(path, {{"Exif.Photo.FNumber", "28/10"}, {"Exif.Photo.ISOSpeedRatings", "100"}});

    // Emptied label pop-ups are "Unknown" in all nine fields, and the shutter
    // text the reader derives from the APEX value writes back unchanged.
    TAVMetadataWritterMgr manager(path);
    for (const char* key : {"Exif.Photo.Flash", "Exif.Photo.SensingMethod", "Exif.Photo.SubjectDistanceRange",
             "Exif.Photo.MeteringMode", "Exif.Photo.ExposureProgram", "Exif.Photo.WhiteBalance", "Exif.Photo.Contrast",
             "Exif.Photo.Saturation", "Exif.Photo.Sharpness"}) {
        EXPECT_TRUE(TAVMetadataWritterMgr::testValueVaild("", key)) << key;
        EXPECT_TRUE(manager.writeMetadat("", key)) << key;
    }
    EXPECT_TRUE(writeAndSave(manager, "Exif.Photo.ExposureTime", "1/128 sec"));
    TAVMetadataReaderMgr reader(path);
    reader.readAllMetadata();
    EXPECT_EQ(reader.getShutterSpeed(), "1/128");
    EXPECT_EQ(reader.getContrast().value(TAVMetadataReaderMgr::kValueKey), "Unknown");
}

TEST_F(TAVMetadataWritterMgrTest, BatchesReportFailedKeysAndRouteEveryFamily)
{
    const QString path = imageWith(
        {tag("Exif.Image.Artist", "Old"), tag("Exif.Image.Copyright", "Old"), tag("Xmp.dc.source", "Old scan")});
    TAVMetadataWritterMgr manager(path);
    const auto cleared = [](const char* key) {
        TAVEntityPtr clear = entity(key, "");
        clear->setIsClear(true);
        return clear;
    };
    const QList<TAVEntityPtr> batch = {entity("Exif.Photo.Contrast", "Vivid"), entity("Exif.Image.Artist", "Ann"),
        cleared("Exif.Image.Copyright"), entity("Xmp.dc.title", "Harbour"), entity("Summary.ImageSize", "64 x 48"),
        entity("Iptc.Application2.Caption", "Boats at dawn"), cleared("Xmp.dc.source")};

    const QByteArray before = WrittenFileProbe::bytes(path);
    EXPECT_EQ(manager.batchWriteMetadata(batch, false), QStringList{"Exif.Photo.Contrast"});
    EXPECT_EQ(manager.batchWriteMetadata(batch, true), QStringList{"Exif.Photo.Contrast"});
    EXPECT_FALSE(manager.writeMetadat("x", QString()));
    EXPECT_EQ(WrittenFileProbe::bytes(path), before);
    ASSERT_TRUE(manager.saveMetadataToImage());

    const QJsonObject tags = ExifTool::read(path);
    EXPECT_EQ(tags.value("IFD0:Artist").toString(), "Ann");
    EXPECT_FALSE(tags.contains("IFD0:Copyright"));
    EXPECT_EQ(tags.value("XMP-dc:Title").toString(), "Harbour");
    EXPECT_EQ(tags.value("IPTC:Caption-Abstract").toString(), "Boats at dawn");
    EXPECT_FALSE(tags.contains("XMP-dc:Source"));
}

// exiftool reads the real cameras' maker notes the same after a write as
// before, apart from the tags the write changed.
TEST_F(TAVMetadataWritterMgrTest, RealCameraMakerNotesStayReadableAfterAWrite)
{
    const auto makerTags = [](const QJsonObject& tags, const char* group) {
        QJsonObject found;
        for (auto it = tags.begin(); it != tags.end(); ++it) {
            if (it.key().startsWith(QLatin1String(group))) {
                found.insert(it.key(), it.value());
            }
        }
        return found;
    };
    for (const auto& [sample, group] : {std::pair{"npm-canon-s40.jpg", "Canon:"}, {"npm-iphone6p.jpg", "Apple:"}}) {
        const QString path = ImageFixtures::copySample(QString::fromLatin1(sample), tempFolder());
        const QJsonObject before = makerTags(exifToolNumbers(path), group);
        ASSERT_GT(before.size(), 5) << sample;

        TAVMetadataWritterMgr manager(path);
        EXPECT_TRUE(manager.batchWriteMetadata({entity("Exif.Image.Artist", "Ann")}, true).isEmpty());
        ASSERT_TRUE(manager.saveMetadataToImage());
        const QJsonObject after = exifToolNumbers(path);
        EXPECT_EQ(after.value("IFD0:Artist").toString(), "Ann") << sample;
        EXPECT_EQ(makerTags(after, group), before) << sample;
    }
}

// Every label a tab offers for a camera reads back as the same label after a
// save, through the same derived-value rules the exposure tab uses.
class LabelRoundTripTest : public TAVMetadataWritterMgrTest {
protected:
    using Getter = std::function<QString(const TAVMetadataReaderMgr&)>;

    // Writes each label (by its position in `labels`) into `key` of the file
    // and reads it back; returns the labels that did not come back.
    QStringList labelsLost(const QString& path, const QString& key, const QStringList& labels,
        const QList<int>& positions, const Getter& read)
    {
        QStringList lost;
        TAVMetadataWritterMgr manager(path);
        for (const int position : positions) {
            const QString label = labels.at(position);
            EXPECT_TRUE(writeAndSave(manager, key, label)) << label.toStdString();
            TAVMetadataReaderMgr reader(path);
            reader.readAllMetadata();
            const QString back = read(reader);
            if (back != label) {
                lost << QStringLiteral("%1 -> %2").arg(label, back);
            }
        }
        return lost;
    }

    // The label of a value that comes with an icon.
    static Getter labelOf(TAVMetadataReaderMgr::LabelAndIcon (TAVMetadataReaderMgr::*getter)() const)
    {
        return [getter](const TAVMetadataReaderMgr& reader) {
            return (reader.*getter)().value(TAVMetadataReaderMgr::kValueKey);
        };
    }
};

TEST_F(LabelRoundTripTest, StandardTagLabelsComeBackOnAnyCamera)
{
    using Reader = TAVMetadataReaderMgr;
    const QString path = imageWith({});
    // After the round trip the first label is written once more and exiftool
    // must read the number the standard gives it.
    const auto check = [&](const char* key, const QStringList& labels, const QList<int>& which, const Getter& read,
                           int firstNumber) {
        EXPECT_EQ(labelsLost(path, QString::fromLatin1(key), labels, which, read), QStringList()) << key;
        TAVMetadataWritterMgr manager(path);
        EXPECT_TRUE(writeAndSave(manager, QString::fromLatin1(key), labels.at(which.first())));
        const QString tag = QStringLiteral("ExifIFD:") + QString::fromLatin1(key).section('.', 2);
        EXPECT_EQ(exifToolNumbers(path).value(tag).toInt(-1), firstNumber) << key;
    };
    check("Exif.Photo.Flash", TAVKeyLists::flashLabels(), {1, 2, 3, 4, 5, 0}, &Reader::getFlash, 24);
    check("Exif.Photo.SensingMethod", TAVKeyLists::sensingMethodLabels(), {1, 2, 3, 4, 5, 6}, &Reader::getSensor, 2);
    check("Exif.Photo.SubjectDistanceRange", TAVKeyLists::focusModeLabels(), {3, 4, 5}, &Reader::getFocusMode, 1);
    check("Exif.Photo.MeteringMode", TAVKeyLists::meteringModeLabels(), {1, 2, 3, 4, 5, 6, 0}, &Reader::getMeteringMode,
        1);
    check("Exif.Photo.ExposureProgram", TAVKeyLists::exposureProgramLabels(), {1, 2, 4, 5, 6, 7, 8, 9, 0},
        &Reader::getExposureProgram, 1);
    check("Exif.Photo.WhiteBalance", TAVKeyLists::whiteBalanceLabels(), {1, 2, 3, 4, 5, 6, 0},
        labelOf(&Reader::getWhitebalance), 0);
    check("Exif.Photo.Contrast", TAVKeyLists::contrastLabels(), {1, 2, 3, 0}, labelOf(&Reader::getContrast), 1);
    check("Exif.Photo.Saturation", TAVKeyLists::saturationLabels(), {1, 2, 3, 0}, labelOf(&Reader::getSaturation), 1);
    check("Exif.Photo.Sharpness", TAVKeyLists::sharpnessLabels(), {1, 2, 3, 0}, labelOf(&Reader::getSharpness), 1);
}

// A clear cannot take a member out of Canon's setting arrays (the library
// writes 0, a real setting). "Unknown" leaves the camera's notes alone, but
// for the program, the focus and the flash, which the camera's values would
// otherwise override: they become Canon's "not available".
TEST_F(TAVMetadataWritterMgrTest, UnknownChoicesMarkTheCanonProgramFocusAndFlashNotAvailable)
{
    const QString canon = ImageFixtures::copySample("npm-canon-s40.jpg", tempFolder());
    const auto canonNotes = [&] {
        QJsonObject notes;
        const QJsonObject tags = exifToolNumbers(canon);
        for (auto it = tags.begin(); it != tags.end(); ++it) {
            if (it.key().startsWith(QLatin1String("Canon:")))
                notes.insert(it.key(), it.value());
        }
        return notes;
    };
    QJsonObject expected = canonNotes();
    ASSERT_TRUE(expected.contains("Canon:CanonExposureMode") && expected.contains("Canon:FocusRange"));
    expected.insert("Canon:CanonExposureMode", -1);
    expected.insert("Canon:FocusRange", -1);
    expected.insert("Canon:CanonFlashMode", -1);
    // exiftool lists no flash activity that is not available.
    expected.remove("Canon:FlashActivity");
    TAVMetadataWritterMgr manager(canon);
    for (const QString& key : {kFocus, kExposureProgram, QString("Exif.Photo.Contrast"),
             QString("Exif.Photo.WhiteBalance"), QString("Exif.Photo.ISOSpeedRatings")}) {
        manager.clearOneMetadata(key);
    }
    EXPECT_TRUE(manager.writeMetadat("Unknown", kFlash));
    EXPECT_TRUE(writeAndSave(manager, kFocus, "Unknown"));
    const QJsonObject notes = canonNotes();
    for (auto it = expected.begin(); it != expected.end(); ++it)
        EXPECT_EQ(notes.value(it.key()), it.value()) << qPrintable(it.key());
    EXPECT_EQ(notes.size(), expected.size());
    TAVMetadataReaderMgr reader(canon);
    reader.readAllMetadata();
    EXPECT_EQ(reader.getSensitivity(), "100");
    // The camera's "did not fire" no longer answers for the erased flash.
    EXPECT_EQ(reader.getFlash(), "Unknown");
}

// Any choice but "Unknown" leaves Canon's program and focus members saying
// that choice, in the camera's own numbers, never "not available".
TEST_F(TAVMetadataWritterMgrTest, CanonChoicesWriteTheirOwnMakerNoteValues)
{
    const QString canon = ImageFixtures::copySample("npm-canon-s40.jpg", tempFolder());
    TAVMetadataWritterMgr manager(canon);
    struct Choice {
        QString key;
        QString label;
        QList<QPair<QString, int>> notes;
    };
    const QList<Choice> choices = {
        {kExposureProgram, "Manual", {{"Canon:CanonExposureMode", 4}}},
        {kExposureProgram, "Aperture Priority", {{"Canon:CanonExposureMode", 3}}},
        {kExposureProgram, "Portrait", {{"Canon:CanonExposureMode", 0}, {"Canon:EasyMode", 8}}},
        {kExposureProgram, "Close Up", {{"Canon:CanonExposureMode", 0}, {"Canon:EasyMode", 10}}},
        {kFocus, "Macro", {{"Canon:FocusRange", 3}}},
        {kFocus, "Infinity", {{"Canon:FocusRange", 7}}},
        {kFocus, "Manual", {{"Canon:FocusRange", 0}}},
    };
    for (const Choice& choice : choices) {
        EXPECT_TRUE(writeAndSave(manager, choice.key, choice.label)) << qPrintable(choice.label);
        const QJsonObject tags = exifToolNumbers(canon);
        for (const auto& [note, value] : choice.notes)
            EXPECT_EQ(tags.value(note).toInt(), value) << qPrintable(choice.label + " " + note);
        TAVMetadataReaderMgr reader(canon);
        reader.readAllMetadata();
        EXPECT_EQ(choice.key == kFocus ? reader.getFocusMode() : reader.getExposureProgram(), choice.label)
            << qPrintable(choice.label);
    }
}

TEST_F(LabelRoundTripTest, NumberFieldsComeBackAsTheExposureTabShowsThem)
{
    const QString path = imageWith({tag("Exif.Photo.ExposureIndex", "100/1")});
    TAVMetadataWritterMgr manager(path);
    const QList<TAVEntityPtr> fields = {entity("Exif.Photo.ExposureTime", "1/200"), entity("Exif.Photo.FNumber", "2.8"),
        entity("Exif.Photo.ISOSpeedRatings", "400"), entity("Exif.Photo.SubjectDistance", "3"),
        entity("Exif.Photo.FocalLength", "50"), entity("Exif.Photo.FocalLengthIn35mmFilm", "75"),
        entity("Exif.Photo.DigitalZoomRatio", "2")};
    EXPECT_EQ(manager.batchWriteMetadata(fields, true), QStringList());
    ASSERT_TRUE(manager.saveMetadataToImage());

    TAVMetadataReaderMgr reader(path);
    reader.readAllMetadata();
    EXPECT_EQ(reader.getShutterSpeed(), "1/200");
    EXPECT_EQ(reader.getAperture(), "2.80");
    EXPECT_EQ(reader.getSensitivity(), "400");
    EXPECT_EQ(reader.getSubjectDistance(), "3");
    EXPECT_EQ(reader.getFocalLength(), "50");
    EXPECT_EQ(reader.getFocalLength35(), "75");
    EXPECT_EQ(reader.getDigitalZoom(), "2");
}

TEST_F(LabelRoundTripTest, MakerNoteLabelsComeBackOnTheCamerasThatOfferThem)
{
    const Getter readProgram = &TAVMetadataReaderMgr::getExposureProgram;
    const Getter readFocus = &TAVMetadataReaderMgr::getFocusMode;
    const QStringList& programs = TAVKeyLists::exposureProgramLabels();
    const QStringList& focusModes = TAVKeyLists::focusModeLabels();
    const auto expectLabelsBack = [&](const QString& path, const QList<int>& programPositions) {
        EXPECT_EQ(labelsLost(path, kExposureProgram, programs, programPositions, readProgram), QStringList());
        EXPECT_EQ(labelsLost(path, kFocus, focusModes, {1, 2}, readFocus), QStringList());
        EXPECT_TRUE(ExifTool::warnings(path).isEmpty())
            << ExifTool::warnings(path).join(QLatin1Char('\n')).toStdString();
    };

    // The last program, "Automatic", goes into the camera's own program alone.
    const QString nikon = imageWith({tag("Exif.Image.Make", "NIKON CORPORATION"), tag("Exif.Nikon3.Quality", "FINE"),
        tag("Exif.Nikon3.Focus", "AF-S"), tag("Exif.Photo.ExposureProgram", "3")});
    expectLabelsBack(nikon, {3, 10, 11, 12, 1, 2});
    expectValues(nikon, {{"Exif.Nikon3.VariProgram", "AUTO"}, {"Exif.Photo.ExposureProgram", "0"}});

    expectLabelsBack(imageWith({tag("Exif.Image.Make", "FUJIFILM"), tag("Exif.Fujifilm.Quality", "NORMAL")}), {11});
    expectLabelsBack(imageWith({tag("Exif.Image.Make", "NIKON"), tag("Exif.Nikon1.Quality", "FINE")}), {});
    expectLabelsBack(imageWith({tag("Exif.Image.Make", "SIGMA"), tag("Exif.Sigma.SerialNumber", "1234")}), {});

    // exiftool reads the real camera's own notes the same way.
    const QString canon = ImageFixtures::copySample("npm-canon-s40.jpg", tempFolder());
    expectLabelsBack(canon, {2, 11, 12});
    const QJsonObject canonTags = exifToolNumbers(canon);
    EXPECT_EQ(canonTags.value("Canon:EasyMode").toInt(), 10);
    EXPECT_EQ(canonTags.value("Canon:FocusType").toInt(), 0);

    // Without a maker note "Auto" focus has no tag to go to, and a file that
    // held no distance range gets no "unknown" one either.
    const QString plain = imageWith({});
    TAVMetadataWritterMgr plainManager(plain);
    EXPECT_TRUE(writeAndSave(plainManager, kFocus, "Auto"));
    expectValues(plain, {{"Exif.Photo.SubjectDistanceRange", nullptr}});
}

} // namespace

// The XP title is a Byte tag: text goes in as UTF-16LE and reads back the same,
// also outside Latin-1; an emptied title removes the tag.
TEST_F(TAVMetadataWritterMgrTest, XpTitleTextGoesInAsWindowsTextAndReadsBack)
{
    const QString path = imageWith({});
    TAVMetadataWritterMgr manager(path);
    EXPECT_TRUE(writeAndSave(manager, "Exif.Image.XPTitle", "IMG_0042"));
    EXPECT_EQ(ExifTool::read(path).value("IFD0:XPTitle").toString(), "IMG_0042");
    EXPECT_TRUE(writeAndSave(manager, "Exif.Image.XPTitle", "Été 日本"));
    EXPECT_EQ(ExifTool::read(path).value("IFD0:XPTitle").toString(), QString::fromUtf8("Été 日本"));
    EXPECT_TRUE(writeAndSave(manager, "Exif.Image.XPTitle", ""));
    expectValues(path, {{"Exif.Image.XPTitle", nullptr}});
}

// Presets keep the hemisphere as the word the GPS tab shows; the file gets the
// letter, whatever the case of the word.
TEST_F(TAVMetadataWritterMgrTest, HemisphereWordsGoInAsTheirLetters)
{
    const QString path = imageWith({});
    TAVMetadataWritterMgr manager(path);
    EXPECT_TRUE(writeAndSave(manager, "Exif.GPSInfo.GPSLatitudeRef", "South"));
    EXPECT_TRUE(writeAndSave(manager, "Exif.GPSInfo.GPSLongitudeRef", " west "));
    expectValues(path, {{"Exif.GPSInfo.GPSLatitudeRef", "S"}, {"Exif.GPSInfo.GPSLongitudeRef", "W"}});
    EXPECT_TRUE(writeAndSave(manager, "Exif.GPSInfo.GPSLatitudeRef", "n"));
    EXPECT_TRUE(writeAndSave(manager, "Exif.GPSInfo.GPSLongitudeRef", "EAST"));
    expectValues(path, {{"Exif.GPSInfo.GPSLatitudeRef", "N"}, {"Exif.GPSInfo.GPSLongitudeRef", "E"}});
}

// A clear of one key writes its "unknown" stand-in only where it replaces
// the file's value or hides a maker note's: a camera file that held none of
// these tags gets none of them, a Fujifilm note's tone gets the contrast's
// "unknown" and no sharpness.
TEST_F(TAVMetadataWritterMgrTest, AClearAddsNoUnknownWhereItHidesNothing)
{
    const QStringList standIns
        = {"Exif.Photo.SensingMethod", "Exif.Photo.SubjectDistanceRange", "Exif.Photo.ExposureProgram",
            "Exif.Photo.WhiteBalance", "Exif.Photo.Contrast", "Exif.Photo.Saturation", "Exif.Photo.Sharpness"};
    const auto exifOf = [](const QString& path) {
        QJsonObject exif = ExifTool::read(path);
        for (const QString& key : exif.keys()) {
            if (!key.startsWith("IFD") && !key.startsWith("ExifIFD:") && !key.startsWith("GPS:"))
                exif.remove(key);
        }
        return exif;
    };
    const QString camera = ImageFixtures::copySample("1x1_exif_xmp.jpg", tempFolder());
    const QJsonObject before = exifOf(camera);
    ASSERT_TRUE(before.contains("ExifIFD:ColorSpace"));
    TAVMetadataWritterMgr manager(camera);
    for (const QString& key : standIns)
        EXPECT_TRUE(manager.clearOneMetadata(key)) << qPrintable(key);
    EXPECT_TRUE(writeAndSave(manager, "Exif.Photo.Contrast", "Unknown"));
    EXPECT_EQ(exifOf(camera), before);

    const QString fujifilm = imageWith({tag("Exif.Image.Make", "FUJIFILM"), tag("Exif.Fujifilm.Tone", "256")});
    ASSERT_TRUE(exifToolNumbers(fujifilm).contains("FujiFilm:Contrast"));
    TAVMetadataWritterMgr fujifilmManager(fujifilm);
    EXPECT_TRUE(fujifilmManager.clearOneMetadata("Exif.Photo.Contrast"));
    EXPECT_TRUE(fujifilmManager.clearOneMetadata("Exif.Photo.Sharpness"));
    ASSERT_TRUE(fujifilmManager.saveMetadataToImage());
    const QJsonObject tags = exifToolNumbers(fujifilm);
    EXPECT_EQ(tags.value("ExifIFD:Contrast").toInt(), 3);
    EXPECT_FALSE(tags.contains("ExifIFD:Sharpness"));

    // A light source without a white balance is the balance the file
    // shows: clearing the balance, or choosing "Unknown", takes it and
    // writes no balance in its place.
    const QString lightOnly = imageWith({tag("Exif.Photo.LightSource", "1")});
    ASSERT_EQ(exifToolNumbers(lightOnly).value("ExifIFD:LightSource").toInt(), 1);
    const QString chosen = imageWith({tag("Exif.Photo.LightSource", "1")});
    TAVMetadataWritterMgr clearing(lightOnly);
    EXPECT_TRUE(clearing.clearOneMetadata("Exif.Photo.WhiteBalance"));
    ASSERT_TRUE(clearing.saveMetadataToImage());
    TAVMetadataWritterMgr choosing(chosen);
    EXPECT_TRUE(writeAndSave(choosing, "Exif.Photo.WhiteBalance", "Unknown"));
    for (const QString& path : {lightOnly, chosen})
        expectValues(path, {{"Exif.Photo.LightSource", nullptr}, {"Exif.Photo.WhiteBalance", nullptr}});
}
