#pragma once

#include "models/formats/IptcCharacterSet.h"
#include "models/read/TAVImageMetadatReaderBase.h"
#include "models/record/TAVEntity.h"
#include "models/write/WrittenImageCheck.h"

#include <QList>
#include <QMap>
#include <QSet>
#include <QString>
#include <QStringList>

#include <memory>
#include <optional>

namespace Exiv2 {
class ExifData;
class Image;
class IptcData;
class XmpData;
} // namespace Exiv2

// Changes the EXIF, IPTC and XMP data of one image file in memory and writes
// them back into the file on request. The file is read into memory once, when
// the writer is made; every write and clear changes only the in-memory data
// until saveModifiedMetadata. The library writes into that memory; the new
// bytes are checked (WrittenImageCheck) and then replace the file atomically,
// so a failed save never leaves the file half-written. The file is a working
// copy, made again from the user's file when needed, so it is not forced to
// disk; the replacement of the user's file is. The save lies in
// TAVExifWriter_Save.cpp.
//
// Library errors never leave this class: they become failure results plus the
// line "Caught Exiv2 exception '...'" on standard output.
class ExivMemoryFile;

class TAVExifWriter {
public:
    explicit TAVExifWriter(const QString& path);
    ~TAVExifWriter();

    TAVExifWriter(const TAVExifWriter&) = delete;
    TAVExifWriter& operator=(const TAVExifWriter&) = delete;

    // Sets each entity's key to its value text: "Exif." and "Iptc." keys
    // through their collections, "Xmp." keys as XMP properties; any other key
    // is passed over. Returns the entities whose write failed (empty when all
    // went in); without an image that is the whole list.
    QList<TAVEntityPtr> doWriteMetadata(const QList<TAVEntityPtr>& entities);

    // Erases the listed EXIF keys. A key the library rejects is skipped and
    // the rest are still erased; the answer is false when any key was rejected.
    // Members of Canon's setting arrays are never erased (the library would
    // write 0 into them, a false setting), nor in a TIFF structure the
    // entries that make up a page's picture.
    bool clearMetadata(const QStringList& keys);
    // Erases all EXIF data, for a clear of everything; a PNG's save then
    // takes its text chunks too (see PngKeptChunks::Cleared). A TIFF keeps
    // Photoshop's resources: they are no family's, and the library takes
    // the IPTC they hold out with the rest of the IPTC. A TIFF keeps every
    // page's picture too.
    bool clearAllMetadata();
    // Erases every EXIF entry, the maker note with them, but the blocks the
    // first directory carries for the other families and for Photoshop
    // (TAVKeyLists::isOtherFamilyBlockKey), for a clear of EXIF alone, and
    // a PNG's text chunks that copy the EXIF tags.
    bool clearExifMetadata();
    // For a clear of the GPS family: a PNG's save takes the text chunks that
    // copy the GPS tags ("exif:GPSLatitude").
    void clearGpsCopies();
    // For a clear of the IPTC family: a PNG's IPTC goes whole, from its
    // Photoshop resources too, also where they alone hold it.
    void clearIptcCopies();
    // Whether the current EXIF data holds the key; false for a key the
    // library does not know, which no file can hold.
    bool holdsExifKey(const QString& key) const;
    // Writes the in-memory EXIF, IPTC and XMP data into the file; false,
    // with the file as it was, when the library fails, the written bytes do
    // not pass the check or the file cannot be replaced.
    bool saveModifiedMetadata();
    // Why the last saveModifiedMetadata failed, or why the file could not be
    // opened (then every write and save fails); empty after a success.
    const QString& lastError() const { return lastError_; }
    // Whether the key is in the current data. Keys of no family answer true.
    bool isKeyExistInCurrentImage(const QString& key);
    // The text of the key's first value in the current data; null when absent.
    QString currentValue(const QString& key) const;
    // The texts of `keys` as the readers show them (IPTC in the block's own
    // set, every dataset of a repeated one joined with ", ", Windows' texts
    // and XMP's default language decoded), read in one pass over each
    // family: a null text for a key the image does not hold, nothing for one
    // whose stored value reads as no text (bytes of another set, an XMP text
    // without a default language).
    QMap<QString, std::optional<QString>> shownTexts(const QSet<QString>& keys) const;
    // Whether the texts of the opened image's IPTC block are read on a
    // guess: the block declares no set the reading is sure of (UTF-8, or
    // Latin-1 declared) and its bytes are not all UTF-8.
    bool readsIptcOnAGuess() const;
    // Whether the opened image holds any IPTC dataset, or an IPTC block the
    // library cannot read.
    bool holdsIptc() const;
    // Whether the file's first value of an IPTC time key carries a zone
    // (true when the file holds none).
    bool iptcTimeHasZone(const QString& key) const;
    // The standard's length of an IPTC dataset in bytes, beyond which its
    // texts are cut; 0 for none.
    static int iptcMaxBytes(const QString& key);
    // Whether the file type holds XMP and the file's packet can be written.
    bool canHoldXmp() const;
    // A copy of the current EXIF data (the file is not read again); empty
    // without an image.
    Exiv2::ExifData getExifData() const;
    // As clearMetadata for IPTC keys; every dataset of a key goes.
    bool clearIPTCMetadata(const QStringList& keys);
    bool clearAllIPTCMetadata();
    // As clearMetadata for XMP keys.
    bool clearXMPMetadata(const QStringList& keys);
    // Every XMP property goes, and the packet with them, one the library
    // cannot decode included, and one in a segment whose signature is
    // damaged where that segment is an XMP packet for certain.
    bool clearAllXMPMetadata();
    // Whether the last save, after a clear of all XMP, kept a segment with
    // a damaged signature that other programs may read as XMP.
    bool keptUnreadableXmp() const { return keptUnreadableXmp_; }
    // The file holds XMP the library cannot decode: a packet that does not
    // decode, or one in a segment whose signature is damaged.
    bool isXmpUndecodable() const { return xmpUndecodable_; }
    // Whether such a packet may hold the XMP key's property; false for a
    // packet the library decodes.
    bool unreadableXmpMayHold(const QString& key) const;

    // One value into a collection; false when the key or the text is refused
    // (nothing changes then). XMP writes and clears fail on a file whose XMP
    // packet could not be decoded; a save without them keeps the packet as read.
    bool writeIptcVale(const QString& value, const QString& key, Exiv2::IptcData& iptcData);
    bool writeExifVale(const QString& value, const QString& key, Exiv2::ExifData& exifData);
    bool writeXmpVale(const QString& value, const QString& key, Exiv2::XmpData& xmpData);

    // Whether a text is acceptable for a key: the one check the editors use.
    // An empty text is always acceptable (it clears).
    static bool testValue(const QString& value, const QString& key);

    const QString& filePath() const { return filePath_; }
    // The file as the last successful save wrote it, already parsed by the
    // check of the written bytes, so that the record can be refreshed without
    // reading the file again; null before such a save.
    const TAVImageMetadatReaderBase::SharedImagePtr& writtenImage() const { return written_; }
    // Whether saveModifiedMetadata also writes the file (the default). A
    // caller that writes the checked bytes (writtenImage) itself turns it off.
    void setWritesFile(bool writes) { writesFile_ = writes; }
    // False when the file could not be opened or its metadata not read.
    bool hasImage() const { return image_ != nullptr; }

private:
    // Prints the missing-image failure and answers whether the image is there.
    bool checkImage() const;
    // The blocks a save puts back as the file holds them, because the library
    // cannot read them and the save does not edit them (JPEG only), and
    // those it keeps in step with what it writes.
    struct KeptBlocks {
        // The file's IPTC block goes back as it was (the save changes no
        // IPTC dataset).
        bool iptc = false;
        bool exif = false;
        // A PNG's Photoshop resources that hold its IPTC follow the IPTC
        // the library writes (see PngPhotoshopChunk).
        bool photoshopIptc = false;
        // What is damaged in the file's EXIF block, found in its bytes or
        // reported by the library; empty when nothing is.
        QString exifDamage;
    };
    // Nothing, with the reason, when the edit cannot be written.
    std::optional<KeptBlocks> prepareBlocks(const QByteArray& original, QString* error);
    // Writes the metadata into the file's bytes, checks them and keeps them
    // (and writes the working copy unless told not to); false with the reason.
    bool writeAndConfirm(QString* error);
    // The file's metadata read by the library, with what it reports.
    void readMetadata();
    std::optional<QByteArray> bytesToWrite(const QByteArray& original, KeptBlocks kept, QString* error);
    bool confirmAndKeep(
        const QByteArray& original, QByteArray written, const WrittenImageCheck::Expected& expected, QString* error);
    void keepUntouchedXmpPacket();
    void keepUntouchedIptcTimes();
    void dropImage(const QString& why);
    // Erases every EXIF entry but those `kept` names and, in a TIFF
    // structure, those that make up a page's picture (see isPagePicture).
    bool eraseExifBut(bool (*kept)(const QString& key));

    QString filePath_;
    QString lastError_;
    // The memory the library wrote the last save into, where the image and
    // the written bytes read it; declared first, so that it outlives both.
    std::shared_ptr<const void> writtenMemory_;
    std::unique_ptr<ExivMemoryFile> file_;
    // The image of `file_`; null when the file could not be read.
    Exiv2::Image* image_ = nullptr;
    // The file's XMP exists but the library cannot decode it; its bytes,
    // for the question of what it may hold.
    bool xmpUndecodable_ = false;
    std::string unreadableXmp_;
    // What the library reported as damaged in the file's EXIF block while
    // reading it (see ExifBlockDamage::fromLibraryMessages).
    QString exifDamageReported_;
    // Where a TIFF structure's picture lay as the file was read, for the
    // check of the written bytes (which then need not read the file again).
    std::unique_ptr<Exiv2::ExifData> pictureTags_;
    // An XMP property was written or erased since the file was read.
    bool xmpEdited_ = false;
    // Every XMP property was erased since the file was read.
    bool xmpClearedAll_ = false;
    bool keptUnreadableXmp_ = false;
    // The IPTC keys written or erased since the file was read.
    QSet<QString> iptcEditedKeys_;
    // The IPTC time keys last written with a time that names no zone.
    QSet<QString> zonelessIptcTimes_;
    // The character set of the file's IPTC texts; set with the image.
    std::optional<IptcCharacterSet> iptcCharacterSet_;
    // All IPTC data was cleared since the file was read.
    bool iptcCleared_ = false;
    // An EXIF value was written or erased since the file was read.
    bool exifEdited_ = false;
    // All EXIF data was cleared since the file was read.
    bool exifCleared_ = false;
    // What the clears since the file was read take of a PNG's own chunks.
    PngKeptChunks::Cleared pngCleared_ = PngKeptChunks::Cleared::Nothing;
    TAVImageMetadatReaderBase::SharedImagePtr written_;
    bool writesFile_ = true;
};
