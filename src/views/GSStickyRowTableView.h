#pragma once

#include "views/GSStickyRowView.h"

#include <QTableView>

#include <functional>

class GSStickyRowTableViewDelegate;

// A table with sticky rows; -1 stands for "no row".
class GSStickyRowTableView : public GSStickyRowView<QTableView, int> {
    Q_OBJECT

public:
    explicit GSStickyRowTableView(QWidget* parent = nullptr);

    GSStickyRowTableViewDelegate* stickyRowDelegate() const { return m_stickyRowDelegate; }
    // Not owned; clear it before the delegate goes away.
    void setStickyRowDelegate(GSStickyRowTableViewDelegate* delegate);

    bool isRowSticky(int row) const;
    int previousStickyRow() const override;
    int nextStickyRow() const override;
    QRect rectOfRow(int row) const override;
    void scrollToStickyRow() override;
    // A light background, the row's cells and a grid line along its bottom edge.
    void drawStickyRow(QPainter& painter, int row, const QRect& clipRect) override;

protected:
    // Calls `draw` with each shown cell of the row and its rectangle; a cell
    // spanning several columns comes once.
    void forEachCellInRow(int row, const std::function<void(const QModelIndex&, const QRect&)>& draw) const;

private:
    GSStickyRowTableViewDelegate* m_stickyRowDelegate = nullptr;
};
