#pragma once

#include "models/TAVExifData.h"

#include <QString>

class TAVImageObject;

// What an image object tells its owner. Every operation has an empty default,
// so a delegate overrides only what it wants to hear about.
class TAVImageObjectProtocol {
public:
    virtual ~TAVImageObjectProtocol() = default;
    // The image's record was changed by an edit (sent on the editing thread).
    virtual void imageObjectHasModified(TAVImageObject* imageObject) { (void)imageObject; }
    // A save of this image has finished, whatever its outcome.
    virtual void imageObjectFinishSave(TAVImageObject* imageObject) { (void)imageObject; }
};

// One imported image: its working copy, its metadata record and the managers
// that read and write it.
class TAVImageObject {
public:
    TAVImageObject();
    ~TAVImageObject();
    TAVImageObject(const TAVImageObject&) = delete;
    TAVImageObject& operator=(const TAVImageObject&) = delete;

    const TAVExifDataPtr& exifData() const { return exifData_; }
    // The record's back reference follows the record.
    void setExifData(const TAVExifDataPtr& record);

    // Not owned; cleared by the owner when it goes.
    TAVImageObjectProtocol* delegate() const { return delegate_; }
    void setDelegate(TAVImageObjectProtocol* delegate) { delegate_ = delegate; }

    // Tells the delegate that the record was modified.
    void notiRefreshUIWhenModified();

private:
    TAVExifDataPtr exifData_;
    TAVImageObjectProtocol* delegate_ = nullptr;
};
