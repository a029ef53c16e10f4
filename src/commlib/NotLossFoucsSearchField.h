#pragma once

#include <QLineEdit>

// The search field of a tag table: a line with a magnifier and a clear
// button that takes the keyboard focus whenever it is clicked. It gives the
// focus up like any field, so a cell editor of the same window can have it.
class NotLossFoucsSearchField : public QLineEdit {
    Q_OBJECT
public:
    explicit NotLossFoucsSearchField(QWidget* parent = nullptr);

protected:
    void mousePressEvent(QMouseEvent* event) override;
};
