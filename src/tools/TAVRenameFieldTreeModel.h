#pragma once

#include "tools/TAVRenameRootItem.h"
#include "tools/TAVRenameRuleField.h"

#include <QAbstractItemModel>
#include <QList>

class QMimeData;

// The rename sheet's field tree: the roots at the top level, each root's
// fields below it. Roots are drawn grey and fields black; nothing is ever
// edited. Fields can be dragged (as "DragID" data, see TAVRenameRuleListModel).
class TAVRenameFieldTreeModel : public QAbstractItemModel {
    Q_OBJECT
public:
    explicit TAVRenameFieldTreeModel(QObject* parent = nullptr);

    void setRoots(const QList<TAVRenameRootItemPtr>& roots);
    const QList<TAVRenameRootItemPtr>& roots() const { return roots_; }

    // The root at a top-level index; null for a field's index.
    TAVRenameRootItemPtr rootAt(const QModelIndex& index) const;
    // The field at a second-level index; null for a root's index.
    TAVRenameRuleFieldPtr fieldAt(const QModelIndex& index) const;
    QModelIndex indexOfRoot(int rootRow) const;
    QModelIndex indexOfField(int rootRow, int fieldRow) const;
    // A root's category or a field's name.
    QString description(const QModelIndex& index) const;

    QModelIndex index(int row, int column, const QModelIndex& parent = QModelIndex()) const override;
    QModelIndex parent(const QModelIndex& child) const override;
    int rowCount(const QModelIndex& parent = QModelIndex()) const override;
    int columnCount(const QModelIndex& parent = QModelIndex()) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    Qt::ItemFlags flags(const QModelIndex& index) const override;

    QStringList mimeTypes() const override;
    // Null when the first dragged item is a root; otherwise the archive of the
    // dragged fields.
    QMimeData* mimeData(const QModelIndexList& indexes) const override;
    Qt::DropActions supportedDragActions() const override { return Qt::CopyAction; }

private:
    // A field's index carries its root's row + 1; a root's index carries 0.
    static constexpr quintptr kRootId = 0;

    QList<TAVRenameRootItemPtr> roots_;
};
