#include "foundation/SafePaths.h"

#include <QStringList>

bool SafePaths::isSafeName(const QString& name)
{
    return !name.isEmpty() && !name.contains(QLatin1Char('/')) && !name.contains(QChar(0)) && name != QLatin1String(".")
        && name != QLatin1String("..");
}

bool SafePaths::hasParentComponent(const QString& path)
{
    return path.split(QLatin1Char('/')).contains(QStringLiteral(".."));
}
