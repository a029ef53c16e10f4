#include "views/TokenFieldLog.h"

Q_LOGGING_CATEGORY(lcTokenField, "lumetta.views.tokenfield")
