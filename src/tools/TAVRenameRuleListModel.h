#pragma once

#include "tools/TAVRenameRuleField.h"

#include <QAbstractTableModel>
#include <QList>

#include <optional>

class QMimeData;

// The rename sheet's rule list: one row per chosen field, the columns
// "Fields" (the field's name) and "Category" (its root's category). Rows can
// be dragged; the sheet decides where drops go.
//
// Dragged fields travel as a keyed archive under the type "DragID": one field,
// or a list of fields carried by a root item without category.
class TAVRenameRuleListModel : public QAbstractTableModel {
    Q_OBJECT
public:
    static const QString kDragType;

    explicit TAVRenameRuleListModel(QObject* parent = nullptr);

    // Shows `rules` (a reload: the view's selection is cleared).
    void setRules(const QList<TAVRenameRuleFieldPtr>& rules);
    const QList<TAVRenameRuleFieldPtr>& rules() const { return rules_; }

    int rowCount(const QModelIndex& parent = QModelIndex()) const override;
    int columnCount(const QModelIndex& parent = QModelIndex()) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role = Qt::DisplayRole) const override;
    Qt::ItemFlags flags(const QModelIndex& index) const override;

    QStringList mimeTypes() const override;
    // The archive of one rule: the one at the last of the dragged rows.
    QMimeData* mimeData(const QModelIndexList& indexes) const override;
    Qt::DropActions supportedDragActions() const override { return Qt::CopyAction; }
    Qt::DropActions supportedDropActions() const override { return Qt::CopyAction; }

    // Drag data holding one field, or a list of fields.
    static QMimeData* dragDataForField(const TAVRenameRuleFieldPtr& field);
    static QMimeData* dragDataForFields(const QList<TAVRenameRuleFieldPtr>& fields);
    // The fields of drag data (a single field comes as a list of one); none
    // when the data are missing, do not decode or hold something else.
    static std::optional<QList<TAVRenameRuleFieldPtr>> fieldsFromDragData(const QMimeData* data);

private:
    QList<TAVRenameRuleFieldPtr> rules_;
};
