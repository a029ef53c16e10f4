#pragma once

#include <QStringList>

#include <optional>

// The program's own command-line options. --help and --version are answered
// on the terminal without opening a window (so they also work where there is
// no display); anything else unknown is refused with a hint.
class TAVCommandLine {
public:
    // Before the application object exists: the exit code when the program
    // ends here (help or version printed, or an option that is neither ours
    // nor Qt's refused), nothing when it goes on.
    static std::optional<int> answerBeforeStart(const QStringList& arguments);
    // After the application object took its own options (-platform, -style
    // ...) out of the list: the exit code when what is left is refused.
    static std::optional<int> refuseUnknownOptions(const QStringList& arguments);
};
