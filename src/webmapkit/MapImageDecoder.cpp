#include "webmapkit/MapImageDecoder.h"

#include <QBuffer>
#include <QImageReader>

QImage MapImageDecoder::decode(const QByteArray& bytes, const QSize& maxSize)
{
    QBuffer buffer;
    buffer.setData(bytes);
    if (bytes.isEmpty() || !buffer.open(QIODevice::ReadOnly)) {
        return QImage();
    }
    QImageReader reader(&buffer);
    const QSize size = reader.size();
    if (!size.isValid() || size.width() > maxSize.width() || size.height() > maxSize.height()) {
        return QImage();
    }
    QImage image;
    if (!reader.read(&image) || image.width() > maxSize.width() || image.height() > maxSize.height()) {
        return QImage();
    }
    return image;
}
