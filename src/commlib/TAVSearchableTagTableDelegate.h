#pragma once

#include <QStyledItemDelegate>

class QTableView;

// Paints the cells of a searchable tag table: the model's font and colour
// (bold italic blue for a modified row) with the search hit's red run drawn
// over them. Its editors report every keystroke, so a tab can raise its
// pending-edits flag while the user types.
class TAVSearchableTagTableDelegate : public QStyledItemDelegate {
    Q_OBJECT
public:
    explicit TAVSearchableTagTableDelegate(QObject* parent = nullptr);

    void paint(QPainter* painter, const QStyleOptionViewItem& option, const QModelIndex& index) const override;
    QWidget* createEditor(QWidget* parent, const QStyleOptionViewItem& option, const QModelIndex& index) const override;

    // Spans every group row of the view's model across all columns, as a
    // heading. Call after each reset of a plain table view.
    static void spanGroupRows(QTableView* view);

signals:
    void editorTextEdited(QObject* editor, const QString& text);
};
