#pragma once

#include <QList>
#include <QString>

#include <memory>

// One failure of a JSON run. Errors of a run are chained: each one after the
// first holds the one before it, so the last error leads back through them all.
class GMKJsonError {
public:
    GMKJsonError(int code, const QString& message, std::shared_ptr<const GMKJsonError> underlying = nullptr);

    static QString domain();

    int code() const { return code_; }
    QString localizedDescription() const { return message_; }
    // The error reported just before this one in the same run, if any.
    const GMKJsonError* underlyingError() const { return underlying_.get(); }

    // One line for logs: domain, code and message.
    QString description() const;
    // The whole trace for a log line, oldest first.
    static QString describeTrace(const QList<GMKJsonError>& trace);

private:
    int code_;
    QString message_;
    std::shared_ptr<const GMKJsonError> underlying_;
};
