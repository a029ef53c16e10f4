#pragma once

#include "models/record/TAVExifData.h"

#include <QString>

class TAVManangePresetsWindowController;

// What the manage-presets sheet tells its owner, each after the store has
// done the work. Not owned by the sheet.
class TAVManangePresetsWindowControllerDelegate {
public:
    virtual ~TAVManangePresetsWindowControllerDelegate() = default;

    virtual void managePresetsWindowCtlrDidRenameOld(const QString& oldName, const QString& newName)
    {
        (void)oldName;
        (void)newName;
    }
    virtual void managePresetsWindowCtlrDidDeletePreset(const TAVExifDataPtr& preset) { (void)preset; }
    // After Done, once the sheet has ended.
    virtual void managePresetsWindowCtlrDidFinishEdit(TAVManangePresetsWindowController* sheet) { (void)sheet; }
};
