#pragma once

#include <QColor>
#include <QDateTimeEdit>
#include <QMap>

class QAction;

// A date or time field that may hold no value. Empty, it shows its pattern
// in the colour set for that state (grey by default); the clear button or the
// Delete key empties it. An empty field gets a value only from a whole date
// (or time) typed into it, or a day picked in its calendar: arrows and wheel
// leave it empty, a part typed and deleted again empties it, and editing that
// ends before every part was typed leaves it empty.
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

    // Room for the clear button beside the text.
    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;

signals:
    void userDateChanged();

protected:
    void keyPressEvent(QKeyEvent* event) override;
    void stepBy(int steps) override;
    StepEnabled stepEnabled() const override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void applyElements();
    void refreshLook();
    void clearByUser();
    void typeKey(QKeyEvent* event);
    // The first key typed into an empty field: the field holds a date to
    // type over (now), its first part selected; it stands for no value
    // until every part was typed.
    void startTypingIntoEmpty();
    // Counts the digits typed into an empty field, and those deleted again:
    // with none left (or none typed yet) the field is empty again.
    void countTypedKey(Section section, bool digit, bool deleted);
    bool isTypedWhole() const;
    // The number a part shows now; -1 while it shows none.
    int shownNumberOf(Section section) const;
    // Editing ended on a date typed only in part: the field is empty again.
    void endTyping();
    void endTypingByCalendar();
    void forgetTyping();
    void emptySilently();
    QSize withClearButton(QSize size) const;

    Elements elements_;
    bool calendarPopover_ = true;
    bool settingValue_ = false;
    // A key is being handled: it tells of its change once, when done.
    bool handlingKey_ = false;
    // The field was empty when the user began typing into it.
    bool typingIntoEmpty_ = false;
    Sections typedSections_;
    // Each typed part's number as the user's keys left it. The field refills a
    // part that cannot stand as typed (a year before any date it takes) from
    // the date it started from, the clock's: such a part was not typed.
    QMap<Section, int> typedNumbers_;
    int typedDigits_ = 0;
    // A part just filled moved the cursor on by itself: the separator the
    // user types next is the one already passed.
    bool separatorPassed_ = false;
    QColor textColorWhenNil_ = QColor(150, 150, 150);
    QString zoneText_;
    QAction* clearAction_ = nullptr;
};
