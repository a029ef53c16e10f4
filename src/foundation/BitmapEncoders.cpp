#include "foundation/BitmapEncoders.h"

#include "foundation/FoundationLog.h"

#include <QHash>

#include <gif_lib.h>
#include <openjpeg.h>

#include <algorithm>
#include <climits>
#include <cstring>
#include <memory>
#include <vector>

namespace {

// --- GIF ---

constexpr int kGifColours = 256;
constexpr int kGifLargestSide = 65535; // the format's 16-bit sizes

int gifAppend(GifFileType* file, const GifByteType* bytes, int length)
{
    static_cast<QByteArray*>(file->UserData)->append(reinterpret_cast<const char*>(bytes), length);
    return length;
}

// One palette index per pixel, with its palette.
struct Indexed {
    std::vector<GifByteType> pixels;
    std::vector<GifColorType> palette;
    int transparent = -1; // the index of "no colour"; -1 when every pixel is opaque enough
};

bool isTransparent(QRgb pixel)
{
    return qAlpha(pixel) < 128;
}

// The picture's own colours when there are few enough of them: a drawing or
// a chart keeps its exact colours.
bool exactPalette(const QImage& argb, int room, Indexed& out)
{
    QHash<QRgb, int> indexes;
    const int width = argb.width();
    out.pixels.resize(size_t(width) * size_t(argb.height()));
    for (int y = 0; y < argb.height(); ++y) {
        const auto* line = reinterpret_cast<const QRgb*>(argb.constScanLine(y));
        for (int x = 0; x < width; ++x) {
            if (isTransparent(line[x]))
                continue;
            const QRgb colour = line[x] | 0xff000000u;
            auto found = indexes.constFind(colour);
            if (found == indexes.constEnd()) {
                if (indexes.size() == room)
                    return false;
                found = indexes.insert(colour, int(indexes.size()));
                out.palette.push_back(
                    GifColorType{GifByteType(qRed(colour)), GifByteType(qGreen(colour)), GifByteType(qBlue(colour))});
            }
            out.pixels[size_t(y) * size_t(width) + size_t(x)] = GifByteType(found.value());
        }
    }
    return true;
}

// Reduces a picture of many colours to `room` of them.
bool quantizedPalette(const QImage& argb, int room, Indexed& out)
{
    const size_t count = size_t(argb.width()) * size_t(argb.height());
    std::vector<GifByteType> red(count);
    std::vector<GifByteType> green(count);
    std::vector<GifByteType> blue(count);
    for (int y = 0; y < argb.height(); ++y) {
        const auto* line = reinterpret_cast<const QRgb*>(argb.constScanLine(y));
        for (int x = 0; x < argb.width(); ++x) {
            const size_t at = size_t(y) * size_t(argb.width()) + size_t(x);
            red[at] = GifByteType(qRed(line[x]));
            green[at] = GifByteType(qGreen(line[x]));
            blue[at] = GifByteType(qBlue(line[x]));
        }
    }
    int size = room;
    out.palette.resize(kGifColours);
    out.pixels.resize(count);
    if (GifQuantizeBuffer(unsigned(argb.width()), unsigned(argb.height()), &size, red.data(), green.data(), blue.data(),
            out.pixels.data(), out.palette.data())
        != GIF_OK)
        return false;
    out.palette.resize(size_t(size));
    // The quantizer hands each pixel the colour of the box it fell in, often
    // not the nearest one: every pixel takes the palette's nearest colour,
    // looked up by its 5 bits a channel.
    std::vector<GifByteType> nearest(size_t(1) << 15);
    for (size_t cell = 0; cell < nearest.size(); ++cell) {
        const int r = int((cell >> 10) & 31) * 8 + 4;
        const int g = int((cell >> 5) & 31) * 8 + 4;
        const int b = int(cell & 31) * 8 + 4;
        int best = INT_MAX;
        for (size_t i = 0; i < out.palette.size(); ++i) {
            const GifColorType& colour = out.palette[i];
            const int distance = (r - colour.Red) * (r - colour.Red) + (g - colour.Green) * (g - colour.Green)
                + (b - colour.Blue) * (b - colour.Blue);
            if (distance < best) {
                best = distance;
                nearest[cell] = GifByteType(i);
            }
        }
    }
    for (size_t at = 0; at < count; ++at)
        out.pixels[at] = nearest[(size_t(red[at] >> 3) << 10) | (size_t(green[at] >> 3) << 5) | size_t(blue[at] >> 3)];
    return true;
}

bool hasTransparentPixel(const QImage& argb)
{
    if (!argb.hasAlphaChannel())
        return false;
    for (int y = 0; y < argb.height(); ++y) {
        const auto* line = reinterpret_cast<const QRgb*>(argb.constScanLine(y));
        if (std::any_of(line, line + argb.width(), isTransparent))
            return true;
    }
    return false;
}

bool indexGifPixels(const QImage& argb, Indexed& out)
{
    const bool transparency = hasTransparentPixel(argb);
    // The transparent pixels take the last index of their own.
    const int room = transparency ? kGifColours - 1 : kGifColours;
    if (!exactPalette(argb, room, out)) {
        out = Indexed();
        if (!quantizedPalette(argb, room, out))
            return false;
    }
    if (transparency) {
        out.transparent = int(out.palette.size());
        out.palette.push_back(GifColorType{0, 0, 0});
        for (int y = 0; y < argb.height(); ++y) {
            const auto* line = reinterpret_cast<const QRgb*>(argb.constScanLine(y));
            for (int x = 0; x < argb.width(); ++x) {
                if (isTransparent(line[x]))
                    out.pixels[size_t(y) * size_t(argb.width()) + size_t(x)] = GifByteType(out.transparent);
            }
        }
    }
    // GIF palettes hold a power of two colours, at least two.
    out.palette.resize(size_t(1) << GifBitSize(std::max(2, int(out.palette.size()))), GifColorType{0, 0, 0});
    return true;
}

bool writeGif(GifFileType* file, const Indexed& indexed, int width, int height)
{
    std::unique_ptr<ColorMapObject, void (*)(ColorMapObject*)> map(
        GifMakeMapObject(int(indexed.palette.size()), indexed.palette.data()), GifFreeMapObject);
    if (!map)
        return false;
    // Transparency needs the graphics control block of GIF89a.
    EGifSetGifVersion(file, indexed.transparent >= 0);
    if (EGifPutScreenDesc(file, width, height, 8, 0, map.get()) != GIF_OK)
        return false;
    if (indexed.transparent >= 0) {
        GraphicsControlBlock control{};
        control.DisposalMode = DISPOSAL_UNSPECIFIED;
        control.TransparentColor = indexed.transparent;
        GifByteType extension[4];
        const size_t length = EGifGCBToExtension(&control, extension);
        if (EGifPutExtension(file, GRAPHICS_EXT_FUNC_CODE, int(length), extension) != GIF_OK)
            return false;
    }
    if (EGifPutImageDesc(file, 0, 0, width, height, false, nullptr) != GIF_OK)
        return false;
    for (int y = 0; y < height; ++y) {
        auto* line = const_cast<GifByteType*>(indexed.pixels.data() + size_t(y) * size_t(width));
        if (EGifPutLine(file, line, width) != GIF_OK)
            return false;
    }
    return true;
}

// --- JPEG 2000 ---

// An OpenJPEG output stream into memory. The JP2 writer seeks back to fill
// in box lengths, so writes land at the position, not at the end.
struct MemoryStream {
    QByteArray bytes;
    qint64 position = 0;

    void reach(qint64 end)
    {
        if (end > bytes.size())
            bytes.resize(end, '\0');
    }
};

OPJ_SIZE_T streamWrite(void* buffer, OPJ_SIZE_T length, void* user)
{
    auto* stream = static_cast<MemoryStream*>(user);
    stream->reach(stream->position + qint64(length));
    std::memcpy(stream->bytes.data() + stream->position, buffer, length);
    stream->position += qint64(length);
    return length;
}

OPJ_OFF_T streamSkip(OPJ_OFF_T length, void* user)
{
    auto* stream = static_cast<MemoryStream*>(user);
    if (stream->position + length < 0)
        return -1;
    stream->position += length;
    stream->reach(stream->position);
    return length;
}

OPJ_BOOL streamSeek(OPJ_OFF_T position, void* user)
{
    auto* stream = static_cast<MemoryStream*>(user);
    if (position < 0)
        return OPJ_FALSE;
    stream->position = position;
    stream->reach(position);
    return OPJ_TRUE;
}

void logOpenJpegError(const char* message, void*)
{
    qCWarning(lcFoundation, "JPEG 2000 encoder: %s", message);
}

// The picture's samples as OpenJPEG's image: 8-bit RGB, and alpha when the
// picture has it.
opj_image_t* openJpegImage(const QImage& argb)
{
    const bool alpha = argb.hasAlphaChannel();
    const int components = alpha ? 4 : 3;
    opj_image_cmptparm_t parameters[4];
    std::memset(parameters, 0, sizeof parameters);
    for (int c = 0; c < components; ++c) {
        parameters[c].dx = 1;
        parameters[c].dy = 1;
        parameters[c].w = OPJ_UINT32(argb.width());
        parameters[c].h = OPJ_UINT32(argb.height());
        parameters[c].prec = 8;
    }
    opj_image_t* image = opj_image_create(OPJ_UINT32(components), parameters, OPJ_CLRSPC_SRGB);
    if (!image)
        return nullptr;
    image->x1 = OPJ_UINT32(argb.width());
    image->y1 = OPJ_UINT32(argb.height());
    if (alpha)
        image->comps[3].alpha = 1;
    for (int y = 0; y < argb.height(); ++y) {
        const auto* line = reinterpret_cast<const QRgb*>(argb.constScanLine(y));
        for (int x = 0; x < argb.width(); ++x) {
            const size_t at = size_t(y) * size_t(argb.width()) + size_t(x);
            image->comps[0].data[at] = qRed(line[x]);
            image->comps[1].data[at] = qGreen(line[x]);
            image->comps[2].data[at] = qBlue(line[x]);
            if (alpha)
                image->comps[3].data[at] = qAlpha(line[x]);
        }
    }
    return image;
}

bool encodeJp2(opj_codec_t* codec, opj_image_t* image, opj_stream_t* stream)
{
    return opj_start_compress(codec, image, stream) && opj_encode(codec, stream) && opj_end_compress(codec, stream);
}

} // namespace

QByteArray BitmapEncoders::gifData(const QImage& image)
{
    if (image.isNull())
        return QByteArray();
    if (image.width() > kGifLargestSide || image.height() > kGifLargestSide) {
        qCWarning(lcFoundation, "A picture of %dx%d is too large for GIF", image.width(), image.height());
        return QByteArray();
    }
    const QImage argb = image.convertToFormat(QImage::Format_ARGB32);
    Indexed indexed;
    if (!indexGifPixels(argb, indexed))
        return QByteArray();
    QByteArray data;
    int error = 0;
    GifFileType* file = EGifOpen(&data, gifAppend, &error);
    if (!file) {
        qCWarning(lcFoundation, "GIF encoder: %s", GifErrorString(error));
        return QByteArray();
    }
    const bool written = writeGif(file, indexed, argb.width(), argb.height());
    if (!written)
        qCWarning(lcFoundation, "GIF encoder: %s", GifErrorString(file->Error));
    // Closing writes the trailer and frees the file, whatever went before.
    const bool closed = EGifCloseFile(file, &error) == GIF_OK;
    if (written && !closed)
        qCWarning(lcFoundation, "GIF encoder: %s", GifErrorString(error));
    return written && closed ? data : QByteArray();
}

QByteArray BitmapEncoders::jpeg2000Data(const QImage& image)
{
    if (image.isNull())
        return QByteArray();
    const QImage argb = image.convertToFormat(image.hasAlphaChannel() ? QImage::Format_ARGB32 : QImage::Format_RGB32);
    std::unique_ptr<opj_image_t, void (*)(opj_image_t*)> samples(openJpegImage(argb), opj_image_destroy);
    std::unique_ptr<opj_codec_t, void (*)(opj_codec_t*)> codec(opj_create_compress(OPJ_CODEC_JP2), opj_destroy_codec);
    if (!samples || !codec)
        return QByteArray();
    opj_set_error_handler(codec.get(), logOpenJpegError, nullptr);

    opj_cparameters_t parameters;
    opj_set_default_encoder_parameters(&parameters);
    // One lossless layer (the reversible wavelet), colours decorrelated.
    parameters.tcp_numlayers = 1;
    parameters.tcp_rates[0] = 0;
    parameters.cp_disto_alloc = 1;
    parameters.irreversible = 0;
    parameters.tcp_mct = 1;
    // Each resolution level halves the picture: a small one has fewer.
    int levels = 1;
    while (levels < parameters.numresolution && (std::min(argb.width(), argb.height()) >> levels) > 0)
        ++levels;
    parameters.numresolution = levels;
    if (!opj_setup_encoder(codec.get(), &parameters, samples.get()))
        return QByteArray();

    MemoryStream memory;
    std::unique_ptr<opj_stream_t, void (*)(opj_stream_t*)> stream(
        opj_stream_create(OPJ_J2K_STREAM_CHUNK_SIZE, OPJ_FALSE), opj_stream_destroy);
    if (!stream)
        return QByteArray();
    opj_stream_set_user_data(stream.get(), &memory, nullptr);
    opj_stream_set_write_function(stream.get(), streamWrite);
    opj_stream_set_skip_function(stream.get(), streamSkip);
    opj_stream_set_seek_function(stream.get(), streamSeek);
    if (!encodeJp2(codec.get(), samples.get(), stream.get()))
        return QByteArray();
    // The stream's buffer reaches memory when the stream goes.
    stream.reset();
    return memory.bytes;
}
