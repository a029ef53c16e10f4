#pragma once

#include "webmapkit/GMKJsonValue.h"

#include <QLoggingCategory>
#include <QString>

#include <optional>

Q_DECLARE_LOGGING_CATEGORY(lcGMKJson)

// One-call conversions on a fresh parser or writer. On failure each logs the
// error trace (category "lumetta.webmapkit.json") and answers nothing.

// An array or an object from `text`.
std::optional<GMKJsonValue> GMKJSONValue(const QString& text);
// Any JSON value from `text`.
std::optional<GMKJsonValue> GMKJSONFragmentValue(const QString& text);
// Compact text of an array or an object; a null string on failure.
QString GMKJSONRepresentation(const GMKJsonValue& value);
// Compact text of any value; a null string on failure.
QString GMKJSONFragment(const GMKJsonValue& value);
