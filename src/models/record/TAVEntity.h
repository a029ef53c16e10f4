#pragma once

#include "foundation/KeyedCodable.h"

#include <QByteArray>
#include <QString>

#include <cstdint>
#include <memory>

class TAVEntity;

using TAVEntityPtr = std::shared_ptr<TAVEntity>;

// One metadata row: a metadata key (an Exiv2 key such as "Exif.Image.Make" or
// one of the pseudo keys "Summary.CreateTime" / "Summary.ImageSize"), its value
// as text, the key in display form, and the flags that the editor, the save
// road and the tool windows set on it.
//
// Texts: a null QString is "absent" and differs from "" (the empty value).
// Entities are shared between records (see TAVExifData), so copy one only
// where a copy is meant: use copy() or copyValueFromEntity().
class TAVEntity : public KeyedCodable {
public:
    // All texts absent, all flags false except isOverwrite, type and dataType 0.
    TAVEntity();
    ~TAVEntity() override;
    // Copies every field, the reader types included.
    TAVEntity(const TAVEntity& other);
    TAVEntity& operator=(const TAVEntity& other);

    // A new entity with the given value and key; an absent argument gives "".
    static TAVEntityPtr entityWithValue(const QString& value, const QString& key);

    // The display form of a key: "C - B (A)" for a key "A.B.C[...]"; a key of
    // fewer than three parts is its own display form; absent stays absent.
    static QString displayKeyFor(const QString& key);

    // Copies key (deriving dispKey again), value, isGroup, isModified, isClear,
    // replaceAfterValue, dispKey (overwriting the derived one), isOverwrite and
    // isChecked. type and dataType are left as they are.
    void copyValueFromEntity(const TAVEntity& other);

    // A new entity carrying the nine fields copyValueFromEntity copies; its
    // type and dataType are 0.
    TAVEntityPtr copy() const;

    QString description() const;

    // Keyed coding. isClear, type and dataType are not archived, and
    // isModified is read but never written, so an entity read back from an
    // archive is unmodified. A missing "isOverwrite" reads as false.
    static constexpr const char* kClassName = "TAVEntity";
    // Lets archives name this class; safe to call any number of times.
    static void registerKeyedClass();
    QString className() const override { return QString::fromLatin1(kClassName); }
    void encode(KeyedArchiver& archiver) const override;
    void decode(KeyedUnarchiver& unarchiver) override;

    bool isOverwrite() const { return isOverwrite_; }
    void setIsOverwrite(bool isOverwrite) { isOverwrite_ = isOverwrite; }

    const QString& key() const { return key_; }
    // Also sets dispKey to the display form of the key.
    void setKey(const QString& key);

    bool isModified() const { return isModified_; }
    void setIsModified(bool isModified) { isModified_ = isModified; }

    QString value() const;
    void setValue(const QString& value);
    // Sets a value whose text is Latin-1 (the readers' spelled-out numbers
    // and bytes): kept in one byte per character, as maker notes and padding
    // run to thousands of characters that few users ever look at.
    void setLatin1Value(const QByteArray& value);
    // Sets a value of raw bytes, kept as they are and spelled only when the
    // text is asked for (see spelledBytes): a maker note runs to hundreds of
    // kilobytes whose spelling takes three to four times the room. Long
    // bytes that pack well are kept packed (a camera's maker-note members
    // are mostly runs and repeated tables few users ever look at).
    void setBytesValue(const QByteArray& bytes);
    // As setBytesValue, sharing `earlier`'s packed bytes when it holds the
    // same bytes: a photo read again after its save keeps most of its long
    // values, and packing them again cost 3% of a save.
    void setBytesValue(const QByteArray& bytes, const TAVEntity& earlier);
    // Each byte as a decimal number, one space between them, as the metadata
    // library spells its plain byte values; "" for no bytes.
    static QString spelledBytes(const uchar* bytes, qsizetype size);

    bool isGroup() const { return isGroup_; }
    void setIsGroup(bool isGroup) { isGroup_ = isGroup; }

    bool isClear() const { return isClear_; }
    void setIsClear(bool isClear) { isClear_ = isClear; }

    // The display form of the key unless one was set (see setDispKey).
    QString dispKey() const;
    void setDispKey(const QString& dispKey);

    const QString& replaceAfterValue() const;
    void setReplaceAfterValue(const QString& value);

    // Family as set by the readers: 1 EXIF, 2 IPTC, 3 XMP; 0 when not set.
    int32_t type() const { return type_; }
    void setType(int32_t type) { type_ = int16_t(type); }

    // The Exiv2 TypeId of the value as read.
    int32_t dataType() const { return dataType_; }
    void setDataType(int32_t dataType) { dataType_ = dataType; }

    bool isChecked() const { return isChecked_; }
    void setIsChecked(bool isChecked) { isChecked_ = isChecked; }

    // Whether the value is the reading of bytes whose character set the file
    // does not declare for certain (an undeclared IPTC block's text that is
    // not plain ASCII): shown as read, but never taken as the text itself.
    bool isReadOnAGuess() const { return isReadOnAGuess_; }
    void setIsReadOnAGuess(bool guessed) { isReadOnAGuess_ = guessed; }

private:
    // The texts few rows carry: a display key other than the key's own form,
    // and the replace tool's new value. Rows are counted in hundreds per
    // image, so they are left out of every row that does not need them.
    struct Extras {
        QString dispKey;
        QString replaceAfterValue;
        // The value when set by setLatin1Value or setBytesValue (value_ is
        // then null): its Latin-1 text, or its raw bytes when `isBytes`.
        QByteArray compactValue;
        bool isBytes = false;
        // compactValue holds the bytes packed (qCompress).
        bool isPacked = false;
    };
    Extras& extras();
    // `bytes` packed as qCompress packs them (qUncompress reads them back);
    // null when the compressor fails.
    static QByteArray packedBytes(const QByteArray& bytes);

    // Rows are counted in hundreds per image and thousands of images are
    // listed, so the small fields are packed: with them the row and its
    // shared count fit one allocation of 96 bytes instead of 112.
    QString key_;
    QString value_;
    std::unique_ptr<Extras> extras_;
    int32_t dataType_ = 0;
    int16_t type_ = 0; // 0 to 3
    bool isOverwrite_ : 1 = true;
    bool isModified_ : 1 = false;
    bool isGroup_ : 1 = false;
    bool isClear_ : 1 = false;
    bool isChecked_ : 1 = false;
    bool isReadOnAGuess_ : 1 = false;
    // The display key is derived from the key when asked for; only rows
    // shown with their display key pay for it.
    bool dispKeyFromKey_ : 1 = false;
};
