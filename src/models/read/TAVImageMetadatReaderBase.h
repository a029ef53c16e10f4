#pragma once

#include "models/record/TAVEntity.h"

#include <QByteArray>
#include <QList>
#include <QLoggingCategory>
#include <QString>

#include <functional>
#include <memory>
#include <optional>
#include <string>

class QFile;

namespace Exiv2 {
class Exifdatum;
class Image;
} // namespace Exiv2

// Rows read from files are logged here at debug level only: they carry
// personal data (GPS positions, names), so the category is off by default.
Q_DECLARE_LOGGING_CATEGORY(lcMetadataRows)

// One reader per metadata family over one file. The base keeps the path and
// the opened file; each family reader opens the file by itself and turns the
// family's collection into TAVEntity rows headed by one group row.
class TAVImageMetadatReaderBase {
public:
    // The opened file that the readers of one reading manager share: opened
    // and parsed once for all three families.
    struct SharedImage {
        // What holds the memory `bytes` read from when they do not own it
        // (a save's written bytes, left where the library wrote them).
        std::shared_ptr<const void> bytesOwner;
        // The file's bytes, which the image reads from: declared first, so
        // they outlive it.
        QByteArray bytes;
        // What the image reads from instead when not empty: the segments a
        // save's check read of the bytes it wrote.
        QByteArray parsedBytes;
        std::unique_ptr<Exiv2::Image> image;
        bool opened = false;
        bool metadataRead = false;
        // The file has an XMP packet the library could not decode.
        bool xmpUndecodable = false;
        ~SharedImage();
    };
    using SharedImagePtr = std::shared_ptr<SharedImage>;

    // Keeps the path; the file is not opened here (family readers open it).
    // A reader of its own re-reads the file at every call; readers given one
    // shared image read it once between them.
    explicit TAVImageMetadatReaderBase(const QString& path, SharedImagePtr shared = nullptr);
    virtual ~TAVImageMetadatReaderBase();

    TAVImageMetadatReaderBase(const TAVImageMetadatReaderBase&) = delete;
    TAVImageMetadatReaderBase& operator=(const TAVImageMetadatReaderBase&) = delete;

    // The family's rows, read from the file anew at every call: the group row,
    // then one row per datum. Nothing when the reader has no opened file (and
    // always nothing for the base).
    virtual std::optional<QList<TAVEntityPtr>> doReadImageMeatadata();

    const QString& filePath() const { return filePath_; }
    bool hasImage() const { return image() != nullptr; }
    // Whether the last read met an XMP packet the library could not decode:
    // the file's XMP is then missing from the rows, not absent from the file.
    bool xmpUndecodable() const { return shared_->xmpUndecodable; }

    // The line every reader prints when the metadata library fails, so that a
    // malformed file shows up on standard output instead of ending the process.
    static void printCaughtException(const char* message);

    // Bytes from the library as text; a null text when they are not UTF-8.
    static QString decodeUtf8(const std::string& bytes);

    // decodeUtf8 of a metadata key, sharing one text per key between all
    // rows of all images: a shoot repeats the same few hundred keys.
    static QString internedKey(const std::string& key);
    // The key text of a datum, interned; an EXIF datum's key is found from
    // its directory and tag number without making the key text first.
    static QString keyText(const Exiv2::Exifdatum& datum);
    template <typename Datum> static QString keyText(const Datum& datum) { return internedKey(datum.key()); }

    // The bytes of an opened file the library's parse needs: a JPEG up to the
    // start of its compressed picture, any other file whole.
    static QByteArray readParsedBytes(QFile& file);

protected:
    // Opens the file through the library; on failure prints the caught line
    // and leaves the reader without an image.
    void openImage();

    Exiv2::Image* image() const { return shared_->image.get(); }
    // Parses the file's metadata, once for readers sharing their image.
    void readMetadataOnce();
    // Opens the file again after `releaseImage`.
    void reopenIfReleased();

public:
    // Lets go of the opened file and its parsed metadata (the rows already
    // read stay with the caller); a later read opens the file again.
    void releaseImage();

protected:
    // The shared read loop of the family readers: re-reads the file, appends
    // the group row, and lets `appendRows` add the family's rows. Any library
    // failure ends the reading with the rows made so far.
    using RowCollector = std::function<void(Exiv2::Image&, QList<TAVEntityPtr>&)>;
    std::optional<QList<TAVEntityPtr>> readFamily(const QString& groupName, const RowCollector& appendRows);

    // A data row of the family `kind` (1 EXIF, 2 IPTC, 3 XMP).
    static TAVEntityPtr makeRow(int32_t kind, int32_t typeId, const QString& key, const QString& value);
    // `value`, or an equal short text read before on this thread, so that
    // equal values of many photos share one text.
    static QString sharedShortValue(const QString& value);

    // Walks a family's collection (ExifData, IptcData, XmpData): hands every
    // datum whose key and value text (textOf gives it, null when not UTF-8)
    // are both non-empty to `onRow(key, value, typeId)`. Most photos lack one
    // family or another: an empty collection is no error and says nothing.
    template <typename Collection, typename TextOf, typename OnRow>
    void forEachTextDatum(const Collection& data, const char* familyName, TextOf textOf, OnRow onRow) const
    {
        for (const auto& datum : data) {
            const QString key = keyText(datum);
            const QString value = textOf(datum);
            qCDebug(
                lcMetadataRows, "%s the key = %s, value = %s", familyName, qUtf8Printable(key), qUtf8Printable(value));
            if (!key.isEmpty() && !value.isEmpty()) {
                onRow(key, value, static_cast<int32_t>(datum.typeId()));
            }
        }
    }

private:
    QString filePath_;
    SharedImagePtr shared_;
    bool readsOnce_;
};
