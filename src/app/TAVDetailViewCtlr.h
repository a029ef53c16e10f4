#pragma once

#include "commlib/TAVBaseTabViewCltr.h"
#include "commlib/TAVSearchableTagTable.h"

#include <QPointer>
#include <QTableView>

#include <functional>

class NotLossFoucsSearchField;
class QCheckBox;
class QComboBox;
class TAVSearchableTagTableDelegate;
class TAVSearchableTagTableModel;

// The detail tab: every EXIF and IPTC row of the shown record in one grouped
// table (name, type, value), filtered by family, searched with red matches,
// modified rows in bold italic blue. A value is edited in its cell and checked
// against the key's metadata type before the record takes it; Byte rows are
// refused before an editor opens.
class TAVDetailViewCtlr : public TAVBaseTabViewCltr {
    Q_OBJECT
public:
    static const QString kValueColumn; // "Value"

    explicit TAVDetailViewCtlr(QWidget* parent = nullptr);
    ~TAVDetailViewCtlr() override;

    // While the tab is hidden its rows wait until it is shown: they are the
    // record's editable copies of every tag, which a record keeps once made.
    void setImgExifData(const TAVExifDataPtr& record) override;
    void setVisible(bool visible) override;
    // Switches only the family pop-up.
    void setEditEnable(bool enable) override;
    std::optional<TAVEntityMap> genDictionayFromSetting() override;
    // Commits the text of an open cell editor and announces it at once.
    void commitTypedText() override;

    // Runs the search field's text (empty ends the search) and reloads.
    void startSearch(NotLossFoucsSearchField* sender);
    void clickCaseIgnor();
    void clickType();

    // Empty text, or a text the writer accepts for the key.
    static bool testValueIsVaild(const QString& text, const QString& key);

    QTableView* tableView() const { return tableView_; }
    TAVSearchableTagTableModel* model() const { return model_; }
    NotLossFoucsSearchField* searchField() const { return searchField_; }
    QCheckBox* ignoringCase() const { return ignoringCase_; }
    QComboBox* popType() const { return popType_; }

protected:
    void showEvent(QShowEvent* event) override;

private:
    // A table that asks before it opens an editor, so a refused row never
    // shows one.
    class TagTableView : public QTableView {
    public:
        using QTableView::QTableView;
        std::function<bool(const QModelIndex&)> mayEdit;
        // Hands an open editor's text to the model and closes the editor.
        void commitOpenEditor(QWidget* editor);

    protected:
        bool edit(const QModelIndex& index, EditTrigger trigger, QEvent* event) override;

    private:
        bool wouldOpenEditor(const QModelIndex& index, EditTrigger trigger, QEvent* event) const;
    };

    void buildForm();
    bool shouldEditRow(const QModelIndex& index);
    bool commitValue(const TAVSearchableTagTable::Row& row, const QString& text);
    void afterAcceptedEdit();

    TagTableView* tableView_ = nullptr;
    TAVSearchableTagTableModel* model_ = nullptr;
    TAVSearchableTagTableDelegate* delegate_ = nullptr;
    QComboBox* popType_ = nullptr;
    NotLossFoucsSearchField* searchField_ = nullptr;
    QCheckBox* ignoringCase_ = nullptr;
    bool committing_ = false;
    bool announcementOwed_ = false;
    QPointer<QWidget> typedEditor_; // the cell editor the user last typed into
    bool focusedOnce_ = false;
    bool rowsOwed_ = false;
};
