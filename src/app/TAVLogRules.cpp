#include "app/TAVLogRules.h"

#include <QLoggingCategory>

QString TAVLogRules::quietRules()
{
    // "default" is the category of plain qDebug() and qInfo().
    return QStringLiteral("default.debug=false\n"
                          "default.info=false\n"
                          "lumetta.*.debug=false\n"
                          "lumetta.*.info=false\n");
}

void TAVLogRules::install()
{
    QLoggingCategory::setFilterRules(quietRules());
}
