#include "app/TAVMainWindowShell.h"

#include <QMainWindow>
#include <QStringList>

TAVMainWindowShell::TAVMainWindowShell()
    : window_(std::make_unique<QMainWindow>())
{
    window_->setWindowTitle(QStringLiteral("Lumetta"));
    window_->resize(1100, 720);
}

TAVMainWindowShell::~TAVMainWindowShell() = default;

QWidget* TAVMainWindowShell::window()
{
    return window_.get();
}

void TAVMainWindowShell::showWindow()
{
    window_->show();
}

bool TAVMainWindowShell::validateMenuItem(const QString& title)
{
    static const QStringList commands = {
        QStringLiteral("Previous"),
        QStringLiteral("Next"),
        QStringLiteral("Clear"),
        QStringLiteral("Restore"),
        QStringLiteral("Save"),
        QStringLiteral("Clear All"),
        QStringLiteral("Restore All"),
        QStringLiteral("Save All"),
        QStringLiteral("Import Files..."),
    };
    return !commands.contains(title);
}
