#pragma once

// Reads single values of a file the writer saved, straight through the
// metadata library (exiftool is the independent check where it matters).

#include <QFile>
#include <QString>
#include <QStringList>

#include <exiv2/exiv2.hpp>
#include <gtest/gtest.h>

#include <utility>
#include <vector>

namespace WrittenFileProbe {

inline std::unique_ptr<Exiv2::Image> open(const QString& path)
{
    auto image = Exiv2::ImageFactory::open(QFile::encodeName(path).toStdString());
    image->readMetadata();
    return std::unique_ptr<Exiv2::Image>(image.release());
}

// Every value of the key, in file order (IPTC datasets may repeat).
inline QStringList values(const QString& path, const QString& key)
{
    QStringList result;
    const auto collect = [&result, name = key.toStdString()](const auto& data) {
        for (const auto& datum : data) {
            if (datum.key() == name) {
                result << QString::fromStdString(datum.toString());
            }
        }
    };
    const auto image = open(path);
    if (key.startsWith(QLatin1String("Exif."))) {
        collect(image->exifData());
    } else if (key.startsWith(QLatin1String("Iptc."))) {
        collect(image->iptcData());
    } else {
        collect(image->xmpData());
    }
    return result;
}

// The value of the key, or a null text when the file lacks it.
inline QString value(const QString& path, const QString& key)
{
    const QStringList found = values(path, key);
    return found.isEmpty() ? QString() : found.first();
}

// The file's bytes, to compare before and after a save that must fail.
inline QByteArray bytes(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

// Expects each key to hold its text in the saved file; a null text: the key is gone.
using Expected = std::vector<std::pair<const char*, const char*>>;
inline void expectValues(const QString& path, const Expected& expected)
{
    for (const auto& [key, text] : expected) {
        const QString found = value(path, QString::fromLatin1(key));
        EXPECT_EQ(found, QString::fromUtf8(text)) << key;
        EXPECT_EQ(found.isNull(), text == nullptr) << key;
    }
}

} // namespace WrittenFileProbe
