#include "models/TAVMetadataWritterMgr.h"

#include "models/TAVCVSParaser.h"
#include "models/TAVKeyLists.h"
#include "models/TAVMetadataReaderMgr.h"
#include "support/ExifTool.h"
#include "support/ImageFixtures.h"
#include "support/QtPrinters.h"
#include "support/TempFolder.h"
#include "WrittenFileProbe.h"

#include <QFile>

#include <functional>

namespace {

using ImageFixtures::Tag;
using WrittenFileProbe::value;

const QString kFlash = QStringLiteral("Exif.Photo.Flash");
const QString kImageDateTime = QStringLiteral("Exif.Image.DateTime");
const QString kDateTimeOriginal = QStringLiteral("Exif.Photo.DateTimeOriginal");
const QString kDateTimeDigitized = QStringLiteral("Exif.Photo.DateTimeDigitized");

Tag tag(const char* key, const char* text)
{
    return {QString::fromLatin1(key), QString::fromUtf8(text), std::nullopt};
}

QByteArray contents(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
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

    EXPECT_TRUE(writeAndSave(manager, kFlash, QStringLiteral("Fired")));
    EXPECT_EQ(value(path, QStringLiteral("Exif.Fujifilm.FlashMode")), QStringLiteral("0"));
    EXPECT_EQ(ExifTool::read(path, {QStringLiteral("-n")}).value(QStringLiteral("ExifIFD:Flash")).toInt(), 25);
    EXPECT_TRUE(writeAndSave(manager, kFlash, QStringLiteral("Forced")));
    EXPECT_EQ(ExifTool::read(path).value(QStringLiteral("FujiFilm:FujiFlashMode")).toString(), QStringLiteral("On"));

    EXPECT_TRUE(writeAndSave(manager, kFlash, QStringLiteral("Unknown")));
    EXPECT_TRUE(value(path, kFlash).isNull());
    EXPECT_TRUE(value(path, QStringLiteral("Exif.Fujifilm.FlashMode")).isNull());

    // A real Canon file's own flash notes follow the choice.
    const QString canon = ImageFixtures::copySample(QStringLiteral("npm-canon-s40.jpg"), tempFolder());
    TAVMetadataWritterMgr canonManager(canon);
    EXPECT_TRUE(writeAndSave(canonManager, kFlash, QStringLiteral("Fired")));
    const QJsonObject canonTags = ExifTool::read(canon, {QStringLiteral("-n")});
    EXPECT_EQ(canonTags.value(QStringLiteral("ExifIFD:Flash")).toInt(), 25);
    EXPECT_EQ(canonTags.value(QStringLiteral("Canon:CanonFlashMode")).toInt(), 1);
    EXPECT_EQ(canonTags.value(QStringLiteral("Canon:FlashActivity")).toInt(), 1);

    // The maker tag is only written where the camera wrote one.
    const QString plain = imageWith({});
    TAVMetadataWritterMgr plainManager(plain);
    EXPECT_TRUE(writeAndSave(plainManager, kFlash, QStringLiteral("Red eye")));
    EXPECT_EQ(value(plain, kFlash), QStringLiteral("65"));
    EXPECT_TRUE(value(plain, QStringLiteral("Exif.Fujifilm.FlashMode")).isNull());
}

// The label round trips below use our own reader; here exiftool checks that
// the numbers mean what the labels say.
TEST_F(TAVMetadataWritterMgrTest, LabelsWriteTheNumbersTheStandardGivesThem)
{
    const QString path = imageWith({});
    TAVMetadataWritterMgr manager(path);
    EXPECT_TRUE(writeAndSave(manager, QStringLiteral("Exif.Photo.MeteringMode"), QStringLiteral("Partial")));
    EXPECT_EQ(ExifTool::read(path).value(QStringLiteral("ExifIFD:MeteringMode")).toString(), QStringLiteral("Partial"));
    EXPECT_TRUE(writeAndSave(manager, QStringLiteral("Exif.Photo.MeteringMode"), QStringLiteral("Matrix")));
    EXPECT_TRUE(writeAndSave(manager, QStringLiteral("Exif.Photo.WhiteBalance"), QStringLiteral("Shade")));

    const QJsonObject tags = ExifTool::read(path, {QStringLiteral("-n")});
    EXPECT_EQ(tags.value(QStringLiteral("ExifIFD:MeteringMode")).toInt(), 5);
    EXPECT_EQ(tags.value(QStringLiteral("ExifIFD:WhiteBalance")).toInt(), 1);
    EXPECT_EQ(tags.value(QStringLiteral("ExifIFD:LightSource")).toInt(), 11);
    // A light source the table does not know fails the white balance; an
    // unknown balance takes the light source with it.
    EXPECT_FALSE(writeAndSave(manager, QStringLiteral("Exif.Photo.WhiteBalance"), QStringLiteral("Tungsten")));
    EXPECT_TRUE(writeAndSave(manager, QStringLiteral("Exif.Photo.WhiteBalance"), QStringLiteral("Unknown")));
    EXPECT_TRUE(value(path, QStringLiteral("Exif.Photo.LightSource")).isNull());
}

TEST_F(TAVMetadataWritterMgrTest, SensitivityGoesWhereTheCameraKeptItAndMakerCopiesGo)
{
    const QString iso = QStringLiteral("Exif.Photo.ISOSpeedRatings");
    const QString index = QStringLiteral("Exif.Photo.ExposureIndex");

    const QString indexOnly = imageWith({tag("Exif.Photo.ExposureIndex", "100/1")});
    TAVMetadataWritterMgr indexManager(indexOnly);
    EXPECT_TRUE(writeAndSave(indexManager, iso, QStringLiteral("200")));
    EXPECT_EQ(value(indexOnly, index), QStringLiteral("200/1"));
    EXPECT_TRUE(value(indexOnly, iso).isNull());

    // The erase list starts with a key this library rejects; the Nikon copy
    // after it must still go.
    const QString nikon = imageWith({tag("Exif.Image.Make", "NIKON CORPORATION"), tag("Exif.Nikon3.Quality", "FINE"),
                                     tag("Exif.Nikon3.ISOSpeed", "0 800")});
    TAVMetadataWritterMgr nikonManager(nikon);
    EXPECT_TRUE(writeAndSave(nikonManager, iso, QStringLiteral("200")));
    EXPECT_EQ(value(nikon, iso), QStringLiteral("200"));
    EXPECT_TRUE(value(nikon, index).isNull());
    EXPECT_TRUE(value(nikon, QStringLiteral("Exif.Nikon3.ISOSpeed")).isNull());
}

TEST_F(TAVMetadataWritterMgrTest, ClearsSetUnknownValuesAndEraseTheMakersCopies)
{
    const QString path = imageWith({tag("Exif.Image.Make", "FUJIFILM"), tag("Exif.Fujifilm.Tone", "256"),
                                    tag("Exif.Fujifilm.Color", "0"), tag("Exif.Photo.Contrast", "2"),
                                    tag("Exif.Photo.SensingMethod", "2"), tag("Exif.Photo.FNumber", "28/10"),
                                    tag("Exif.Photo.ApertureValue", "3/1")});
    TAVMetadataWritterMgr manager(path);
    EXPECT_TRUE(manager.clearOneMetadata(QStringLiteral("Exif.Photo.Contrast")));
    EXPECT_TRUE(manager.clearOneMetadata(QStringLiteral("Exif.Photo.SensingMethod")));
    EXPECT_TRUE(manager.clearOneMetadata(QStringLiteral("Exif.Photo.FNumber")));
    ASSERT_TRUE(manager.saveMetadataToImage());

    EXPECT_EQ(value(path, QStringLiteral("Exif.Photo.Contrast")), QStringLiteral("3"));
    EXPECT_TRUE(value(path, QStringLiteral("Exif.Fujifilm.Tone")).isNull());
    EXPECT_EQ(value(path, QStringLiteral("Exif.Photo.SensingMethod")), QStringLiteral("1"));
    EXPECT_EQ(value(path, QStringLiteral("Exif.Fujifilm.Color")), QStringLiteral("0"));
    EXPECT_TRUE(value(path, QStringLiteral("Exif.Photo.FNumber")).isNull());
    EXPECT_TRUE(value(path, QStringLiteral("Exif.Photo.ApertureValue")).isNull());
}

TEST_F(TAVMetadataWritterMgrTest, DatesGoBackToTheExifFormOrAreErasedOrRefused)
{
    const QString path = imageWith({tag("Exif.Image.DateTime", "2001:01:01 01:01:01"),
                                    tag("Exif.Photo.DateTimeOriginal", "2001:01:01 01:01:01"),
                                    tag("Exif.Photo.DateTimeDigitized", "2001:01:01 01:01:01")});
    TAVMetadataWritterMgr manager(path);

    EXPECT_TRUE(writeAndSave(manager, kImageDateTime, QStringLiteral("2015-03-01 10:20:30")));
    for (const QString& key : {kImageDateTime, kDateTimeOriginal, kDateTimeDigitized}) {
        EXPECT_EQ(value(path, key), QStringLiteral("2015:03:01 10:20:30")) << key.toStdString();
    }

    // A time without its date names no day: refused rather than put on a made-up one.
    EXPECT_FALSE(writeAndSave(manager, kImageDateTime, QStringLiteral("first of March")));
    EXPECT_FALSE(writeAndSave(manager, kImageDateTime, QStringLiteral(" 11:00:00")));
    EXPECT_EQ(value(path, kDateTimeOriginal), QStringLiteral("2015:03:01 10:20:30"));

    EXPECT_TRUE(writeAndSave(manager, kDateTimeOriginal, QStringLiteral("2016-04-02 11:21:31")));
    EXPECT_EQ(value(path, kDateTimeOriginal), QStringLiteral("2016:04:02 11:21:31"));
    EXPECT_EQ(value(path, kImageDateTime), QStringLiteral("2015:03:01 10:20:30"));

    // A cleared date arrives as an empty date and time joined by a blank, or
    // as a clear of the date key.
    EXPECT_TRUE(writeAndSave(manager, kImageDateTime, QStringLiteral(" ")));
    for (const QString& key : {kImageDateTime, kDateTimeOriginal, kDateTimeDigitized}) {
        EXPECT_TRUE(value(path, key).isNull()) << key.toStdString();
    }
    EXPECT_TRUE(writeAndSave(manager, kImageDateTime, QStringLiteral("2015:03:01 10:20:30")));
    EXPECT_EQ(value(path, kDateTimeDigitized), QStringLiteral("2015:03:01 10:20:30"));
    EXPECT_TRUE(manager.clearOneMetadata(kImageDateTime));
    ASSERT_TRUE(manager.saveMetadataToImage());
    for (const QString& key : {kImageDateTime, kDateTimeOriginal, kDateTimeDigitized}) {
        EXPECT_TRUE(value(path, key).isNull()) << key.toStdString();
    }
}

TEST_F(TAVMetadataWritterMgrTest, NumbersBecomeFractionsWithoutTouchingTheCallersEntity)
{
    const QString path = imageWith({tag("Exif.Photo.FocalLength", "50/1"), tag("Exif.Photo.ExposureTime", "1/60"),
                                    tag("Exif.Photo.ShutterSpeedValue", "6/1"), tag("Exif.Photo.FocalLengthIn35mmFilm", "75"),
                                    tag("Exif.Photo.SubjectDistance", "3/1"), tag("Exif.Photo.DigitalZoomRatio", "2/1"),
                                    tag("Exif.Photo.ISOSpeedRatings", "100")});
    TAVMetadataWritterMgr manager(path);
    const TAVEntityPtr aperture = TAVEntity::entityWithValue(QStringLiteral("2.8"), QStringLiteral("Exif.Photo.FNumber"));

    EXPECT_TRUE(manager.setAperture(aperture));
    EXPECT_EQ(aperture->value(), QStringLiteral("2.8"));
    EXPECT_TRUE(manager.setAperture(aperture));
    // The shutter fields hand over "numerator/denominator"; an empty side reads as 1.
    EXPECT_TRUE(manager.writeMetadat(QStringLiteral("/250"), QStringLiteral("Exif.Photo.ExposureTime")));
    // An emptied number field removes its value.
    const QStringList emptied = {QStringLiteral("Exif.Photo.FocalLength"), QStringLiteral("Exif.Photo.FocalLengthIn35mmFilm"),
                                 QStringLiteral("Exif.Photo.SubjectDistance"), QStringLiteral("Exif.Photo.DigitalZoomRatio"),
                                 QStringLiteral("Exif.Photo.ISOSpeedRatings")};
    for (const QString& key : emptied) {
        EXPECT_TRUE(manager.writeMetadat(QString(""), key)) << key.toStdString();
    }
    EXPECT_TRUE(manager.writeMetadat(QStringLiteral("version 2.2.0.0"), QStringLiteral("Exif.GPSInfo.GPSVersionID")));
    ASSERT_TRUE(manager.saveMetadataToImage());

    EXPECT_EQ(value(path, QStringLiteral("Exif.Photo.FNumber")), QStringLiteral("28/10"));
    EXPECT_EQ(value(path, QStringLiteral("Exif.Photo.ExposureTime")), QStringLiteral("1/250"));
    EXPECT_TRUE(value(path, QStringLiteral("Exif.Photo.ShutterSpeedValue")).isNull());
    for (const QString& key : emptied) {
        EXPECT_TRUE(value(path, key).isNull()) << key.toStdString();
    }
    EXPECT_EQ(value(path, QStringLiteral("Exif.GPSInfo.GPSVersionID")), QStringLiteral("2 2 0 0"));

    EXPECT_TRUE(writeAndSave(manager, QStringLiteral("Exif.Photo.ExposureTime"), QStringLiteral("/")));
    EXPECT_TRUE(value(path, QStringLiteral("Exif.Photo.ExposureTime")).isNull());
}

TEST_F(TAVMetadataWritterMgrTest, NegativeOrHugeNumbersAreRefusedForUnsignedFractions)
{
    const QString path = imageWith({tag("Exif.Photo.FNumber", "4/1"), tag("Exif.Photo.FocalLength", "50/1")});
    TAVMetadataWritterMgr manager(path);

    EXPECT_FALSE(manager.setAperture(TAVEntity::entityWithValue(QStringLiteral("-2.8"), QStringLiteral("Exif.Photo.FNumber"))));
    EXPECT_FALSE(manager.writeMetadat(QStringLiteral("1e30"), QStringLiteral("Exif.Photo.FocalLength")));
    ASSERT_TRUE(manager.saveMetadataToImage());

    EXPECT_EQ(value(path, QStringLiteral("Exif.Photo.FNumber")), QStringLiteral("4/1"));
    EXPECT_EQ(value(path, QStringLiteral("Exif.Photo.FocalLength")), QStringLiteral("50/1"));
}

TEST_F(TAVMetadataWritterMgrTest, BatchesReportFailedKeysAndRouteEveryFamily)
{
    const QString path = imageWith(
        {tag("Exif.Image.Artist", "Old"), tag("Exif.Image.Copyright", "Old"), tag("Xmp.dc.source", "Old scan")});
    TAVMetadataWritterMgr manager(path);
    const auto make = [](const char* key, const char* text, bool clear = false) {
        TAVEntityPtr entity = TAVEntity::entityWithValue(QString::fromUtf8(text), QString::fromLatin1(key));
        entity->setIsClear(clear);
        return entity;
    };
    const QList<TAVEntityPtr> batch = {
        make("Exif.Photo.Contrast", "Vivid"),
        make("Exif.Image.Artist", "Ann"),
        make("Exif.Image.Copyright", "", true),
        make("Xmp.dc.title", "Harbour"),
        make("Summary.ImageSize", "64 x 48"),
        make("Iptc.Application2.Caption", "Boats at dawn"),
        make("Xmp.dc.source", "", true),
    };

    const QByteArray before = contents(path);
    EXPECT_EQ(manager.batchWriteMetadata(batch, false), QStringList{QStringLiteral("Exif.Photo.Contrast")});
    EXPECT_EQ(manager.batchWriteMetadata(batch, true), QStringList{QStringLiteral("Exif.Photo.Contrast")});
    EXPECT_FALSE(manager.writeMetadat(QStringLiteral("x"), QString()));
    EXPECT_EQ(contents(path), before);
    ASSERT_TRUE(manager.saveMetadataToImage());

    const QJsonObject tags = ExifTool::read(path);
    EXPECT_EQ(tags.value(QStringLiteral("IFD0:Artist")).toString(), QStringLiteral("Ann"));
    EXPECT_FALSE(tags.contains(QStringLiteral("IFD0:Copyright")));
    EXPECT_EQ(tags.value(QStringLiteral("XMP-dc:Title")).toString(), QStringLiteral("Harbour"));
    EXPECT_EQ(tags.value(QStringLiteral("IPTC:Caption-Abstract")).toString(), QStringLiteral("Boats at dawn"));
    EXPECT_FALSE(tags.contains(QStringLiteral("XMP-dc:Source")));
}

// exiftool reads the real cameras' maker notes the same after a write as
// before, apart from the tags the write changed.
TEST_F(TAVMetadataWritterMgrTest, RealCameraMakerNotesStayReadableAfterAWrite)
{
    const auto makerTags = [](const QJsonObject& tags, const QString& group) {
        QJsonObject found;
        for (auto it = tags.begin(); it != tags.end(); ++it) {
            if (it.key().startsWith(group)) {
                found.insert(it.key(), it.value());
            }
        }
        return found;
    };
    const auto artist = TAVEntity::entityWithValue(QStringLiteral("Ann"), QStringLiteral("Exif.Image.Artist"));
    for (const auto& [sample, group] : {std::pair{"npm-canon-s40.jpg", "Canon:"}, {"npm-iphone6p.jpg", "Apple:"}}) {
        const QString path = ImageFixtures::copySample(QString::fromLatin1(sample), tempFolder());
        const QJsonObject before = makerTags(ExifTool::read(path, {QStringLiteral("-n")}), QString::fromLatin1(group));
        ASSERT_GT(before.size(), 5) << sample;

        TAVMetadataWritterMgr manager(path);
        EXPECT_TRUE(manager.batchWriteMetadata({artist}, true).isEmpty());
        ASSERT_TRUE(manager.saveMetadataToImage());
        const QJsonObject after = ExifTool::read(path, {QStringLiteral("-n")});
        EXPECT_EQ(after.value(QStringLiteral("IFD0:Artist")).toString(), QStringLiteral("Ann")) << sample;
        EXPECT_EQ(makerTags(after, QString::fromLatin1(group)), before) << sample;
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

    static Getter valueOf(TAVMetadataReaderMgr::LabelAndIcon (TAVMetadataReaderMgr::*getter)() const)
    {
        return [getter](const TAVMetadataReaderMgr& reader) {
            return (reader.*getter)().value(QString::fromLatin1(TAVMetadataReaderMgr::kValueKey));
        };
    }

    static Getter textOf(QString (TAVMetadataReaderMgr::*getter)() const)
    {
        return [getter](const TAVMetadataReaderMgr& reader) { return (reader.*getter)(); };
    }
};

TEST_F(LabelRoundTripTest, StandardTagLabelsComeBackOnAnyCamera)
{
    const QString path = imageWith({});
    const auto check = [&](const char* key, const QStringList& labels, const QList<int>& which, const Getter& read) {
        EXPECT_EQ(labelsLost(path, QString::fromLatin1(key), labels, which, read), QStringList()) << key;
    };
    check("Exif.Photo.Flash", TAVKeyLists::flashLabels(), {1, 2, 3, 4, 5, 0}, textOf(&TAVMetadataReaderMgr::getFlash));
    check("Exif.Photo.SensingMethod", TAVKeyLists::sensingMethodLabels(), {1, 2, 3, 4, 5, 6},
          textOf(&TAVMetadataReaderMgr::getSensor));
    check("Exif.Photo.SubjectDistanceRange", TAVKeyLists::focusModeLabels(), {3, 4, 5},
          textOf(&TAVMetadataReaderMgr::getFocusMode));
    check("Exif.Photo.MeteringMode", TAVKeyLists::meteringModeLabels(), {1, 2, 3, 4, 5, 6, 0},
          textOf(&TAVMetadataReaderMgr::getMeteringMode));
    check("Exif.Photo.ExposureProgram", TAVKeyLists::exposureProgramLabels(), {1, 2, 4, 5, 6, 7, 8, 9, 0},
          textOf(&TAVMetadataReaderMgr::getExposureProgram));
    check("Exif.Photo.WhiteBalance", TAVKeyLists::whiteBalanceLabels(), {1, 2, 3, 4, 5, 6, 0},
          valueOf(&TAVMetadataReaderMgr::getWhitebalance));
    check("Exif.Photo.Contrast", TAVKeyLists::contrastLabels(), {1, 2, 3, 0}, valueOf(&TAVMetadataReaderMgr::getContrast));
    check("Exif.Photo.Saturation", TAVKeyLists::saturationLabels(), {1, 2, 3, 0},
          valueOf(&TAVMetadataReaderMgr::getSaturation));
    check("Exif.Photo.Sharpness", TAVKeyLists::sharpnessLabels(), {1, 2, 3, 0}, valueOf(&TAVMetadataReaderMgr::getSharpness));
}

TEST_F(LabelRoundTripTest, NumberFieldsComeBackAsTheExposureTabShowsThem)
{
    const QString path = imageWith({tag("Exif.Photo.ExposureIndex", "100/1")});
    TAVMetadataWritterMgr manager(path);
    const QList<TAVEntityPtr> fields = {
        TAVEntity::entityWithValue(QStringLiteral("1/200"), QStringLiteral("Exif.Photo.ExposureTime")),
        TAVEntity::entityWithValue(QStringLiteral("2.8"), QStringLiteral("Exif.Photo.FNumber")),
        TAVEntity::entityWithValue(QStringLiteral("400"), QStringLiteral("Exif.Photo.ISOSpeedRatings")),
        TAVEntity::entityWithValue(QStringLiteral("3"), QStringLiteral("Exif.Photo.SubjectDistance")),
        TAVEntity::entityWithValue(QStringLiteral("50"), QStringLiteral("Exif.Photo.FocalLength")),
        TAVEntity::entityWithValue(QStringLiteral("75"), QStringLiteral("Exif.Photo.FocalLengthIn35mmFilm")),
        TAVEntity::entityWithValue(QStringLiteral("2"), QStringLiteral("Exif.Photo.DigitalZoomRatio")),
    };
    EXPECT_EQ(manager.batchWriteMetadata(fields, true), QStringList());
    ASSERT_TRUE(manager.saveMetadataToImage());

    TAVMetadataReaderMgr reader(path);
    reader.readAllMetadata();
    EXPECT_EQ(reader.getShutterSpeed(), QStringLiteral("1/200"));
    EXPECT_EQ(reader.getAperture(), QStringLiteral("2.80"));
    EXPECT_EQ(reader.getSensitivity(), QStringLiteral("400"));
    EXPECT_EQ(reader.getSubjectDistance(), QStringLiteral("3"));
    EXPECT_EQ(reader.getFocalLength(), QStringLiteral("50"));
    EXPECT_EQ(reader.getFocalLength35(), QStringLiteral("75"));
    EXPECT_EQ(reader.getDigitalZoom(), QStringLiteral("2"));
}

TEST_F(LabelRoundTripTest, MakerNoteLabelsComeBackOnTheCamerasThatOfferThem)
{
    const QString program = QStringLiteral("Exif.Photo.ExposureProgram");
    const QString focus = QStringLiteral("Exif.Photo.SubjectDistanceRange");
    const Getter readProgram = textOf(&TAVMetadataReaderMgr::getExposureProgram);
    const Getter readFocus = textOf(&TAVMetadataReaderMgr::getFocusMode);
    const QStringList& programs = TAVKeyLists::exposureProgramLabels();
    const QStringList& focusModes = TAVKeyLists::focusModeLabels();

    const QString nikon = imageWith({tag("Exif.Image.Make", "NIKON CORPORATION"), tag("Exif.Nikon3.Quality", "FINE"),
                                     tag("Exif.Nikon3.Focus", "AF-S"), tag("Exif.Photo.ExposureProgram", "3")});
    EXPECT_EQ(labelsLost(nikon, program, programs, QList<int>{3, 10, 11, 12, 1, 2}, readProgram), QStringList());
    // "Automatic" goes into the camera's own program alone.
    EXPECT_EQ(value(nikon, QStringLiteral("Exif.Nikon3.VariProgram")), QStringLiteral("AUTO"));
    EXPECT_EQ(value(nikon, program), QStringLiteral("0"));
    EXPECT_EQ(labelsLost(nikon, focus, focusModes, QList<int>{1, 2}, readFocus), QStringList());
    EXPECT_TRUE(ExifTool::warnings(nikon).isEmpty()) << ExifTool::warnings(nikon).join(QLatin1Char('\n')).toStdString();

    const QString fujifilm = imageWith({tag("Exif.Image.Make", "FUJIFILM"), tag("Exif.Fujifilm.Quality", "NORMAL")});
    EXPECT_EQ(labelsLost(fujifilm, program, programs, QList<int>{11}, readProgram), QStringList());
    EXPECT_EQ(labelsLost(fujifilm, focus, focusModes, QList<int>{1, 2}, readFocus), QStringList());

    const QString canon = ImageFixtures::copySample(QStringLiteral("npm-canon-s40.jpg"), tempFolder());
    EXPECT_EQ(labelsLost(canon, program, programs, QList<int>{2, 11, 12}, readProgram), QStringList());
    EXPECT_EQ(labelsLost(canon, focus, focusModes, QList<int>{1, 2}, readFocus), QStringList());
    // exiftool reads the camera's own notes the same way.
    EXPECT_TRUE(ExifTool::warnings(canon).isEmpty()) << ExifTool::warnings(canon).join(QLatin1Char('\n')).toStdString();
    const QJsonObject canonTags = ExifTool::read(canon, {QStringLiteral("-n")});
    EXPECT_EQ(canonTags.value(QStringLiteral("Canon:EasyMode")).toInt(), 10);
    EXPECT_EQ(canonTags.value(QStringLiteral("Canon:FocusType")).toInt(), 0);

    const QString nikon1 = imageWith({tag("Exif.Image.Make", "NIKON"), tag("Exif.Nikon1.Quality", "FINE")});
    EXPECT_EQ(labelsLost(nikon1, focus, focusModes, QList<int>{1, 2}, readFocus), QStringList());
    const QString sigma = imageWith({tag("Exif.Image.Make", "SIGMA"), tag("Exif.Sigma.SerialNumber", "1234")});
    EXPECT_EQ(labelsLost(sigma, focus, focusModes, QList<int>{1, 2}, readFocus), QStringList());

    // Without a maker note "Auto" focus has no tag to go to: only the clear's
    // "unknown" distance range remains.
    const QString plain = imageWith({});
    TAVMetadataWritterMgr plainManager(plain);
    EXPECT_TRUE(writeAndSave(plainManager, focus, QStringLiteral("Auto")));
    EXPECT_EQ(value(plain, focus), QStringLiteral("0"));
}

}  // namespace
