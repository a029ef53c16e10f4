#pragma once

#include <QString>
#include <QVariant>

#include <algorithm>
#include <memory>
#include <optional>
#include <type_traits>

// Building maps from values that may be absent: a pair whose key or object is
// absent (a null QString, an invalid QVariant, an empty optional, a null
// pointer) is left out instead of becoming an entry.
class SafeDictionary {
public:
    // A map of the pairs (objects[i], keys[i]) in order, for the pairs both
    // lists have, less every pair with an absent key or object. A later pair
    // with the same key replaces an earlier one.
    template <typename Map, typename Objects, typename Keys>
    static Map dictionaryWithObjects(const Objects& objects, const Keys& keys)
    {
        Map map;
        const auto count = std::min<std::size_t>(std::size(objects), std::size(keys));
        auto object = std::begin(objects);
        auto key = std::begin(keys);
        for (std::size_t index = 0; index < count; ++index, ++object, ++key) {
            setObjectForKey(map, *object, *key);
        }
        return map;
    }

    // Sets the pair into the map unless the key or the object is absent; an
    // absent object leaves the map as it was.
    template <typename Map, typename Object, typename Key>
    static void setObjectForKey(Map& map, const Object& object, const Key& key)
    {
        if (isAbsent(object) || isAbsent(key)) {
            return;
        }
        if constexpr (requires { map.insert_or_assign(unwrap(key), unwrap(object)); }) {
            map.insert_or_assign(unwrap(key), unwrap(object));
        } else {
            map.insert(unwrap(key), unwrap(object));
        }
    }

    static bool isAbsent(const QString& value) { return value.isNull(); }
    static bool isAbsent(const QVariant& value) { return !value.isValid() || value.isNull(); }
    template <typename T> static bool isAbsent(const std::optional<T>& value)
    {
        return !value.has_value() || isAbsent(*value);
    }
    template <typename T> static bool isAbsent(const std::shared_ptr<T>& value) { return value == nullptr; }
    template <typename T> static bool isAbsent(T* value) { return value == nullptr; }
    template <typename T>
    requires(!std::is_pointer_v<T>) static bool isAbsent(const T&) { return false; }

private:
    template <typename T> static const T& unwrap(const std::optional<T>& value) { return *value; }
    template <typename T> static const T& unwrap(const T& value) { return value; }
};
