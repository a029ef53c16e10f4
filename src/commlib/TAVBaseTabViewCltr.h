#pragma once

#include "models/record/TAVExifData.h"

#include <QHash>
#include <QString>
#include <QWidget>

#include <functional>
#include <optional>

class QComboBox;

// The common base of the main window's metadata tabs. It is itself the view
// that the main window places; it holds the record shown (the very record the
// main window hands over, never a copy, so edits reach the owner at once),
// styles field labels by the modified state of their key, and tells the main
// window through the notification hub that the user changed a value.
//
// Subclasses rebuild their whole display in setImgExifData (with their
// controls' signals blocked), write each user edit into the record under
// their category, restyle with refreshModifiedFields, raise the pending-edits
// flag and call notiFileMetadataChanged. Only user signals may lead to an
// edit: a rebuild never posts and never raises the flag.
//
// Typed text is an edit only once its field's text is taken (Return, the
// focus leaving, or commitTypedText before the window acts), and only when
// it differs from what the field showed: handing each keystroke to every
// selected photo costs a whole selection per key, and a field typed into and
// emptied again would erase a value the photos keep.
class TAVBaseTabViewCltr : public QWidget {
    Q_OBJECT
public:
    // Posted with the tab as sender and the userInfo {"hasModify", "needRefresh"}
    // (both bools): the flag at posting time and whether the main window is to
    // hand the shown record back so the tab rebuilds.
    static const QString kNotiFileMetadataHasChanged;

    explicit TAVBaseTabViewCltr(QWidget* parent = nullptr);
    ~TAVBaseTabViewCltr() override;

    // The one process-wide pending-edits flag: YES between a user edit and the
    // main window's next apply or selection change. GUI thread only.
    static bool isPendingEdits();
    static void setPendingEdits(bool pending);

    const TAVExifDataPtr& imgExifData() const { return imgExifData_; }
    // Stores the record; subclasses call this first and then rebuild.
    virtual void setImgExifData(const TAVExifDataPtr& record);

    // The tab's current settings as entities of its category, or none.
    virtual std::optional<TAVEntityMap> genDictionayFromSetting();
    virtual void setEditEnable(bool enable);
    virtual void refreshModifiedFields();
    // Hands text typed into a field whose editing has not ended to the
    // record now, before the window saves, closes, changes the selection or
    // the tab, or runs a command. Nothing by default.
    virtual void commitTypedText();
    virtual bool isFieldModified(QWidget* control) const;

    // The user chose an item of a pop-up / changed a text: raise the flag.
    // Overrides call the base first.
    virtual void clickPopupButton(QComboBox* sender);
    virtual void controlTextDidChange(QObject* sender);

    // Posts kNotiFileMetadataHasChanged on the default hub.
    void notiFileMetadataChanged(bool needRefresh);

    // The application font at 11 pt in black, or bold italic blue when
    // modified. Labels and line edits take the text colour, buttons the title
    // colour; any other control is left as it is.
    static void refreshFieldShow(QWidget* control, bool modified);

protected:
    // What a typed field showed when it was last rebuilt or taken.
    void setTakenText(const QWidget* field, const QString& text);
    // Whether the field now holds other text than it showed: only then is
    // taking it an edit.
    bool isTextEdited(const QWidget* field, const QString& text) const;
    // Calls `take` whenever the user ends editing `field` (a line edit, a
    // spin box such as a date picker, or a text view): Return, or the focus
    // leaving it.
    void takeWhenEditingEnds(QWidget* field, const std::function<void()>& take);

    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    TAVExifDataPtr imgExifData_;
    QHash<const QWidget*, QString> takenTexts_;
    QHash<const QObject*, std::function<void()>> focusOutTakes_;
};
