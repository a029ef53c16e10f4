#pragma once

#include <QByteArray>
#include <QImage>

// The two picture file types Qt cannot write: GIF (through giflib) and
// JPEG 2000 in its JP2 file (through OpenJPEG). Each answers the whole file,
// or empty bytes for a null image or when the library refuses.
class BitmapEncoders {
public:
    // A single-frame GIF. A picture of at most 256 colours keeps them exactly;
    // more colours are reduced to 256. Pixels less than half opaque become the
    // one transparent colour GIF allows.
    static QByteArray gifData(const QImage& image);
    // A lossless JP2 file: RGB, with an alpha channel when the picture has one.
    static QByteArray jpeg2000Data(const QImage& image);
};
