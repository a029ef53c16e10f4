#pragma once

#include "webmapkit/GMKJsonError.h"

#include <QList>
#include <QString>

// What the JSON parser and writer share: the error trace of the last run and the
// nesting limit.
class GMKJsonBase {
public:
    static constexpr unsigned defaultMaxDepth = 512;

    virtual ~GMKJsonBase() = default;

    // The errors of the last run, oldest first; empty when it succeeded.
    const QList<GMKJsonError>& errorTrace() const { return errorTrace_; }
    void clearErrorTrace() { errorTrace_.clear(); }
    // Appends an error that holds the previous last error as its underlying one.
    void addErrorWithCode(int code, const QString& description);

    // The deepest nesting of arrays and objects allowed; 0 switches the check off.
    unsigned maxDepth() const { return maxDepth_; }
    void setMaxDepth(unsigned maxDepth) { maxDepth_ = maxDepth; }

protected:
    // Steps one level into an array or object; false (with the error added)
    // when that goes past the limit.
    bool enterNesting();
    void leaveNesting() { --depth_; }

    void setErrorTrace(const QList<GMKJsonError>& trace) { errorTrace_ = trace; }

    unsigned depth_ = 0;

private:
    QList<GMKJsonError> errorTrace_;
    unsigned maxDepth_ = defaultMaxDepth;
};
