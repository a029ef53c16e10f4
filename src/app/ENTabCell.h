#pragma once

#include <QPainterPath>
#include <QRect>
#include <QString>

#include <memory>

class ENTabBarView;
class QPainter;

// One tab of an ENTabBarView: not a widget, but a title, a frame in the bar's
// coordinates and the outline used to draw it and to hit-test clicks. The bar
// owns its cells and lays them out.
class ENTabCell {
public:
    static std::unique_ptr<ENTabCell> tabCellWithTabBarView(ENTabBarView* tabBarView, const QString& title);

    ENTabBarView* tabBarView() const { return tabBarView_; }
    QString title() const { return title_; }
    void setTitle(const QString& title) { title_ = title; }

    QRect frame() const { return frame_; }
    // Sets the frame and rebuilds the outline from it.
    void setFrame(const QRect& frame);
    const QPainterPath& path() const { return path_; }

    bool isActived() const { return isActived_; }
    void setIsActived(bool actived) { isActived_ = actived; }
    bool canDrawCloseButton() const { return canDrawCloseButton_; }
    void setCanDrawCloseButton(bool can) { canDrawCloseButton_ = can; }

    // The 8 x 8 close mark near the frame's right edge.
    QRect closeButtonRect() const;

    void draw(QPainter& painter) const;
    void drawCloseButton(QPainter& painter) const;

    // Makes this the bar's active tab, telling the bar's delegate; nothing
    // happens when it is active already.
    void setAsActiveTab();
    // True when the point (bar coordinates) lies in the close mark's area;
    // the bar then closes the tab. The area counts whether or not the mark shows.
    bool mouseDown(const QPoint& point) const;
    // Shows the close mark while the point is over it.
    void mouseMoved(const QPoint& point);

private:
    ENTabCell(ENTabBarView* tabBarView, const QString& title);
    void rebuildPath();

    ENTabBarView* tabBarView_;
    QString title_;
    QRect frame_;
    QPainterPath path_;
    bool isActived_ = false;
    bool canDrawCloseButton_ = false;
};
