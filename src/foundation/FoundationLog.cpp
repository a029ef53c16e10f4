#include "foundation/FoundationLog.h"

Q_LOGGING_CATEGORY(lcFoundation, "lumetta.foundation")
