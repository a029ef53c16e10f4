#pragma once

#include "webmapkit/GMKJsonNumber.h"

#include <QString>
#include <QtGlobal>

#include <cstddef>
#include <memory>
#include <vector>

class GMKJsonValue;
class GMKJsonObject;
class GMKJsonForeignObject;

using GMKJsonArray = std::vector<GMKJsonValue>;

// One JSON value: null, a boolean, a number, a string, an array or an object.
// A value may also hold any other object (GMKJsonForeignObject) so that the
// writer can be handed things that are not JSON and say so. Arrays and objects
// are shared between copies and never change once inside a value.
class GMKJsonValue {
public:
    enum class Type { Null, Bool, Number, String, Array, Object, Foreign };

    GMKJsonValue() = default;
    GMKJsonValue(std::nullptr_t) { }
    GMKJsonValue(bool value);
    GMKJsonValue(int value);
    GMKJsonValue(long value);
    GMKJsonValue(long long value);
    GMKJsonValue(double value);
    GMKJsonValue(const GMKJsonNumber& number);
    GMKJsonValue(const QString& text);
    GMKJsonValue(const char* utf8);
    GMKJsonValue(GMKJsonArray array);
    GMKJsonValue(GMKJsonObject object);
    GMKJsonValue(std::shared_ptr<const GMKJsonForeignObject> object);
    // Any other pointer would silently become a boolean.
    template <typename T> GMKJsonValue(T*) = delete;

    Type type() const { return type_; }
    bool isNull() const { return type_ == Type::Null; }
    bool isBool() const { return type_ == Type::Bool; }
    bool isNumber() const { return type_ == Type::Number; }
    bool isString() const { return type_ == Type::String; }
    bool isArray() const { return type_ == Type::Array; }
    bool isObject() const { return type_ == Type::Object; }
    bool isForeign() const { return type_ == Type::Foreign; }

    // Lenient readers for callers that treat anything unexpected as empty:
    // a wrong kind gives false, 0, a null string or an empty container.
    bool toBool() const;
    double toDouble() const;
    qint64 toInteger() const;
    QString toString() const;
    GMKJsonNumber toNumber() const;
    const GMKJsonArray& toArray() const;
    const GMKJsonObject& toObject() const;
    std::shared_ptr<const GMKJsonForeignObject> toForeignObject() const { return foreign_; }

    // The member `key` of an object; null when absent or when this is no object.
    GMKJsonValue value(const QString& key) const;

    bool operator==(const GMKJsonValue& other) const;

private:
    Type type_ = Type::Null;
    bool bool_ = false;
    GMKJsonNumber number_;
    QString string_;
    std::shared_ptr<const GMKJsonArray> array_;
    std::shared_ptr<const GMKJsonObject> object_;
    std::shared_ptr<const GMKJsonForeignObject> foreign_;
};
