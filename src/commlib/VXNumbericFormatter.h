#pragma once

#include "commlib/VXNumbericFormatterDelegate.h"

#include <QValidator>

// A validator for number fields that judges every proposed text: too long
// (more than maxCharsLen characters) or not a number it accepts, and the
// keystroke is refused. Shortening is always allowed, so a full field can
// still be edited. An accepted text is Acceptable, never Intermediate,
// because a line edit reports no end of editing while its text is
// Intermediate; judging a finished text is left to the owner.
class VXNumbericFormatter : public QValidator {
    Q_OBJECT
public:
    explicit VXNumbericFormatter(QObject* parent = nullptr);

    int maxCharsLen() const { return maxCharsLen_; }
    void setMaxCharsLen(int length) { maxCharsLen_ = length; }

    // Not owned; cleared by the owner before it goes.
    VXNumbericFormatterDelegate* delegate() const { return delegate_; }
    void setDelegate(VXNumbericFormatterDelegate* delegate) { delegate_ = delegate; }

    State validate(QString& input, int& pos) const override;

protected:
    // Whether the formatter itself takes the text; the delegate then decides.
    // The base takes unsigned decimals.
    virtual bool isPartialStringValid(const QString& proposed) const;

private:
    int maxCharsLen_ = 0; // 0: no limit
    VXNumbericFormatterDelegate* delegate_ = nullptr;
};
