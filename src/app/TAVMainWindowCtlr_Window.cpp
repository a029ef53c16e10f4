// The window's keys for its tabs, and its size and place kept across starts.
#include "app/TAVMainWindowCtlr.h"

#include "app/ENTabBarView.h"
#include "foundation/UserDefaults.h"

#include <QEvent>
#include <QKeySequence>
#include <QMainWindow>
#include <QShortcut>

#include <algorithm>

namespace {

const QString kWindowPlaceKey = QStringLiteral("MainWindowGeometry");

} // namespace

void TAVMainWindowCtlr::addTabKeys()
{
    // Ctrl+Tab and Ctrl+PageDown go to the next tab, Ctrl+Shift+Tab and
    // Ctrl+PageUp to the one before, from anywhere in the window, as in other
    // desktop programs with tabs.
    const auto bind = [this](const QKeySequence& keys, int step) {
        auto* shortcut = new QShortcut(keys, mainWindow_);
        shortcut->setContext(Qt::WindowShortcut);
        connect(shortcut, &QShortcut::activated, this, [this, step] { selectNeighbourTab(step); });
    };
    bind(QKeySequence(Qt::CTRL | Qt::Key_Tab), 1);
    bind(QKeySequence(Qt::CTRL | Qt::Key_PageDown), 1);
    bind(QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_Backtab), -1);
    bind(QKeySequence(Qt::CTRL | Qt::Key_PageUp), -1);
}

void TAVMainWindowCtlr::selectNeighbourTab(int step)
{
    const int count = int(tabBar_->tabs().size());
    if (count == 0)
        return;
    // Past the last tab comes the first again.
    const int current = std::max(0, tabBar_->selectedTabIndex());
    tabBar_->selectTab(((current + step) % count + count) % count);
}

void TAVMainWindowCtlr::restoreWindowPlace()
{
    const QByteArray place = UserDefaults::standard().objectForKey(kWindowPlaceKey).toByteArray();
    if (!place.isEmpty())
        mainWindow_->restoreGeometry(place);
}

void TAVMainWindowCtlr::rememberWindowPlace(const QEvent* event)
{
    // Kept as the user sets it; a window being shown or hidden is not moved
    // by the user.
    if ((event->type() == QEvent::Resize || event->type() == QEvent::Move) && mainWindow_->isVisible())
        UserDefaults::standard().setObject(mainWindow_->saveGeometry(), kWindowPlaceKey);
}
