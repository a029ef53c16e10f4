#include "foundation/KeyedClassRegistry.h"

#include <QHash>

#include <mutex>

namespace {

struct Registry {
    std::mutex mutex;
    QHash<QString, KeyedClassRegistry::Factory> factories;
};

Registry& registry()
{
    static Registry instance;
    return instance;
}

} // namespace

void KeyedClassRegistry::registerClass(const QString& className, Factory factory)
{
    Registry& r = registry();
    std::lock_guard lock(r.mutex);
    r.factories.insert(className, std::move(factory));
}

bool KeyedClassRegistry::isRegistered(const QString& className)
{
    Registry& r = registry();
    std::lock_guard lock(r.mutex);
    return r.factories.contains(className);
}

KeyedCodablePtr KeyedClassRegistry::create(const QString& className)
{
    Factory factory;
    {
        Registry& r = registry();
        std::lock_guard lock(r.mutex);
        factory = r.factories.value(className);
    }
    return factory ? factory() : nullptr;
}
