#include "commlib/TFDateTyping.h"

#include <utility>

TFDateTyping::TFDateTyping(QList<Part> parts, int firstPart)
    : parts_(std::move(parts))
    , firstPart_(firstPart)
{
}

TFDateTyping::Result TFDateTyping::type(QChar character)
{
    const Read after = read(typed_ + character);
    if (after.reading == Reading::OutOfRange) {
        return Result::Refused;
    }
    // Past the last part: the key is dropped, what was typed stands.
    if (after.reading == Reading::TooManyParts) {
        return Result::Ignored;
    }
    typed_.append(character);
    return Result::Taken;
}

void TFDateTyping::takeBack()
{
    typed_.chop(1);
}

QList<TFDateTyping::Group> TFDateTyping::groups() const
{
    return read(typed_).groups;
}

int TFDateTyping::nextPart() const
{
    return read(typed_).nextPart;
}

bool TFDateTyping::fitsWhenFinished() const
{
    for (const Group& group : groups()) {
        if (!fits(group)) {
            return false;
        }
    }
    return true;
}

bool TFDateTyping::fits(const Group& group) const
{
    const Part& part = parts_.at(group.part);
    return group.number() >= part.minimum && group.number() <= part.maximum;
}

TFDateTyping::Read TFDateTyping::read(const QString& typed) const
{
    const Read fromCursor = readFrom(typed, firstPart_);
    if (fromCursor.reading == Reading::Fits || firstPart_ == 0) {
        return fromCursor;
    }
    // Not the parts from the cursor on: a whole value, typed from its start.
    return readFrom(typed, 0);
}

TFDateTyping::Read TFDateTyping::readFrom(const QString& typed, int firstPart) const
{
    Read result;
    int part = firstPart;
    QString digits;
    auto finish = [&] {
        const Group group{part, digits, true};
        result.groups.append(group);
        ++part;
        digits.clear();
        return fits(group);
    };
    for (const QChar character : typed) {
        if (character.isDigit()) {
            if (part >= parts_.size()) {
                result.reading = Reading::TooManyParts;
                return result;
            }
            digits.append(character);
            if (digits.size() >= parts_.at(part).width && !finish()) {
                result.reading = Reading::OutOfRange;
                return result;
            }
        } else if (!digits.isEmpty()) {
            if (!finish()) {
                result.reading = Reading::OutOfRange;
                return result;
            }
        }
        // A separator with no digits before it is the one a part that filled
        // itself already passed (or one typed twice): it ends no part.
    }
    if (!digits.isEmpty()) {
        result.groups.append(Group{part, digits, false});
    }
    result.nextPart = part;
    return result;
}
