#include "views/GSStickyRowOutlineView.h"

#include "views/GSStickyRowOutlineViewDelegate.h"

#include <QHeaderView>
#include <QPainter>
#include <QStyleOptionViewItem>

GSStickyRowOutlineView::GSStickyRowOutlineView(QWidget* parent)
    : GSStickyRowView(parent)
{
}

void GSStickyRowOutlineView::setStickyRowDelegate(GSStickyRowOutlineViewDelegate* delegate)
{
    m_stickyRowDelegate = delegate;
    viewport()->update();
}

bool GSStickyRowOutlineView::isRowSticky(const QModelIndex& row) const
{
    if (m_stickyRowDelegate == nullptr || !row.isValid()) {
        return false;
    }
    if (const auto sticky = m_stickyRowDelegate->outlineViewIsStickyItem(this, row)) {
        return *sticky;
    }
    return m_stickyRowDelegate->outlineViewIsGroupItem(this, row).value_or(false);
}

QModelIndex GSStickyRowOutlineView::topRow() const
{
    const QModelIndex index = indexAt(QPoint(0, 0));
    return index.isValid() ? index.siblingAtColumn(0) : QModelIndex();
}

QModelIndex GSStickyRowOutlineView::previousStickyRow() const
{
    for (QModelIndex row = topRow(); row.isValid(); row = indexAbove(row)) {
        if (isRowSticky(row)) {
            return row;
        }
    }
    return QModelIndex();
}

QModelIndex GSStickyRowOutlineView::nextStickyRow() const
{
    const QModelIndex top = topRow();
    if (!top.isValid()) {
        return QModelIndex();
    }
    for (QModelIndex row = indexBelow(top); row.isValid(); row = indexBelow(row)) {
        if (isRowSticky(row)) {
            return row;
        }
    }
    return QModelIndex();
}

QRect GSStickyRowOutlineView::rectOfRow(QModelIndex row) const
{
    const QRect cell = visualRect(row);
    return QRect(-header()->offset(), cell.top(), header()->length(), cell.height());
}

void GSStickyRowOutlineView::drawStickyRow(QPainter& painter, QModelIndex row, const QRect& clipRect)
{
    const QRect rowRect = rectOfRow(row);
    painter.save();
    painter.setClipRect(clipRect, Qt::IntersectClip);
    painter.fillRect(rowRect, GSStickyRowHeader::highlightedBackground(this));

    drawBranchIndicator(painter, row, rowRect);

    QStyleOptionViewItem option;
    initViewItemOption(&option);
    const int columns = model()->columnCount(row.parent());
    for (int column = 0; column < columns; ++column) {
        if (!isColumnHidden(column)) {
            const QModelIndex cell = row.siblingAtColumn(column);
            GSStickyRowHeader::drawCellUnselected(painter, this, option, cell, visualRect(cell));
        }
    }
    painter.setPen(GSStickyRowHeader::gridColor(this));
    painter.drawLine(rowRect.bottomLeft(), rowRect.bottomRight());
    painter.restore();
}

void GSStickyRowOutlineView::drawBranchIndicator(QPainter& painter, const QModelIndex& row, const QRect& rowRect)
{
    // The tree's own branch drawing works only while it paints its rows, so
    // the pinned copy draws the item's expand mark by itself.
    const QRect cell = visualRect(row.siblingAtColumn(treePosition()));
    const int width = std::min(indentation(), cell.left() - columnViewportPosition(treePosition()));
    if (width <= 0 || !model()->hasChildren(row)) {
        return;
    }
    QStyleOption option;
    option.initFrom(this);
    option.rect = QRect(cell.left() - width, rowRect.top(), width, rowRect.height());
    option.state |= QStyle::State_Item | QStyle::State_Children;
    if (isExpanded(row)) {
        option.state |= QStyle::State_Open;
    }
    style()->drawPrimitive(QStyle::PE_IndicatorBranch, &option, &painter, this);
}

void GSStickyRowOutlineView::scrollToStickyRow()
{
    const QModelIndex row = previousStickyRow();
    if (row.isValid()) {
        scrollTo(row, QAbstractItemView::EnsureVisible);
    }
}
