#pragma once

class VXNumbericFormatter;
class QString;

// What a number formatter asks its owner. Both operations are optional: the
// formatter calls one only when responds() says the delegate answers it.
class VXNumbericFormatterDelegate {
public:
    enum class Op { ReachedMaxNumberOfChars, IsNumberVaild };

    virtual ~VXNumbericFormatterDelegate() = default;

    virtual bool responds(Op op) const
    {
        (void)op;
        return true;
    }
    // A keystroke would make the text longer than the formatter allows.
    virtual void numbericFormatterReachedMaxNumberOfChars(VXNumbericFormatter* formatter) { (void)formatter; }
    // The final say on a proposed text that the formatter itself accepts.
    virtual bool isNumberVaild(VXNumbericFormatter* formatter, const QString& number)
    {
        (void)formatter;
        (void)number;
        return true;
    }
};
