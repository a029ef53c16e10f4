#include "SameWorkCheck.h"

#include <QDir>
#include <QFile>
#include <QStringList>

#include <exiv2/exiv2.hpp>

#include <cmath>
#include <cstdio>

namespace {

QStringList files(const QString& folder)
{
    return QDir(folder).entryList(QDir::Files, QDir::Name);
}

// Decimal degrees of a GPS coordinate, NaN without one.
double degrees(const Exiv2::ExifData& exif, const char* key)
{
    const auto found = exif.findKey(Exiv2::ExifKey(key));
    if (found == exif.end() || found->count() != 3) {
        return std::nan("");
    }
    return found->toFloat(0) + found->toFloat(1) / 60 + found->toFloat(2) / 3600;
}

// What a benchmark edits, as one comparable text.
QString editedTags(const QString& path)
{
    auto image = Exiv2::ImageFactory::open(QFile::encodeName(path).toStdString());
    image->readMetadata();
    const Exiv2::ExifData& exif = image->exifData();
    QStringList parts;
    for (const char* key : {"Exif.Photo.DateTimeOriginal", "Exif.Photo.DateTimeDigitized", "Exif.Image.DateTime",
             "Exif.GPSInfo.GPSLatitudeRef", "Exif.GPSInfo.GPSLongitudeRef"}) {
        const auto found = exif.findKey(Exiv2::ExifKey(key));
        parts << QString::fromStdString(found == exif.end() ? std::string("-") : found->toString());
    }
    parts << QString::number(degrees(exif, "Exif.GPSInfo.GPSLatitude"), 'f', 4)
          << QString::number(degrees(exif, "Exif.GPSInfo.GPSLongitude"), 'f', 4);
    // Datasets in file order differ between writers; their set must not.
    QStringList datasets;
    for (const auto& datum : image->iptcData()) {
        if (datum.key() == "Iptc.Application2.ObjectName" || datum.key() == "Iptc.Application2.Keywords") {
            datasets << QString::fromStdString(datum.key() + "=" + datum.toString());
        }
    }
    datasets.sort();
    return (parts + datasets).join(QLatin1Char('|'));
}

QString captureDate(const QString& path)
{
    auto image = Exiv2::ImageFactory::open(QFile::encodeName(path).toStdString());
    image->readMetadata();
    const auto found = image->exifData().findKey(Exiv2::ExifKey("Exif.Photo.DateTimeOriginal"));
    return found == image->exifData().end() ? QString() : QString::fromStdString(found->toString());
}

} // namespace

namespace SameWorkCheck {

bool sameTags(const QString& first, const QString& second)
{
    const QStringList names = files(first);
    if (names != files(second) || names.isEmpty()) {
        std::printf("check: the folders hold different files\n");
        return false;
    }
    for (const QString& name : names) {
        const QString mine = editedTags(QDir(first).filePath(name));
        const QString theirs = editedTags(QDir(second).filePath(name));
        if (mine != theirs) {
            std::printf("check: %s differs:\n  %s\n  %s\n", qPrintable(name), qPrintable(mine), qPrintable(theirs));
            return false;
        }
    }
    std::printf("check: the same tags in all %lld files\n", static_cast<long long>(names.size()));
    return true;
}

bool sameNamesAndDates(const QString& first, const QString& second)
{
    const QStringList names = files(first);
    if (names != files(second) || names.isEmpty()) {
        std::printf("check: different names (%lld and %lld files; first %s and %s)\n",
            static_cast<long long>(names.size()), static_cast<long long>(files(second).size()),
            qPrintable(names.value(0)), qPrintable(files(second).value(0)));
        return false;
    }
    for (const QString& name : names) {
        if (captureDate(QDir(first).filePath(name)) != captureDate(QDir(second).filePath(name))) {
            std::printf("check: %s has different capture dates\n", qPrintable(name));
            return false;
        }
    }
    std::printf("check: the same names and capture dates for all %lld files\n", static_cast<long long>(names.size()));
    return true;
}

} // namespace SameWorkCheck
