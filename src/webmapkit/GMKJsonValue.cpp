#include "webmapkit/GMKJsonValue.h"

#include "webmapkit/GMKJsonForeignObject.h"
#include "webmapkit/GMKJsonObject.h"

#include <utility>

GMKJsonValue::GMKJsonValue(bool value)
    : type_(Type::Bool)
    , bool_(value)
{
}

GMKJsonValue::GMKJsonValue(int value)
    : GMKJsonValue(GMKJsonNumber(static_cast<qint64>(value)))
{
}

GMKJsonValue::GMKJsonValue(long value)
    : GMKJsonValue(GMKJsonNumber(static_cast<qint64>(value)))
{
}

GMKJsonValue::GMKJsonValue(long long value)
    : GMKJsonValue(GMKJsonNumber(static_cast<qint64>(value)))
{
}

GMKJsonValue::GMKJsonValue(double value)
    : GMKJsonValue(GMKJsonNumber(value))
{
}

GMKJsonValue::GMKJsonValue(const GMKJsonNumber& number)
    : type_(Type::Number)
    , number_(number)
{
}

GMKJsonValue::GMKJsonValue(const QString& text)
    : type_(Type::String)
    , string_(text)
{
}

GMKJsonValue::GMKJsonValue(const char* utf8)
    : GMKJsonValue(QString::fromUtf8(utf8))
{
}

GMKJsonValue::GMKJsonValue(GMKJsonArray array)
    : type_(Type::Array)
    , array_(std::make_shared<const GMKJsonArray>(std::move(array)))
{
}

GMKJsonValue::GMKJsonValue(GMKJsonObject object)
    : type_(Type::Object)
    , object_(std::make_shared<const GMKJsonObject>(std::move(object)))
{
}

GMKJsonValue::GMKJsonValue(std::shared_ptr<const GMKJsonForeignObject> object)
    : type_(object ? Type::Foreign : Type::Null)
    , foreign_(std::move(object))
{
}

bool GMKJsonValue::toBool() const
{
    if (type_ == Type::Number) {
        return number_.toDouble() != 0.0;
    }
    return type_ == Type::Bool && bool_;
}

double GMKJsonValue::toDouble() const
{
    if (type_ == Type::Bool) {
        return bool_ ? 1.0 : 0.0;
    }
    return type_ == Type::Number ? number_.toDouble() : 0.0;
}

qint64 GMKJsonValue::toInteger() const
{
    if (type_ == Type::Bool) {
        return bool_ ? 1 : 0;
    }
    return type_ == Type::Number ? number_.toInteger() : 0;
}

QString GMKJsonValue::toString() const
{
    return type_ == Type::String ? string_ : QString();
}

GMKJsonNumber GMKJsonValue::toNumber() const
{
    return type_ == Type::Number ? number_ : GMKJsonNumber();
}

const GMKJsonArray& GMKJsonValue::toArray() const
{
    static const GMKJsonArray empty;
    return array_ ? *array_ : empty;
}

const GMKJsonObject& GMKJsonValue::toObject() const
{
    static const GMKJsonObject empty;
    return object_ ? *object_ : empty;
}

GMKJsonValue GMKJsonValue::value(const QString& key) const
{
    return toObject().value(key);
}

bool GMKJsonValue::operator==(const GMKJsonValue& other) const
{
    if (type_ != other.type_) {
        return false;
    }
    switch (type_) {
    case Type::Null:
        return true;
    case Type::Bool:
        return bool_ == other.bool_;
    case Type::Number:
        return number_ == other.number_;
    case Type::String:
        return string_ == other.string_;
    case Type::Array:
        return toArray() == other.toArray();
    case Type::Object:
        return toObject() == other.toObject();
    case Type::Foreign:
        return foreign_ == other.foreign_;
    }
    return false;
}
