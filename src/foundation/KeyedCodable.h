#pragma once

#include <QString>

#include <memory>

class KeyedArchiver;
class KeyedUnarchiver;

// An object that can be written to and read from a keyed archive.
//
// Callers rely on: `className()` is the name stored under "$class" and the name
// registered with KeyedClassRegistry for decoding; `encode` writes the object's
// coding keys; `decode` is called on a freshly made object (from the registered
// factory) and reads them back. A key the archive lacks reads as the documented
// default of its decode call, so `decode` sees old archives without surprises.
class KeyedCodable {
public:
    virtual ~KeyedCodable() = default;

    virtual QString className() const = 0;
    virtual void encode(KeyedArchiver& archiver) const = 0;
    virtual void decode(KeyedUnarchiver& unarchiver) = 0;
};

using KeyedCodablePtr = std::shared_ptr<KeyedCodable>;
