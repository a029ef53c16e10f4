#include "foundation/VXGlobalFunctions.h"

#include "foundation/DateServices.h"
#include "foundation/GlobalFun.h"

#include <QDateTime>

QString VXGlobalFunctions::getFolderNameForCurrentTime()
{
    return DateServices::getStringFromDate(QDateTime::currentDateTime(), QStringLiteral("yyyy-MM-dd_HH-mm-ss"));
}

QString VXGlobalFunctions::makeSureFullPathIdentical(const QString& path, const QString& extension)
{
    return GlobalFun::makeSureFullPathIdentical(path, extension);
}
