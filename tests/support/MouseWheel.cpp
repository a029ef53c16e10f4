#include "support/MouseWheel.h"

#include <QApplication>
#include <QWheelEvent>
#include <QWidget>

namespace {

bool takesWheelFocus(const QWidget* widget)
{
    const QWidget* proxy = widget;
    while (proxy->focusProxy()) {
        proxy = proxy->focusProxy();
    }
    const auto wheel = [](const QWidget* w) { return (w->focusPolicy() & Qt::WheelFocus) == Qt::WheelFocus; };
    return widget->isEnabled() && wheel(widget) && wheel(proxy);
}

} // namespace

void MouseWheel::turnOver(QWidget* widget, int notches)
{
    const QPoint middle = widget->rect().center();
    QWidget* under = widget->childAt(middle);
    if (!under) {
        under = widget;
    }
    // What QApplication does for a wheel event from the window system, which
    // a test cannot send: the first widget outwards that takes wheel focus gets it.
    for (QWidget* candidate = under; candidate;
         candidate = candidate->isWindow() ? nullptr : candidate->parentWidget()) {
        if (takesWheelFocus(candidate)) {
            candidate->setFocus(Qt::MouseFocusReason);
            break;
        }
    }
    // Then the event, to the innermost widget and on outwards while ignored
    // (QApplication hands on only the window system's own events).
    QPointF local = under->mapFrom(widget, QPointF(middle));
    for (QWidget* receiver = under; receiver; receiver = receiver->parentWidget()) {
        QWheelEvent wheel(local, receiver->mapToGlobal(local), QPoint(), QPoint(0, 120 * notches), Qt::NoButton,
            Qt::NoModifier, Qt::NoScrollPhase, false);
        wheel.ignore();
        QApplication::sendEvent(receiver, &wheel);
        if (wheel.isAccepted() || receiver->isWindow()) {
            return;
        }
        local += receiver->pos();
    }
}
