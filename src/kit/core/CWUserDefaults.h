#pragma once

#include "kit/core/KBPlatformUserDefaults.h"

#include <nlohmann/json.hpp>

#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

// The kit's own key-value store: an XML property list holding one dictionary,
// in <data home>/<bundle id>/<vendor folder>/CWUserDefaults.plist. Changes
// stay in memory until synchronize(). Values still kept in the application's
// user defaults by older versions of the kit move in when first read.
class CWUserDefaults {
public:
    // The process's store, made on first use; copying it means sharing it.
    static std::shared_ptr<CWUserDefaults> standardUserDefaults();
    // The application's user defaults seen by the standard store (set before
    // its first use; without one nothing is migrated).
    static void setPlatformDefaults(std::shared_ptr<KBPlatformUserDefaults> defaults);

    CWUserDefaults(std::string directory, std::shared_ptr<KBPlatformUserDefaults> platform);
    CWUserDefaults(const CWUserDefaults&) = delete;
    CWUserDefaults& operator=(const CWUserDefaults&) = delete;

    static std::string generateDirectoryURL();
    static std::string generateDirectoryURLForBaseURL(
        const std::string& base, const std::optional<std::string>& hostAppBundleIdentifier);
    static std::optional<std::string> getEscapedAppBundleIdentifier();

    std::optional<nlohmann::json> objectForKey(const std::string& key) const;
    std::optional<std::string> stringForKey(const std::string& key) const;
    bool boolForKey(const std::string& key) const;
    // An absent value removes the key.
    void setObject(const std::optional<nlohmann::json>& value, const std::string& key);
    void setString(const std::optional<std::string>& value, const std::string& key);
    void setBool(bool value, const std::string& key);
    void removeObjectForKey(const std::string& key);
    void removeAllObjects();
    nlohmann::json dictionaryRepresentation() const;

    // Writes the contents to the file; false (and a log line) when it could not.
    bool synchronize();

    // The value of the key, moving it from the application's user defaults
    // when only they have it. The application's copy goes only once the store
    // has been written, so a failed write loses nothing.
    std::optional<nlohmann::json> objectForKeyByMigratingFromNSUserDefaults(const std::optional<std::string>& key);
    void migrateFromNSUserDefaults(const std::vector<std::string>& keys);

    const std::string& directoryURL() const;
    const std::string& fileURL() const;

private:
    nlohmann::json loadDefaults();

    std::string directory_;
    std::string file_;
    std::shared_ptr<KBPlatformUserDefaults> platform_;
    // Stand for the access queue and the io queue: the first guards the
    // dictionary, the second the file.
    mutable std::mutex accessMutex_;
    std::mutex ioMutex_;
    nlohmann::json data_ = nlohmann::json::object();
};
