#include "app/TAVAppDelegate.h"
#include "commlib/QtUiServices.h"
#include "commlib/QtWorkspace.h"
#include "foundation/UiServices.h"
#include "foundation/Workspace.h"
#include "models/ExivRuntime.h"

#include <QApplication>

int main(int argc, char* argv[])
{
    QApplication application(argc, argv);
    QApplication::setOrganizationName(QStringLiteral("Lumetta"));
    QApplication::setApplicationName(QStringLiteral("Lumetta"));

    ExivRuntime::initialize();
    QtUiServices uiServices;
    UiServices::setShared(&uiServices);
    QtWorkspace workspace;
    Workspace::setShared(&workspace);

    int result = 0;
    {
        TAVAppDelegate delegate;
        // Closing the main window ends the application.
        QApplication::setQuitOnLastWindowClosed(delegate.applicationShouldTerminateAfterLastWindowClosed());
        delegate.setKitEnabled(true);
        if (delegate.awakeFromNib()) {
            delegate.applicationDidFinishLaunching();
            result = QApplication::exec();
        }
    }
    Workspace::setShared(nullptr);
    UiServices::setShared(nullptr);
    return result;
}
