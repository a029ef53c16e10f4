// GIF and JPEG 2000 bytes as the image utilities answer them, decoded again
// by giflib and OpenJPEG themselves, not by Qt.
#include "foundation/Utils.h"

#include <QImage>
#include <QPainter>

#include <gif_lib.h>
#include <openjpeg.h>

#include <gtest/gtest.h>

#include <cstring>
#include <memory>

namespace {

// --- decoding with the libraries ---

struct Reader {
    QByteArray bytes;
    qint64 position = 0;
};

int gifRead(GifFileType* file, GifByteType* into, int length)
{
    auto* reader = static_cast<Reader*>(file->UserData);
    const int count = int(std::min<qint64>(length, reader->bytes.size() - reader->position));
    std::memcpy(into, reader->bytes.constData() + reader->position, size_t(count));
    reader->position += count;
    return count;
}

// The first frame as ARGB; transparent pixels come back as 0 (all clear).
QImage decodeGif(const QByteArray& bytes)
{
    Reader reader{bytes};
    int error = 0;
    GifFileType* file = DGifOpen(&reader, gifRead, &error);
    if (!file)
        return QImage();
    std::unique_ptr<GifFileType, void (*)(GifFileType*)> closer(file, [](GifFileType* f) {
        int ignored = 0;
        DGifCloseFile(f, &ignored);
    });
    if (DGifSlurp(file) != GIF_OK || file->ImageCount != 1)
        return QImage();
    GraphicsControlBlock control{};
    control.TransparentColor = NO_TRANSPARENT_COLOR;
    DGifSavedExtensionToGCB(file, 0, &control);
    const SavedImage& frame = file->SavedImages[0];
    const ColorMapObject* map = frame.ImageDesc.ColorMap ? frame.ImageDesc.ColorMap : file->SColorMap;
    QImage image(file->SWidth, file->SHeight, QImage::Format_ARGB32);
    for (int y = 0; y < image.height(); ++y) {
        for (int x = 0; x < image.width(); ++x) {
            const int index = frame.RasterBits[y * image.width() + x];
            const GifColorType colour = map->Colors[index];
            image.setPixel(x, y, index == control.TransparentColor ? 0 : qRgb(colour.Red, colour.Green, colour.Blue));
        }
    }
    return image;
}

OPJ_SIZE_T jp2Read(void* into, OPJ_SIZE_T length, void* user)
{
    auto* reader = static_cast<Reader*>(user);
    const qint64 left = reader->bytes.size() - reader->position;
    if (left <= 0)
        return OPJ_SIZE_T(-1);
    const auto count = OPJ_SIZE_T(std::min<qint64>(qint64(length), left));
    std::memcpy(into, reader->bytes.constData() + reader->position, count);
    reader->position += qint64(count);
    return count;
}

OPJ_OFF_T jp2Skip(OPJ_OFF_T length, void* user)
{
    static_cast<Reader*>(user)->position += length;
    return length;
}

OPJ_BOOL jp2Seek(OPJ_OFF_T position, void* user)
{
    static_cast<Reader*>(user)->position = position;
    return OPJ_TRUE;
}

// The decoded picture as ARGB (opaque without a fourth component); null
// when OpenJPEG refuses the bytes.
QImage decodeJp2(const QByteArray& bytes)
{
    Reader reader{bytes};
    std::unique_ptr<opj_codec_t, void (*)(opj_codec_t*)> codec(opj_create_decompress(OPJ_CODEC_JP2), opj_destroy_codec);
    std::unique_ptr<opj_stream_t, void (*)(opj_stream_t*)> stream(
        opj_stream_create(4096, OPJ_TRUE), opj_stream_destroy);
    opj_stream_set_user_data(stream.get(), &reader, nullptr);
    opj_stream_set_user_data_length(stream.get(), OPJ_UINT64(bytes.size()));
    opj_stream_set_read_function(stream.get(), jp2Read);
    opj_stream_set_skip_function(stream.get(), jp2Skip);
    opj_stream_set_seek_function(stream.get(), jp2Seek);
    opj_dparameters_t parameters;
    opj_set_default_decoder_parameters(&parameters);
    opj_setup_decoder(codec.get(), &parameters);
    opj_image_t* raw = nullptr;
    if (!opj_read_header(stream.get(), codec.get(), &raw))
        return QImage();
    std::unique_ptr<opj_image_t, void (*)(opj_image_t*)> image(raw, opj_image_destroy);
    if (!opj_decode(codec.get(), stream.get(), image.get()) || !opj_end_decompress(codec.get(), stream.get())
        || image->numcomps < 3)
        return QImage();
    const auto width = int(image->comps[0].w);
    QImage out(width, int(image->comps[0].h), QImage::Format_ARGB32);
    for (int y = 0; y < out.height(); ++y) {
        for (int x = 0; x < width; ++x) {
            const int at = y * width + x;
            const int alpha = image->numcomps > 3 ? image->comps[3].data[at] : 255;
            out.setPixel(
                x, y, qRgba(image->comps[0].data[at], image->comps[1].data[at], image->comps[2].data[at], alpha));
        }
    }
    return out;
}

// --- pictures ---

// Three flat colours and, optionally, a clear corner.
QImage drawing(bool clearCorner)
{
    QImage image(40, 30, QImage::Format_ARGB32);
    image.fill(qRgb(200, 30, 40));
    QPainter painter(&image);
    painter.fillRect(20, 0, 20, 30, QColor(10, 120, 250));
    painter.fillRect(0, 20, 40, 10, QColor(250, 250, 250));
    if (clearCorner) {
        painter.setCompositionMode(QPainter::CompositionMode_Source);
        painter.fillRect(0, 0, 5, 5, Qt::transparent);
    }
    return image;
}

// Every pixel its own colour: far more than a GIF palette holds.
QImage gradient(int width, int height, bool withAlpha)
{
    QImage image(width, height, withAlpha ? QImage::Format_ARGB32 : QImage::Format_RGB32);
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x)
            image.setPixel(x, y,
                qRgba(x * 255 / std::max(1, width - 1), y * 255 / std::max(1, height - 1), (x * 7 + y * 13) % 256,
                    withAlpha ? (x + y) % 256 : 255));
    }
    return image;
}

int largestChannelDifference(QRgb a, QRgb b)
{
    return std::max({std::abs(qRed(a) - qRed(b)), std::abs(qGreen(a) - qGreen(b)), std::abs(qBlue(a) - qBlue(b))});
}

} // namespace

TEST(BitmapEncodersTest, GifKeepsTheColoursOfADrawingAndItsClearPixels)
{
    const QImage picture = drawing(true);
    for (const char* type : {"gif", "GIF"}) {
        const QByteArray gif = Utils::imageDataRepresentationOfType(picture, QString::fromLatin1(type));
        ASSERT_TRUE(gif.startsWith("GIF89a")) << type << ": the transparency needs GIF89a";
        EXPECT_TRUE(gif.endsWith(';')) << "the trailer closes the file";
        const QImage decoded = decodeGif(gif);
        ASSERT_EQ(decoded.size(), picture.size());
        for (int y = 0; y < picture.height(); ++y) {
            for (int x = 0; x < picture.width(); ++x) {
                const QRgb want = picture.pixel(x, y);
                ASSERT_EQ(decoded.pixel(x, y), qAlpha(want) == 0 ? 0u : want) << x << "," << y;
            }
        }
    }
    EXPECT_TRUE(Utils::imageDataRepresentationOfType(picture, "Gif").isEmpty());
    // An opaque picture needs nothing of GIF89a.
    EXPECT_TRUE(Utils::imageDataRepresentationOfType(drawing(false), "gif").startsWith("GIF87a"));
}

TEST(BitmapEncodersTest, GifReducesAPhotoOfManyColoursToItsPalette)
{
    const QImage picture(QStringLiteral(LUMETTA_TEST_DATA_DIR "/npm-canon-s40.jpg"));
    ASSERT_FALSE(picture.isNull());
    const QByteArray gif = Utils::imageDataRepresentationOfType(picture, "gif");
    const QImage decoded = decodeGif(gif);
    ASSERT_EQ(decoded.size(), picture.size());
    int worst = 0;
    double total = 0;
    for (int y = 0; y < picture.height(); ++y) {
        for (int x = 0; x < picture.width(); ++x) {
            const int difference = largestChannelDifference(decoded.pixel(x, y), picture.pixel(x, y));
            worst = std::max(worst, difference);
            total += difference;
        }
    }
    // A camera's photo in 256 colours: near on average, and never far.
    EXPECT_LE(total / (picture.width() * picture.height()), 14.0);
    EXPECT_LE(worst, 96) << "a rare colour is still near its own";
}

TEST(BitmapEncodersTest, Jpeg2000IsALosslessJp2FileOfEverySize)
{
    const QByteArray signature("\x00\x00\x00\x0CjP  \r\n\x87\n", 12);
    struct Case {
        QImage picture;
        const char* type;
    };
    for (const Case& c : {Case{gradient(97, 61, false), "jpeg2000"}, Case{gradient(33, 7, true), "JPG2000"},
             Case{gradient(1, 1, false), "jpg2000"}, Case{drawing(true), "JPEG2000"}}) {
        SCOPED_TRACE(c.type);
        const QByteArray jp2 = Utils::imageDataRepresentationOfType(c.picture, QString::fromLatin1(c.type));
        ASSERT_TRUE(jp2.startsWith(signature));
        const QImage decoded = decodeJp2(jp2);
        ASSERT_EQ(decoded.size(), c.picture.size());
        const QImage want = c.picture.convertToFormat(QImage::Format_ARGB32);
        for (int y = 0; y < want.height(); ++y) {
            for (int x = 0; x < want.width(); ++x)
                ASSERT_EQ(decoded.pixel(x, y), want.pixel(x, y)) << x << "," << y;
        }
    }
    EXPECT_TRUE(Utils::imageDataRepresentationOfType(QImage(), "jpeg2000").isEmpty());
    EXPECT_TRUE(Utils::imageDataRepresentationOfType(drawing(false), "Jpeg2000").isEmpty());
}
