#include "models/image/FDMetadataContainer.h"
#include "models/formats/PngChunks.h"
#include "models/formats/PngPhotoshopChunk.h"
#include "models/read/SidecarExporter.h"
#include "models/values/FDNumberDataBit.h"

#include "foundation/FileServices.h"
#include "models/write/PngChunkMaker.h"
#include "models/write/WrittenFileProbe.h"
#include "support/ExifTool.h"
#include "support/ImageFixtures.h"
#include "support/QtPrinters.h"
#include "support/TempFolder.h"

#include <QColorSpace>
#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QImage>

#include <exiv2/exiv2.hpp>

#include <gtest/gtest.h>

namespace {

class FDMetadataContainerTest : public TempFolderTest {
protected:
    // A camera file (with an EXIF thumbnail) turned on its side, without IPTC.
    QString cameraSource()
    {
        const QString path = ImageFixtures::copySample("npm-canon-s40.jpg", tempFolder(), "source.jpg");
        EXPECT_TRUE(ImageFixtures::writeTags(path,
            {{"Exif.Image.Orientation", "6", {}}, {"Exif.GPSInfo.GPSLatitude", "40/1 0/1 1471/100", {}},
                {"Xmp.dc.title", "Harbour", {}}}));
        return path;
    }

    // A copy of the Nikon PNG given `chunks` where `insert` puts them.
    QString nikonPngWith(const QString& name, const QByteArray& chunks, void (*insert)(QByteArray&, const QByteArray&))
    {
        const QString target = ImageFixtures::copySample("png-nikon-d3.png", tempFolder(), name);
        QByteArray bytes = WrittenFileProbe::bytes(target);
        insert(bytes, chunks);
        EXPECT_TRUE(FileServices::writeFileAtomically(target, bytes));
        return target;
    }
};

} // namespace

TEST_F(FDMetadataContainerTest, ReadsEveryFamilyAndLooksUpWithoutAddingEntries)
{
    const QString path = tempPath("tagged.jpg");
    ASSERT_TRUE(ImageFixtures::makeImageWithTags(path,
        {{"Exif.Image.Model", "S40", {}}, {"Exif.GPSInfo.GPSLatitude", "40/1 0/1 1471/100", {}},
            {"Exif.Photo.ExposureTime", "1/500", {}}, {"Xmp.dc.title", "Harbour", {}},
            {"Iptc.Application2.Keywords", "sea", {}}, {"Iptc.Application2.Keywords", "boat", {}}}));
    const FDMetadataContainerPtr container = FDMetadataContainer::metadataForImageAtPath(path);
    ASSERT_NE(container, nullptr);

    const QStringList keys = container->allKeys();
    const auto firstIptc = keys.indexOf("Iptc.Application2.Keywords");
    EXPECT_LT(keys.indexOf("Exif.GPSInfo.GPSLatitude"), firstIptc);
    EXPECT_EQ(keys.count("Iptc.Application2.Keywords"), 2);
    EXPECT_EQ(keys.last(), "Xmp.dc.title");

    EXPECT_EQ(container->valueForKey("Exif.GPSInfo.GPSLatitude")->description(), "40 0 14.71");
    EXPECT_EQ((*container)["Exif.Image.Model"]->kind(), FDDataBit::Kind::String);
    const auto exposure = container->valueForKey("Exif.Photo.ExposureTime");
    EXPECT_EQ(dynamic_cast<const FDNumberDataBit&>(*exposure).values().size(), 1);
    EXPECT_EQ(container->valueForKey("Iptc.Application2.Keywords")->description(), "sea");

    // Missing, unknown and malformed keys give nothing and leave the container as it was.
    for (const char* key : {"Exif.Photo.LensModel", "Iptc.Application2.Caption", "Xmp.dc.rights",
             "Exif.Image.NoSuchTag", "Xmp.nosuchns.x", "Other.Key", ""}) {
        EXPECT_EQ(container->valueForKey(QString::fromLatin1(key)), nullptr) << key;
    }
    EXPECT_EQ(container->valueForKey(QString()), nullptr);
    EXPECT_EQ(container->allKeys(), keys);
    EXPECT_EQ(container->dictionary().size(), keys.size() - 1); // the second keyword shares its key
}

TEST_F(FDMetadataContainerTest, CloneReplacesFamiliesButNotThumbnailOrOrientation)
{
    const FDMetadataContainerPtr container = FDMetadataContainer::metadataForImageAtPath(cameraSource());
    ASSERT_NE(container, nullptr);
    ASSERT_FALSE(Exiv2::ExifThumbC(container->exifData()).copy().size_ == 0);
    // Asking for tags the source lacks must not plant empty tags in the targets.
    EXPECT_EQ(container->valueForKey("Exif.Photo.LensModel"), nullptr);
    EXPECT_EQ(container->valueForKey("Iptc.Application2.Caption"), nullptr);

    const QString target = tempPath("target.jpg");
    ASSERT_TRUE(ImageFixtures::makeImageWithTags(target,
        {{"Exif.Image.Make", "Other", {}}, {"Exif.Photo.LensModel", "Target lens", {}},
            {"Iptc.Application2.Keywords", "old", {}}, {"Xmp.dc.rights", "Target rights", {}}}));
    ASSERT_TRUE(container->saveMetadataToFileAtPath(target));
    EXPECT_FALSE(container->allKeys().contains("Exif.Image.Orientation"));

    const auto written = WrittenFileProbe::open(target);
    Exiv2::ExifData& exif = written->exifData();
    EXPECT_EQ(exif["Exif.Image.Model"].toString(), "S40");
    EXPECT_EQ(exif.findKey(Exiv2::ExifKey("Exif.Image.Orientation")), exif.end());
    EXPECT_EQ(exif.findKey(Exiv2::ExifKey("Exif.Photo.LensModel")), exif.end());
    EXPECT_EQ(Exiv2::ExifThumbC(exif).copy().size_, 0);
    EXPECT_TRUE(written->iptcData().empty());
    EXPECT_EQ(written->xmpData()["Xmp.dc.title"].toString(), "lang=\"x-default\" Harbour");
    EXPECT_EQ(written->xmpData().findKey(Exiv2::XmpKey("Xmp.dc.rights")), written->xmpData().end());

    const QJsonObject tags = ExifTool::read(target);
    EXPECT_EQ(tags.value("IFD0:Model").toString(), "S40");
    EXPECT_EQ(tags.value("IFD0:Make").toString(), "Canon");
    EXPECT_FALSE(tags.contains("IPTC:Keywords"));
    EXPECT_FALSE(tags.contains("IFD1:ThumbnailImage"));
    EXPECT_FALSE(tags.contains("ExifIFD:LensModel"));
    EXPECT_TRUE(ExifTool::warnings(target).isEmpty()) << ExifTool::warnings(target).join('\n').toStdString();
}

TEST_F(FDMetadataContainerTest, CloneOntoAPngWritesTheStandardExifChunk)
{
    const FDMetadataContainerPtr container = FDMetadataContainer::metadataForImageAtPath(cameraSource());
    ASSERT_NE(container, nullptr);
    const QString target = tempPath("target.png");
    ASSERT_TRUE(ImageFixtures::makeImage(target));
    ASSERT_TRUE(container->saveMetadataToFileAtPath(target));

    EXPECT_EQ(WrittenFileProbe::open(target)->exifData()["Exif.Image.Model"].toString(), "S40");
    // The standard chunk, not the library's private text-chunk form.
    const QByteArray bytes = WrittenFileProbe::bytes(target);
    EXPECT_TRUE(bytes.contains("eXIf"));
    EXPECT_FALSE(bytes.contains("Raw profile type exif"));
    const QJsonObject tags = ExifTool::read(target);
    EXPECT_EQ(tags.value("IFD0:Model").toString(), "S40");
    EXPECT_EQ(tags.value("GPS:GPSLatitude").toString(), QString::fromUtf8("40 deg 0' 14.71\""));
}

// A camera PNG's text chunks whose keywords begin like the library's own
// come through a clone byte for byte; onto a PNG whose IPTC is held among its
// Photoshop resources, where the cloned IPTC would stand beside it, the clone
// is refused and the file kept.
TEST_F(FDMetadataContainerTest, CloneOntoAPngKeepsItsTextChunksOrLeavesItAlone)
{
    using namespace PngChunkMaker;
    const FDMetadataContainerPtr container = FDMetadataContainer::metadataForImageAtPath(cameraSource());
    ASSERT_NE(container, nullptr);
    const QByteArrayList texts = {textChunk("tEXt", "Descriptions", "Harbour at dawn"),
        textChunk("zTXt", "Raw profile type exif2", "kept"), textChunk("iTXt", "XML", "kept")};
    const auto targetWith
        = [&](const QString& name, const QByteArray& chunks) { return nikonPngWith(name, chunks, insertBeforeEnd); };

    const QString target = targetWith("texts.png", texts.join());
    ASSERT_TRUE(container->saveMetadataToFileAtPath(target));
    const QByteArray saved = WrittenFileProbe::bytes(target);
    for (const QByteArray& chunk : texts)
        EXPECT_TRUE(chunksOf(saved).contains(chunk)) << chunk.mid(8, 12).toStdString();
    EXPECT_EQ(ExifTool::read(target).value("IFD0:Model").toString(), "S40");

    const QString photoshop = targetWith("photoshop.png", photoshopChunk(resource(0x0404, dataset(5, "BUSH"))));
    const QByteArray before = WrittenFileProbe::bytes(photoshop);
    EXPECT_FALSE(container->saveMetadataToFileAtPath(photoshop));
    EXPECT_EQ(WrittenFileProbe::bytes(photoshop), before);
}

// A clone onto a converter's PNG, which holds its IPTC among its Photoshop
// resources and again in an IPTC chunk, writes the cloned IPTC into both
// alike, as an edit does: the resolution beside the block kept byte for
// byte, the digest made the new block's. A source without IPTC takes it
// from both. Copies that differ refuse the clone, the file kept.
TEST_F(FDMetadataContainerTest, CloneOntoAConvertersPngKeepsBothIptcCopiesInStep)
{
    using namespace PngChunkMaker;
    const QString source = cameraSource();
    ASSERT_TRUE(ImageFixtures::writeTags(
        source, {{"Iptc.Application2.ObjectName", "Harbour", {}}, {"Iptc.Application2.Byline", "Lumetta Tester", {}}}));
    const FDMetadataContainerPtr container = FDMetadataContainer::metadataForImageAtPath(source);
    ASSERT_NE(container, nullptr);
    const QByteArray iptc = iptcBlock("The president speaks");
    const QByteArray resolution = resource(0x03ED, QByteArray::fromHex("00480000000100010048000000010001"));
    const auto targetWith = [&](const QString& name, const QByteArray& chunks) {
        return nikonPngWith(name, chunks, insertBeforePicture);
    };

    const QString target = targetWith("copies.png", convertersProfiles(photoshopResources(iptc), iptc));
    ASSERT_TRUE(container->saveMetadataToFileAtPath(target));
    const auto [first, second] = iptcCopiesOf(target);
    EXPECT_EQ(first.value("ObjectName").toString(), QString("Harbour"));
    EXPECT_EQ(first.value("By-line").toString(), QString("Lumetta Tester"));
    EXPECT_FALSE(first.contains("Caption-Abstract"));
    EXPECT_EQ(second, first);
    const QJsonObject tags = ExifTool::read(target);
    EXPECT_EQ(tags.value("IFD0:Model").toString(), "S40");
    EXPECT_EQ(tags.value("Photoshop:IPTCDigest").toString(),
        QCryptographicHash::hash(ExifTool::binary(target, "IPTC"), QCryptographicHash::Md5).toHex());
    EXPECT_EQ(tags.value("Photoshop:XResolution").toInt(), 72);
    const PngChunks::Walk walked = PngChunks::walk(WrittenFileProbe::bytes(target));
    const auto resources = std::find_if(walked.chunks.begin(), walked.chunks.end(),
        [](const PngChunks::Chunk& chunk) { return PngPhotoshopChunk::resourcesOf(chunk).has_value(); });
    ASSERT_NE(resources, walked.chunks.end());
    EXPECT_TRUE(PngPhotoshopChunk::resourcesOf(*resources)->startsWith(resolution));

    const FDMetadataContainerPtr withoutIptc = FDMetadataContainer::metadataForImageAtPath(cameraSource());
    ASSERT_NE(withoutIptc, nullptr);
    const QString emptied = targetWith("emptied.png", convertersProfiles(photoshopResources(iptc), iptc));
    ASSERT_TRUE(withoutIptc->saveMetadataToFileAtPath(emptied));
    const QJsonObject left = ExifTool::read(emptied, {"-a"});
    for (auto tag = left.begin(); tag != left.end(); ++tag)
        EXPECT_FALSE(tag.key().startsWith("IPTC")) << qPrintable(tag.key());
    EXPECT_EQ(left.value("Photoshop:XResolution").toInt(), 72);

    const QString differing
        = targetWith("differing.png", convertersProfiles(photoshopResources(iptc), iptcBlock("Another caption")));
    const QByteArray before = WrittenFileProbe::bytes(differing);
    EXPECT_FALSE(container->saveMetadataToFileAtPath(differing));
    EXPECT_EQ(WrittenFileProbe::bytes(differing), before);
}

TEST_F(FDMetadataContainerTest, CloneKeepsTheTargetsProfileCommentAndOrientation)
{
    const FDMetadataContainerPtr container = FDMetadataContainer::metadataForImageAtPath(cameraSource());
    ASSERT_NE(container, nullptr);

    const QString target = tempPath("profiled.jpg");
    QImage pixels(QSize(40, 30), QImage::Format_RGB32);
    pixels.fill(Qt::darkGreen);
    pixels.setColorSpace(QColorSpace(QColorSpace::AdobeRgb));
    ASSERT_TRUE(pixels.save(target));
    ASSERT_TRUE(ImageFixtures::writeTags(target, {{"Exif.Image.Orientation", "8", {}}}));
    Exiv2::DataBuf profile;
    {
        auto image = WrittenFileProbe::open(target);
        image->setComment("scanned by hand");
        image->writeMetadata();
        ASSERT_TRUE(image->iccProfileDefined());
        profile = Exiv2::DataBuf(image->iccProfile()->pData_, image->iccProfile()->size_);
    }

    ASSERT_TRUE(container->saveMetadataToFileAtPath(target));
    const auto written = WrittenFileProbe::open(target);
    ASSERT_TRUE(written->iccProfileDefined());
    EXPECT_EQ(QByteArray(reinterpret_cast<const char*>(written->iccProfile()->pData_), written->iccProfile()->size_),
        QByteArray(reinterpret_cast<const char*>(profile.pData_), profile.size_));
    EXPECT_EQ(written->comment(), "scanned by hand");
    EXPECT_EQ(written->exifData()["Exif.Image.Orientation"].toLong(), 8);
    EXPECT_EQ(written->exifData()["Exif.Image.Model"].toString(), "S40");
}

TEST_F(FDMetadataContainerTest, UnreadableFilesGiveNoContainerAndAreNeverWritten)
{
    const QString text = tempPath("notes.jpg");
    ASSERT_TRUE(FileServices::writeFileAtomically(text, "not an image"));
    EXPECT_EQ(FDMetadataContainer::metadataForImageAtPath(text), nullptr);
    EXPECT_EQ(FDMetadataContainer::metadataForImageAtPath(tempPath("missing.jpg")), nullptr);
    EXPECT_EQ(FDMetadataContainer::metadataForImageAtPath(QString()), nullptr);

    const FDMetadataContainerPtr container = FDMetadataContainer::metadataForImageAtPath(cameraSource());
    ASSERT_NE(container, nullptr);
    EXPECT_FALSE(container->saveMetadataToFileAtPath(text));
    EXPECT_EQ(WrittenFileProbe::bytes(text), "not an image");
    EXPECT_FALSE(container->saveMetadataToFileAtPath(tempPath("missing.jpg")));
    EXPECT_FALSE(QFile::exists(tempPath("missing.jpg")));
}

// A file named "-" is that file, never standard input, for the container and
// the sidecar export alike.
TEST_F(FDMetadataContainerTest, APathOfADashIsTheFileOfThatName)
{
    const QString dash = tempPath("-");
    ASSERT_TRUE(ImageFixtures::makeImageWithTags(dash + ".jpg", {{"Exif.Image.Artist", "Dash", {}}}));
    ASSERT_TRUE(FileServices::moveItem(dash + ".jpg", dash));
    const QString previous = QDir::currentPath();
    ASSERT_TRUE(QDir::setCurrent(tempFolder()));
    const FDMetadataContainerPtr container = FDMetadataContainer::metadataForImageAtPath("-");
    QDir().mkpath("out");
    const int32_t exported = SidecarExporter::exportMetadata(1, "-", "out");
    QDir::setCurrent(previous);

    ASSERT_NE(container, nullptr);
    EXPECT_EQ(container->valueForKey("Exif.Image.Artist")->description(), "Dash");
    EXPECT_EQ(exported, 0);
    EXPECT_EQ(WrittenFileProbe::value(tempPath("out/-.exv"), "Exif.Image.Artist"), "Dash");
}

// A clone never costs the target its picture: a TIFF's image data lives in
// the directory the clone replaces.
TEST_F(FDMetadataContainerTest, CloneOntoATiffKeepsItsPictureOrLeavesItAlone)
{
    const FDMetadataContainerPtr source = FDMetadataContainer::metadataForImageAtPath(cameraSource());
    ASSERT_NE(source, nullptr);
    const QString target = ImageFixtures::copySample("goexif.tif", tempFolder());
    const QByteArray before = WrittenFileProbe::bytes(target);
    const QImage pixels(target);
    ASSERT_FALSE(pixels.isNull());
    if (source->saveMetadataToFileAtPath(target)) {
        EXPECT_EQ(QImage(target), pixels);
        EXPECT_EQ(WrittenFileProbe::value(target, "Exif.Image.Model"), "Canon PowerShot S40");
    } else {
        EXPECT_EQ(WrittenFileProbe::bytes(target), before);
    }
}
