#include "app/TAVKitPlatformDefaults.h"

#include "foundation/UserDefaults.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonValue>

TAVKitPlatformDefaults::TAVKitPlatformDefaults(UserDefaults& defaults)
    : defaults_(defaults)
{
}

std::optional<nlohmann::json> TAVKitPlatformDefaults::objectForKey(const std::string& key)
{
    const QVariant value = defaults_.objectForKey(QString::fromStdString(key));
    if (!value.isValid()) {
        return std::nullopt;
    }
    // Wrapped in an array: a JSON document's top level cannot be a bare value.
    const QByteArray text = QJsonDocument(QJsonArray{QJsonValue::fromVariant(value)}).toJson(QJsonDocument::Compact);
    const nlohmann::json parsed = nlohmann::json::parse(text.constData(), nullptr, false);
    if (!parsed.is_array() || parsed.empty() || parsed[0].is_null()) {
        return std::nullopt;
    }
    return parsed[0];
}

void TAVKitPlatformDefaults::removeObjectForKey(const std::string& key)
{
    defaults_.removeObjectForKey(QString::fromStdString(key));
}

bool TAVKitPlatformDefaults::synchronize()
{
    return defaults_.synchronize();
}
