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

#include <cstddef>
#include <cstdint>
#include <memory>
#include <type_traits>
#include <vector>

// Writes an object graph as a keyed archive: one JSON document whose objects
// each carry their class name under "$class" and their coding keys beside it.
//
// Callers rely on:
// - A key that is not written is absent in the archive, which is distinct from
//   a written false or 0. Null texts and null objects are not written at all.
// - Lists (QList/std::vector) and string-keyed maps (QMap<QString, ...>) of texts,
//   numbers, bools, objects and of further lists and maps can be written.
// - An object reached twice through shared pointers, or reached again while it
//   is being written (a cycle, also through a plain back pointer), is written
//   once and referred to afterwards, so shared objects come back shared. An
//   object passed only by plain pointer and met again later is written again
//   (its address might belong to another object by then).
// - Writing to a file is atomic: the old file stays until the new one is complete.
// Coding keys must not begin with "$" (those are the archive's own).
class KeyedArchiver {
public:
    // The archive of `root` (a null root gives an archive whose root is absent).
    static QByteArray archivedData(const KeyedCodable* root);
    static QByteArray archivedData(const std::shared_ptr<const KeyedCodable>& root);
    static QByteArray archivedData(std::nullptr_t) { return archivedData(static_cast<const KeyedCodable*>(nullptr)); }
    // Archives `root` into the file at `path`, replacing it atomically. False (and
    // the reason in `error`) when the file cannot be written.
    static bool archiveRootObject(const KeyedCodable* root, const QString& path, QString* error = nullptr);

    void encodeBool(const QString& key, bool value);
    void encodeInt32(const QString& key, int32_t value);
    void encodeInt64(const QString& key, int64_t value);
    void encodeDouble(const QString& key, double value);
    // A null text is not written (it reads back as absent); an empty one is.
    void encodeString(const QString& key, const QString& value);
    // A null object is not written.
    void encodeObject(const QString& key, const KeyedCodable* object);
    template <typename T, typename = std::enable_if_t<std::is_base_of_v<KeyedCodable, T>>>
    void encodeObject(const QString& key, const std::shared_ptr<T>& object)
    {
        if (object) {
            set(key, sharedObjectValue(object));
        }
    }

    // A list or map of any of the kinds above (nesting allowed).
    template <typename Collection> void encodeList(const QString& key, const Collection& list)
    {
        set(key, toValue(list));
    }
    template <typename Map> void encodeMap(const QString& key, const Map& map) { set(key, toValue(map)); }

private:
    KeyedArchiver() = default;

    void set(const QString& key, const QJsonValue& value);
    QJsonValue objectValue(const KeyedCodable* object);
    QJsonValue sharedObjectValue(const std::shared_ptr<const KeyedCodable>& object);
    static QByteArray documentData(const QJsonValue& top);

    static QJsonValue toValue(bool value) { return value; }
    template <typename I, typename = std::enable_if_t<std::is_integral_v<I> && !std::is_same_v<I, bool>>>
    static QJsonValue toValue(I value)
    {
        return integerValue(static_cast<int64_t>(value));
    }
    static QJsonValue integerValue(int64_t value);
    static QJsonValue toValue(double value);
    static QJsonValue toValue(const QString& value);
    template <typename T, typename = std::enable_if_t<std::is_base_of_v<KeyedCodable, T>>>
    QJsonValue toValue(const std::shared_ptr<T>& object)
    {
        return sharedObjectValue(object);
    }
    template <typename V> QJsonValue toValue(const QList<V>& list);
    template <typename V> QJsonValue toValue(const std::vector<V>& list);
    template <typename V> QJsonValue toValue(const QMap<QString, V>& map);

    QList<QJsonObject> stack_;
    // Ids of the objects whose address cannot be reused while archiving: those
    // being written right now, and those held through the shared pointers kept
    // in pinned_.
    QHash<const KeyedCodable*, int> ids_;
    int lastId_ = 0;
    QHash<const KeyedCodable*, std::shared_ptr<const KeyedCodable>> pinned_;
};

template <typename V> QJsonValue KeyedArchiver::toValue(const QList<V>& list)
{
    QJsonArray array;
    for (const V& item : list) {
        array.append(toValue(item));
    }
    return array;
}

template <typename V> QJsonValue KeyedArchiver::toValue(const std::vector<V>& list)
{
    QJsonArray array;
    for (const V& item : list) {
        array.append(toValue(item));
    }
    return array;
}

template <typename V> QJsonValue KeyedArchiver::toValue(const QMap<QString, V>& map)
{
    QJsonObject entries;
    for (auto it = map.cbegin(); it != map.cend(); ++it) {
        entries.insert(it.key(), toValue(it.value()));
    }
    return QJsonObject{{QStringLiteral("$map"), entries}};
}
