#pragma once

#include <nlohmann/json.hpp>

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

struct KBNotification {
    std::string name;
    const void* object = nullptr;
    nlohmann::json userInfo;
};

// The kit's notification centre: delivery is synchronous, on the poster's
// thread, in the order observers were added. An observer may name a sender
// (only that object's notifications reach it). Removing an observer, even
// from inside a delivery, means it is not called again.
class KBNotificationCenter {
public:
    using Observer = std::function<void(const KBNotification&)>;
    using Token = uint64_t;

    static KBNotificationCenter& defaultCenter();

    Token addObserver(const std::string& name, const void* sender, Observer observer);
    void removeObserver(Token token);
    void post(const std::string& name, const void* object = nullptr, nlohmann::json userInfo = nullptr);

private:
    struct Entry {
        Token token;
        std::string name;
        const void* sender;
        Observer observer;
        std::atomic<bool> active{true};
    };

    std::mutex mutex_;
    Token nextToken_ = 1;
    std::vector<std::shared_ptr<Entry>> entries_;
};
