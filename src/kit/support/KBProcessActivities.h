#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>

// Activities that keep the process from being ended while the kit writes.
// Linux ends a process only when asked, so an activity here is the count of
// holders that disabled each kind of termination; begin and end must pair.
class KBProcessActivities {
public:
    static constexpr uint64_t kSuddenTerminationDisabled = 0x4000;
    static constexpr uint64_t kAutomaticTerminationDisabled = 0x8000;

    struct Token {
        uint64_t options = 0;
        std::string reason;
    };

    static Token begin(uint64_t options, const std::string& reason);
    // An absent token does nothing.
    static void end(const std::optional<Token>& token);
    static void perform(uint64_t options, const std::string& reason, const std::function<void()>& block);

    static int suddenTerminationDisabledCount();
    static int automaticTerminationDisabledCount();
};
