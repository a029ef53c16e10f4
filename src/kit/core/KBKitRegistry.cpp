#include "kit/core/KBKitRegistry.h"

std::shared_ptr<KBKitRegistry> KBKitRegistry::shared()
{
    static auto registry = std::make_shared<KBKitRegistry>();
    return registry;
}

void KBKitRegistry::registerKit(const KBKitClass& kit)
{
    if (!kit) {
        return;
    }
    std::lock_guard lock(mutex_);
    kits_[kit->className] = kit;
}

KBKitClass KBKitRegistry::classNamed(const std::string& name) const
{
    std::lock_guard lock(mutex_);
    const auto found = kits_.find(name);
    return found != kits_.end() ? found->second : nullptr;
}
