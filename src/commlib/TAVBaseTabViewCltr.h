#pragma once

#include "models/record/TAVExifData.h"

#include <QString>
#include <QWidget>

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
    // Hands text typed into a field that reports only when its editing ends
    // to the record now, before the window saves or closes. Nothing by
    // default: most fields hand over every keystroke.
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

private:
    TAVExifDataPtr imgExifData_;
};
