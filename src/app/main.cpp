#include "app/TAVAppDelegate.h"
#include "app/TAVApplicationIdentity.h"
#include "app/TAVCommandLine.h"
#include "app/TAVFolderMigration.h"
#include "app/TAVLogRules.h"
#include "commlib/QtUiServices.h"
#include "commlib/QtWorkspace.h"
#include "commlib/VXWheelFocusRule.h"
#include "foundation/UiServices.h"
#include "foundation/UserDefaults.h"
#include "foundation/Workspace.h"
#include "models/formats/ExivRuntime.h"

#include <QApplication>

#include <cstdio>
#include <cstdlib>

namespace {

QStringList argumentList(int argc, char* argv[])
{
    QStringList arguments;
    for (int index = 0; index < argc; ++index) {
        arguments.append(QString::fromLocal8Bit(argv[index]));
    }
    return arguments;
}

} // namespace

int main(int argc, char* argv[])
{
    TAVApplicationIdentity::describeApplication();
    // --help and --version answer before any window system is needed.
    if (const std::optional<int> exitCode = TAVCommandLine::answerBeforeStart(argumentList(argc, argv))) {
        return *exitCode;
    }

    TAVLogRules::install();
    QApplication application(argc, argv);
    if (const std::optional<int> exitCode = TAVCommandLine::refuseUnknownOptions(QApplication::arguments())) {
        return *exitCode;
    }
    QApplication::setWindowIcon(TAVApplicationIdentity::windowIcon());
    VXWheelFocusRule::install();

    // Before the user defaults are first read.
    TAVFolderMigration::adoptOldFolders(TAVFolderMigration::standardFolders());
    ExivRuntime::initialize();
    QtUiServices uiServices;
    UiServices::setShared(&uiServices);
    QtWorkspace workspace;
    Workspace::setShared(&workspace);

    int result = 0;
    bool kitThreadsEnded = true;
    {
        TAVAppDelegate delegate;
        // Closing the main window ends the application.
        QApplication::setQuitOnLastWindowClosed(delegate.applicationShouldTerminateAfterLastWindowClosed());
        delegate.setKitEnabled(true);
        if (delegate.awakeFromNib()) {
            delegate.applicationDidFinishLaunching();
            result = QApplication::exec();
        }
        kitThreadsEnded = delegate.stopKit();
    }
    Workspace::setShared(nullptr);
    UiServices::setShared(nullptr);
    if (!kitThreadsEnded) {
        // A kit thread still runs and may use any static: end here, with the
        // settings written and the output flushed, instead of destroying them
        // under it.
        UserDefaults::standard().synchronize();
        std::fflush(nullptr);
        std::_Exit(result);
    }
    return result;
}
