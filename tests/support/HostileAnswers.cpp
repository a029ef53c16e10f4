#include "support/HostileAnswers.h"

#include <QBuffer>
#include <QImage>
#include <QtEndian>

#include <array>

namespace {

quint32 crc32(const char* data, int size)
{
    static const std::array<quint32, 256> table = [] {
        std::array<quint32, 256> entries{};
        for (quint32 n = 0; n < 256; ++n) {
            quint32 c = n;
            for (int k = 0; k < 8; ++k) {
                c = (c & 1U) != 0 ? 0xEDB88320U ^ (c >> 1) : c >> 1;
            }
            entries[n] = c;
        }
        return entries;
    }();
    quint32 crc = 0xFFFFFFFFU;
    for (int i = 0; i < size; ++i) {
        crc = table[(crc ^ static_cast<quint8>(data[i])) & 0xFFU] ^ (crc >> 8);
    }
    return crc ^ 0xFFFFFFFFU;
}

} // namespace

namespace HostileAnswers {

LoopbackResponse endless(const QByteArray& contentType)
{
    LoopbackResponse response;
    response.contentType = contentType;
    response.body = "[";
    response.filler = LoopbackResponse::kEndless;
    return response;
}

LoopbackResponse huge(bool declared, const QByteArray& contentType)
{
    LoopbackResponse response = endless(contentType);
    response.filler = 300 * kMiB;
    response.declareLength = declared;
    return response;
}

LoopbackResponse trickling()
{
    LoopbackResponse response = endless();
    response.filler = 1000;
    response.trickleMs = 20;
    return response;
}

QByteArray pngClaiming(int width, int height)
{
    QImage pixel(1, 1, QImage::Format_RGB32);
    pixel.fill(Qt::white);
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    pixel.save(&buffer, "PNG");
    // The signature (8 bytes), then the header chunk: length (4), "IHDR" (4),
    // width and height (4 each) and more fields, then its checksum over the
    // type and the 13 data bytes.
    qToBigEndian<quint32>(static_cast<quint32>(width), bytes.data() + 16);
    qToBigEndian<quint32>(static_cast<quint32>(height), bytes.data() + 20);
    qToBigEndian<quint32>(crc32(bytes.constData() + 12, 17), bytes.data() + 29);
    return bytes;
}

} // namespace HostileAnswers
