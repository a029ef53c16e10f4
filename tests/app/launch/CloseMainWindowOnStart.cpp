// Preloaded into the application by the launch tests: once the main window
// ("Lumetta") is up, it closes it the way a user's click on the close button
// does, and says so on standard error.
#include <QApplication>
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
            std::fprintf(stderr, "closing the main window\n");
            std::fflush(stderr);
            window->close();
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

}  // namespace

Q_COREAPP_STARTUP_FUNCTION(watchForTheMainWindow)
