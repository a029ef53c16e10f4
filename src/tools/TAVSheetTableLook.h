#pragma once

class QTableView;

// The look the replace and clone sheets give their tables: whole single rows
// selected, one line per row at a fixed height, no row numbers, the last
// column taking the remaining width.
class TAVSheetTableLook {
public:
    static constexpr int kRowHeight = 22;

    static void apply(QTableView* table);
};
