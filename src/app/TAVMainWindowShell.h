#pragma once

#include "app/TAVMainWindowCommands.h"

#include <memory>

class QMainWindow;

// The plain main window the application shows while it has no editor
// window: titled "Lumetta", holding no images, so that none of the image
// commands can act.
class TAVMainWindowShell : public TAVMainWindowCommands {
public:
    TAVMainWindowShell();
    ~TAVMainWindowShell() override;

    QWidget* window() override;
    void showWindow() override;

    void clickPre() override { }
    void clickNext() override { }
    void clickClear() override { }
    void clickRestore() override { }
    void clickSave() override { }
    void clickClearAll() override { }
    void clickRestoreAll() override { }
    void clickSaveAll() override { }
    void clickImportFiles() override { }

    // Off for the nine commands above, on for every other item.
    bool validateMenuItem(const QString& title) override;

private:
    std::unique_ptr<QMainWindow> window_;
};
