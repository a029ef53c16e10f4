#include "tools/TAVPresetNameEditDelegate.h"

#include <QLineEdit>

TAVPresetNameEditDelegate::TAVPresetNameEditDelegate(QObject* parent)
    : QStyledItemDelegate(parent)
{
}

QWidget* TAVPresetNameEditDelegate::createEditor(
    QWidget* parent, const QStyleOptionViewItem& option, const QModelIndex& index) const
{
    QWidget* editor = QStyledItemDelegate::createEditor(parent, option, index);
    // A framed field shows which name is being edited.
    if (auto* line = qobject_cast<QLineEdit*>(editor)) {
        line->setFrame(true);
    }
    openEditor_ = editor;
    return editor;
}

void TAVPresetNameEditDelegate::destroyEditor(QWidget* editor, const QModelIndex& index) const
{
    if (openEditor_ == editor) {
        openEditor_.clear();
    }
    QStyledItemDelegate::destroyEditor(editor, index);
}

void TAVPresetNameEditDelegate::commitOpenEditor()
{
    // The view answers these as it answers Return in the editor: it stores
    // the text through setModelData, then closes the editor.
    if (QWidget* editor = openEditor_) {
        openEditor_.clear();
        emit commitData(editor);
        emit closeEditor(editor, QAbstractItemDelegate::NoHint);
    }
}
