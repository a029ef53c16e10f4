#include "foundation/KeyedArchiver.h"

#include "foundation/FileServices.h"
#include "foundation/TextNumbers.h"

#include <QJsonDocument>

#include <cmath>

namespace {

const QString kArchiverKey = QStringLiteral("$archiver");
const QString kArchiverName = QStringLiteral("LumettaKeyedArchive");
const QString kVersionKey = QStringLiteral("$version");
const QString kTopKey = QStringLiteral("$top");

// Integers beyond this lose precision as JSON numbers (doubles); they are kept
// as decimal text instead.
constexpr int64_t kLargestExactInteger = int64_t(1) << 53;

} // namespace

QByteArray KeyedArchiver::archivedData(const KeyedCodable* root)
{
    KeyedArchiver archiver;
    return documentData(archiver.objectValue(root));
}

QByteArray KeyedArchiver::archivedData(const std::shared_ptr<const KeyedCodable>& root)
{
    KeyedArchiver archiver;
    return documentData(archiver.sharedObjectValue(root));
}

QByteArray KeyedArchiver::documentData(const QJsonValue& top)
{
    QJsonObject document{{kArchiverKey, kArchiverName}, {kVersionKey, 1}, {kTopKey, top}};
    return QJsonDocument(document).toJson(QJsonDocument::Compact);
}

bool KeyedArchiver::archiveRootObject(const KeyedCodable* root, const QString& path, QString* error)
{
    return FileServices::writeFileAtomically(path, archivedData(root), error);
}

void KeyedArchiver::encodeBool(const QString& key, bool value)
{
    set(key, value);
}

void KeyedArchiver::encodeInt32(const QString& key, int32_t value)
{
    set(key, value);
}

void KeyedArchiver::encodeInt64(const QString& key, int64_t value)
{
    set(key, integerValue(value));
}

void KeyedArchiver::encodeDouble(const QString& key, double value)
{
    set(key, toValue(value));
}

void KeyedArchiver::encodeString(const QString& key, const QString& value)
{
    if (!value.isNull()) {
        set(key, value);
    }
}

void KeyedArchiver::encodeObject(const QString& key, const KeyedCodable* object)
{
    if (object) {
        set(key, objectValue(object));
    }
}

void KeyedArchiver::set(const QString& key, const QJsonValue& value)
{
    Q_ASSERT(!key.startsWith(QLatin1Char('$')));
    if (!stack_.isEmpty()) {
        stack_.last().insert(key, value);
    }
}

QJsonValue KeyedArchiver::objectValue(const KeyedCodable* object)
{
    if (!object) {
        return QJsonValue::Null;
    }
    const auto known = ids_.constFind(object);
    if (known != ids_.cend()) {
        return QJsonObject{{QStringLiteral("$ref"), known.value()}};
    }
    const int id = ++lastId_;
    ids_.insert(object, id);
    stack_.append(QJsonObject{{QStringLiteral("$class"), object->className()}, {QStringLiteral("$id"), id}});
    object->encode(*this);
    // Once written, an object held by nobody here may be freed and its address
    // reused, so only pinned objects stay known.
    if (!pinned_.contains(object)) {
        ids_.remove(object);
    }
    return stack_.takeLast();
}

QJsonValue KeyedArchiver::sharedObjectValue(const std::shared_ptr<const KeyedCodable>& object)
{
    if (object) {
        pinned_.insert(object.get(), object);
    }
    return objectValue(object.get());
}

QJsonValue KeyedArchiver::integerValue(int64_t value)
{
    if (value > kLargestExactInteger || value < -kLargestExactInteger) {
        return QString::number(value);
    }
    return double(value);
}

QJsonValue KeyedArchiver::toValue(double value)
{
    // JSON has no NaN or infinity; they travel as text.
    if (!std::isfinite(value)) {
        return TextNumbers::stringFromDouble(value);
    }
    return value;
}

QJsonValue KeyedArchiver::toValue(const QString& value)
{
    if (value.isNull()) {
        return QJsonValue::Null;
    }
    return value;
}
