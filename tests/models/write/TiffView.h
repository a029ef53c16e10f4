#pragma once

#include <QByteArray>
#include <QtEndian>

#include <gtest/gtest.h>

// A file's TIFF structure: where it starts, its byte order, and its
// directories' entries, read from the file's own bytes.
struct TiffView {
    explicit TiffView(const QByteArray& file)
        : bytes(file)
    {
        if (file.startsWith("\x89PNG")) {
            start = file.indexOf("eXIf") + 4;
        } else if (!file.startsWith("II") && !file.startsWith("MM")) {
            start = file.indexOf(QByteArray("Exif\0\0", 6)) + 6;
        }
        little = bytes.mid(start, 2) == "II";
    }
    uint32_t read(qsizetype at, int width) const
    {
        const char* p = bytes.constData() + start + at;
        if (width == 2)
            return little ? qFromLittleEndian<quint16>(p) : qFromBigEndian<quint16>(p);
        return little ? qFromLittleEndian<quint32>(p) : qFromBigEndian<quint32>(p);
    }
    QByteArray number(uint32_t value, int width) const
    {
        QByteArray out(width, '\0');
        if (width == 2)
            little ? qToLittleEndian<quint16>(value, out.data()) : qToBigEndian<quint16>(value, out.data());
        else
            little ? qToLittleEndian<quint32>(value, out.data()) : qToBigEndian<quint32>(value, out.data());
        return out;
    }
    qsizetype ifd0() const { return read(4, 4); }
    // The entry of `tag` in the directory at `directory`, from the TIFF start.
    qsizetype entry(qsizetype directory, uint16_t tag) const
    {
        for (uint32_t i = 0; i < read(directory, 2); ++i) {
            if (read(directory + 2 + 12 * i, 2) == tag)
                return directory + 2 + 12 * i;
        }
        ADD_FAILURE() << "no entry " << tag;
        return 0;
    }
    qsizetype exifDirectory() const { return read(entry(ifd0(), 0x8769) + 8, 4); }
    qsizetype gpsDirectory() const { return read(entry(ifd0(), 0x8825) + 8, 4); }
    qsizetype makerNote() const { return read(entry(exifDirectory(), 0x927C) + 8, 4); }
    // The TIFF structure whose header lies at `at` (a Nikon maker note's).
    TiffView inner(qsizetype at) const
    {
        TiffView view = *this;
        view.start = start + at;
        view.little = bytes.mid(view.start, 2) == "II";
        return view;
    }
    qsizetype ifd1() const { return read(ifd0() + 2 + 12 * qsizetype(read(ifd0(), 2)), 4); }

    const QByteArray& bytes;
    qsizetype start = 0;
    bool little = true;
};
