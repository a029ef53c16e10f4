// The application's menu bar. Qt asks nothing before a menu opens, so each
// menu validates its items as it is about to show, and every command checks
// again when it fires: a keyboard shortcut reaches it without the menu.
#include "app/TAVAppDelegate.h"

#include "app/TAVMainWindowCommands.h"
#include "foundation/AppInfo.h"

#include <QAction>
#include <QKeySequence>
#include <QLayout>
#include <QMainWindow>
#include <QMenu>
#include <QMenuBar>

void TAVAppDelegate::buildMenuBar()
{
    QWidget* window = mainWndCtlr_->window();
    auto* bar = new QMenuBar(window);
    if (auto* mainWindow = qobject_cast<QMainWindow*>(window)) {
        mainWindow->setMenuBar(bar);
    } else if (window->layout()) {
        window->layout()->setMenuBar(bar);
    }
    menuBar_ = bar;

    QMenu* application = addMenu(QStringLiteral("&Lumetta"));
    addCommand(application, QStringLiteral("&About Lumetta"), &TAVAppDelegate::clickAbout, {});
    addCommand(
        application, QStringLiteral("&Preferences..."), &TAVAppDelegate::clickPreference, QKeySequence::Preferences);
    addCommand(application, QStringLiteral("&More Apps"), &TAVAppDelegate::clickMoreApps, {})
        ->setVisible(!AppInfo::makerAddress(QStringLiteral("HomepageURL")).isEmpty());
    application->addSeparator();
    addCommand(application, QStringLiteral("&Quit"), &TAVAppDelegate::clickQuit, QKeySequence::Quit)
        ->setMenuRole(QAction::QuitRole);

    QMenu* file = addMenu(QStringLiteral("&File"));
    addCommand(file, QStringLiteral("&Import Files..."), &TAVAppDelegate::clickImportFiles, QKeySequence::Open);
    file->addSeparator();
    addCommand(file, QStringLiteral("&Save"), &TAVAppDelegate::clickSave, QKeySequence::Save);
    addCommand(file, QStringLiteral("Save &All"), &TAVAppDelegate::clickSaveAll,
        QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_S));

    QMenu* image = addMenu(QStringLiteral("&Image"));
    addCommand(image, QStringLiteral("&Previous"), &TAVAppDelegate::clickPreFile, {});
    addCommand(image, QStringLiteral("&Next"), &TAVAppDelegate::clickNextFile, {});
    image->addSeparator();
    addCommand(image, QStringLiteral("&Clear"), &TAVAppDelegate::clickClear, {});
    addCommand(image, QStringLiteral("&Restore"), &TAVAppDelegate::clickRestore, {});
    addCommand(image, QStringLiteral("C&lear All"), &TAVAppDelegate::clickClearAll, {});
    addCommand(image, QStringLiteral("Res&tore All"), &TAVAppDelegate::clickRestoreAll, {});

    QMenu* help = addMenu(QStringLiteral("&Help"));
    addCommand(help, QStringLiteral("Lumetta &Help"), &TAVAppDelegate::clickHelp, QKeySequence::HelpContents);
    // Rate always has a page to open: the software centre's when none is configured.
    addCommand(help, QStringLiteral("&Rate Lumetta"), &TAVAppDelegate::clickRate, {});
    addCommand(help, QStringLiteral("Send &Feedback"), &TAVAppDelegate::clickFeedback, {})
        ->setVisible(!AppInfo::makerAddress(QStringLiteral("FeedbackAddress")).isEmpty());
}

QString TAVAppDelegate::plainTitle(const QAction* item)
{
    // The "&" marks the item's Alt key; the commands know the title without it.
    return QString(item->text()).remove(QLatin1Char('&'));
}

QMenu* TAVAppDelegate::addMenu(const QString& title)
{
    QMenu* menu = menuBar_->addMenu(title);
    connect(menu, &QMenu::aboutToShow, this, [this, menu] {
        for (QAction* item : menu->actions()) {
            if (!item->isSeparator()) {
                item->setEnabled(validateMenuItem(plainTitle(item)));
            }
        }
    });
    // Closed, the items are enabled again so that their shortcuts reach the
    // check on firing instead of staying as the menu last showed them.
    connect(menu, &QMenu::aboutToHide, this, [menu] {
        for (QAction* item : menu->actions()) {
            item->setEnabled(true);
        }
    });
    return menu;
}

QAction* TAVAppDelegate::addCommand(
    QMenu* menu, const QString& title, void (TAVAppDelegate::*command)(), const QKeySequence& shortcut)
{
    QAction* item = menu->addAction(title);
    item->setShortcut(shortcut);
    connect(item, &QAction::triggered, this, [this, item, command] {
        if (validateMenuItem(plainTitle(item))) {
            (this->*command)();
        }
    });
    return item;
}

QAction* TAVAppDelegate::menuItem(const QString& title) const
{
    if (!menuBar_) {
        return nullptr;
    }
    for (QAction* menuAction : menuBar_->actions()) {
        const QMenu* menu = menuAction->menu();
        for (QAction* item : menu ? menu->actions() : QList<QAction*>()) {
            if (plainTitle(item) == title) {
                return item;
            }
        }
    }
    return nullptr;
}
