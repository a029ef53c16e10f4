#pragma once

// PNG chunks made by a test: text chunks of every kind and Photoshop
// resources as an image converter keeps them, put into a copy of a camera
// PNG, the chunks of a saved file walked by their lengths, and a converter's
// two IPTC copies as exiftool reads them.

#include "support/ExifTool.h"

#include <QByteArray>
#include <QByteArrayList>
#include <QCryptographicHash>
#include <QJsonObject>
#include <QtEndian>

#include <gtest/gtest.h>

#include <zlib.h>

#include <utility>

namespace PngChunkMaker {

inline QByteArray chunk(const QByteArray& type, const QByteArray& data)
{
    QByteArray bytes(4, '\0');
    qToBigEndian<quint32>(quint32(data.size()), bytes.data());
    bytes += type + data;
    const QByteArray body = type + data;
    const uLong crc = crc32(0L, reinterpret_cast<const Bytef*>(body.constData()), uInt(body.size()));
    QByteArray sum(4, '\0');
    qToBigEndian<quint32>(quint32(crc), sum.data());
    return bytes + sum;
}

inline QByteArray deflated(const QByteArray& text)
{
    // qCompress puts the inflated size before the zlib stream.
    return qCompress(text).mid(4);
}

// A text chunk of `type` (tEXt, zTXt or iTXt; an iTXt compressed when asked).
inline QByteArray textChunk(
    const QByteArray& type, const QByteArray& keyword, const QByteArray& text, bool compressed = false)
{
    if (type == "tEXt")
        return chunk(type, keyword + '\0' + text);
    if (type == "zTXt")
        return chunk(type, keyword + QByteArray(2, '\0') + deflated(text));
    return chunk(type,
        keyword + '\0' + (compressed ? QByteArray("\x01\x00", 2) : QByteArray(2, '\0')) + QByteArray(2, '\0')
            + (compressed ? deflated(text) : text));
}

// The PNG with `chunks` before its end chunk.
inline void insertBeforeEnd(QByteArray& png, const QByteArray& chunks)
{
    const qsizetype end = png.lastIndexOf("IEND") - 4;
    ASSERT_GT(end, 8);
    png.insert(end, chunks);
}

// The whole chunks of a PNG, walked by their lengths.
inline QByteArrayList chunksOf(const QByteArray& png)
{
    QByteArrayList chunks;
    for (qsizetype at = 8; at + 12 <= png.size();) {
        const qsizetype size = 12 + qFromBigEndian<quint32>(png.constData() + at);
        chunks << png.mid(at, size);
        at += size;
    }
    return chunks;
}

// A Photoshop resource (signature, number, empty name, size, data).
inline QByteArray resource(quint16 id, const QByteArray& data)
{
    QByteArray bytes = "8BIM";
    bytes += char(id >> 8);
    bytes += char(id & 0xff);
    bytes += QByteArray(2, '\0');
    QByteArray size(4, '\0');
    qToBigEndian<quint32>(quint32(data.size()), size.data());
    bytes += size + data;
    if (data.size() % 2)
        bytes += '\0';
    return bytes;
}

inline QByteArray dataset(quint8 number, const QByteArray& value)
{
    QByteArray bytes("\x1c\x02", 2);
    bytes += char(number);
    bytes += char(value.size() >> 8);
    bytes += char(value.size() & 0xff);
    return bytes + value;
}

// A profile as an image converter keeps it in a PNG ("Raw profile type
// <name>"): the profile's name, its length, and its bytes in lines of hex
// digits; compressed when that text is 128 characters or more.
inline QByteArray rawProfileChunk(const QByteArray& name, const QByteArray& bytes)
{
    QByteArray text = "\n" + name + "\n" + QByteArray::number(bytes.size()).rightJustified(8) + "\n";
    const QByteArray hex = bytes.toHex();
    for (qsizetype at = 0; at < hex.size(); at += 72)
        text += hex.mid(at, 72) + "\n";
    return textChunk(text.size() < 128 ? "tEXt" : "zTXt", "Raw profile type " + name, text);
}

// Photoshop resources as an image converter keeps them in a PNG.
inline QByteArray photoshopChunk(const QByteArray& resources)
{
    return rawProfileChunk("8bim", resources);
}

// `chunks` before the PNG's first image data chunk, where a converter
// writes its profiles.
inline void insertBeforePicture(QByteArray& png, const QByteArray& chunks)
{
    const qsizetype picture = png.indexOf("IDAT") - 4;
    ASSERT_GT(picture, 8);
    png.insert(picture, chunks);
}

// The datasets of an IPTC block of a caption, a title and a photographer,
// the Nikon PNG's.
inline QByteArray iptcBlock(const QByteArray& caption)
{
    return dataset(5, "BUSH") + dataset(80, "Patrick Shanahan") + dataset(120, caption);
}

// Photoshop resources as a converter copies them from a JPEG: a resolution,
// the IPTC block and its digest.
inline QByteArray photoshopResources(const QByteArray& iptc)
{
    return resource(0x03ED, QByteArray::fromHex("00480000000100010048000000010001")) + resource(0x0404, iptc)
        + resource(0x0425, QCryptographicHash::hash(iptc, QCryptographicHash::Md5));
}

// A camera PNG as a converter makes it from a JPEG holding IPTC: the
// Photoshop resources, then the IPTC block again, before the picture.
inline QByteArray convertersProfiles(const QByteArray& resources, const QByteArray& iptc)
{
    return photoshopChunk(resources) + rawProfileChunk("iptc", iptc);
}

// The IPTC tags exiftool reads in the file's first copy and in its second,
// named alike.
inline std::pair<QJsonObject, QJsonObject> iptcCopiesOf(const QString& path)
{
    std::pair<QJsonObject, QJsonObject> copies;
    const QJsonObject tags = ExifTool::read(path, {"-a"});
    for (auto tag = tags.begin(); tag != tags.end(); ++tag) {
        const QString name = tag.key().section(':', 1);
        if (tag.key().startsWith("IPTC:"))
            copies.first.insert(name, tag.value());
        else if (tag.key().startsWith("IPTC2:"))
            copies.second.insert(name, tag.value());
    }
    return copies;
}

} // namespace PngChunkMaker
