#pragma once

#include <QByteArray>
#include <QImage>
#include <QSize>

// Pictures from map servers: decoded only when they are a picture at all and
// no larger than the caller expects, read from the file's header before any
// pixel memory is taken, so a small file that claims 30000x30000 pixels costs
// nothing.
class MapImageDecoder {
public:
    // A null image when `bytes` is no picture Qt reads or is wider or taller
    // than `maxSize`.
    static QImage decode(const QByteArray& bytes, const QSize& maxSize);
};
