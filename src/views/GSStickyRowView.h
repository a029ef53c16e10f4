#pragma once

#include "views/GSStickyRowHeader.h"

#include <QAbstractItemView>
#include <QMouseEvent>
#include <QPaintEvent>
#include <QPainter>

// The sticky-row behaviour shared by tables (rows named by number, -1 for
// none) and outlines (rows named by their index, invalid for none): sticky
// rows, as a delegate says, stay pinned at the top of the visible area while
// the rows of their section scroll beneath, until the next sticky row pushes
// them out. Clicking the pinned copy, once its section has scrolled far
// enough, brings the section's header row back into view. Rectangles are in
// viewport coordinates.
template <class ItemView, class Row> class GSStickyRowView : public ItemView {
public:
    explicit GSStickyRowView(QWidget* parent = nullptr)
        : ItemView(parent)
    {
        // Per-item scrolling would make the push-up and the fade jump a row at a time.
        this->setVerticalScrollMode(QAbstractItemView::ScrollPerPixel);
    }

    // The sticky row at or above the top of the visible area.
    virtual Row previousStickyRow() const = 0;
    // The first sticky row below the row at the top of the visible area.
    virtual Row nextStickyRow() const = 0;
    // The whole row across every column.
    virtual QRect rectOfRow(Row row) const = 0;
    // Draws one sticky row at its own rectangle.
    virtual void drawStickyRow(QPainter& painter, Row row, const QRect& clipRect) = 0;
    // Scrolls the section's header row (the previous sticky row) into view.
    virtual void scrollToStickyRow() = 0;

    virtual GSStickyRowTransition stickyRowHeaderTransition() const { return GSStickyRowTransitionFadeIn; }

    // The zero rectangle when no sticky row lies at or above the top.
    QRect stickyRowHeaderRect() const
    {
        const Row previous = previousStickyRow();
        if (!isRow(previous)) {
            return QRect();
        }
        const Row next = nextStickyRow();
        return GSStickyRowHeader::placement(
            rectOfRow(previous), isRow(next) ? std::optional<QRect>(rectOfRow(next)) : std::nullopt);
    }

    double stickyRowHeaderFraction() const
    {
        const Row previous = previousStickyRow();
        return isRow(previous) ? GSStickyRowHeader::scrollFraction(rectOfRow(previous)) : 0.0;
    }

    bool isStickyRowHeaderEnabled() const
    {
        return isRow(previousStickyRow()) && GSStickyRowHeader::isEnabledAt(stickyRowHeaderFraction());
    }

    double stickyRowHeaderOpacity() const
    {
        return GSStickyRowHeader::opacityFor(stickyRowHeaderTransition(), stickyRowHeaderFraction());
    }

    // The picture painted at the last repaint of the header.
    const QImage& stickyRowHeaderPicture() const { return m_header.picture(); }

    // Places and paints the pinned header over the rows.
    void drawStickyRowHeader(QPainter& painter)
    {
        const Row row = previousStickyRow();
        if (!isRow(row)) {
            m_header.hide();
            return;
        }
        const QRect rowRect = rectOfRow(row);
        m_header.paint(rowRect, stickyRowHeaderTransition(), stickyRowHeaderFraction(),
            this->viewport()->devicePixelRatioF(),
            [&](QPainter& rowPainter) { drawStickyRow(rowPainter, row, rowRect); });
        m_header.draw(painter, stickyRowHeaderRect());
    }

protected:
    static bool isRow(int row) { return row >= 0; }
    static bool isRow(const QModelIndex& row) { return row.isValid(); }

    // Runs after the view's own painting and before the header, for
    // subclasses that restyle rows in place.
    virtual void drawRowsInPlace(QPainter& painter, const QRect& exposed)
    {
        (void)painter;
        (void)exposed;
    }

    void paintEvent(QPaintEvent* event) override
    {
        ItemView::paintEvent(event);
        if (this->model() == nullptr) {
            return;
        }
        QPainter painter(this->viewport());
        drawRowsInPlace(painter, event->rect());
        drawStickyRowHeader(painter);
    }

    void mousePressEvent(QMouseEvent* event) override
    {
        // The header lies over the rows: clicks on it never reach the row
        // beneath, and they do something only once the header is enabled.
        if (isInHeader(event)) {
            if (event->button() == Qt::LeftButton && isStickyRowHeaderEnabled()) {
                scrollToStickyRow();
            }
            event->accept();
            return;
        }
        ItemView::mousePressEvent(event);
    }

    void mouseDoubleClickEvent(QMouseEvent* event) override
    {
        if (isInHeader(event)) {
            event->accept();
            return;
        }
        ItemView::mouseDoubleClickEvent(event);
    }

    void scrollContentsBy(int dx, int dy) override
    {
        ItemView::scrollContentsBy(dx, dy);
        // Scrolling moves the painted header along with the rows; it must be
        // painted again where it was, where it went and where it now stands.
        this->viewport()->update(m_header.areaToRefreshAfterScroll(dx, dy, stickyRowHeaderRect()));
    }

    void dataChanged(
        const QModelIndex& topLeft, const QModelIndex& bottomRight, const QList<int>& roles = QList<int>()) override
    {
        ItemView::dataChanged(topLeft, bottomRight, roles);
        // The pinned row may lie far above the visible area, where the view
        // repaints nothing for it.
        this->viewport()->update(stickyRowHeaderRect());
    }

private:
    bool isInHeader(const QMouseEvent* event) const
    {
        return stickyRowHeaderRect().contains(event->position().toPoint());
    }

    GSStickyRowHeader m_header;
};
