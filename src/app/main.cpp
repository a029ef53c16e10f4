#include "models/ExivRuntime.h"

#include <QApplication>
#include <QMainWindow>

int main(int argc, char* argv[])
{
    QApplication application(argc, argv);
    QApplication::setOrganizationName(QStringLiteral("Lumetta"));
    QApplication::setApplicationName(QStringLiteral("Lumetta"));
    QApplication::setQuitOnLastWindowClosed(true);

    ExivRuntime::initialize();

    QMainWindow window;
    window.setWindowTitle(QStringLiteral("Lumetta"));
    window.resize(1100, 720);
    window.show();

    return application.exec();
}
