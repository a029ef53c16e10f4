#pragma once

#include <QLoggingCategory>

// The log category of the foundation services ("lumetta.foundation").
Q_DECLARE_LOGGING_CATEGORY(lcFoundation)
