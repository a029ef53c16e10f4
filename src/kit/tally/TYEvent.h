#pragma once

#include <nlohmann/json.hpp>

#include <memory>
#include <string>

// Something that happened, as one line of an event log: a name, the moment
// (seconds since 1970 on the kit clock) and a payload. Every payload of the
// kinds below carries the event's own "eventId".
class TYEvent {
public:
    TYEvent();
    virtual ~TYEvent() = default;

    virtual std::string name() const;
    virtual nlohmann::ordered_json dictionaryRepresentation() const;
    virtual bool triggersFlush() const;
    virtual double timestamp() const;
    const std::string& identifier() const;
    virtual std::string description() const;

protected:
    // The class's name, for descriptions.
    virtual std::string className() const;

private:
    double timestamp_;
    std::string identifier_;
};

using TYEventPtr = std::shared_ptr<TYEvent>;
