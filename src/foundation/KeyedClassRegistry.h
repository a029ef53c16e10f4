#pragma once

#include "foundation/KeyedCodable.h"

#include <QString>

#include <functional>
#include <memory>

// The class-name factory used when a keyed archive is read: every class that is
// decoded from an archive registers a factory under its `className()` once
// (typically at start-up, or from the class's own static registration helper).
// Thread-safe. Reading an archive that names an unregistered class fails.
class KeyedClassRegistry {
public:
    using Factory = std::function<KeyedCodablePtr()>;

    static void registerClass(const QString& className, Factory factory);

    template <typename T> static void registerClass(const QString& className)
    {
        registerClass(className, [] { return std::static_pointer_cast<KeyedCodable>(std::make_shared<T>()); });
    }

    static bool isRegistered(const QString& className);
    // A new object of the class, or null when the class is not registered.
    static KeyedCodablePtr create(const QString& className);
};
