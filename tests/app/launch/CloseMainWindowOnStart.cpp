// Preloaded into the application by the launch tests: once the main window
// ("Lumetta") is up, it closes it the way a user's click on the close button
// does, and says so on standard error, with the names and icon the window
// carries.
#include <QApplication>
#include <QGuiApplication>
#include <QTimer>
#include <QWidget>

#include <cstdio>
#include <cstdlib>

namespace {

void closeWhenShown(QTimer* timer)
{
    for (QWidget* window : QApplication::topLevelWidgets()) {
        if (window->isVisible() && window->windowTitle() == QStringLiteral("Lumetta")) {
            timer->stop();
            // What the desktop learns of the running program.
            std::fprintf(stderr, "desktop file name '%s', version '%s', window icon %s\n",
                qPrintable(QGuiApplication::desktopFileName()), qPrintable(QCoreApplication::applicationVersion()),
                QApplication::windowIcon().pixmap(16, 16).isNull() ? "missing" : "shown");
            // LUMETTA_CLOSE_AFTER_MS lets a test close the window later, while
            // the work that starts with the window is under way.
            const int delay = qEnvironmentVariableIntValue("LUMETTA_CLOSE_AFTER_MS");
            QTimer::singleShot(delay, window, [window] {
                std::fprintf(stderr, "closing the main window\n");
                std::fflush(stderr);
                window->close();
            });
            return;
        }
    }
}

void watchForTheMainWindow()
{
    // Queued: the application object is still being made here.
    QMetaObject::invokeMethod(
        QCoreApplication::instance(),
        [] {
            auto* timer = new QTimer(QCoreApplication::instance());
            QObject::connect(timer, &QTimer::timeout, [timer] { closeWhenShown(timer); });
            timer->start(20);
            // A test never hangs on an application that shows no window.
            QTimer::singleShot(20000, [] {
                std::fprintf(stderr, "no main window was shown\n");
                std::_Exit(3);
            });
        },
        Qt::QueuedConnection);
}

} // namespace

Q_COREAPP_STARTUP_FUNCTION(watchForTheMainWindow)
