#pragma once

#include "webmapkit/GMKJsonValue.h"
#include "webmapkit/MapCoordinate.h"

#include <QString>
#include <QVariant>

#include <optional>

// Reading the JSON texts that map pages answer with. A text that does not parse
// is logged by the parser and reads as nothing.
namespace MapPageAnswer {

// The object in a page's answer; nothing when the answer is no text or no object.
std::optional<GMKJsonValue> object(const QVariant& answer);
std::optional<GMKJsonValue> object(const QString& text);
// The number under a dotted key path ("center.latitude"); nothing when a step
// is missing or the value is no number.
std::optional<double> number(const GMKJsonValue& object, const QString& keyPath);
// "latitude" and "longitude" of an object, when both are numbers.
std::optional<MapCoordinate> coordinate(const GMKJsonValue& object);

} // namespace MapPageAnswer
