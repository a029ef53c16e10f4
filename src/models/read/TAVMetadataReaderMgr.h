#pragma once

#include "models/read/TAVImageMetadatReaderBase.h"
#include "models/record/TAVEntity.h"

#include <QList>
#include <QMap>
#include <QString>

#include <array>
#include <cstdint>
#include <initializer_list>
#include <memory>
#include <optional>
#include <utility>
#include <vector>

class TAVExifReader;
class TAVIPTCReader;
class TAVXmpReader;

// Reads all metadata of one image file and answers questions about it: the
// full row list for the record, and the values the summary, exposure and GPS
// tabs show. Used by one thread at a time. The camera's exposure settings are
// read in TAVMetadataReaderMgr_Exposure.cpp.
class TAVMetadataReaderMgr {
public:
    // Makes the EXIF, IPTC and XMP readers of the file (each opens it).
    explicit TAVMetadataReaderMgr(const QString& path);
    // Readers of the file at `path` over its bytes already in memory and
    // parsed (a save's check of what it wrote): the file is not read again.
    TAVMetadataReaderMgr(const QString& path, TAVImageMetadatReaderBase::SharedImagePtr parsed);
    ~TAVMetadataReaderMgr();

    TAVMetadataReaderMgr(const TAVMetadataReaderMgr&) = delete;
    TAVMetadataReaderMgr& operator=(const TAVMetadataReaderMgr&) = delete;

    // A fresh list of every family's rows (EXIF, IPTC, XMP, whatever the export
    // type), with the dates as the file holds them. Not kept.
    QList<TAVEntityPtr> readAllMetadata(uint64_t exportType);

    // Reads the rows again, keeps them for the getters and converts the three
    // EXIF date rows to "yyyy-MM-dd HH:mm:ss". Returns the kept list.
    QList<TAVEntityPtr> readAllMetadata();
    // The list the last readAllMetadata kept.
    const QList<TAVEntityPtr>& keptRows() const { return aryMetadata_; }
    // Whether the file's XMP packet could not be decoded at the last
    // readAllMetadata: its rows then lack the file's XMP.
    bool xmpUndecodable() const { return xmpUndecodable_; }
    // Lets go of the opened file and its parsed metadata once the rows are
    // read: an imported image keeps its rows, not a second copy of them.
    // Every getter still answers; a new read opens the file again.
    void releaseFile();
    // Keeps `rows` instead of the rows read: the record's list made of them,
    // the same entities in the same order with rows of the editable tags the
    // file lacks (empty values) put among them. The getters pass over rows
    // with an empty value, which no reader makes, and so answer as before;
    // the photo keeps one list of its rows instead of two.
    void keepRecordRows(const QList<TAVEntityPtr>& rows);
    // The next read shares the packed long values of `rows` (an earlier read
    // of the same photo) that it reads again unchanged.
    void shareLongValuesOf(const QList<TAVEntityPtr>& rows);

    // The capture date: the first of DateTimeOriginal, DateTimeDigitized, the
    // IPTC DateCreated with TimeCreated, the XMP exif:DateTimeOriginal,
    // photoshop:DateCreated and xmp:CreateDate that holds a date, as a
    // wall-clock time; then the
    // last-modified DateTime, only when none of them does (an edited photo
    // still shows when it was taken). Null when there is no date at all.
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

    // Camera values derived from the standard tag first, then from the maker
    // notes of Canon, Nikon, Fujifilm, Olympus and Sigma cameras. Texts are null
    // when nothing gives a value; labels come from the value-label tables.
    QString getShutterSpeed() const;
    QString getAperture() const;
    QString getSensitivity() const;
    QString getFlash() const;
    QString getSensor() const;
    QString getFocusMode() const;
    QString getMeteringMode() const;
    QString getExposureProgram() const;
    // "" when the file gives no value.
    QString getSubjectDistance() const;
    QString getFocalLength() const;
    QString getFocalLength35() const;
    QString getDigitalZoom() const;

    // Label and icon name of a derived value, under the keys below.
    using LabelAndIcon = QMap<QString, QString>;
    static constexpr const char* kValueKey = "com.tav.value";
    static constexpr const char* kImageNameKey = "com.tav.ImageName";
    LabelAndIcon getWhitebalance() const;
    LabelAndIcon getContrast() const;
    LabelAndIcon getSaturation() const;
    LabelAndIcon getSharpness() const;

    // Which exposure programs (13 codes) and focus settings (6 codes) the user
    // may choose for this camera.
    std::array<bool, 13> validExposureProgramSettings() const;
    std::array<bool, 6> validFocusSettings() const;

    // Sidecar export of all metadata of `srcPath` into "<folder>/<base>.exv";
    // see SidecarExporter.
    static int32_t exportMetadata(uint64_t type, const QString& srcPath, const QString& folder);
    static int32_t doExportMetadata(int32_t argc, const char* const argv[]);

    // Rewrites the three EXIF date rows of the kept list in the application's
    // date form (see getConvertDatetimeString).
    void modifyDateFormat();

    // Whether `part` occurs in `text`; false when either is empty.
    static bool isString(const QString& text, const QString& part, bool ignoreCase);

    // The value of the first kept row with the key, or null (also for "").
    QString getOneValueForKey(const QString& key) const;
    // Whether a kept row has the key.
    bool hasRowWithKey(const QString& key) const;
    // The first row read with the key while the file is held (until
    // releaseFile); null when there is none, and once the file is let go.
    TAVEntityPtr readRowWithKey(const QString& key) const;
    // Whether `rows` are the kept rows themselves (the same entities in the
    // same order).
    bool rowsAre(const QList<TAVEntityPtr>& rows) const { return rows == aryMetadata_; }

private:
    // The first non-empty value along the chain of keys, else the last key's
    // value as it is (possibly null).
    QString firstValueOf(std::initializer_list<const char*> keys) const;
    // The IPTC text, or its XMP twin where that holds the whole of a text
    // IPTC cut; the XMP text when the IPTC one is empty.
    QString wholeTextOf(const char* iptcKey, const char* xmpKey) const;
    QList<TAVEntityPtr> readAllFamilies();
    // The maker-note identifier of the file (see MakerNoteIdentifier); reads
    // the file's EXIF data again.
    int32_t makerNoteIdentifier() const;
    int flashCode() const;
    int exposureProgramCode() const;
    int whiteBalanceCode() const;
    int contrastCode() const;
    int saturationCode() const;
    int sharpnessCode() const;
    int focusModeCode() const;
    int meteringModeCode() const;
    int sensingMethodCode() const;

    // The value of a kept row, nothing for a row of the record that no
    // reader made (see keepRecordRows).
    static std::optional<QString> keptValue(const TAVEntity& row);

    std::unique_ptr<TAVExifReader> exifReader_;
    // Found once per manager: every rule that asks would otherwise copy the
    // file's EXIF data again.
    mutable std::optional<int32_t> makerNote_;
    std::unique_ptr<TAVIPTCReader> iptcReader_;
    std::unique_ptr<TAVXmpReader> xmpReader_;
    QList<TAVEntityPtr> aryMetadata_;
    bool xmpUndecodable_ = false;
    // An index of the kept rows by key, for the getters that ask for dozens
    // of keys while the record is built; dropped with the file (releaseFile),
    // after which the getters search the rows.
    // (Hash of the key, place in indexedRows_) sorted by hash, rows of one
    // hash in row order: one block for all keys instead of a node per key.
    std::vector<std::pair<size_t, qsizetype>> rowsByKeyHash_;
    // The rows as read, which the index points into (keepRecordRows changes
    // the kept list); let go with the index.
    QList<TAVEntityPtr> indexedRows_;
    static size_t keyHash(const QString& key);
    // The first row read with the key, or null; the index must exist.
    const TAVEntityPtr* indexedRow(const QString& key) const;
};
