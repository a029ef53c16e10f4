#include "support/ImageFixtures.h"

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

bool giveUndecodableXmpPacket(const QString& path)
{
    const std::string packet
        = "<?xpacket begin=\"\" id=\"W5M0MpCehiHzreSzNTczkc9d\"?><x:xmpmeta xmlns:x=\"adobe:ns:meta/\">"
          "<rdf:RDF xmlns:rdf=\"http://www.w3.org/1999/02/22-rdf-syntax-ns#\"><rdf:Description rdf:about=\"\" "
          "xmlns:xmp=\"http://ns.adobe.com/xap/1.0/\" xmlns:dc=\"http://purl.org/dc/elements/1.1/\" xmp:Rating=\"3\">"
          "<xmp:Ratinh>4</xmp:Ratinh><dc:title><rdf:Alt><rdf:li xml:lang=\"x-default\">Harbour</rdf:li></rdf:Alt>"
          "</dc:title><dc:subject><rdf:Bag><rdf:li>sea</rdf:li><rdf:li>sun</rdf:li></rdf:Bag>"
          "</dc:subject></rdf:Description></rdf:RDF></x:xmpmeta><?xpacket end=\"w\"?>";
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

} // namespace ImageFixtures
