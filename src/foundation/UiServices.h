#pragma once

#include <QObject>
#include <QString>
#include <QStringList>

#include <functional>

// Alerts, open panels and the beep, reached through one injectable interface so
// that engine and window code can be tested with a recording fake. The real
// implementation lives with the widgets; set it once at start-up with
// setShared(). All calls are made on the GUI thread.
//
// Callers rely on:
// - runAlert returns the chosen button's code: 1000 for the first button, 1001
//   for the second, 1002 for the third.
// - showTipsAlert returns 1 when the first button was chosen, else 0;
//   showTipsAlertWithCallback hands the button code to the callback before it
//   returns.
// - runOpenPanel returns the chosen paths, empty when the user cancelled.
// - runAlertSheet returns at once; the alert stays window-modal on its parent
//   and exactly one of the two callbacks runs when the user answers.
class UiServices {
public:
    enum ButtonCode : int { FirstButton = 1000, SecondButton = 1001, ThirdButton = 1002 };
    enum class AlertStyle { Warning, Informational, Critical };

    struct AlertRequest {
        QString title;
        QString message;
        QStringList buttons; // first button first; at least one
        AlertStyle style = AlertStyle::Warning;
        QObject* parent = nullptr; // the window the alert belongs to, if any
        // The position in `buttons` of the button Return presses: a question
        // whose action cannot be taken back points at its Cancel.
        int defaultButton = 0;
    };

    struct OpenPanelRequest {
        bool chooseFiles = true;
        bool chooseFolders = false;
        bool allowsMultipleSelection = false;
        QStringList fileTypes; // allowed extensions without "."; empty allows all
        QString title;
        QString directory; // where the panel starts; empty for its own choice
        QObject* parent = nullptr;
    };

    virtual ~UiServices() = default;

    virtual int runAlert(const AlertRequest& request) = 0;
    virtual QStringList runOpenPanel(const OpenPanelRequest& request) = 0;
    virtual void beep() = 0;
    // The first button is the cancel button: choosing it (or pressing Escape)
    // runs onCancel; another button runs onDismiss with its code (1001 for the
    // second button). Either callback may be empty.
    virtual void runAlertSheet(
        const AlertRequest& request, const std::function<void(int)>& onDismiss, const std::function<void()>& onCancel)
        = 0;

    // Title, message, first button and an optional second button (null text for none).
    int showTipsAlert(const QString& title, const QString& message, const QString& firstButton,
        const QString& secondButton = QString(), QObject* parent = nullptr);
    // An alert that only informs (a task done, a limit met): the information
    // icon and one button.
    void showInformation(
        const QString& title, const QString& message, const QString& button, QObject* parent = nullptr);
    void showTipsAlertWithCallback(const QString& title, const QString& message, const QString& firstButton,
        const QString& secondButton, const std::function<void(int)>& callback, QObject* parent = nullptr);
    // An alert sheet on `window`: the message as title, the informative text
    // below it, the cancel button first and then the other buttons.
    void showSheetModalForWindow(QObject* window, const QString& message, const QString& informativeText,
        AlertStyle style, const QString& cancelButtonTitle, const QStringList& otherButtonTitles,
        const std::function<void(int)>& onDismiss, const std::function<void()>& onCancel);
    // One folder; empty when cancelled.
    QStringList chooseFolder(const QString& title = QString(), QObject* parent = nullptr);
    // Files of the given extensions (all files when empty); empty when cancelled.
    QStringList chooseFiles(
        const QStringList& fileTypes, bool multiple, const QString& title = QString(), QObject* parent = nullptr);

    // The instance the application installed (null before).
    static UiServices* shared();
    // Installs the instance; the caller keeps ownership and keeps it alive.
    static void setShared(UiServices* services);
};
