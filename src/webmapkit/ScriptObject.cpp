#include "webmapkit/ScriptObject.h"

#include "webmapkit/ScriptBridge.h"

ScriptObject::ScriptObject(QJSValue value, std::uint64_t generation, ScriptBridge* bridge)
    : value_(std::move(value))
    , generation_(generation)
    , bridge_(bridge)
{
}

bool ScriptObject::isStale() const
{
    return bridge_ == nullptr || bridge_->generation() != generation_;
}

bool ScriptObject::operator==(const ScriptObject& other) const
{
    return generation_ == other.generation_ && bridge_ == other.bridge_ && value_.strictlyEquals(other.value_);
}

ScriptBridge* ScriptObject::bridge() const
{
    return bridge_.data();
}
