#pragma once

#include <QPointer>
#include <QStyledItemDelegate>

// The editor of a preset name. It knows its open editor, so that a button
// can commit the edit in progress itself: a click on a button does not take
// the focus everywhere (keyboard shortcuts, offscreen windows), and waiting
// for the editor to lose it would drop the typed name.
class TAVPresetNameEditDelegate : public QStyledItemDelegate {
    Q_OBJECT
public:
    explicit TAVPresetNameEditDelegate(QObject* parent = nullptr);

    QWidget* createEditor(QWidget* parent, const QStyleOptionViewItem& option, const QModelIndex& index) const override;
    void destroyEditor(QWidget* editor, const QModelIndex& index) const override;

    bool isEditing() const { return !openEditor_.isNull(); }
    // Stores the open editor's text and closes it; nothing without one.
    void commitOpenEditor();

private:
    mutable QPointer<QWidget> openEditor_;
};
