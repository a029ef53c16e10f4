#pragma once

#include "commlib/TFDateTyping.h"

#include <QColor>
#include <QDateTimeEdit>

#include <functional>
#include <optional>

class QAction;

// A date or time field that may hold no value. Empty, it shows its pattern
// in the colour set for that state (grey by default); the clear button or the
// Delete key empties it. An empty field gets a value only from a whole date
// (or time) typed into it, or a day picked in its calendar: arrows and wheel
// leave it empty, a part typed and deleted again empties it, and editing that
// ends before every part was typed leaves it empty.
//
// A date or time typed whole, with its separators or in digits only, is
// taken exactly as typed, wherever the cursor stood when typing began; a part
// it cannot take (hour 24, month 13) leaves the field on the value it had,
// with a beep, and the rest of that typing is dropped until the user moves
// on (another key, a click). Modifier keys alone change nothing. The wheel
// steps only a field that has the keyboard focus; over any other it scrolls
// what holds the field.
//
// Callers rely on:
// - Values are wall clocks without a zone, carried as UTC date-times, so a
//   time the local clock skips (02:30 on the day summer time starts) is kept.
// - An invalid QDateTime means "no date", both ways.
// - userDateChanged fires for the user's changes only, never for setDateValue.
class TFDatePicker : public QDateTimeEdit {
    Q_OBJECT
public:
    enum class Elements { Date, Time };

    explicit TFDatePicker(Elements elements = Elements::Date, QWidget* parent = nullptr);

    Elements datePickerElements() const { return elements_; }
    void setDatePickerElements(Elements elements);
    // The calendar that drops down from a date field.
    void setCalendarPopover(bool on);
    QColor textColorWhenNil() const { return textColorWhenNil_; }
    void setTextColorWhenNil(const QColor& colour);

    QDateTime dateValue() const;
    void setDateValue(const QDateTime& value);
    // The zone a time field shows after the time: the offset the file gives
    // ("+02:00"), or none. A photo's time carries no zone of its own, so
    // none is shown unless the file says which.
    QString zoneText() const { return zoneText_; }
    void setZoneText(const QString& zone);
    bool isEmpty() const;
    // Ends what is being typed as Tab does: taken whole, or refused with a
    // beep and the earlier value back. A command that reads the value while
    // the field keeps the focus (a shortcut, a menu) calls this first, so it
    // never reads a mix of typed and earlier parts.
    void commitTyping();
    // Puts text in as if typed in one go and ended there: it goes through the
    // same checks, and a date or time the field cannot take (31 April, hour
    // 25) is refused whole with a beep, the earlier value kept.
    void pasteText(const QString& text);
    // Where the middle button's paste takes its text: X11's selection, on a
    // platform that keeps one; none elsewhere. A test gives a selection of
    // its own (nullptr puts the platform's back).
    using SelectionReader = std::optional<QString> (*)();
    static void setSelectionReader(SelectionReader reader);

    // Room for the clear button beside the text.
    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;

signals:
    void userDateChanged();

protected:
    void keyPressEvent(QKeyEvent* event) override;
    bool focusNextPrevChild(bool next) override;
    void focusOutEvent(QFocusEvent* event) override;
    void stepBy(int steps) override;
    StepEnabled stepEnabled() const override;
    bool eventFilter(QObject* watched, QEvent* event) override;
    void contextMenuEvent(QContextMenuEvent* event) override;

private:
    void applyElements();
    void refreshLook();
    void clearByUser();
    // Runs a change the user made: they hear of it once, when it is done,
    // if the value changed.
    void changeAsUser(const std::function<void()>& change);
    void typeKey(QKeyEvent* event);
    // The first key typed into an empty field: the field holds a date to
    // type over (now), its first part selected; it stands for no value
    // until every part was typed.
    void startTypingIntoEmpty();
    void startTyping();
    void typeCharacter(QChar character);
    void takeBackTyped();
    // Shows what is typed: the parts finished as typed, the part being
    // typed with its digits so far, the next part selected.
    void showTyped();
    // Typing ends (another key, a click, a step, the end of editing): what
    // was typed is taken whole, or refused whole.
    void endTypedRun();
    void refuseTyped();
    void dropTyped();
    // The value typed over with the typed parts put in; `finished` puts in
    // the part still being typed too. Invalid when finished parts make no
    // date.
    QDateTime typedValue(bool finished) const;
    // The day and month typed (and the year, if typed) can make a date.
    bool typedPartsMakeADate() const;
    QList<TFDateTyping::Part> partShapes() const;
    bool isTypedWhole(bool countingOpenPart) const;
    // Editing ended on a date typed only in part: the field is empty again.
    void endTyping();
    void endTypingByCalendar();
    void forgetTyping();
    void emptySilently();
    // Where the parts end in the text (a zone may follow).
    int endOfParts() const;
    void beep() const;
    static std::optional<QString> middleButtonText();
    QSize withClearButton(QSize size) const;

    Elements elements_;
    bool calendarPopover_ = true;
    bool settingValue_ = false;
    // A change of the user's is under way: it tells of itself once, when done.
    bool changingAsUser_ = false;
    // The field was empty when the user began typing into it.
    bool typingIntoEmpty_ = false;
    // The parts typed or stepped since the field was empty.
    Sections typedSections_;
    // What is being typed, the value it is typed over, and whether the field
    // was empty before.
    std::optional<TFDateTyping> typing_;
    QDateTime typedOver_;
    bool typedOverEmpty_ = false;
    // A part was refused: the rest of what is typed is dropped until the
    // user moves on.
    bool typingRefused_ = false;
    QColor textColorWhenNil_ = QColor(150, 150, 150);
    QString zoneText_;
    QAction* clearAction_ = nullptr;
};
