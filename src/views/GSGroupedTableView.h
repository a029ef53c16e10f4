#pragma once

#include "views/GSStickyRowTableView.h"

// A table whose group rows look like the section headers of a grouped list: a
// blue-grey gradient, bold white text with a shadow, grey lines above and
// below. The pinned header is drawn by the same routine, so it looks exactly
// like the row it stands for, and it is opaque from the first moment.
class GSGroupedTableView : public GSStickyRowTableView {
    Q_OBJECT

public:
    explicit GSGroupedTableView(QWidget* parent = nullptr);

    GSStickyRowTransition stickyRowHeaderTransition() const override;
    // Draws a sticky row as a section header; other rows are left to the table.
    void drawRow(QPainter& painter, int row, const QRect& clipRect);
    void drawStickyRow(QPainter& painter, int row, const QRect& clipRect) override;

protected:
    void drawRowsInPlace(QPainter& painter, const QRect& exposed) override;
};
