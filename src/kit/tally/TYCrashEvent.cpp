#include "kit/tally/TYCrashEvent.h"

TYCrashEvent::TYCrashEvent(double crashTimestamp, uint64_t crashState)
    : crashTimestamp_(crashTimestamp)
    , crashState_(crashState)
{
}

std::string TYCrashEvent::payloadStringForCrashState(uint64_t state)
{
    switch (state) {
    case 1:
        return "foreground";
    case 2:
        return "background";
    default:
        return "unknown";
    }
}

std::string TYCrashEvent::name() const
{
    return "app_crashed";
}

nlohmann::ordered_json TYCrashEvent::dictionaryRepresentation() const
{
    return {{"eventId", identifier()}, {"crash_state", payloadStringForCrashState(crashState_)}};
}

double TYCrashEvent::timestamp() const
{
    return crashTimestamp_;
}

double TYCrashEvent::crashTimestamp() const
{
    return crashTimestamp_;
}

void TYCrashEvent::setCrashTimestamp(double timestamp)
{
    crashTimestamp_ = timestamp;
}

uint64_t TYCrashEvent::crashState() const
{
    return crashState_;
}

void TYCrashEvent::setCrashState(uint64_t state)
{
    crashState_ = state;
}

std::string TYCrashEvent::className() const
{
    return "TYCrashEvent";
}
