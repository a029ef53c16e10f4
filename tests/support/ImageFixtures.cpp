#include "support/ImageFixtures.h"

#include <QBuffer>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QImage>
#include <QLinearGradient>
#include <QPainter>

#include <exiv2/exiv2.hpp>

#include <iostream>
#include <memory>

namespace ImageFixtures {

namespace {

QByteArray jpegOf(const QImage& image)
{
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    image.save(&buffer, "JPEG", 90);
    return bytes;
}

std::unique_ptr<Exiv2::Image> openImage(const QString& path)
{
    // The library hands out a deprecated owning pointer; take ownership at once.
    auto image = Exiv2::ImageFactory::open(QFile::encodeName(path).toStdString());
    return std::unique_ptr<Exiv2::Image>(image.release());
}

void setExif(Exiv2::ExifData& exif, const Tag& tag)
{
    const Exiv2::ExifKey key(tag.key.toStdString());
    const auto type = tag.typeId ? static_cast<Exiv2::TypeId>(*tag.typeId) : key.defaultTypeId();
    auto value = Exiv2::Value::create(type);
    if (value->read(tag.value.toStdString()) != 0) {
        throw Exiv2::Error(Exiv2::kerInvalidKey, "value not accepted: " + tag.value.toStdString());
    }
    exif.add(key, value.get());
}

void setIptc(Exiv2::IptcData& iptc, const Tag& tag)
{
    const Exiv2::IptcKey key(tag.key.toStdString());
    const auto type = tag.typeId ? static_cast<Exiv2::TypeId>(*tag.typeId)
                                 : Exiv2::IptcDataSets::dataSetType(key.tag(), key.record());
    auto value = Exiv2::Value::create(type);
    if (value->read(tag.value.toStdString()) != 0) {
        throw Exiv2::Error(Exiv2::kerInvalidKey, "value not accepted: " + tag.value.toStdString());
    }
    iptc.add(key, value.get());
}

} // namespace

bool makeImage(const QString& path, QSize size)
{
    QImage image(size, QImage::Format_RGB32);
    QPainter painter(&image);
    QLinearGradient gradient(0, 0, size.width(), size.height());
    gradient.setColorAt(0, QColor(30, 90, 160));
    gradient.setColorAt(1, QColor(230, 180, 60));
    painter.fillRect(image.rect(), gradient);
    painter.end();
    return image.save(path);
}

bool writeTags(const QString& path, const std::vector<Tag>& tags)
{
    try {
        auto image = openImage(path);
        image->readMetadata();
        for (const Tag& tag : tags) {
            if (tag.key.startsWith(QLatin1String("Exif."))) {
                Exiv2::ExifData& exif = image->exifData();
                auto existing = exif.findKey(Exiv2::ExifKey(tag.key.toStdString()));
                if (existing != exif.end()) {
                    exif.erase(existing);
                }
                setExif(exif, tag);
            } else if (tag.key.startsWith(QLatin1String("Iptc."))) {
                setIptc(image->iptcData(), tag);
            } else if (tag.key.startsWith(QLatin1String("Xmp."))) {
                image->xmpData()[tag.key.toStdString()] = tag.value.toStdString();
            } else {
                std::cerr << "writeTags: unknown family for " << tag.key.toStdString() << '\n';
                return false;
            }
        }
        image->writeMetadata();
        return true;
    } catch (const Exiv2::AnyError& error) {
        std::cerr << "writeTags: " << error.what() << '\n';
    } catch (const std::exception& error) {
        std::cerr << "writeTags: " << error.what() << '\n';
    }
    return false;
}

bool eraseTags(const QString& path, const QStringList& keys)
{
    try {
        auto image = openImage(path);
        image->readMetadata();
        const auto eraseAll = [](auto& data, const auto& key) {
            for (auto it = data.findKey(key); it != data.end(); it = data.findKey(key)) {
                data.erase(it);
            }
        };
        for (const QString& key : keys) {
            const std::string name = key.toStdString();
            if (key.startsWith(QLatin1String("Exif."))) {
                eraseAll(image->exifData(), Exiv2::ExifKey(name));
            } else if (key.startsWith(QLatin1String("Iptc."))) {
                eraseAll(image->iptcData(), Exiv2::IptcKey(name));
            } else {
                eraseAll(image->xmpData(), Exiv2::XmpKey(name));
            }
        }
        image->writeMetadata();
        return true;
    } catch (const Exiv2::AnyError& error) {
        std::cerr << "eraseTags: " << error.what() << '\n';
    } catch (const std::exception& error) {
        std::cerr << "eraseTags: " << error.what() << '\n';
    }
    return false;
}

bool writeKeywords(const QString& path, const QStringList& keywords)
{
    std::vector<Tag> tags;
    for (const QString& word : keywords) {
        tags.push_back({QStringLiteral("Iptc.Application2.Keywords"), word, std::nullopt});
    }
    return writeTags(path, tags);
}

bool makeImageWithTags(const QString& path, const std::vector<Tag>& tags, QSize size)
{
    return makeImage(path, size) && writeTags(path, tags);
}

bool writeXmpPacket(const QString& path, const std::string& packet)
{
    try {
        auto image = openImage(path);
        image->readMetadata();
        image->setXmpPacket(packet);
        image->writeXmpFromPacket(true);
        image->writeMetadata();
    } catch (const Exiv2::AnyError& error) {
        std::cerr << "Cannot give " << path.toStdString() << " its packet: " << error.what() << '\n';
        return false;
    }
    return true;
}

bool giveUndecodableXmpPacket(const QString& path)
{
    const std::string packet
        = "<?xpacket begin=\"\" id=\"W5M0MpCehiHzreSzNTczkc9d\"?><x:xmpmeta xmlns:x=\"adobe:ns:meta/\">"
          "<rdf:RDF xmlns:rdf=\"http://www.w3.org/1999/02/22-rdf-syntax-ns#\"><rdf:Description rdf:about=\"\" "
          "xmlns:xmp=\"http://ns.adobe.com/xap/1.0/\" xmlns:dc=\"http://purl.org/dc/elements/1.1/\" xmp:Rating=\"3\">"
          "<xmp:Ratinh>4</xmp:Ratinh><dc:title><rdf:Alt><rdf:li xml:lang=\"x-default\">Harbour</rdf:li></rdf:Alt>"
          "</dc:title><dc:subject><rdf:Bag><rdf:li>sea</rdf:li><rdf:li>sun</rdf:li></rdf:Bag>"
          "</dc:subject></rdf:Description></rdf:RDF></x:xmpmeta><?xpacket end=\"w\"?>";
    if (!writeXmpPacket(path, packet)) {
        return false;
    }
    // Written with a misspelt twin the library accepts, then given the second
    // "Rating" in place: same length, so the segment sizes stay right.
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        return false;
    }
    QByteArray bytes = file.readAll();
    file.close();
    bytes.replace("Ratinh", "Rating");
    return file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size();
}

QByteArray damageXmpSignature(const QString& path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        return QByteArray();
    }
    QByteArray bytes = file.readAll();
    file.close();
    const qsizetype at = bytes.indexOf(QByteArray("http://ns.adobe.com/xap/1.0/\0", 29));
    if (at < 4) {
        return QByteArray();
    }
    bytes.replace(at, 4, "ht\xffp");
    const qsizetype length = (uchar(bytes.at(at - 2)) << 8) | uchar(bytes.at(at - 1));
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate) || file.write(bytes) != bytes.size()) {
        return QByteArray();
    }
    return bytes.mid(at - 4, length + 2);
}

bool giveTiffThumbnail(const QString& path, QSize size)
{
    try {
        const auto image = openImage(path);
        image->readMetadata();
        Exiv2::ExifData& exif = image->exifData();
        Exiv2::ExifThumb(exif).erase();
        const std::vector<Exiv2::byte> pixels(size_t(size.width() * size.height() * 3), 0x80);
        for (const auto& [key, number] : std::initializer_list<std::pair<const char*, uint32_t>>{{"Compression", 1},
                 {"ImageWidth", size.width()}, {"ImageLength", size.height()}, {"PhotometricInterpretation", 2},
                 {"SamplesPerPixel", 3}, {"RowsPerStrip", size.height()}})
            exif[std::string("Exif.Thumbnail.") + key] = uint16_t(number);
        exif["Exif.Thumbnail.BitsPerSample"] = Exiv2::UShortValue();
        exif["Exif.Thumbnail.BitsPerSample"].setValue("8 8 8");
        exif["Exif.Thumbnail.StripByteCounts"] = uint32_t(pixels.size());
        // The strip travels as the offset's data area; the library places it.
        Exiv2::ULongValue offsets(0);
        offsets.setDataArea(pixels.data(), long(pixels.size()));
        exif["Exif.Thumbnail.StripOffsets"] = offsets;
        image->writeMetadata();
        return true;
    } catch (const Exiv2::AnyError& error) {
        std::cerr << "giveTiffThumbnail: " << error.what() << '\n';
        return false;
    }
}

QString sample(const QString& name)
{
    return QStringLiteral(LUMETTA_TEST_DATA_DIR) + QLatin1Char('/') + name;
}

QString copySample(const QString& name, const QString& folder, const QString& newName)
{
    const QString target = QDir(folder).filePath(newName.isEmpty() ? name : newName);
    QFile::remove(target);
    if (!QFile::copy(sample(name), target)) {
        return QString();
    }
    QFile::setPermissions(target, QFile::permissions(target) | QFileDevice::WriteOwner);
    return target;
}

QString copyOfWindowsSampleWithMisspeltNamespace(const QString& folder, const QString& newName)
{
    const QString target = copySample(QStringLiteral("npm-windows-xmp.jpg"), folder, newName);
    QFile file(target);
    if (target.isEmpty() || !file.open(QIODevice::ReadWrite)) {
        return QString();
    }
    QByteArray bytes = file.readAll();
    // Both URIs are 34 bytes long: the segment's size stays right.
    bytes.replace("http://ns.microsoft.com/photo/1.0/", "http://ns.adobe.com/photoshop/1.0/");
    return file.seek(0) && file.write(bytes) == bytes.size() ? target : QString();
}

QByteArray jpegWithStoredPreview(const QImage& picture, const QImage& preview)
{
    const QByteArray main = jpegOf(picture);
    // SOI and the encoder's APP0.
    const int head = 2 + 2 + (quint8(main.at(4)) << 8 | quint8(main.at(5)));
    const QByteArray second = jpegOf(preview);
    QByteArray index;
    auto put16 = [&index](quint32 value) {
        index.append(char(value & 0xFF));
        index.append(char((value >> 8) & 0xFF));
    };
    auto put32 = [&put16](quint32 value) {
        put16(value & 0xFFFF);
        put16(value >> 16);
    };
    // Little-endian header; one entry: the list of two 16-byte pictures after the directory.
    index.append("II", 2);
    put16(42);
    put32(8);
    put16(1);
    put16(0xB002);
    put16(7);
    put32(32);
    put32(8 + 2 + 12 + 4);
    put32(0);
    const int segmentLength = 2 + 4 + int(index.size()) + 32;
    const int origin = head + 2 + 2 + 4; // the index's header, after its marker, length and "MPF\0"
    const int previewAt = head + 2 + segmentLength + int(main.size()) - head;
    put32(0x20030000);
    put32(quint32(main.size()));
    put32(0);
    put32(0);
    put32(0x00010001);
    put32(quint32(second.size()));
    put32(quint32(previewAt - origin));
    put32(0);
    QByteArray file = main.left(head) + QByteArray("\xFF\xE2", 2);
    file.append(char(segmentLength >> 8));
    file.append(char(segmentLength & 0xFF));
    return file + QByteArray("MPF\0", 4) + index + main.mid(head) + second;
}

} // namespace ImageFixtures
