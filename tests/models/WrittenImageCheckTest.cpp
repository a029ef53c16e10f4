// The check of the bytes a save wrote: values that did not come back as meant
// fail it, values that came back as the same text pass it whatever their
// bytes, and a passing check hands back its parse of the new bytes.

#include "models/WrittenImageCheck.h"

#include "support/ImageFixtures.h"

#include <QFile>

#include <exiv2/exiv2.hpp>

#include <gtest/gtest.h>

#include <functional>

namespace {

using ImagePtr = std::unique_ptr<Exiv2::Image>;

QByteArray sampleBytes(const char* name)
{
    QFile file(ImageFixtures::sample(QString::fromLatin1(name)));
    EXPECT_TRUE(file.open(QIODevice::ReadOnly));
    return file.readAll();
}

ImagePtr parse(const QByteArray& bytes)
{
    auto image = Exiv2::ImageFactory::open(
        reinterpret_cast<const Exiv2::byte*>(bytes.constData()), static_cast<long>(bytes.size()));
    image->readMetadata();
    return ImagePtr(image.release());
}

// The file after `change` is applied to its EXIF data and written in memory.
QByteArray written(const QByteArray& original, const std::function<void(Exiv2::ExifData&)>& change)
{
    const ImagePtr image = parse(original);
    change(image->exifData());
    image->writeMetadata();
    Exiv2::BasicIo& io = image->io();
    io.open();
    const Exiv2::DataBuf bytes = io.read(io.size());
    io.close();
    return QByteArray(reinterpret_cast<const char*>(bytes.pData_), qsizetype(bytes.size_));
}

// What a save meant to write: the original data after `change`.
WrittenImageCheck::Expected meant(const QByteArray& original, const std::function<void(Exiv2::ExifData&)>& change)
{
    const ImagePtr image = parse(original);
    change(image->exifData());
    return {image->exifData(), image->iptcData(), image->xmpData(), false, image->xmpPacket()};
}

void setArtist(Exiv2::ExifData& exif, const std::string& bytes)
{
    Exiv2::AsciiValue value;
    value.read(bytes);
    exif["Exif.Image.Artist"].setValue(&value);
}

void setComponents(Exiv2::ExifData& exif, const char* text)
{
    Exiv2::DataValue value(Exiv2::undefined);
    value.read(text);
    exif["Exif.Photo.ComponentsConfiguration"].setValue(&value);
}

} // namespace

TEST(WrittenImageCheckTest, WrittenValuesMustReadBackAsMeant)
{
    const QByteArray original = sampleBytes("npm-canon-s40.jpg");
    const auto ann = [](Exiv2::ExifData& exif) { setArtist(exif, "Ann"); };

    // As meant: the check passes and hands back its parse of the new bytes.
    const QByteArray good = written(original, ann);
    ImagePtr readBack;
    QString why;
    ASSERT_TRUE(WrittenImageCheck::confirm(original, good, meant(original, ann), &why, &readBack)) << qPrintable(why);
    ASSERT_TRUE(readBack);
    EXPECT_EQ(readBack->exifData()["Exif.Image.Artist"].toString(), "Ann");

    // A text cut short fails, named by its key.
    const QByteArray cut = written(original, [](Exiv2::ExifData& exif) { setArtist(exif, "An"); });
    readBack.reset();
    EXPECT_FALSE(WrittenImageCheck::confirm(original, cut, meant(original, ann), &why, &readBack));
    EXPECT_EQ(why, QString("Exif.Image.Artist does not read back as written"));
    EXPECT_FALSE(readBack);

    // One changed byte of a value held as bytes fails too.
    const auto components = [](Exiv2::ExifData& exif) { setComponents(exif, "1 2 3 0"); };
    const QByteArray changedByte = written(original, [](Exiv2::ExifData& exif) { setComponents(exif, "1 2 3 4"); });
    EXPECT_FALSE(WrittenImageCheck::confirm(original, changedByte, meant(original, components), &why));
    EXPECT_EQ(why, QString("Exif.Photo.ComponentsConfiguration does not read back as written"));
}

TEST(WrittenImageCheckTest, OtherBytesOfTheSameTextPass)
{
    const QByteArray original = sampleBytes("npm-canon-s40.jpg");
    // Text ends at the first NUL: both values read "Ann" although their bytes differ.
    const QByteArray plain = written(original, [](Exiv2::ExifData& exif) { setArtist(exif, "Ann"); });
    const auto padded = [](Exiv2::ExifData& exif) { setArtist(exif, std::string("Ann\0old", 7)); };
    QString why;
    EXPECT_TRUE(WrittenImageCheck::confirm(original, plain, meant(original, padded), &why)) << qPrintable(why);
}

TEST(WrittenImageCheckTest, AChangedPictureFails)
{
    const QByteArray original = sampleBytes("npm-canon-s40.jpg");
    const auto same = [](Exiv2::ExifData&) {};
    QByteArray damaged = written(original, same);
    damaged[damaged.size() - 100] = char(damaged.at(damaged.size() - 100) ^ 0x55);
    QString why;
    EXPECT_TRUE(WrittenImageCheck::confirm(original, written(original, same), meant(original, same), &why));
    EXPECT_FALSE(WrittenImageCheck::confirm(original, damaged, meant(original, same), &why));
    EXPECT_EQ(why, QString("the picture data changed"));
}
