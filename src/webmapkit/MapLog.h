#pragma once

#include <QLoggingCategory>

// The log category of the map components ("lumetta.map"): tile loading, the
// static map, place search, user location and the script host.
Q_DECLARE_LOGGING_CATEGORY(lcMap)
