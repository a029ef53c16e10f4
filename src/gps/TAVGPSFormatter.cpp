#include "gps/TAVGPSFormatter.h"

#include <QLocale>

TAVGPSFormatter::TAVGPSFormatter(QObject* parent)
    : VXNumbericFormatter(parent)
{
    setMaxCharsLen(kMaxCharsLen);
}

bool TAVGPSFormatter::isPartialStringValid(const QString& proposed) const
{
    if (proposed.isEmpty() || proposed == QLatin1String(".") || proposed.startsWith(QLatin1Char('-'))) {
        return true;
    }
    bool ok = false;
    QLocale::c().toDouble(proposed, &ok);
    return ok;
}
