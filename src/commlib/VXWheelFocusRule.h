#pragma once

#include <QObject>

class QWidget;

// The application's one rule for the mouse wheel over a control that holds a
// value (a combo box or pop-up button, a spin box or date picker, a slider):
// the wheel turns it only once the user has chosen it, by a click or Tab, so
// a pointer passing over a form on its way elsewhere changes no photo. Over a
// control not chosen the turn goes on to the form around it. The wheel itself
// never chooses such a control. The rule goes by type over every widget of
// the application, so a control added later, in a tab, a tool sheet or an
// item view's editor, obeys it too; lists, tables, scroll bars and the map
// keep their own wheel.
class VXWheelFocusRule : public QObject {
    Q_OBJECT
public:
    // Puts the rule on the running application; a second call changes nothing.
    static void install();
    static bool isValueControl(const QWidget* widget);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    using QObject::QObject;
    static void keepWheelFromGivingFocus(QWidget* control);
    static bool isChosen(const QWidget* control);
};
