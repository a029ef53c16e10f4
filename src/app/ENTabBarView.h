#pragma once

#include <QColor>
#include <QFont>
#include <QList>
#include <QWidget>

#include <memory>
#include <vector>

class ENTabBarViewDelegate;
class ENTabCell;
class QAction;
class QMenu;

// A custom-drawn bar of tabs, 32 high: tabs of 100 to 180 wide centred between
// a left margin of 24 and a right margin of 12, a click activates a tab, a
// click in a tab's close mark closes it, a double-click in an empty part adds
// an "Untitled" tab. The bar owns its cells; the delegate is not owned.
class ENTabBarView : public QWidget {
    Q_OBJECT
public:
    static constexpr int kBarHeight = 32;
    static constexpr int kTabHeight = 28;

    explicit ENTabBarView(QWidget* parent = nullptr);
    ~ENTabBarView() override;

    // The frame of the tab at `index` for the bar's current width and tab count.
    QRect tabRectFromIndex(int index) const;
    static QRect rectForTabListControl();
    // True unless the point lies on a tab or on the tab-list control.
    bool isBlankAreaOfTabBarViewInPoint(const QPoint& point) const;
    ENTabCell* tabCellInPoint(const QPoint& point) const;
    // Where a tab dropped at the point would go: before a tab when over its
    // left half, after it when over its right half; -1 off every tab.
    int destinationCellIndexFromPoint(const QPoint& point) const;
    void exchangeTabWithIndex(int index, int withTab);

    // A new menu, titled "Contextual Menu", with one item per tab; choosing an
    // item activates its tab. The caller owns the menu.
    std::unique_ptr<QMenu> tabsMenu();
    void popupMenuDidChoosed(QAction* item);
    bool validateMenuItem(QAction* /*item*/) const { return true; }

    ENTabCell* addTabViewWithTitle(const QString& title);
    // Activates the tab at `index`; an index outside the tabs does nothing.
    void selectTab(int index);
    // The active tab's index, -1 when there is none.
    int selectedTabIndex() const;
    void removeTabCell(ENTabCell* cell);
    // Lays the tabs out again and repaints.
    void redraw();

    QList<ENTabCell*> tabs() const;
    ENTabCell* selectedTab() const { return selectedTab_; }
    ENTabBarViewDelegate* delegate() const { return delegate_; }
    void setDelegate(ENTabBarViewDelegate* delegate) { delegate_ = delegate; }

    // Whether a click on a tab's close mark closes it, and whether a
    // double-click in an empty part adds "Untitled". Both on by default.
    bool tabsClosable() const { return tabsClosable_; }
    void setTabsClosable(bool closable);
    bool addsUntitledTabOnDoubleClick() const { return addsUntitledTab_; }
    void setAddsUntitledTabOnDoubleClick(bool adds) { addsUntitledTab_ = adds; }

    QColor bgColor() const { return bgColor_; }
    void setBgColor(const QColor& color) { bgColor_ = color; }
    QColor tabBGColor() const { return tabBGColor_; }
    void setTabBGColor(const QColor& color) { tabBGColor_ = color; }
    QColor tabActivedBGColor() const { return tabActivedBGColor_; }
    void setTabActivedBGColor(const QColor& color) { tabActivedBGColor_ = color; }
    QColor tabBorderColor() const { return tabBorderColor_; }
    void setTabBorderColor(const QColor& color) { tabBorderColor_ = color; }
    QColor tabTitleColor() const { return tabTitleColor_; }
    void setTabTitleColor(const QColor& color) { tabTitleColor_ = color; }
    QColor tabActivedTitleColor() const { return tabActivedTitleColor_; }
    void setTabActivedTitleColor(const QColor& color) { tabActivedTitleColor_ = color; }
    QColor smallControlColor() const { return smallControlColor_; }
    void setSmallControlColor(const QColor& color) { smallControlColor_ = color; }
    QFont tabFont() const { return tabFont_; }
    void setTabFont(const QFont& font) { tabFont_ = font; }

    QSize sizeHint() const override;

protected:
    bool event(QEvent* event) override;
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void leaveEvent(QEvent* event) override;

private:
    friend class ENTabCell;
    void setSelectedTab(ENTabCell* cell) { selectedTab_ = cell; }

    int indexOfCell(const ENTabCell* cell) const;
    void layoutTabs();
    // Takes the cell out of the bar and activates the next one; the caller
    // decides when the cell goes.
    std::unique_ptr<ENTabCell> takeTabCell(ENTabCell* cell);
    void closeTabCell(ENTabCell* cell);
    void hideCloseMarks();

    std::vector<std::unique_ptr<ENTabCell>> tabs_;
    ENTabCell* selectedTab_ = nullptr;
    ENTabBarViewDelegate* delegate_ = nullptr;
    bool tabsClosable_ = true;
    bool addsUntitledTab_ = true;
    bool doubleClickPending_ = false;

    QColor bgColor_;
    QColor tabBGColor_;
    QColor tabActivedBGColor_;
    QColor tabBorderColor_;
    QColor tabTitleColor_;
    QColor tabActivedTitleColor_;
    QColor smallControlColor_;
    QFont tabFont_;
};
