#pragma once

#include "kit/support/KBProcessActivities.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>

// Keeps the process from being ended while events are written: from its
// making until end() (or its release) it holds the terminations its options
// name disabled. Linux has no background tasks, so their identifier is 0.
class TYActivity {
public:
    static constexpr uint64_t kRecordOptions = 0xC000;
    static constexpr uint64_t kRotateOptions = 0xC0FF;

    static std::shared_ptr<TYActivity> beginActivity(
        const std::string& reason, uint64_t options, std::function<void()> expirationHandler = nullptr);
    static void performActivity(const std::string& reason, uint64_t options, const std::function<void()>& block);
    static std::optional<KBProcessActivities::Token> beginActivityIfAvailable(
        const std::string& reason, uint64_t options);
    static uint64_t beginBackgroundTaskWithName(const std::string& name, std::function<void()> expirationHandler);
    static bool supportsBackgroundTasks();

    TYActivity(std::optional<KBProcessActivities::Token> token, uint64_t options, std::string reason,
        uint64_t backgroundTaskIdentifier);
    ~TYActivity();
    TYActivity(const TYActivity&) = delete;
    TYActivity& operator=(const TYActivity&) = delete;

    // Ends the activity; a second call does nothing.
    void end();
    bool isActive() const;
    uint64_t options() const;
    const std::string& reason() const;
    uint64_t backgroundTaskIdentifier() const;

private:
    mutable std::mutex mutex_;
    std::optional<KBProcessActivities::Token> processInfoToken_;
    uint64_t options_;
    std::string reason_;
    uint64_t backgroundTaskIdentifier_;
};
