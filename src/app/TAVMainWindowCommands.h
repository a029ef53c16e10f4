#pragma once

#include <QString>

class QWidget;

// What the application delegate needs of the main window: its window, to
// show it and to carry the menu bar, the nine commands the application menu
// forwards (each as if chosen with no sender), and whether a menu item of the
// given title is enabled now.
class TAVMainWindowCommands {
public:
    virtual ~TAVMainWindowCommands() = default;

    virtual QWidget* window() = 0;
    virtual void showWindow() = 0;

    virtual void clickPre() = 0;
    virtual void clickNext() = 0;
    virtual void clickClear() = 0;
    virtual void clickRestore() = 0;
    virtual void clickSave() = 0;
    virtual void clickClearAll() = 0;
    virtual void clickRestoreAll() = 0;
    virtual void clickSaveAll() = 0;
    virtual void clickImportFiles() = 0;

    virtual bool validateMenuItem(const QString& title) = 0;
};
