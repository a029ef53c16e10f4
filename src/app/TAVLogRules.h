#pragma once

#include <QString>

// What the program prints on its terminal: warnings and errors; its debug and
// information lines only when the QT_LOGGING_RULES environment variable (or
// a logging configuration file) turns them on, for example
//   QT_LOGGING_RULES="lumetta.*.debug=true;lumetta.*.info=true"
class TAVLogRules {
public:
    // The rules in effect unless the user's own rules say otherwise.
    static QString quietRules();
    // Installs them; the environment's rules are applied after these and win.
    static void install();
};
