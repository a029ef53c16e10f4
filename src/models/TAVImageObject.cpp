#include "models/TAVImageObject.h"

TAVImageObject::TAVImageObject()
{
    setExifData(TAVExifData::create());
}

TAVImageObject::~TAVImageObject()
{
    // The record may outlive this object (a tab or a copy holds it).
    if (exifData_ && exifData_->accessImgObj() == this)
        exifData_->setAccessImgObj(nullptr);
}

void TAVImageObject::setExifData(const TAVExifDataPtr& record)
{
    if (exifData_ && exifData_->accessImgObj() == this)
        exifData_->setAccessImgObj(nullptr);
    exifData_ = record;
    if (exifData_)
        exifData_->setAccessImgObj(this);
}

void TAVImageObject::notiRefreshUIWhenModified()
{
    if (delegate_)
        delegate_->imageObjectHasModified(this);
}
