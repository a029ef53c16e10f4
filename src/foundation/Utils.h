#pragma once

#include <QByteArray>
#include <QImage>
#include <QRectF>
#include <QSizeF>
#include <QString>
#include <QStringList>
#include <QVariant>
#include <QVariantMap>

// Image and file utilities (class operations only).
//
// Callers rely on:
// - supportFileTypes: the accepted image file extensions, lower case, 28
//   distinct entries in a fixed order; membership decides what is imported.
// - writeImage replaces the file atomically.
// - The size operations return the size unchanged when it cannot be scaled (an
//   empty size or maximum).
class Utils {
public:
    static QStringList supportFileTypes();

    // The file's first image (null when it cannot be read).
    static QImage cgImageFromPath(const QString& path);
    // A new image of `destinationSize`: "Stretch" draws the file's image over
    // all of it; "Tile" repeats the image, fitted inside the size with
    // getSizeWithOriginMax, in columns and rows; any other type draws nothing.
    static QImage tiledImageWithSrcPath(const QString& path, const QSize& destinationSize, const QString& type);

    // The rectangle (0, 0, width + dx, height + dy).
    static QRectF boundsOffset(const QRectF& rect, double dx, double dy);
    // Scales up or down until the size touches the maximum.
    static QSizeF getSizeWithOriginFitMax(const QSizeF& size, const QSizeF& maximum);
    // Scales down only: unchanged when it already fits.
    static QSizeF getSizeWithOriginMax(const QSizeF& size, const QSizeF& maximum);

    // The image in the file format the type text names ("tif", "TIFF", "jpg",
    // "JPEG", "png", "bmp", "gif", "jpg2000", ...; compared exactly, so "Jpg" is
    // refused); empty for another text. GIF and JPEG 2000 (a JP2 file) are
    // written through their own libraries.
    static QByteArray imageDataRepresentationOfType(const QImage& image, const QString& type);
    // Writes the image as PNG, atomically. False when there is nothing to write
    // or the file cannot be written.
    static bool writeImage(const QImage& image, const QString& path);

    // The text with the characters of the range lower-cased; null when the text
    // is shorter than the range's end.
    static QString lowercaseStringInRange(const QString& text, qsizetype location, qsizetype length);
    // The same, upper-casing the range; the empty text for an empty range of
    // an empty text.
    static QString uppercaseStringInRange(const QString& text, qsizetype location, qsizetype length);

    // The JSON object or array of the text as a QVariantMap / QVariantList;
    // invalid for an empty text, and for unreadable JSON after logging
    // "json解析失败：<reason>".
    static QVariant JSONValue(const QString& text);
    // The object as pretty-printed JSON text.
    static QString dictionaryToJsonString(const QVariantMap& object);
};
