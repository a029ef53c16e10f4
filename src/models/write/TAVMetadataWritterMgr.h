#pragma once

#include "models/read/TAVImageMetadatReaderBase.h"
#include "models/record/TAVEntity.h"
#include "models/values/TAVTimeOffsetInfo.h"

#include <QList>
#include <QMap>
#include <QSet>
#include <QString>
#include <QStringList>

#include <memory>
#include <optional>

class TAVExifWriter;
class TAVMetadataWritterMgr;

using TAVMetadataWritterMgrPtr = std::shared_ptr<TAVMetadataWritterMgr>;

// The writing side of one image file. The save road hands it, category by
// category, the entities to write or clear. Most keys go to the writer as they
// are; the date and the exposure fields arrive as the texts the tabs show
// ("Fired", "Center Weighted", 2.8) and are turned here into EXIF values, with
// the related maker-note tags written or cleared beside them. A clear erases a
// key together with the tags that would otherwise show the same information
// again. Nothing reaches the file before saveMetadataToImage.
//
// Used by one thread at a time (the save loop); testValueVaild is free of state.
// The camera fields are converted in TAVMetadataWritterMgr_Camera.cpp, the twins
// of a value and the time shift in TAVMetadataWritterMgr_Twins.cpp.
class TAVMetadataWritterMgr {
public:
    // Opens the file and reads its metadata (initWriterWithPath).
    explicit TAVMetadataWritterMgr(const QString& path);
    ~TAVMetadataWritterMgr();

    TAVMetadataWritterMgr(const TAVMetadataWritterMgr&) = delete;
    TAVMetadataWritterMgr& operator=(const TAVMetadataWritterMgr&) = delete;

    // Whether `value` is acceptable for `key` (the editors' check).
    static bool testValueVaild(const QString& value, const QString& key);
    // Whether the key is one of the dates a typed capture date moves, in any
    // family (the capture dates and the modify dates that go with them).
    static bool isDateTwinKey(const QString& key);

    // Writes or clears every entity (cleared ones by clearOneMetadata) and
    // returns the keys that failed. Entities without a key or value text are
    // passed over. With igonreError false the walk stops at the first failure.
    QStringList batchWriteMetadata(const QList<TAVEntityPtr>& entities, bool igonreError);
    // Routes one key and value; false when the write failed or the key is empty.
    bool writeMetadat(const QString& value, const QString& key);
    // Per-field conversion of EXIF entities; returns the entities that failed.
    QList<TAVEntityPtr> handleExifMetadataWrite(const QList<TAVEntityPtr>& entities);
    // IPTC entities as they are; returns the entities that failed.
    QList<TAVEntityPtr> handleIptcMetadataWrite(const QList<TAVEntityPtr>& entities);

    bool isExifTag(const QString& key) const;
    bool isIPTCTag(const QString& key) const;

    // Per-field setters: each converts the display text of its field.
    bool setDateAndTime(const TAVEntityPtr& entity);
    bool setExposureTime(const TAVEntityPtr& entity);
    bool setAperture(const TAVEntityPtr& entity);
    bool setSensitivity(const TAVEntityPtr& entity);
    bool setFlash(const TAVEntityPtr& entity);
    bool setSensor(const TAVEntityPtr& entity);
    bool setFocusMode(const TAVEntityPtr& entity);
    bool setMeteringMode(const TAVEntityPtr& entity);
    bool setExposureProgram(const TAVEntityPtr& entity);
    bool setSubjectDistance(const TAVEntityPtr& entity);
    bool setFocalLength(const TAVEntityPtr& entity);
    bool setFocalLength35(const TAVEntityPtr& entity);
    bool setDigitalZoom(const TAVEntityPtr& entity);
    bool setWhitebalance(const TAVEntityPtr& entity);
    bool setContrast(const TAVEntityPtr& entity);
    bool setSaturation(const TAVEntityPtr& entity);
    bool setSharpness(const TAVEntityPtr& entity);

    // The entity alone through the writer; true when it went in.
    bool setOneKeyValuePair(const TAVEntityPtr& entity);
    // The entities through the writer; returns those that failed.
    QList<TAVEntityPtr> setKeysAndValues(const QList<TAVEntityPtr>& entities);

    // Erases a key and the tags that repeat its information (some keys are
    // set to their "unknown" value instead, where the file holds the key or
    // a maker-note value the "unknown" hides).
    bool clearOneMetadata(const QString& key);
    // Erases the whole EXIF of the file, maker note included, for Clear >
    // EXIF: only what a TIFF's picture needs and the blocks of the other
    // families stay. Writes after it go in over the cleared data.
    bool clearExifMetadata();
    // For Clear > GPS and Clear > IPTC, beside the clears of the keys the
    // record lists: what the file keeps of the family apart from them goes
    // too (a PNG's text copies of the GPS tags; its IPTC, also where its
    // Photoshop resources alone hold it).
    void clearGpsCopies();
    void clearIptcCopies();
    // Erases all EXIF, IPTC and XMP data and saves the file. An XMP packet
    // the library cannot decode goes too, but a segment with a damaged XMP
    // signature that is not XMP for certain (see keptUnreadableXmp).
    bool clearAllMetadata();
    // Whether the last save, a clear of everything, kept such a segment.
    bool keptUnreadableXmp() const;
    // Whether the file holds an XMP packet the library cannot decode: no
    // property of it can be changed or cleared, so a clear keeps all of it.
    bool isXmpUndecodable() const;
    // Writes the in-memory changes into the file.
    bool saveMetadataToImage();
    // Why an edit was refused, why the last save failed, or why the file
    // could not be opened; empty after a success.
    QString lastError() const;
    // The file as the last successful save wrote it, parsed (see TAVExifWriter).
    TAVImageMetadatReaderBase::SharedImagePtr writtenImage() const;
    // Whether a save writes the file itself (see TAVExifWriter::setWritesFile).
    void setWritesFile(bool writes);

    const QString& handleFilePath() const { return handleFilePath_; }

    // A time shift for the capture date of the next batch: the date a batch
    // then hands over is the shifted capture date, and every date the file
    // holds (EXIF, IPTC, XMP) is moved by the shift from its own value
    // instead, in its own form and zone, once however often the batch hands
    // the date over. No date the file lacks is made.
    void setDateShift(const std::optional<TAVTimeOffsetInfo>& shift)
    {
        dateShift_ = shift;
        datesShifted_ = false;
    }

private:
    // After a written key, writes the same value into the twins of the key
    // that the file already has (XMP properties, Windows' keywords, the IPTC
    // dates and times, the exposure bias in XMP), and
    // into the IPTC By-line, CopyrightNotice and Caption of a file that holds
    // IPTC, each only where it is a copy of the edited field's text
    // (copiesAmong). The caption and the EXIF image description are two
    // fields, each with its copies. A title, caption or keyword longer than
    // its IPTC dataset holds goes whole into XMP, created where the file type
    // holds it.
    bool updateTwins(const QString& key, const QString& value);
    // The twins of a text field (title, caption, description, photographer,
    // copyright, keywords) that are copies of its text: those that held the
    // text it showed before the batch, or nothing. One holding another text
    // (a credit in the description beside a caption, Windows' own comments)
    // keeps it, and so does one the batch edits itself. Other keys' twins
    // are all copies.
    QStringList copiesAmong(const QString& key, const QStringList& twins) const;
    // Notes the keys of a batch about to be written and, before the first
    // edit of a text field, the texts its twins held as read.
    void beginBatch(const QList<TAVEntityPtr>& entities);
    // Whether the whole of a text IPTC cuts can be kept; false, with the
    // reason in refusal_, when only XMP could keep it and the library cannot
    // decode the file's packet, or when the caption's copies that would keep
    // it hold another text.
    bool keepsWholeText(const QString& key, const QString& value, const QStringList& twins);
    // Whether the edit reaches each XMP text twin; false, with the reason in
    // refusal_, when one may sit in a packet the library cannot decode.
    bool reachesTextTwins(const QStringList& twins);
    static bool isIptcTwin(const QString& twin);
    // Whether the key is an EXIF coordinate, altitude or one of their
    // references, whose XMP twin updatePositionTwin keeps.
    static bool isPositionKey(const QString& key);
    // The XMP coordinate or altitude the file already holds takes what EXIF
    // now holds, in XMP's form; it goes when EXIF holds none.
    bool updatePositionTwin(const QString& key);
    // A cleared EXIF GPS tag takes its XMP namesake with it.
    void clearGpsTwin(const QString& key);
    // The photographer's, copyright's and caption's IPTC datasets among
    // `twins` become `value` alone (none when it is blank), in a file that
    // holds IPTC.
    bool updateIptcTwins(const QStringList& twins, const QString& value);
    // Whether an emptied text takes its XMP and EXIF twins with it.
    bool clearTextTwins(const QStringList& twins);
    // Whether the twin, absent from the file, is to be made for the text.
    bool createsTwin(const QString& key, const QString& twin, const QString& value) const;
    // How the dates of a batch move: every one to the moment typed, or each
    // from its own value by the time shift, one with no date of its own
    // (absent, blank or unreadable) staying as it is.
    struct DateMove {
        QDateTime typed;
        std::optional<TAVTimeOffsetInfo> shift;
        // The new moment of a date whose own is `current` (invalid when its
        // text names none); none leaves the date as it is.
        std::optional<QDateTime> of(const QDateTime& current, bool hasDay, bool hasTime) const;
    };
    // Moves the capture date and every twin of it the file holds (EXIF, XMP,
    // IPTC), each in its own form; a typed date makes the EXIF capture dates
    // where the file lacks them, no other twin, and a shift makes none.
    // False, with the reason in refusal_, when an XMP twin may sit in a
    // packet the library cannot decode.
    bool moveDates(const DateMove& move);
    // The IPTC day and time of one pair as `move` leaves them.
    QList<QPair<QString, QString>> movedIptcDate(
        const QString& dateKey, const QString& timeKey, const DateMove& move) const;
    // Removes the capture date from every family that holds it; the modify
    // dates stay. Refused like moveDates.
    bool clearCaptureDates();
    // Whether the edit reaches each XMP twin; false, with the reason in
    // refusal_ naming `what` was edited, when one may sit in a packet the
    // library cannot decode.
    bool reachesXmpTwins(const QStringList& twins, const QString& what);
    // One writer call with new entities made of key/value pairs.
    bool writeValues(const QList<QPair<QString, QString>>& pairs);
    bool writeValue(const QString& key, const QString& value);
    // Writes `numberText` as a fraction into `key`; an empty text clears the key.
    bool writeRationalOf(const QString& numberText, const QString& key);
    // An emptied number field: clears the key with the tags that repeat it and
    // answers whether the key itself went.
    bool clearField(const QString& key);
    // A modified original or digitised date in the application's dash form
    // goes back to the EXIF form.
    bool setDateTimeTag(const TAVEntityPtr& entity);
    // The GPS version as the GPS tab shows it goes back to its four bytes.
    bool setGpsVersion(const TAVEntityPtr& entity);
    // A hemisphere kept as a word ("North", "south") goes in as the one letter
    // the standard allows; other readers do not understand the word.
    bool setGpsReference(const TAVEntityPtr& entity);
    // Windows' XP texts (title, comment, author, keywords, subject) go back to
    // the UTF-16LE bytes with a closing NUL pair that the reader decodes.
    bool setXpText(const TAVEntityPtr& entity);
    // Writes `value` into a key that has an "unknown" value; on success erases
    // `makerKeys`, otherwise erases the key itself. A file that holds neither
    // the key nor a maker-note value among `makerKeys` gets no "unknown".
    bool replaceAndErase(const QString& key, const QString& value, const QStringList& makerKeys);
    bool setLabelledValue(
        const TAVEntityPtr& entity, const QString& key, const QStringList& labels, const QStringList& values);
    int32_t makerNoteIdentifier() const;

    std::unique_ptr<TAVExifWriter> exifWriter_;
    // Why an edit was refused before the save; lastError tells it first.
    QString refusal_;
    // The texts of the form's text fields, of the tags they fall back to and
    // of their twins, as the readers showed them before this save's edits
    // (nothing for bytes that read as no text), taken at the first batch
    // that edits such a field.
    std::optional<QMap<QString, std::optional<QString>>> textsAsRead_;
    // Whether the file's IPTC texts were read on a guess when textsAsRead_
    // was taken (TAVExifWriter::readsIptcOnAGuess).
    bool iptcReadOnAGuess_ = false;
    // The keys of the batch being written: each decides its own text.
    QSet<QString> batchKeys_;
    std::optional<TAVTimeOffsetInfo> dateShift_;
    bool datesShifted_ = false;
    QString handleFilePath_;
};
