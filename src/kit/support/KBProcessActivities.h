#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>

// Activities that keep the process from being ended while the kit writes.
// Each kind of termination an activity disables is counted per holder; begin
// and end must pair. An activity that disables either kind must finish: while
// at least one such activity runs, the kit holds a systemd-logind delay
// inhibitor ("shutdown:sleep", mode "delay", the first holder's reason), so
// the desktop session's end or the machine's sleep waits for it. The lock is
// taken and let go on the system-bus thread, never by the caller; nested
// activities share one lock. Without a system bus or logind only the counts
// are kept.
class KBProcessActivities {
public:
    static constexpr uint64_t kSuddenTerminationDisabled = 0x4000;
    static constexpr uint64_t kAutomaticTerminationDisabled = 0x8000;
    static constexpr const char* kInhibitorWho = "Lumetta";

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

    // Takes the lock from the bus at that address from now on (nothing: the
    // system bus); a lock held on the former bus is let go.
    static void setSystemBusAddress(std::optional<std::string> address);
    // Returns once the lock follows every begin and end made before.
    static void waitForSystemBus();
};
