// The rename sheet's field tree and rule list: choosing, arranging, searching,
// and drag and drop between the two.
#include "tools/TAVRenameWindowController.h"

#include "tools/TAVRenameFieldTreeModel.h"
#include "tools/TAVRenameRuleListModel.h"

#include "commlib/VXKeyPressTableView.h"
#include "foundation/UiServices.h"

#include <QDragEnterEvent>
#include <QDragMoveEvent>
#include <QDropEvent>
#include <QItemSelectionModel>
#include <QKeyEvent>
#include <QLineEdit>
#include <QTreeView>

#include <algorithm>

void TAVRenameWindowController::beep()
{
    if (UiServices* services = UiServices::shared()) {
        services->beep();
    }
}

// --- Inserting ---

void TAVRenameWindowController::doInsertFieldToTable(const QList<TAVRenameRuleFieldPtr>& fields, int row)
{
    if (fields.isEmpty() || row < 0) {
        return;
    }
    QList<TAVRenameRuleFieldPtr> rules = engine_.edittingRules();
    int at = std::min(row, static_cast<int>(rules.size()));
    QList<TAVRenameRuleFieldPtr> replaced;
    for (const TAVRenameRuleFieldPtr& field : fields) {
        if (!field) {
            continue;
        }
        const auto equal = std::find_if(rules.cbegin(), rules.cend(),
            [&field](const TAVRenameRuleFieldPtr& rule) { return rule && *rule == *field; });
        if (equal != rules.cend()) {
            replaced.append(*equal);
        }
        rules.insert(at++, field);
    }
    // The earlier object goes by identity, so an equal field inserted again
    // (a decoded copy, or the very same tree field) moves instead of doubling.
    for (const TAVRenameRuleFieldPtr& old : replaced) {
        const auto first = std::find(rules.begin(), rules.end(), old);
        if (first != rules.end()) {
            rules.erase(first);
        }
    }
    engine_.setEdittingRules(rules);
    reloadRules(-1);
}

void TAVRenameWindowController::reloadRules(int selectRow)
{
    window();
    ruleListModel_->setRules(engine_.edittingRules());
    if (selectRow >= 0 && selectRow < ruleListModel_->rowCount()) {
        rightTableView_->selectRow(selectRow);
    }
    updateSettingEnable();
    updateExample();
}

// --- Choosing fields from the tree ---

void TAVRenameWindowController::outlineSelectionDidChange()
{
    const QModelIndexList selected = leftOutlineView()->selectionModel()->selectedIndexes();
    selectedField_ = selected.isEmpty() ? nullptr : treeModel_->fieldAt(selected.first());
}

void TAVRenameWindowController::doubleClick(const QModelIndex& clicked)
{
    QModelIndex index = clicked;
    if (!index.isValid()) {
        const QModelIndexList selected = leftOutlineView()->selectionModel()->selectedIndexes();
        index = selected.isEmpty() ? QModelIndex() : selected.first();
    }
    qCInfo(
        lcRenameSheet, "double-click in row %d col %d", visibleTreeRow(index), index.isValid() ? index.column() : -1);
    selectedField_ = treeModel_->fieldAt(index);
    if (!selectedField_) {
        beep();
        return;
    }
    doInsertFieldToTable({selectedField_}, static_cast<int>(engine_.edittingRules().size()));
}

void TAVRenameWindowController::clickMoveToRight()
{
    if (!selectedField_) {
        beep();
        return;
    }
    doInsertFieldToTable({selectedField_}, static_cast<int>(engine_.edittingRules().size()));
}

int TAVRenameWindowController::visibleTreeRow(const QModelIndex& index)
{
    if (!index.isValid()) {
        return -1;
    }
    int row = 0;
    for (QModelIndex above = leftOutlineView()->indexAbove(index); above.isValid();
         above = leftOutlineView_->indexAbove(above)) {
        ++row;
    }
    return row;
}

bool TAVRenameWindowController::outlineShouldEditItem(const QModelIndex& index)
{
    qCInfo(lcRenameSheet, "edit %s", qUtf8Printable(treeModel_->description(index)));
    return false;
}

// --- Arranging the rule list ---

int TAVRenameWindowController::selectedRuleRow()
{
    const QModelIndexList rows = rightTableView()->selectionModel()->selectedRows();
    if (rows.isEmpty()) {
        return -1;
    }
    const int row = rows.first().row();
    return row < engine_.edittingRules().size() ? row : -1;
}

void TAVRenameWindowController::moveSelectedRule(int step, bool followRule)
{
    const int row = selectedRuleRow();
    if (row < 0) {
        beep();
        return;
    }
    QList<TAVRenameRuleFieldPtr> rules = engine_.edittingRules();
    const int target = std::clamp(row + step, 0, static_cast<int>(rules.size()) - 1);
    rules.move(row, target);
    engine_.setEdittingRules(rules);
    reloadRules(followRule ? target : row);
}

void TAVRenameWindowController::removeSelectedRule()
{
    const int row = selectedRuleRow();
    if (row < 0) {
        beep();
        return;
    }
    QList<TAVRenameRuleFieldPtr> rules = engine_.edittingRules();
    rules.removeAt(row);
    engine_.setEdittingRules(rules);
    reloadRules(rules.isEmpty() ? -1 : std::max(row - 1, 0));
}

void TAVRenameWindowController::clickSegment(int segment)
{
    switch (segment) {
    case 0:
        moveSelectedRule(-1, true);
        break;
    case 1:
        moveSelectedRule(1, true);
        break;
    case 2:
        removeSelectedRule();
        break;
    default:
        break;
    }
}

void TAVRenameWindowController::deleteSelectionFromTableView(VXKeyPressTableView* view)
{
    if (view == rightTableView_) {
        removeSelectedRule();
    }
}

void TAVRenameWindowController::didClickCommondUpKeys(VXKeyPressTableView* view)
{
    if (view == rightTableView_) {
        moveSelectedRule(-1, false);
    }
}

void TAVRenameWindowController::didClickCommondDownKeys(VXKeyPressTableView* view)
{
    if (view == rightTableView_) {
        moveSelectedRule(1, false);
    }
}

bool TAVRenameWindowController::preventEnterEditingTableView(VXKeyPressTableView* /*view*/)
{
    return true;
}

// --- Search ---

void TAVRenameWindowController::textfieldChanged()
{
    updateOutlineViewSearch();
}

void TAVRenameWindowController::updateOutlineViewSearch()
{
    QTreeView* tree = leftOutlineView();
    const QString text = searchTextField_->text();
    if (text.isEmpty()) {
        tree->expandAll();
        return;
    }
    // Roots before the hit end collapsed, so the hit shows right under its
    // root; roots after it keep their state.
    for (int rootRow = 0; rootRow < treeModel_->rowCount(); ++rootRow) {
        const QModelIndex root = treeModel_->indexOfRoot(rootRow);
        for (int fieldRow = 0; fieldRow < treeModel_->rowCount(root); ++fieldRow) {
            const QModelIndex field = treeModel_->indexOfField(rootRow, fieldRow);
            if (treeModel_->description(field).contains(text, Qt::CaseInsensitive)) {
                tree->expandRecursively(root);
                tree->selectionModel()->setCurrentIndex(field, QItemSelectionModel::ClearAndSelect);
                tree->scrollTo(field);
                return;
            }
        }
        if (tree->isExpanded(root)) {
            tree->collapse(root);
        }
    }
}

// --- Drag and drop ---

bool TAVRenameWindowController::isOwnView(QObject* source) const
{
    if (source == nullptr || leftOutlineView_ == nullptr) {
        return false;
    }
    return source == leftOutlineView_ || source == leftOutlineView_->viewport() || source == rightTableView_
        || source == rightTableView_->viewport();
}

Qt::DropAction TAVRenameWindowController::tableValidateDrop(const QMimeData* /*data*/, int /*row*/, QObject* source)
{
    return isOwnView(source) ? Qt::CopyAction : Qt::IgnoreAction;
}

bool TAVRenameWindowController::tableAcceptDrop(const QMimeData* data, int row, QObject* source)
{
    if (!isOwnView(source)) {
        return false;
    }
    const std::optional<QList<TAVRenameRuleFieldPtr>> fields = TAVRenameRuleListModel::fieldsFromDragData(data);
    if (!fields || fields->isEmpty()) {
        return false;
    }
    doInsertFieldToTable(*fields, row);
    return true;
}

Qt::DropActions TAVRenameWindowController::outlineValidateDrop(
    const QMimeData* /*data*/, int /*row*/, QObject* /*source*/)
{
    qCInfo(lcRenameSheet, "validate Drop");
    // The tree only gives fields: a drop on it lands in this sheet's window
    // and is refused.
    return Qt::IgnoreAction;
}

bool TAVRenameWindowController::outlineAcceptDrop(const QMimeData* /*data*/, int /*row*/, QObject* /*source*/)
{
    return false;
}

int TAVRenameWindowController::tableDropRow(const QPoint& position)
{
    const QModelIndex index = rightTableView_->indexAt(position);
    if (!index.isValid()) {
        return ruleListModel_->rowCount();
    }
    // The drop falls into the gap nearest the pointer.
    const QRect rect = rightTableView_->visualRect(index);
    return position.y() > rect.center().y() ? index.row() + 1 : index.row();
}

bool TAVRenameWindowController::handleDragEvent(QObject* watched, QEvent* event)
{
    auto* drop = static_cast<QDropEvent*>(event);
    const QPoint position = drop->position().toPoint();
    const bool onTree = watched == leftOutlineView_->viewport();
    const int row = onTree ? leftOutlineView_->indexAt(position).row() : tableDropRow(position);
    bool accepted = false;
    if (event->type() == QEvent::Drop) {
        accepted = onTree ? outlineAcceptDrop(drop->mimeData(), row, drop->source())
                          : tableAcceptDrop(drop->mimeData(), row, drop->source());
    } else {
        accepted = onTree ? outlineValidateDrop(drop->mimeData(), row, drop->source()) != Qt::IgnoreAction
                          : tableValidateDrop(drop->mimeData(), row, drop->source()) != Qt::IgnoreAction;
    }
    if (accepted) {
        drop->setDropAction(Qt::CopyAction);
        drop->accept();
    } else {
        drop->ignore();
    }
    return true;
}

bool TAVRenameWindowController::eventFilter(QObject* watched, QEvent* event)
{
    if (leftOutlineView_ == nullptr) {
        return false;
    }
    const bool onViews = watched == leftOutlineView_->viewport() || watched == rightTableView_->viewport();
    switch (event->type()) {
    case QEvent::DragEnter:
    case QEvent::DragMove:
    case QEvent::Drop:
        return onViews && handleDragEvent(watched, event);
    case QEvent::KeyPress:
        if (watched == leftOutlineView_) {
            const int key = static_cast<QKeyEvent*>(event)->key();
            if (key == Qt::Key_Return || key == Qt::Key_Enter) {
                doubleClick();
                return true;
            }
            if (key == Qt::Key_F2) {
                outlineShouldEditItem(leftOutlineView_->currentIndex());
                return true;
            }
        }
        return false;
    default:
        return false;
    }
}
