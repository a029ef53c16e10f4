#pragma once

#include <QJSValue>
#include <QMetaType>
#include <QPointer>

#include <cstdint>

class ScriptBridge;

// An object of a page's script: the value, the page load (generation) it
// belongs to and the bridge that made it. Two are equal when they are the same
// script object of the same load. After a reload the object is stale: it still
// compares, but matches nothing of the new page.
class ScriptObject {
public:
    ScriptObject() = default;
    ScriptObject(QJSValue value, std::uint64_t generation, ScriptBridge* bridge);

    const QJSValue& value() const { return value_; }
    std::uint64_t generation() const { return generation_; }
    ScriptBridge* bridge() const;
    // An object (not undefined, null or a plain value).
    bool isValid() const { return value_.isObject(); }
    bool isStale() const;

    bool operator==(const ScriptObject& other) const;

private:
    QJSValue value_;
    std::uint64_t generation_ = 0;
    QPointer<ScriptBridge> bridge_;
};

Q_DECLARE_METATYPE(ScriptObject)
