#include "foundation/KeyedUnarchiver.h"

#include "foundation/KeyedClassRegistry.h"
#include "foundation/TextNumbers.h"

#include <QFile>
#include <QJsonDocument>
#include <QJsonParseError>

#include <cmath>
#include <limits>

KeyedCodablePtr KeyedUnarchiver::unarchiveObject(const QByteArray& data, QString* error)
{
    const auto fail = [error](const QString& reason) -> KeyedCodablePtr {
        if (error) {
            *error = reason;
        }
        return nullptr;
    };
    QJsonParseError parseError;
    const QJsonDocument document = QJsonDocument::fromJson(data, &parseError);
    if (parseError.error != QJsonParseError::NoError) {
        return fail(QStringLiteral("not a keyed archive: %1").arg(parseError.errorString()));
    }
    const QJsonObject top = document.object();
    if (top.value(QStringLiteral("$archiver")).toString() != QLatin1String("LumettaKeyedArchive")) {
        return fail(QStringLiteral("not a keyed archive"));
    }
    KeyedUnarchiver unarchiver;
    KeyedCodablePtr root = unarchiver.objectFromValue(top.value(QStringLiteral("$top")));
    if (unarchiver.hasFailed()) {
        return fail(unarchiver.error_);
    }
    if (error) {
        error->clear();
    }
    return root;
}

KeyedCodablePtr KeyedUnarchiver::unarchiveObjectWithFile(const QString& path, QString* error)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        if (error) {
            *error = QStringLiteral("cannot read %1: %2").arg(path, file.errorString());
        }
        return nullptr;
    }
    return unarchiveObject(file.readAll(), error);
}

bool KeyedUnarchiver::containsValue(const QString& key) const
{
    return !stack_.isEmpty() && stack_.last().contains(key);
}

bool KeyedUnarchiver::decodeBool(const QString& key) const
{
    return boolFrom(value(key));
}

int32_t KeyedUnarchiver::decodeInt32(const QString& key) const
{
    return int32From(value(key));
}

int64_t KeyedUnarchiver::decodeInt64(const QString& key) const
{
    return int64From(value(key));
}

double KeyedUnarchiver::decodeDouble(const QString& key) const
{
    return doubleFrom(value(key));
}

QString KeyedUnarchiver::decodeString(const QString& key) const
{
    return stringFrom(value(key));
}

KeyedCodablePtr KeyedUnarchiver::decodeObject(const QString& key)
{
    return objectFromValue(value(key));
}

void KeyedUnarchiver::failWithError(const QString& reason)
{
    if (error_.isEmpty()) {
        error_ = reason.isEmpty() ? QStringLiteral("rejected by the decoded class") : reason;
    }
}

QJsonValue KeyedUnarchiver::value(const QString& key) const
{
    if (stack_.isEmpty()) {
        return QJsonValue::Undefined;
    }
    return stack_.last().value(key);
}

KeyedCodablePtr KeyedUnarchiver::objectFromValue(const QJsonValue& value)
{
    if (hasFailed() || !value.isObject()) {
        return nullptr;
    }
    const QJsonObject object = value.toObject();
    if (object.contains(QStringLiteral("$ref"))) {
        const int id = object.value(QStringLiteral("$ref")).toInt();
        const auto found = objects_.constFind(id);
        if (found == objects_.cend()) {
            failWithError(QStringLiteral("broken object reference %1").arg(id));
            return nullptr;
        }
        return found.value();
    }
    const QString className = object.value(QStringLiteral("$class")).toString();
    if (className.isEmpty()) {
        // A map or another plain JSON object where an object was expected.
        return nullptr;
    }
    KeyedCodablePtr result = KeyedClassRegistry::create(className);
    if (!result) {
        failWithError(QStringLiteral("unknown class %1").arg(className));
        return nullptr;
    }
    // Registered before decoding so that references back to it (cycles) resolve.
    const int id = object.value(QStringLiteral("$id")).toInt();
    if (id > 0) {
        objects_.insert(id, result);
    }
    stack_.append(object);
    result->decode(*this);
    stack_.removeLast();
    return hasFailed() ? nullptr : result;
}

bool KeyedUnarchiver::boolFrom(const QJsonValue& value)
{
    if (value.isBool()) {
        return value.toBool();
    }
    if (value.isDouble()) {
        return value.toDouble() != 0;
    }
    if (value.isString()) {
        return TextNumbers::boolValue(value.toString());
    }
    return false;
}

int32_t KeyedUnarchiver::int32From(const QJsonValue& value)
{
    const int64_t wide = int64From(value);
    if (wide > std::numeric_limits<int32_t>::max()) {
        return std::numeric_limits<int32_t>::max();
    }
    if (wide < std::numeric_limits<int32_t>::min()) {
        return std::numeric_limits<int32_t>::min();
    }
    return int32_t(wide);
}

int64_t KeyedUnarchiver::int64From(const QJsonValue& value)
{
    if (value.isDouble()) {
        return TextNumbers::integerPart(value.toDouble());
    }
    if (value.isBool()) {
        return value.toBool() ? 1 : 0;
    }
    if (value.isString()) {
        return TextNumbers::longLongValue(value.toString());
    }
    return 0;
}

double KeyedUnarchiver::doubleFrom(const QJsonValue& value)
{
    if (value.isDouble()) {
        return value.toDouble();
    }
    if (value.isBool()) {
        return value.toBool() ? 1 : 0;
    }
    if (value.isString()) {
        const QString text = value.toString();
        if (text == QLatin1String("nan")) {
            return std::numeric_limits<double>::quiet_NaN();
        }
        if (text == QLatin1String("inf")) {
            return std::numeric_limits<double>::infinity();
        }
        if (text == QLatin1String("-inf")) {
            return -std::numeric_limits<double>::infinity();
        }
        return TextNumbers::doubleValue(text);
    }
    return 0;
}

QString KeyedUnarchiver::stringFrom(const QJsonValue& value)
{
    if (!value.isString()) {
        return QString();
    }
    const QString text = value.toString();
    // An archived empty text is a present, empty text, never "absent".
    return text.isNull() ? QStringLiteral("") : text;
}
