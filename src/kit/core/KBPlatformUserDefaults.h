#pragma once

#include <nlohmann/json.hpp>

#include <map>
#include <mutex>
#include <optional>
#include <string>

// The application's own user defaults as the kit sees them: older versions
// of the kit kept values there, and the kit moves them into its own store.
// The application hands in an adapter; tests use the in-memory one.
class KBPlatformUserDefaults {
public:
    virtual ~KBPlatformUserDefaults() = default;
    virtual std::optional<nlohmann::json> objectForKey(const std::string& key) = 0;
    virtual void removeObjectForKey(const std::string& key) = 0;
    virtual bool synchronize() = 0;
};

class KBInMemoryUserDefaults : public KBPlatformUserDefaults {
public:
    std::optional<nlohmann::json> objectForKey(const std::string& key) override;
    void removeObjectForKey(const std::string& key) override;
    bool synchronize() override;
    void setObject(const std::string& key, nlohmann::json value);

private:
    std::mutex mutex_;
    std::map<std::string, nlohmann::json> values_;
};
