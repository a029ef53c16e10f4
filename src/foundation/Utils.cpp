#include "foundation/Utils.h"

#include "foundation/BitmapEncoders.h"
#include "foundation/FileServices.h"
#include "foundation/FoundationLog.h"

#include <QBuffer>
#include <QImageReader>
#include <QImageWriter>
#include <QJsonDocument>
#include <QJsonObject>
#include <QJsonParseError>
#include <QPainter>

#include <cmath>

namespace {

// The Qt writer format for each accepted type text.
QByteArray writerFormatForType(const QString& type)
{
    static const struct {
        const char* texts[4];
        const char* format;
    } kTable[] = {
        {{"tif", "tiff", "TIF", "TIFF"}, "tiff"},
        {{"bmp", "BMP", nullptr, nullptr}, "bmp"},
        {{"gif", "GIF", nullptr, nullptr}, "gif"},
        {{"jpg", "jpeg", "JPG", "JPEG"}, "jpeg"},
        {{"png", "PNG", nullptr, nullptr}, "png"},
        {{"jpg2000", "jpeg2000", "JPG2000", "JPEG2000"}, "jp2"},
    };
    for (const auto& row : kTable) {
        for (const char* text : row.texts) {
            if (text && type == QLatin1String(text)) {
                return row.format;
            }
        }
    }
    return QByteArray();
}

double fitRatio(const QSizeF& size, const QSizeF& maximum)
{
    if (size.width() <= 0 || size.height() <= 0 || maximum.width() <= 0 || maximum.height() <= 0) {
        return 0;
    }
    return std::max(size.width() / maximum.width(), size.height() / maximum.height());
}

} // namespace

QStringList Utils::supportFileTypes()
{
    return {QStringLiteral("jpg"), QStringLiteral("jpeg"), QStringLiteral("png"), QStringLiteral("bmp"),
        QStringLiteral("dxv"), QStringLiteral("cr2"), QStringLiteral("crw"), QStringLiteral("mrs"),
        QStringLiteral("exv"), QStringLiteral("srw"), QStringLiteral("orf"), QStringLiteral("jgf"),
        QStringLiteral("psd"), QStringLiteral("jp2"), QStringLiteral("tif"), QStringLiteral("tiff"),
        QStringLiteral("dng"), QStringLiteral("pef"), QStringLiteral("sr2"), QStringLiteral("pgf"),
        QStringLiteral("raf"), QStringLiteral("eps"), QStringLiteral("xmp"), QStringLiteral("gif"),
        QStringLiteral("tga"), QStringLiteral("nef"), QStringLiteral("rw2"), QStringLiteral("raw")};
}

QImage Utils::cgImageFromPath(const QString& path)
{
    QImageReader reader(path);
    return reader.read();
}

QImage Utils::tiledImageWithSrcPath(const QString& path, const QSize& destinationSize, const QString& type)
{
    QImage result(destinationSize, QImage::Format_ARGB32_Premultiplied);
    if (result.isNull()) {
        return result;
    }
    result.fill(Qt::transparent);
    const QImage source = cgImageFromPath(path);
    if (source.isNull()) {
        return result;
    }
    QPainter painter(&result);
    painter.setCompositionMode(QPainter::CompositionMode_SourceOver);
    if (type == QLatin1String("Stretch")) {
        painter.drawImage(QRect(QPoint(0, 0), destinationSize), source);
    } else if (type == QLatin1String("Tile")) {
        const QSizeF tile = getSizeWithOriginMax(source.size(), destinationSize);
        if (tile.width() > 0 && tile.height() > 0) {
            const int columns = int(std::ceil(destinationSize.width() / tile.width()));
            const int rows = int(std::ceil(destinationSize.height() / tile.height()));
            for (int row = 0; row < rows; ++row) {
                for (int column = 0; column < columns; ++column) {
                    painter.drawImage(QRectF(QPointF(column * tile.width(), row * tile.height()), tile), source);
                }
            }
        }
    }
    return result;
}

QRectF Utils::boundsOffset(const QRectF& rect, double dx, double dy)
{
    return QRectF(0, 0, rect.width() + dx, rect.height() + dy);
}

QSizeF Utils::getSizeWithOriginFitMax(const QSizeF& size, const QSizeF& maximum)
{
    const double ratio = fitRatio(size, maximum);
    return ratio > 0 ? size / ratio : size;
}

QSizeF Utils::getSizeWithOriginMax(const QSizeF& size, const QSizeF& maximum)
{
    return fitRatio(size, maximum) <= 1 ? size : getSizeWithOriginFitMax(size, maximum);
}

QByteArray Utils::imageDataRepresentationOfType(const QImage& image, const QString& type)
{
    const QByteArray format = writerFormatForType(type);
    if (format.isEmpty() || image.isNull()) {
        return QByteArray();
    }
    // Qt reads both but writes neither.
    if (format == "gif") {
        return BitmapEncoders::gifData(image);
    }
    if (format == "jp2") {
        return BitmapEncoders::jpeg2000Data(image);
    }
    QByteArray data;
    QBuffer buffer(&data);
    buffer.open(QIODevice::WriteOnly);
    QImageWriter writer(&buffer, format);
    if (!writer.write(image)) {
        return QByteArray();
    }
    return data;
}

bool Utils::writeImage(const QImage& image, const QString& path)
{
    const QByteArray png = imageDataRepresentationOfType(image, QStringLiteral("png"));
    if (png.isEmpty()) {
        return false;
    }
    QString error;
    if (!FileServices::writeFileAtomically(path, png, &error)) {
        qCWarning(lcFoundation, "%s", qUtf8Printable(error));
        return false;
    }
    return true;
}

QString Utils::lowercaseStringInRange(const QString& text, qsizetype location, qsizetype length)
{
    if (location < 0 || length < 0 || text.size() < location + length) {
        return QString();
    }
    QString result = text;
    result.replace(location, length, text.mid(location, length).toLower());
    return result;
}

QString Utils::uppercaseStringInRange(const QString& text, qsizetype location, qsizetype length)
{
    if (location < 0 || length < 0 || text.size() < location + length) {
        return QString();
    }
    QString result = text;
    result.replace(location, length, text.mid(location, length).toUpper());
    return result;
}

QVariant Utils::JSONValue(const QString& text)
{
    if (text.isEmpty()) {
        return QVariant();
    }
    QJsonParseError error;
    const QJsonDocument document = QJsonDocument::fromJson(text.toUtf8(), &error);
    if (error.error != QJsonParseError::NoError) {
        qCWarning(lcFoundation, "json解析失败：%s", qUtf8Printable(error.errorString()));
        return QVariant();
    }
    return document.toVariant();
}

QString Utils::dictionaryToJsonString(const QVariantMap& object)
{
    return QString::fromUtf8(QJsonDocument(QJsonObject::fromVariantMap(object)).toJson(QJsonDocument::Indented));
}
