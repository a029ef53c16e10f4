#include "webmapkit/GMKJsonError.h"

#include <QStringList>

#include <utility>

GMKJsonError::GMKJsonError(int code, const QString& message, std::shared_ptr<const GMKJsonError> underlying)
    : code_(code)
    , message_(message)
    , underlying_(std::move(underlying))
{
}

QString GMKJsonError::domain()
{
    return QStringLiteral("org.lumetta.webmapkit.JSON");
}

QString GMKJsonError::description() const
{
    return QStringLiteral("%1 code %2: %3").arg(domain()).arg(code_).arg(message_);
}

QString GMKJsonError::describeTrace(const QList<GMKJsonError>& trace)
{
    QStringList lines;
    for (const GMKJsonError& error : trace) {
        lines << error.description();
    }
    return QLatin1Char('(') + lines.join(QStringLiteral(", ")) + QLatin1Char(')');
}
