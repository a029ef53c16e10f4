#include "models/record/TAVEntity.h"

#include "foundation/KeyedArchive.h"

#include <zlib.h>

#include <array>
#include <cstring>
#include <string>

TAVEntity::TAVEntity() = default;

TAVEntity::~TAVEntity() = default;

TAVEntity::TAVEntity(const TAVEntity& other)
    : KeyedCodable(other)
{
    *this = other;
}

TAVEntity& TAVEntity::operator=(const TAVEntity& other)
{
    if (&other == this)
        return *this;
    key_ = other.key_;
    value_ = other.value_;
    extras_ = other.extras_ ? std::make_unique<Extras>(*other.extras_) : nullptr;
    type_ = other.type_;
    dataType_ = other.dataType_;
    isOverwrite_ = other.isOverwrite_;
    isModified_ = other.isModified_;
    isGroup_ = other.isGroup_;
    isClear_ = other.isClear_;
    isChecked_ = other.isChecked_;
    isReadOnAGuess_ = other.isReadOnAGuess_;
    dispKeyFromKey_ = other.dispKeyFromKey_;
    return *this;
}

TAVEntity::Extras& TAVEntity::extras()
{
    if (!extras_)
        extras_ = std::make_unique<Extras>();
    return *extras_;
}

TAVEntityPtr TAVEntity::entityWithValue(const QString& value, const QString& key)
{
    auto entity = std::make_shared<TAVEntity>();
    // An absent argument becomes the empty text, never an absent one.
    entity->setKey(key.isNull() ? QStringLiteral("") : key);
    entity->setValue(value.isNull() ? QStringLiteral("") : value);
    return entity;
}

QString TAVEntity::displayKeyFor(const QString& key)
{
    if (key.isNull())
        return QString();
    const qsizetype first = key.indexOf(QLatin1Char('.'));
    const qsizetype second = first < 0 ? -1 : key.indexOf(QLatin1Char('.'), first + 1);
    if (second < 0)
        return key;
    const qsizetype third = key.indexOf(QLatin1Char('.'), second + 1);
    const QStringView family = QStringView(key).left(first);
    const QStringView group = QStringView(key).mid(first + 1, second - first - 1);
    const QStringView name = QStringView(key).mid(second + 1, third < 0 ? -1 : third - second - 1);
    QString text;
    text.reserve(name.size() + group.size() + family.size() + 6);
    text.append(name).append(QLatin1String(" - ")).append(group).append(QLatin1String(" (")).append(family);
    text.append(QLatin1Char(')'));
    return text;
}

void TAVEntity::setKey(const QString& key)
{
    key_ = key;
    dispKeyFromKey_ = true;
    if (extras_)
        extras_->dispKey = QString();
}

QString TAVEntity::value() const
{
    if (extras_ && !extras_->compactValue.isNull()) {
        if (!extras_->isBytes)
            return QString::fromLatin1(extras_->compactValue);
        const QByteArray bytes = extras_->isPacked ? qUncompress(extras_->compactValue) : extras_->compactValue;
        return spelledBytes(reinterpret_cast<const uchar*>(bytes.constData()), bytes.size());
    }
    return value_;
}

void TAVEntity::setValue(const QString& value)
{
    value_ = value;
    if (extras_)
        extras_->compactValue = QByteArray();
}

void TAVEntity::setLatin1Value(const QByteArray& value)
{
    value_ = QString();
    if (value.isNull()) {
        if (extras_)
            extras_->compactValue = QByteArray();
        return;
    }
    extras().compactValue = value;
    extras_->isBytes = false;
    extras_->isPacked = false;
}

void TAVEntity::setBytesValue(const QByteArray& bytes)
{
    value_ = QString();
    // An empty byte value is the empty text, never an absent one.
    extras().compactValue = bytes.isNull() ? QByteArray("") : bytes;
    extras_->isBytes = true;
    extras_->isPacked = false;
    // Packing costs a fraction of the parse and is kept only where it saves
    // a quarter or more.
    constexpr qsizetype kShortestPacked = 256;
    if (bytes.size() >= kShortestPacked) {
        QByteArray packed = packedBytes(bytes);
        if (!packed.isNull() && packed.size() <= bytes.size() * 3 / 4) {
            packed.squeeze();
            extras_->compactValue = std::move(packed);
            extras_->isPacked = true;
        }
    }
}

void TAVEntity::setBytesValue(const QByteArray& bytes, const TAVEntity& earlier)
{
    const Extras* before = earlier.extras_.get();
    // Unpacking to compare costs a fraction of packing again.
    if (before == nullptr || !before->isBytes || !before->isPacked || qUncompress(before->compactValue) != bytes) {
        setBytesValue(bytes);
        return;
    }
    value_ = QString();
    extras().compactValue = before->compactValue;
    extras_->isBytes = true;
    extras_->isPacked = true;
}

QByteArray TAVEntity::packedBytes(const QByteArray& bytes)
{
    // One compressor per reading thread and size class, reset for each
    // value: a fresh one (as qCompress makes) sets up a quarter of a megabyte
    // first, which cost more than packing the few hundred bytes of a
    // maker-note member and a tenth of a photo's import in all. A reset
    // clears the compressor's whole match table, one byte at a time in this
    // zlib: the table of the default size (64 KB) cost more than packing a
    // short value, so short values have a table their size. Only runs of a
    // repeated byte are looked for: the long values of maker notes are
    // mostly runs of zeros between other bytes, and packing them so took an
    // eighth less time than a search for earlier matches, to a size as small.
    // The result is qCompress's form (the length in four big-endian bytes,
    // then a zlib stream), which qUncompress reads back however it was made.
    struct Compressor {
        z_stream stream{};
        bool ready;
        explicit Compressor(int memoryLevel)
            : ready(deflateInit2(&stream, 1, Z_DEFLATED, MAX_WBITS, memoryLevel, Z_RLE) == Z_OK)
        {
        }
        ~Compressor()
        {
            if (ready)
                deflateEnd(&stream);
        }
    };
    // A memory level of n gives a table of 2^(n + 7) entries.
    constexpr qsizetype kShortValue = 4096;
    thread_local Compressor shortValues(5);
    thread_local Compressor longValues(8);
    Compressor& compressor = bytes.size() <= kShortValue ? shortValues : longValues;
    z_stream& stream = compressor.stream;
    if (!compressor.ready || deflateReset(&stream) != Z_OK)
        return QByteArray();
    constexpr qsizetype kLengthBytes = 4;
    const auto length = uLong(bytes.size());
    QByteArray packed(kLengthBytes + qsizetype(deflateBound(&stream, length)), Qt::Uninitialized);
    for (int i = 0; i < kLengthBytes; ++i)
        packed[i] = char((length >> (8 * (kLengthBytes - 1 - i))) & 0xff);
    stream.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(bytes.constData()));
    stream.avail_in = uInt(length);
    stream.next_out = reinterpret_cast<Bytef*>(packed.data() + kLengthBytes);
    stream.avail_out = uInt(packed.size() - kLengthBytes);
    if (deflate(&stream, Z_FINISH) != Z_STREAM_END)
        return QByteArray();
    packed.truncate(kLengthBytes + qsizetype(stream.total_out));
    return packed;
}

QString TAVEntity::spelledBytes(const uchar* bytes, qsizetype size)
{
    if (size <= 0) {
        return QStringLiteral("");
    }
    // Every byte's digits and a space, made once per process.
    struct Digits {
        char16_t text[4];
        qsizetype length;
    };
    static const std::array<Digits, 256> table = [] {
        std::array<Digits, 256> digits{};
        for (unsigned byte = 0; byte < 256; ++byte) {
            const std::string text = std::to_string(byte) + ' ';
            for (size_t i = 0; i < text.size(); ++i) {
                digits[byte].text[i] = char16_t(text[i]);
            }
            digits[byte].length = qsizetype(text.size());
        }
        return digits;
    }();
    // Sized exactly: no space after the last byte.
    qsizetype length = -1;
    for (qsizetype i = 0; i < size; ++i) {
        length += table[bytes[i]].length;
    }
    QString text(length + 4, Qt::Uninitialized);
    char16_t* out = reinterpret_cast<char16_t*>(text.data());
    for (qsizetype i = 0; i < size; ++i) {
        std::memcpy(out, table[bytes[i]].text, sizeof(table[bytes[i]].text));
        out += table[bytes[i]].length;
    }
    text.truncate(length);
    return text;
}

QString TAVEntity::dispKey() const
{
    if (dispKeyFromKey_)
        return displayKeyFor(key_);
    return extras_ ? extras_->dispKey : QString();
}

void TAVEntity::setDispKey(const QString& dispKey)
{
    dispKeyFromKey_ = false;
    if (extras_ || !dispKey.isNull())
        extras().dispKey = dispKey;
}

const QString& TAVEntity::replaceAfterValue() const
{
    static const QString none;
    return extras_ ? extras_->replaceAfterValue : none;
}

void TAVEntity::setReplaceAfterValue(const QString& value)
{
    if (extras_ || !value.isNull())
        extras().replaceAfterValue = value;
}

void TAVEntity::copyValueFromEntity(const TAVEntity& other)
{
    // Copying from itself (a record applied onto itself) would only derive
    // the display key again and lose a custom one.
    if (&other == this)
        return;
    // The display key comes with the rest; deriving it from the key first
    // would only be thrown away.
    key_ = other.key_;
    value_ = other.value_;
    if (other.extras_ && !other.extras_->compactValue.isNull()) {
        extras().compactValue = other.extras_->compactValue;
        extras_->isBytes = other.extras_->isBytes;
        extras_->isPacked = other.extras_->isPacked;
    } else if (extras_) {
        extras_->compactValue = QByteArray();
    }
    isGroup_ = other.isGroup_;
    isModified_ = other.isModified_;
    isClear_ = other.isClear_;
    setReplaceAfterValue(other.replaceAfterValue());
    dispKeyFromKey_ = other.dispKeyFromKey_;
    if (other.dispKeyFromKey_) {
        if (extras_)
            extras_->dispKey = QString();
    } else {
        setDispKey(other.extras_ ? other.extras_->dispKey : QString());
    }
    isOverwrite_ = other.isOverwrite_;
    isChecked_ = other.isChecked_;
    isReadOnAGuess_ = other.isReadOnAGuess_;
}

TAVEntityPtr TAVEntity::copy() const
{
    auto entity = std::make_shared<TAVEntity>();
    entity->copyValueFromEntity(*this);
    return entity;
}

QString TAVEntity::description() const
{
    return QStringLiteral("key = %1, value = %2, isModified = %3, isgroup = %4, replaceAfterValue = %5")
        .arg(key_, value(), QString::number(int(isModified_)), QString::number(int(isGroup_)), replaceAfterValue());
}

void TAVEntity::registerKeyedClass()
{
    KeyedClassRegistry::registerClass<TAVEntity>(QString::fromLatin1(kClassName));
}

void TAVEntity::encode(KeyedArchiver& archiver) const
{
    // Empty texts are written, absent ones are not; key and value are always
    // present on rows the engine makes.
    archiver.encodeString(QStringLiteral("key"), key_);
    archiver.encodeString(QStringLiteral("value"), value());
    archiver.encodeBool(QStringLiteral("isGroup"), isGroup_);
    archiver.encodeBool(QStringLiteral("isOverwrite"), isOverwrite_);
    archiver.encodeString(QStringLiteral("dispKey"), dispKey());
    archiver.encodeBool(QStringLiteral("isChecked"), isChecked_);
    archiver.encodeString(QStringLiteral("replaceAfterValue"), replaceAfterValue());
    // A cleared key stays a clear in a stored preset; absent reads as false.
    if (isClear_)
        archiver.encodeBool(QStringLiteral("isClear"), true);
}

void TAVEntity::decode(KeyedUnarchiver& unarchiver)
{
    setKey(unarchiver.decodeString(QStringLiteral("key")));
    setValue(unarchiver.decodeString(QStringLiteral("value")));
    isGroup_ = unarchiver.decodeBool(QStringLiteral("isGroup"));
    isModified_ = unarchiver.decodeBool(QStringLiteral("isModified"));
    isOverwrite_ = unarchiver.decodeBool(QStringLiteral("isOverwrite"));
    // The archived display key replaces the derived one, so a custom one survives.
    setDispKey(unarchiver.decodeString(QStringLiteral("dispKey")));
    setReplaceAfterValue(unarchiver.decodeString(QStringLiteral("replaceAfterValue")));
    isChecked_ = unarchiver.decodeBool(QStringLiteral("isChecked"));
    isClear_ = unarchiver.decodeBool(QStringLiteral("isClear"));
}
