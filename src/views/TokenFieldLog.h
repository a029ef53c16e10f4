#pragma once

#include <QLoggingCategory>

// The log category of the token field ("lumetta.views.tokenfield").
Q_DECLARE_LOGGING_CATEGORY(lcTokenField)
