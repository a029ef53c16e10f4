#include "webmapkit/GMKJsonBase.h"

#include <memory>

void GMKJsonBase::addErrorWithCode(int code, const QString& description)
{
    std::shared_ptr<const GMKJsonError> previous;
    if (!errorTrace_.isEmpty()) {
        previous = std::make_shared<const GMKJsonError>(errorTrace_.constLast());
    }
    errorTrace_.append(GMKJsonError(code, description, previous));
}

bool GMKJsonBase::enterNesting()
{
    ++depth_;
    if (maxDepth_ != 0 && depth_ > maxDepth_) {
        addErrorWithCode(7, QStringLiteral("Nested too deep"));
        return false;
    }
    return true;
}
