#include "commlib/VXNumbericFormatter.h"

#include "foundation/TextServices.h"

VXNumbericFormatter::VXNumbericFormatter(QObject* parent)
    : QValidator(parent)
{
}

QValidator::State VXNumbericFormatter::validate(QString& input, int& pos) const
{
    Q_UNUSED(pos);
    auto* self = const_cast<VXNumbericFormatter*>(this);
    if (maxCharsLen_ > 0 && input.size() > maxCharsLen_) {
        if (delegate_ && delegate_->responds(VXNumbericFormatterDelegate::Op::ReachedMaxNumberOfChars)) {
            delegate_->numbericFormatterReachedMaxNumberOfChars(self);
        }
        return Invalid;
    }
    if (!isPartialStringValid(input)) {
        return Invalid;
    }
    if (delegate_ && delegate_->responds(VXNumbericFormatterDelegate::Op::IsNumberVaild)
        && !delegate_->isNumberVaild(self, input)) {
        return Invalid;
    }
    return Acceptable;
}

bool VXNumbericFormatter::isPartialStringValid(const QString& proposed) const
{
    return TextServices::isUnsiginedFloatNumber(proposed);
}
