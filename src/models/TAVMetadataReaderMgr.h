#pragma once

#include "models/TAVEntity.h"

#include <QList>
#include <QString>

#include <cstdint>
#include <initializer_list>
#include <memory>

class TAVExifReader;
class TAVIPTCReader;
class TAVXmpReader;

// Reads all metadata of one image file and answers questions about it: the
// full row list for the record, and the values the summary, exposure and GPS
// tabs show. Used by one thread at a time.
class TAVMetadataReaderMgr {
public:
    // Makes the EXIF, IPTC and XMP readers of the file (each opens it).
    explicit TAVMetadataReaderMgr(const QString& path);
    ~TAVMetadataReaderMgr();

    TAVMetadataReaderMgr(const TAVMetadataReaderMgr&) = delete;
    TAVMetadataReaderMgr& operator=(const TAVMetadataReaderMgr&) = delete;

    // A fresh list of every family's rows (EXIF, IPTC, XMP, whatever the export
    // type), with the dates as the file holds them. Not kept.
    QList<TAVEntityPtr> readAllMetadata(uint64_t exportType);

    // Reads the rows again, keeps them for the getters and converts the three
    // EXIF date rows to "yyyy-MM-dd HH:mm:ss". Returns the kept list.
    QList<TAVEntityPtr> readAllMetadata();

    // The capture date: the first non-empty of DateTimeOriginal,
    // DateTimeDigitized and DateTime (the last-modified date comes last so
    // that an edited photo still shows when it was taken). Null when none.
    QString getCreateDateAndTime() const;

    // "yyyy:MM:dd HH:mm:ss" or "yyyy/MM/dd HH:mm:ss" becomes
    // "yyyy-MM-dd HH:mm:ss"; "" stays ""; any other text is returned unchanged.
    static QString getConvertDatetimeString(const QString& text);

    // "Make Model", or the one that is set, or "".
    QString getCameraMakeAndModel() const;

    QString getKeywords() const;
    QString getLensMake() const;
    QString getLensModel() const;
    QString getCameraMake() const;
    QString getCaption() const;
    QString getTitle() const;
    QString getCameraModel() const;
    QString getCameraSoftware() const;
    QString getPhotographer() const;
    QString getCopyright() const;
    QString getDescription() const;
    QString getGPSAltitudeRef() const;
    QString getGPSAltitude() const;
    QString getGPSLatitudeRef() const;
    QString getGPSLatitudeString() const;
    QString getGPSLongitudeRef() const;
    QString getGPSLongitudeString() const;
    // "version 2.2.0.0" for the value "2 2 0 0"; null when there is none.
    QString getGPSVersion() const;

    // Pixel and file size text, and the file size in bytes (see TAVExifReader).
    QString getImageSize() const;
    float getImageSizeByte() const;

    // The latitude / longitude as degrees, minutes and seconds; false when the
    // file has none.
    bool getGPSLatitudeDecimalValue(double& degree, double& minutes, double& secondes) const;
    bool getGPSLongitudeDecimalValue(double& degree, double& minutes, double& secondes) const;

    // Rewrites the three EXIF date rows of the kept list in the application's
    // date form (see getConvertDatetimeString).
    void modifyDateFormat();

    // Whether `part` occurs in `text`; false when either is empty.
    static bool isString(const QString& text, const QString& part, bool ignoreCase);

    // The value of the first kept row with the key, or null (also for "").
    QString getOneValueForKey(const QString& key) const;

private:
    // The first non-empty value along the chain of keys, else the last key's
    // value as it is (possibly null).
    QString firstValueOf(std::initializer_list<const char*> keys) const;
    QList<TAVEntityPtr> readAllFamilies();
    std::unique_ptr<TAVExifReader> exifReader_;
    std::unique_ptr<TAVIPTCReader> iptcReader_;
    std::unique_ptr<TAVXmpReader> xmpReader_;
    QList<TAVEntityPtr> aryMetadata_;
};
