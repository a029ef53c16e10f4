#include "webmapkit/MapLog.h"

Q_LOGGING_CATEGORY(lcMap, "lumetta.map")
