#pragma once

#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <variant>

// A kit the application can start. C++ has no classes to look up at run
// time, so each kit describes itself: what it answers as a kit, or, for the
// older form, what its shared instance answers.
struct KBKitDescriptor {
    struct KitProtocol {
        std::string bundleIdentifier;
        std::string displayVersion;
        std::string buildVersion;
        std::function<void()> initializeIfNeeded; // empty when the kit has none
    };
    struct LegacyInstance {
        std::function<void()> start;
        std::optional<std::string> bundleIdentifier;
        std::optional<std::string> version;
    };

    std::string className;
    std::optional<KitProtocol> kit;
    // Present when the kit answers for a shared instance (the older form).
    std::optional<LegacyInstance> sharedInstance;
};

using KBKitClass = std::shared_ptr<const KBKitDescriptor>;

// A kit object: where a kit object is passed, its class counts.
struct KBKitObject {
    KBKitClass kitClass;
};

using KBKitReference = std::variant<KBKitClass, KBKitObject>;

// The kits present in the process, by class name. Kits register themselves
// explicitly; "a class named X exists" is a lookup here.
class KBKitRegistry {
public:
    static std::shared_ptr<KBKitRegistry> shared();

    void registerKit(const KBKitClass& kit);
    KBKitClass classNamed(const std::string& name) const;

private:
    mutable std::mutex mutex_;
    std::map<std::string, KBKitClass> kits_;
};
