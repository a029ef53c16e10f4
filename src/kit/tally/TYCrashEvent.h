#pragma once

#include "kit/tally/TYEvent.h"

#include <cstdint>

// The crash of the previous run; its line carries the crash time.
class TYCrashEvent : public TYEvent {
public:
    TYCrashEvent(double crashTimestamp, uint64_t crashState);

    static std::string payloadStringForCrashState(uint64_t state);

    std::string name() const override;
    nlohmann::ordered_json dictionaryRepresentation() const override;
    double timestamp() const override;
    double crashTimestamp() const;
    void setCrashTimestamp(double timestamp);
    uint64_t crashState() const;
    void setCrashState(uint64_t state);

protected:
    std::string className() const override;

private:
    double crashTimestamp_;
    uint64_t crashState_;
};
