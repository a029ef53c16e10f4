#include "views/GSStickyRowTableView.h"

#include "views/GSStickyRowTableViewDelegate.h"

#include <QHeaderView>
#include <QPainter>
#include <QStyleOptionViewItem>

GSStickyRowTableView::GSStickyRowTableView(QWidget* parent)
    : GSStickyRowView(parent)
{
}

void GSStickyRowTableView::setStickyRowDelegate(GSStickyRowTableViewDelegate* delegate)
{
    m_stickyRowDelegate = delegate;
    viewport()->update();
}

bool GSStickyRowTableView::isRowSticky(int row) const
{
    if (m_stickyRowDelegate == nullptr || model() == nullptr || row < 0 || row >= model()->rowCount(rootIndex())) {
        return false;
    }
    if (const auto sticky = m_stickyRowDelegate->tableViewIsStickyRow(this, row)) {
        return *sticky;
    }
    return m_stickyRowDelegate->tableViewIsGroupRow(this, row).value_or(false);
}

int GSStickyRowTableView::previousStickyRow() const
{
    for (int row = rowAt(0); row >= 0; --row) {
        if (!isRowHidden(row) && isRowSticky(row)) {
            return row;
        }
    }
    return -1;
}

int GSStickyRowTableView::nextStickyRow() const
{
    const int top = rowAt(0);
    if (top < 0) {
        return -1;
    }
    const int rows = model()->rowCount(rootIndex());
    for (int row = top + 1; row < rows; ++row) {
        if (!isRowHidden(row) && isRowSticky(row)) {
            return row;
        }
    }
    return -1;
}

QRect GSStickyRowTableView::rectOfRow(int row) const
{
    return QRect(-horizontalHeader()->offset(), rowViewportPosition(row), horizontalHeader()->length(), rowHeight(row));
}

void GSStickyRowTableView::forEachCellInRow(
    int row, const std::function<void(const QModelIndex&, const QRect&)>& draw) const
{
    const int columns = model()->columnCount(rootIndex());
    for (int column = 0; column < columns;) {
        const int span = std::max(1, columnSpan(row, column));
        if (!isColumnHidden(column) || span > 1) {
            const QModelIndex index = model()->index(row, column, rootIndex());
            draw(index, visualRect(index));
        }
        column += span;
    }
}

void GSStickyRowTableView::drawStickyRow(QPainter& painter, int row, const QRect& clipRect)
{
    const QRect rowRect = rectOfRow(row);
    painter.save();
    painter.setClipRect(clipRect, Qt::IntersectClip);
    painter.fillRect(rowRect, GSStickyRowHeader::highlightedBackground(this));
    QStyleOptionViewItem option;
    initViewItemOption(&option);
    forEachCellInRow(row, [&](const QModelIndex& index, const QRect& cellRect) {
        GSStickyRowHeader::drawCellUnselected(painter, this, option, index, cellRect);
    });
    painter.setPen(GSStickyRowHeader::gridColor(this));
    painter.drawLine(rowRect.bottomLeft(), rowRect.bottomRight());
    painter.restore();
}

void GSStickyRowTableView::scrollToStickyRow()
{
    const int row = previousStickyRow();
    if (row < 0) {
        return;
    }
    // Keep the horizontal position: only the row has to come into view.
    const int column = std::max(0, columnAt(0));
    scrollTo(model()->index(row, column, rootIndex()), QAbstractItemView::EnsureVisible);
}
