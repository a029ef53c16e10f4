#pragma once

#include "views/GSStickyRowView.h"

#include <QTreeView>

class GSStickyRowOutlineViewDelegate;

// An outline with sticky rows: rows are the shown items, top to bottom, each
// named by its index in the first column; an invalid index stands for none.
class GSStickyRowOutlineView : public GSStickyRowView<QTreeView, QModelIndex> {
    Q_OBJECT

public:
    explicit GSStickyRowOutlineView(QWidget* parent = nullptr);

    GSStickyRowOutlineViewDelegate* stickyRowDelegate() const { return m_stickyRowDelegate; }
    // Not owned; clear it before the delegate goes away.
    void setStickyRowDelegate(GSStickyRowOutlineViewDelegate* delegate);

    bool isRowSticky(const QModelIndex& row) const;
    QModelIndex previousStickyRow() const override;
    QModelIndex nextStickyRow() const override;
    // Indentation included.
    QRect rectOfRow(QModelIndex row) const override;
    void scrollToStickyRow() override;
    void drawStickyRow(QPainter& painter, QModelIndex row, const QRect& clipRect) override;

private:
    QModelIndex topRow() const;
    void drawBranchIndicator(QPainter& painter, const QModelIndex& row, const QRect& rowRect);

    GSStickyRowOutlineViewDelegate* m_stickyRowDelegate = nullptr;
};
