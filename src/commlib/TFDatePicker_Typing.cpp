// TFDatePicker: the keys typed into the field, read part by part, text
// pasted as if typed, and the ends of typing (another key, a click, a step,
// the end of editing, a command).
#include "commlib/TFDatePicker.h"

#include "foundation/DateServices.h"
#include "foundation/UiServices.h"

#include <QApplication>
#include <QClipboard>
#include <QKeyEvent>
#include <QLineEdit>
#include <QTimeZone>

namespace {

bool isModifierOnly(int key)
{
    switch (key) {
    case Qt::Key_Shift:
    case Qt::Key_Control:
    case Qt::Key_Meta:
    case Qt::Key_Alt:
    case Qt::Key_AltGr:
    case Qt::Key_Super_L:
    case Qt::Key_Super_R:
    case Qt::Key_Hyper_L:
    case Qt::Key_Hyper_R:
    case Qt::Key_Mode_switch:
    case Qt::Key_CapsLock:
    case Qt::Key_NumLock:
    case Qt::Key_ScrollLock:
        return true;
    default:
        return false;
    }
}

// The character a key types into the field, or none: a key held with Ctrl,
// Alt or Meta is a command, not typing.
QChar typedCharacter(const QKeyEvent* event)
{
    const Qt::KeyboardModifiers typing = Qt::ShiftModifier | Qt::KeypadModifier | Qt::GroupSwitchModifier;
    const QString text = event->text();
    if (text.size() != 1 || !text.front().isPrint() || (event->modifiers() & ~typing)) {
        return {};
    }
    return text.front();
}

bool isDigit(QChar character)
{
    return character >= QLatin1Char('0') && character <= QLatin1Char('9');
}

bool isSeparator(QChar character)
{
    return character.isPunct() || character.isSymbol();
}

} // namespace

void TFDatePicker::changeAsUser(const std::function<void()>& change)
{
    const bool outermost = !changingAsUser_;
    const QDateTime before = dateValue();
    changingAsUser_ = true;
    change();
    if (outermost) {
        changingAsUser_ = false;
        if (dateValue() != before) {
            emit userDateChanged();
        }
    }
}

void TFDatePicker::keyPressEvent(QKeyEvent* event)
{
    // Shift before ":" and the like: nothing is typed yet.
    if (isModifierOnly(event->key())) {
        event->ignore();
        return;
    }
    if (event->matches(QKeySequence::Paste)) {
        pasteText(QGuiApplication::clipboard()->text());
        return;
    }
    changeAsUser([this, event] { typeKey(event); });
}

void TFDatePicker::commitTyping()
{
    changeAsUser([this] { endTypedRun(); });
}

void TFDatePicker::pasteText(const QString& text)
{
    changeAsUser([this, text] {
        // A paste moves on, as another key does: typing before it ends.
        endTypedRun();
        typingRefused_ = false;
        const QString pasted = text.trimmed();
        if (pasted.isEmpty()) {
            beep();
            return;
        }
        startTyping();
        for (const QChar character : pasted) {
            // Text the field cannot hold whole (a letter, a part more than it
            // has) is no value of the field: nothing of it is taken.
            const bool typeable = isDigit(character) || isSeparator(character);
            if (!typeable || typing_->type(character) != TFDateTyping::Result::Taken || !typedPartsMakeADate()) {
                refuseTyped();
                typingRefused_ = false;
                return;
            }
        }
        endTypedRun();
        // Refused at its end (a month of 0, a year cut short), what was
        // pasted is dropped whole; the user's next keys are typing anew.
        typingRefused_ = false;
    });
}

bool TFDatePicker::focusNextPrevChild(bool next)
{
    // Tab moves on to the next part: typing before it ends.
    changeAsUser([this] { endTypedRun(); });
    return QDateTimeEdit::focusNextPrevChild(next);
}

void TFDatePicker::focusOutEvent(QFocusEvent* event)
{
    // Settled before the spin box reads the text and tells that editing ended.
    changeAsUser([this] { endTyping(); });
    QDateTimeEdit::focusOutEvent(event);
}

void TFDatePicker::typeKey(QKeyEvent* event)
{
    if (event->key() == Qt::Key_Delete && event->modifiers() == Qt::NoModifier) {
        clearByUser();
        return;
    }
    const QChar character = typedCharacter(event);
    const bool digit = isDigit(character);
    const bool separator = isSeparator(character);
    if (typingRefused_ && (digit || separator)) {
        beep();
        return;
    }
    typingRefused_ = false;
    if (digit || (separator && typing_)) {
        if (!typing_) {
            startTyping();
        }
        typeCharacter(character);
        return;
    }
    if (event->key() == Qt::Key_Backspace && typing_) {
        takeBackTyped();
        return;
    }
    if (!character.isNull() && !separator) {
        return; // a letter or a space is no part of a date
    }
    if (separator && isEmpty()) {
        return; // nothing to move through
    }
    if (event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter) {
        endTyping();
    } else {
        endTypedRun();
    }
    QDateTimeEdit::keyPressEvent(event);
}

void TFDatePicker::startTypingIntoEmpty()
{
    // Whole seconds: the fields show no fraction, so none may hide in the value.
    QDateTime now = DateServices::wallClockOf(QDateTime::currentDateTime());
    now.setTime(QTime(now.time().hour(), now.time().minute(), now.time().second()));
    settingValue_ = true;
    setDateTime(now);
    settingValue_ = false;
    forgetTyping();
    typingIntoEmpty_ = true;
    setCurrentSectionIndex(0);
    setSelectedSection(sectionAt(0));
}

void TFDatePicker::startTyping()
{
    typedOverEmpty_ = isEmpty();
    int firstPart = currentSectionIndex();
    if (typedOverEmpty_) {
        startTypingIntoEmpty();
        firstPart = 0;
    } else if (lineEdit()->selectedText() == lineEdit()->text()) {
        firstPart = 0; // all of it chosen, all of it typed over
    }
    typedOver_ = dateTime();
    typing_.emplace(partShapes(), qMax(0, firstPart));
}

void TFDatePicker::typeCharacter(QChar character)
{
    switch (typing_->type(character)) {
    case TFDateTyping::Result::Taken:
        if (typedPartsMakeADate()) {
            showTyped();
        } else {
            refuseTyped();
        }
        break;
    case TFDateTyping::Result::Ignored:
        beep();
        break;
    case TFDateTyping::Result::Refused:
        refuseTyped();
        break;
    }
}

void TFDatePicker::takeBackTyped()
{
    typing_->takeBack();
    if (typing_->isEmpty()) {
        dropTyped();
    } else {
        showTyped();
    }
}

void TFDatePicker::showTyped()
{
    setDateTime(typedValue(false));
    const QList<TFDateTyping::Group> groups = typing_->groups();
    if (!groups.isEmpty() && !groups.last().finished) {
        // The part being typed shows its digits so far, as the spin box
        // shows a part typed into it.
        setSelectedSection(sectionAt(groups.last().part));
        for (const QChar digit : groups.last().digits) {
            QKeyEvent key(QEvent::KeyPress, Qt::Key_0 + digit.digitValue(), Qt::NoModifier, QString(digit));
            QDateTimeEdit::keyPressEvent(&key);
        }
    } else if (typing_->nextPart() < sectionCount()) {
        setSelectedSection(sectionAt(typing_->nextPart()));
    } else {
        // Every part typed: the cursor after the last one.
        setCurrentSectionIndex(sectionCount() - 1);
        lineEdit()->setCursorPosition(endOfParts());
    }
}

void TFDatePicker::endTypedRun()
{
    if (!typing_) {
        return;
    }
    const QDateTime value = typedValue(true);
    if (!typing_->fitsWhenFinished() || !value.isValid()) {
        refuseTyped();
        return;
    }
    setDateTime(value);
    if (typingIntoEmpty_) {
        for (const TFDateTyping::Group& group : typing_->groups()) {
            typedSections_.setFlag(sectionAt(group.part));
        }
    }
    typing_.reset();
}

void TFDatePicker::refuseTyped()
{
    beep();
    dropTyped();
    typingRefused_ = true;
}

void TFDatePicker::dropTyped()
{
    typing_.reset();
    if (typedOverEmpty_ && typedSections_ == NoSection) {
        emptySilently();
    } else {
        setDateTime(typedOver_);
    }
}

QDateTime TFDatePicker::typedValue(bool finished) const
{
    const QDate overDate = typedOver_.date();
    const QTime overTime = typedOver_.time();
    int parts[]
        = {overDate.year(), overDate.month(), overDate.day(), overTime.hour(), overTime.minute(), overTime.second()};
    bool dayTyped = false;
    for (const TFDateTyping::Group& group : typing_->groups()) {
        if (!group.finished && !finished) {
            continue;
        }
        switch (sectionAt(group.part)) {
        case YearSection:
            parts[0] = group.number();
            break;
        case MonthSection:
            parts[1] = group.number();
            break;
        case DaySection:
            parts[2] = group.number();
            dayTyped = true;
            break;
        case HourSection:
            parts[3] = group.number();
            break;
        case MinuteSection:
            parts[4] = group.number();
            break;
        default:
            parts[5] = group.number();
            break;
        }
    }
    QDate date(parts[0], parts[1], parts[2]);
    if (!date.isValid() && !finished && !dayTyped) {
        // A month typed before the day: the day it is typed over may not be
        // in it, until the day is typed too.
        date = QDate(parts[0], parts[1], qMin(parts[2], QDate(parts[0], parts[1], 1).daysInMonth()));
    }
    if (!date.isValid()) {
        return {};
    }
    return QDateTime(date, QTime(parts[3], parts[4], parts[5]), QTimeZone::utc());
}

bool TFDatePicker::typedPartsMakeADate() const
{
    int year = 2000; // a leap year: 29 February may still get its year
    int month = 0;
    int day = 0;
    for (const TFDateTyping::Group& group : typing_->groups()) {
        if (!group.finished) {
            continue;
        }
        const Section section = sectionAt(group.part);
        if (section == YearSection) {
            year = group.number();
        } else if (section == MonthSection) {
            month = group.number();
        } else if (section == DaySection) {
            day = group.number();
        }
    }
    return month == 0 || day == 0 || QDate(year, month, day).isValid();
}

QList<TFDateTyping::Part> TFDatePicker::partShapes() const
{
    QList<TFDateTyping::Part> shapes;
    for (int index = 0; index < sectionCount(); ++index) {
        switch (sectionAt(index)) {
        case YearSection:
            shapes.append({4, minimumDate().year(), maximumDate().year()});
            break;
        case MonthSection:
            shapes.append({2, 1, 12});
            break;
        case DaySection:
            shapes.append({2, 1, 31});
            break;
        case HourSection:
            shapes.append({2, 0, 23});
            break;
        default:
            shapes.append({2, 0, 59});
            break;
        }
    }
    return shapes;
}

bool TFDatePicker::isTypedWhole(bool countingOpenPart) const
{
    Sections typed = typedSections_;
    if (typing_) {
        for (const TFDateTyping::Group& group : typing_->groups()) {
            if (group.finished || countingOpenPart) {
                typed.setFlag(sectionAt(group.part));
            }
        }
    }
    const Sections shown = displayedSections() & (DateSections_Mask | TimeSections_Mask);
    return (typed & shown) == shown;
}

void TFDatePicker::endTyping()
{
    if (typingIntoEmpty_ && !isTypedWhole(true)) {
        emptySilently();
        return;
    }
    endTypedRun();
    forgetTyping();
}

void TFDatePicker::endTypingByCalendar()
{
    // A day picked is a whole date, whatever was typed before.
    const QDateTime before = dateValue();
    forgetTyping();
    if (dateValue() != before) {
        emit userDateChanged();
    }
}

void TFDatePicker::forgetTyping()
{
    typingIntoEmpty_ = false;
    typedSections_ = NoSection;
    typing_.reset();
    typingRefused_ = false;
}

void TFDatePicker::beep() const
{
    if (UiServices* services = UiServices::shared()) {
        services->beep();
    } else {
        QApplication::beep();
    }
}
