#pragma once

#include "commlib/TAVSearchableTagTable.h"

#include <QAbstractTableModel>
#include <QList>

#include <functional>

// The Qt model of a searchable tag table. Columns are told apart by their
// identifiers: "Tag" (display key, or the key itself for members that show
// it plain), "data_type" (the tag tables' type name), "check" (the row's
// tick), "After" (the replace-after value) and any other identifier (the
// value). Modified rows come in the application font at 13 pt, bold italic,
// in blue; the red run of a search hit is the HighlightRole, which the
// TAVSearchableTagTableDelegate paints.
//
// Group (family) rows are never edited and never ticked. Which other columns
// are editable is the member's choice, and so is what an edit does: the
// model hands the text to the member's edit handler.
class TAVSearchableTagTableModel : public QAbstractTableModel {
    Q_OBJECT
public:
    static const QString kTagColumn;
    static const QString kDataTypeColumn;
    static const QString kCheckColumn;
    static const QString kAfterColumn;

    enum Role {
        // A TAVSearchableTagTable::Range: the red run of the cell's text.
        HighlightRole = Qt::UserRole + 1,
        // Whether the row is a family (group) row.
        GroupRowRole,
    };

    struct Column {
        QString identifier;
        QString title;
        bool editable = false;
    };

    // The member's answer to an edited cell: true when it took the text.
    using EditHandler
        = std::function<bool(const TAVSearchableTagTable::Row& row, const QString& column, const QString& text)>;

    TAVSearchableTagTableModel(
        const TAVSearchableTagTable::Policy& policy, const QList<Column>& columns, QObject* parent = nullptr);

    TAVSearchableTagTable& table() { return table_; }
    const TAVSearchableTagTable& table() const { return table_; }

    // Rebuilds the shown list and resets the model (the table reloads).
    void reload();

    void setEditHandler(const EditHandler& handler) { editHandler_ = handler; }
    // The "Tag" column shows the display key (default) or the key itself.
    void setTagShowsDisplayKey(bool display) { tagShowsDisplayKey_ = display; }

    QString columnIdentifier(int column) const;
    // -1 when no column has that identifier.
    int columnOf(const QString& identifier) const;
    bool isGroupRow(int row) const { return table_.isHeader(row); }
    // The text a cell shows (also what it edits).
    QString cellText(const TAVSearchableTagTable::Row& row, const QString& column) const;

    int rowCount(const QModelIndex& parent = QModelIndex()) const override;
    int columnCount(const QModelIndex& parent = QModelIndex()) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role = Qt::DisplayRole) const override;
    Qt::ItemFlags flags(const QModelIndex& index) const override;
    bool setData(const QModelIndex& index, const QVariant& value, int role = Qt::EditRole) override;

signals:
    // A row was ticked or unticked by the user.
    void rowCheckChanged(int row, bool checked);

private:
    QVariant textData(const TAVSearchableTagTable::Row& row, const QString& column, int role) const;

    TAVSearchableTagTable table_;
    QList<Column> columns_;
    EditHandler editHandler_;
    bool tagShowsDisplayKey_ = true;
};
