#include "webmapkit/MapPageAnswer.h"

#include "webmapkit/GMKJsonOperations.h"

#include <QStringList>

namespace MapPageAnswer {

std::optional<GMKJsonValue> object(const QVariant& answer)
{
    if (answer.metaType() != QMetaType::fromType<QString>()) {
        return std::nullopt;
    }
    return object(answer.toString());
}

std::optional<GMKJsonValue> object(const QString& text)
{
    std::optional<GMKJsonValue> value = GMKJSONValue(text);
    if (!value || !value->isObject()) {
        return std::nullopt;
    }
    return value;
}

std::optional<double> number(const GMKJsonValue& object, const QString& keyPath)
{
    GMKJsonValue value = object;
    for (const QString& key : keyPath.split(QLatin1Char('.'))) {
        value = value.value(key);
    }
    if (!value.isNumber()) {
        return std::nullopt;
    }
    return value.toDouble();
}

std::optional<MapCoordinate> coordinate(const GMKJsonValue& object)
{
    const std::optional<double> latitude = number(object, QStringLiteral("latitude"));
    const std::optional<double> longitude = number(object, QStringLiteral("longitude"));
    if (!latitude || !longitude) {
        return std::nullopt;
    }
    return MapCoordinate{*latitude, *longitude};
}

} // namespace MapPageAnswer
