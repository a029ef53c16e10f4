#pragma once

#include "webmapkit/GMKJsonValue.h"

#include <QString>

#include <optional>

// An object that is not a JSON value but may be handed to the writer. It is
// written through its stand-in when it offers one; otherwise writing it fails
// with a message that names its class.
class GMKJsonForeignObject {
public:
    virtual ~GMKJsonForeignObject() = default;

    virtual QString className() const = 0;
    // The JSON value to write in this object's place; nothing when the object
    // has no such stand-in.
    virtual std::optional<GMKJsonValue> proxyForJson() const { return std::nullopt; }
};
