#pragma once

#include "models/record/TAVExifData.h"

class TAVNewPresetWindowCtlr;

// What the new-preset sheet tells its owner. Storing the preset is the
// owner's work. Not owned by the sheet.
class TAVNewPresetWindowCtlrDelegate {
public:
    virtual ~TAVNewPresetWindowCtlrDelegate() = default;

    // OK: (false, the named record holding only the ticked values);
    // Cancel: (true, null).
    virtual void didNewPresetWindowCltrFinished(bool cancelled, const TAVExifDataPtr& result)
    {
        (void)cancelled;
        (void)result;
    }
};
