#pragma once

#include "foundation/KeyedCodable.h"

#include <QByteArray>
#include <QHash>
#include <QJsonArray>
#include <QJsonObject>
#include <QJsonValue>
#include <QList>
#include <QMap>
#include <QString>

#include <cstdint>
#include <memory>
#include <type_traits>
#include <vector>

// Reads an archive written by KeyedArchiver.
//
// Callers rely on:
// - A missing key reads as the default: false, 0, 0.0, a null text, a null
//   object, an empty list or map. `containsValue` tells absent from false/0.
// - Numbers and bools read across kinds (a stored number reads as a bool and
//   back); a value of another kind reads as the default.
// - Unreadable data, an unknown "$class" or a broken reference make the whole
//   read fail: `unarchiveObject` gives null and the reason in `error`. A read
//   that succeeds with an absent root gives null with an empty `error`.
class KeyedUnarchiver {
public:
    static KeyedCodablePtr unarchiveObject(const QByteArray& data, QString* error = nullptr);
    static KeyedCodablePtr unarchiveObjectWithFile(const QString& path, QString* error = nullptr);
    template <typename T> static std::shared_ptr<T> unarchive(const QByteArray& data, QString* error = nullptr)
    {
        return std::dynamic_pointer_cast<T>(unarchiveObject(data, error));
    }

    bool containsValue(const QString& key) const;

    bool decodeBool(const QString& key) const;
    int32_t decodeInt32(const QString& key) const;
    int64_t decodeInt64(const QString& key) const;
    double decodeDouble(const QString& key) const;
    // Null when absent; an archived empty text reads as an empty (non-null) text.
    QString decodeString(const QString& key) const;
    KeyedCodablePtr decodeObject(const QString& key);
    // Null when absent or of another class.
    template <typename T> std::shared_ptr<T> decodeObject(const QString& key)
    {
        return std::dynamic_pointer_cast<T>(decodeObject(key));
    }

    // A list or map of the kinds KeyedArchiver writes, e.g.
    // decodeList<QList<EntityPtr>>("rows") or decodeMap<QMap<QString, QString>>("info").
    // Objects of another class than asked are left out.
    template <typename Collection> Collection decodeList(const QString& key)
    {
        Collection result;
        fromValue(value(key), result);
        return result;
    }
    template <typename Map> Map decodeMap(const QString& key)
    {
        Map result;
        fromValue(value(key), result);
        return result;
    }

    // Lets a class's `decode` reject data it cannot accept; the whole read fails.
    void failWithError(const QString& reason);
    bool hasFailed() const { return !error_.isEmpty(); }

private:
    KeyedUnarchiver() = default;

    QJsonValue value(const QString& key) const;
    KeyedCodablePtr objectFromValue(const QJsonValue& value);

    static bool boolFrom(const QJsonValue& value);
    static int32_t int32From(const QJsonValue& value);
    static int64_t int64From(const QJsonValue& value);
    static double doubleFrom(const QJsonValue& value);
    static QString stringFrom(const QJsonValue& value);

    void fromValue(const QJsonValue& v, bool& out) { out = boolFrom(v); }
    template <typename I, typename = std::enable_if_t<std::is_integral_v<I> && !std::is_same_v<I, bool>>>
    void fromValue(const QJsonValue& v, I& out)
    {
        out = sizeof(I) <= sizeof(int32_t) && std::is_signed_v<I> ? static_cast<I>(int32From(v))
                                                                  : static_cast<I>(int64From(v));
    }
    void fromValue(const QJsonValue& v, double& out) { out = doubleFrom(v); }
    void fromValue(const QJsonValue& v, QString& out) { out = stringFrom(v); }
    template <typename T, typename = std::enable_if_t<std::is_base_of_v<KeyedCodable, T>>>
    void fromValue(const QJsonValue& v, std::shared_ptr<T>& out)
    {
        out = std::dynamic_pointer_cast<T>(objectFromValue(v));
    }
    template <typename V> void fromValue(const QJsonValue& v, QList<V>& out);
    template <typename V> void fromValue(const QJsonValue& v, std::vector<V>& out);
    template <typename V> void fromValue(const QJsonValue& v, QMap<QString, V>& out);

    template <typename V> static bool isLeftOut(const V&) { return false; }
    template <typename T> static bool isLeftOut(const std::shared_ptr<T>& object) { return !object; }

    QList<QJsonObject> stack_;
    QHash<int, KeyedCodablePtr> objects_;
    QString error_;
};

template <typename V> void KeyedUnarchiver::fromValue(const QJsonValue& v, QList<V>& out)
{
    const QJsonArray array = v.toArray();
    for (const QJsonValue& item : array) {
        V element{};
        fromValue(item, element);
        if (!isLeftOut(element)) {
            out.append(std::move(element));
        }
    }
}

template <typename V> void KeyedUnarchiver::fromValue(const QJsonValue& v, std::vector<V>& out)
{
    const QJsonArray array = v.toArray();
    for (const QJsonValue& item : array) {
        V element{};
        fromValue(item, element);
        if (!isLeftOut(element)) {
            out.push_back(std::move(element));
        }
    }
}

template <typename V> void KeyedUnarchiver::fromValue(const QJsonValue& v, QMap<QString, V>& out)
{
    const QJsonObject entries = v.toObject().value(QStringLiteral("$map")).toObject();
    for (auto it = entries.constBegin(); it != entries.constEnd(); ++it) {
        V element{};
        fromValue(it.value(), element);
        if (!isLeftOut(element)) {
            out.insert(it.key(), std::move(element));
        }
    }
}
