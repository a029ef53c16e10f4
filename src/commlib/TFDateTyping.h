#pragma once

#include <QList>
#include <QString>

// What the user types into a date or time field in one go, read part by part.
// Digits fill a part up to its width; a separator ends a part before that
// (9:05), and the separator typed after a full part is the one already
// passed. A number is never split into parts by guessing: "30" for an hour is
// an hour of 30, which does not fit. Typing begins in the part the cursor stands in; when what is typed
// cannot be the parts from there on (more parts than are left, or a number
// that does not fit its part), it is a whole value and is read from the first
// part, so a date or time typed whole is taken as typed wherever the cursor
// stood.
class TFDateTyping {
public:
    struct Part {
        int width = 2;
        int minimum = 0;
        int maximum = 59;
    };
    // A part typed: its index among the field's parts, its digits and
    // whether it is finished (a part still being typed may take more digits).
    struct Group {
        int part = 0;
        QString digits;
        bool finished = false;
        int number() const { return digits.toInt(); }
    };
    enum class Result {
        Taken,
        // A digit after the last part: that key alone is not taken.
        Ignored,
        // A part that cannot be what was typed: nothing typed is taken.
        Refused,
    };

    TFDateTyping(QList<Part> parts, int firstPart);

    // A digit or a separator.
    Result type(QChar character);
    // Backspace: the last character typed is taken back.
    void takeBack();
    bool isEmpty() const { return typed_.isEmpty(); }
    // The parts as typed so far, the last one perhaps still open.
    QList<Group> groups() const;
    // Whether every group fits its part once typing ends (a year of 2 digits
    // does not).
    bool fitsWhenFinished() const;
    // The part the next digit goes to; the number of parts when none is left.
    int nextPart() const;

private:
    enum class Reading { Fits, TooManyParts, OutOfRange };
    struct Read {
        Reading reading = Reading::Fits;
        QList<Group> groups;
        int nextPart = 0;
    };
    Read read(const QString& typed) const;
    Read readFrom(const QString& typed, int firstPart) const;
    bool fits(const Group& group) const;

    QList<Part> parts_;
    int firstPart_;
    QString typed_;
};
