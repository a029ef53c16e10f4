#include "commlib/VXWheelFocusRule.h"

#include <QAbstractSlider>
#include <QAbstractSpinBox>
#include <QApplication>
#include <QComboBox>
#include <QEvent>
#include <QScrollBar>
#include <QWidget>

void VXWheelFocusRule::install()
{
    auto* application = qobject_cast<QApplication*>(QCoreApplication::instance());
    if (!application || application->findChild<VXWheelFocusRule*>(QString(), Qt::FindDirectChildrenOnly))
        return;
    application->installEventFilter(new VXWheelFocusRule(application));
    // Controls made before the rule: later ones are met as they are polished.
    for (QWidget* widget : QApplication::allWidgets()) {
        if (isValueControl(widget))
            keepWheelFromGivingFocus(widget);
    }
}

bool VXWheelFocusRule::isValueControl(const QWidget* widget)
{
    if (qobject_cast<const QComboBox*>(widget) || qobject_cast<const QAbstractSpinBox*>(widget))
        return true;
    // A scroll bar moves the view, not a value of the photo.
    return qobject_cast<const QAbstractSlider*>(widget) && !qobject_cast<const QScrollBar*>(widget);
}

void VXWheelFocusRule::keepWheelFromGivingFocus(QWidget* control)
{
    // Qt gives the keyboard focus to a control that asks for wheel focus
    // before it hands the turn over; that focus would count as the user's
    // choice. A click and Tab still give it.
    if (control->focusPolicy() == Qt::WheelFocus)
        control->setFocusPolicy(Qt::StrongFocus);
}

bool VXWheelFocusRule::isChosen(const QWidget* control)
{
    const QWidget* focus = QApplication::focusWidget();
    return focus && (control->hasFocus() || control->isAncestorOf(focus));
}

bool VXWheelFocusRule::eventFilter(QObject* watched, QEvent* event)
{
    const QEvent::Type type = event->type();
    if (type != QEvent::Wheel && type != QEvent::Polish)
        return false;
    auto* widget = qobject_cast<QWidget*>(watched);
    if (!widget || !isValueControl(widget))
        return false;
    if (type == QEvent::Polish) {
        keepWheelFromGivingFocus(widget);
        return false;
    }
    if (isChosen(widget))
        return false;
    // Ignored, the turn goes on to the control's parents: the form scrolls.
    event->ignore();
    return true;
}
