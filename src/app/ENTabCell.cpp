#include "app/ENTabCell.h"

#include "app/ENTabBarView.h"
#include "app/ENTabBarViewDelegate.h"
#include "app/ENTangentArc.h"

#include <QFontMetrics>
#include <QPainter>

#include <cmath>

namespace {

constexpr qreal kCornerRadius = 4;
constexpr int kTitleInset = 28;
constexpr int kCloseInset = 10;

// The tab's outline in whole bar coordinates, y growing downwards: the
// bottom edge is the bar's bottom, the top lies 26 above it.
struct Outline {
    int left, centreX, right, top, middleY, bottom;
};

Outline outlineOf(const QRect& frame)
{
    // The frame inset by 1 and moved half a point towards the bar's bottom
    // left, then truncated: the 2-point lines fall on whole pixels.
    const qreal left = frame.x() + 0.5;
    const qreal width = frame.width() - 2;
    const qreal bottomUp = 0.5; // distance of the outline's bottom above the frame's bottom
    const qreal height = frame.height() - 2;
    Outline outline{};
    outline.left = static_cast<int>(std::trunc(left));
    outline.centreX = static_cast<int>(std::trunc(left + width / 2));
    outline.right = static_cast<int>(std::trunc(left + width));
    const int frameBottom = frame.y() + frame.height();
    outline.bottom = frameBottom - static_cast<int>(std::trunc(bottomUp));
    outline.middleY = frameBottom - static_cast<int>(std::trunc(bottomUp + height / 2));
    outline.top = frameBottom - static_cast<int>(std::trunc(bottomUp + height));
    return outline;
}

} // namespace

ENTabCell::ENTabCell(ENTabBarView* tabBarView, const QString& title)
    : tabBarView_(tabBarView)
    , title_(title)
{
}

std::unique_ptr<ENTabCell> ENTabCell::tabCellWithTabBarView(ENTabBarView* tabBarView, const QString& title)
{
    return std::unique_ptr<ENTabCell>(new ENTabCell(tabBarView, title));
}

void ENTabCell::setFrame(const QRect& frame)
{
    frame_ = frame;
    rebuildPath();
}

void ENTabCell::rebuildPath()
{
    const Outline o = outlineOf(frame_);
    QPainterPath path(QPointF(o.left, o.bottom));
    ENTangentArc::append(path, QPointF(o.left + 2, o.bottom), QPointF(o.left + 2, o.middleY), kCornerRadius);
    ENTangentArc::append(path, QPointF(o.left + 2, o.top), QPointF(o.centreX, o.top), kCornerRadius);
    ENTangentArc::append(path, QPointF(o.right - 2, o.top), QPointF(o.right - 2, o.middleY), kCornerRadius);
    ENTangentArc::append(path, QPointF(o.right - 2, o.bottom), QPointF(o.right, o.bottom), kCornerRadius);
    path_ = path;
}

QRect ENTabCell::closeButtonRect() const
{
    const int right = frame_.x() + frame_.width();
    const int side = frame_.height();
    const QRect square(right - side - 2 - 1, frame_.y(), side, side);
    return square.adjusted(kCloseInset, kCloseInset, -kCloseInset, -kCloseInset);
}

void ENTabCell::draw(QPainter& painter) const
{
    painter.save();
    painter.setRenderHint(QPainter::Antialiasing, true);
    painter.setPen(QPen(tabBarView_->tabBorderColor(), 2));
    painter.setBrush(isActived_ ? tabBarView_->tabActivedBGColor() : tabBarView_->tabBGColor());
    painter.drawPath(path_);
    if (!isActived_) {
        // Only the active tab stays open towards the content below the bar.
        const Outline o = outlineOf(frame_);
        painter.setPen(QPen(tabBarView_->tabBorderColor(), 3));
        painter.drawLine(QPointF(o.left, o.bottom), QPointF(o.right, o.bottom));
    }

    const QFont font = tabBarView_->tabFont();
    const QFontMetrics metrics(font);
    const int titleHeight = metrics.height();
    QRect titleRect(frame_.x(), frame_.y() + (frame_.height() - titleHeight) / 2, frame_.width(), titleHeight);
    titleRect.adjust(kTitleInset, 0, -kTitleInset, 0);
    painter.setFont(font);
    painter.setPen(isActived_ ? tabBarView_->tabActivedTitleColor() : tabBarView_->tabTitleColor());
    painter.drawText(titleRect, Qt::AlignCenter, metrics.elidedText(title_, Qt::ElideRight, titleRect.width()));

    if (canDrawCloseButton_) {
        drawCloseButton(painter);
    }
    painter.restore();
}

void ENTabCell::drawCloseButton(QPainter& painter) const
{
    const QRectF mark = closeButtonRect();
    painter.save();
    painter.setRenderHint(QPainter::Antialiasing, true);
    painter.setPen(QPen(tabBarView_->smallControlColor(), 2));
    painter.drawLine(mark.bottomLeft(), mark.topRight());
    painter.drawLine(mark.topLeft(), mark.bottomRight());
    painter.restore();
}

void ENTabCell::setAsActiveTab()
{
    if (tabBarView_->selectedTab() == this) {
        return;
    }
    for (ENTabCell* cell : tabBarView_->tabs()) {
        cell->setIsActived(false);
    }
    ENTabBarViewDelegate* delegate = tabBarView_->delegate();
    if (delegate) {
        delegate->tabWillActive(this);
    }
    isActived_ = true;
    if (delegate) {
        delegate->tabDidActived(this);
    }
    tabBarView_->setSelectedTab(this);
}

bool ENTabCell::mouseDown(const QPoint& point) const
{
    return closeButtonRect().contains(point);
}

void ENTabCell::mouseMoved(const QPoint& point)
{
    canDrawCloseButton_ = closeButtonRect().contains(point);
}
