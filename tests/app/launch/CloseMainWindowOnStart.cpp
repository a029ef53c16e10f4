// Preloaded into the application by the launch tests: once the main window
// ("Lumetta") is up, it closes it the way a user's click on the close button
// does, and says so on standard error, with the names and icon the window
// carries. Asked to (LUMETTA_PROBE_WHEEL), it first turns the wheel over the
// window's value controls, as a pointer passing over them would.
#include <QAbstractSlider>
#include <QAbstractSpinBox>
#include <QApplication>
#include <QComboBox>
#include <QGuiApplication>
#include <QScrollBar>
#include <QTimer>
#include <QWheelEvent>
#include <QWidget>

#include <cstdio>
#include <cstdlib>

namespace {

// What a control that holds a value shows; a null string for other widgets.
QString valueOf(const QWidget* widget)
{
    if (const auto* popup = qobject_cast<const QComboBox*>(widget))
        return QString::number(popup->currentIndex());
    if (const auto* spin = qobject_cast<const QAbstractSpinBox*>(widget))
        return QStringLiteral("text ") + spin->text();
    if (const auto* slider = qobject_cast<const QAbstractSlider*>(widget);
        slider && !qobject_cast<const QScrollBar*>(widget))
        return QString::number(slider->value());
    return QString();
}

// One notch down over each value control of the window the user has not
// chosen: the application's start-up put its wheel rule in place, so none
// changes. Says how many were passed over and how many changed.
void turnTheWheelOverValueControls(QWidget* window)
{
    int passed = 0;
    int changed = 0;
    for (QWidget* control : window->findChildren<QWidget*>()) {
        const QString shown = valueOf(control);
        if (shown.isNull() || !control->isVisible() || !control->isEnabled() || control->hasFocus())
            continue;
        ++passed;
        const QPointF middle = QRectF(control->rect()).center();
        QWheelEvent turn(middle, control->mapToGlobal(middle), QPoint(), QPoint(0, -120), Qt::NoButton, Qt::NoModifier,
            Qt::NoScrollPhase, false);
        QApplication::sendEvent(control, &turn);
        if (valueOf(control) != shown) {
            ++changed;
            std::fprintf(stderr, "the wheel changed %s '%s'\n", control->metaObject()->className(),
                qPrintable(control->objectName()));
        }
    }
    std::fprintf(stderr, "wheel over %d value controls not chosen: %d changed\n", passed, changed);
}

void closeWhenShown(QTimer* timer)
{
    for (QWidget* window : QApplication::topLevelWidgets()) {
        if (window->isVisible() && window->windowTitle() == QStringLiteral("Lumetta")) {
            timer->stop();
            // What the desktop learns of the running program.
            std::fprintf(stderr, "desktop file name '%s', version '%s', window icon %s\n",
                qPrintable(QGuiApplication::desktopFileName()), qPrintable(QCoreApplication::applicationVersion()),
                QApplication::windowIcon().pixmap(16, 16).isNull() ? "missing" : "shown");
            if (qEnvironmentVariableIsSet("LUMETTA_PROBE_WHEEL"))
                turnTheWheelOverValueControls(window);
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
