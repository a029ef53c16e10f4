#include "commlib/TFDatePicker.h"

#include "foundation/DateServices.h"

#include <QAction>
#include <QCalendarWidget>
#include <QKeyEvent>
#include <QLineEdit>
#include <QStyle>
#include <QTimeZone>

namespace {

// The minimum of the field stands for "no date"; nothing a camera writes is
// that old.
const QDateTime noDateMarker(QDate(100, 1, 1), QTime(0, 0), QTimeZone::utc());
const QDateTime latestDate(QDate(9999, 12, 31), QTime(23, 59, 59), QTimeZone::utc());

QString datePattern()
{
    return QStringLiteral("yyyy-MM-dd");
}

QString timePattern()
{
    return QStringLiteral("HH:mm:ss");
}

// A zone's text as a literal of the display format.
QString zoneLiteral(QString zone)
{
    zone.remove(QLatin1Char('\''));
    return zone.isEmpty() ? QString() : QStringLiteral(" '%1'").arg(zone);
}

} // namespace

TFDatePicker::TFDatePicker(Elements elements, QWidget* parent)
    : QDateTimeEdit(parent)
    , elements_(elements)
{
    setTimeSpec(Qt::UTC);
    clearAction_
        = lineEdit()->addAction(style()->standardIcon(QStyle::SP_LineEditClearButton), QLineEdit::TrailingPosition);
    clearAction_->setToolTip(QStringLiteral("Clear"));
    connect(clearAction_, &QAction::triggered, this, &TFDatePicker::clearByUser);
    connect(this, &QDateTimeEdit::dateTimeChanged, this, [this] {
        refreshLook();
        if (!settingValue_ && !handlingKey_) {
            emit userDateChanged();
        }
    });
    // Connected before any caller's: the value is settled when they hear of the end.
    connect(this, &QAbstractSpinBox::editingFinished, this, &TFDatePicker::endTyping);
    applyElements();
    setDateValue(QDateTime());
}

void TFDatePicker::setDatePickerElements(Elements elements)
{
    elements_ = elements;
    applyElements();
}

void TFDatePicker::setCalendarPopover(bool on)
{
    calendarPopover_ = on;
    applyElements();
}

void TFDatePicker::applyElements()
{
    const QDateTime kept = dateTime();
    const bool date = elements_ == Elements::Date;
    settingValue_ = true;
    setDisplayFormat(date ? datePattern() : timePattern() + zoneLiteral(zoneText_));
    setSpecialValueText(date ? datePattern() : timePattern());
    setCalendarPopup(date && calendarPopover_);
    // A format without date fields pins the range to one day; the marker must
    // stay reachable whatever the format.
    setDateTimeRange(noDateMarker, latestDate);
    setDateTime(kept);
    settingValue_ = false;
    if (calendarPopup()) {
        calendarWidget()->installEventFilter(this);
        connect(calendarWidget(), &QCalendarWidget::clicked, this, &TFDatePicker::endTypingByCalendar,
            Qt::UniqueConnection);
        connect(calendarWidget(), &QCalendarWidget::activated, this, &TFDatePicker::endTypingByCalendar,
            Qt::UniqueConnection);
    }
    refreshLook();
}

void TFDatePicker::setZoneText(const QString& zone)
{
    if (zone == zoneText_) {
        return;
    }
    zoneText_ = zone;
    applyElements();
}

void TFDatePicker::setTextColorWhenNil(const QColor& colour)
{
    textColorWhenNil_ = colour;
    refreshLook();
}

QDateTime TFDatePicker::dateValue() const
{
    return isEmpty() || (typingIntoEmpty_ && !isTypedWhole()) ? QDateTime() : dateTime();
}

void TFDatePicker::setDateValue(const QDateTime& value)
{
    forgetTyping();
    settingValue_ = true;
    if (value.isValid()) {
        // Keep the wall clock as given, whatever zone the value came in.
        setDateTime(QDateTime(value.date(), value.time(), QTimeZone::utc()));
    } else {
        setDateTime(noDateMarker);
    }
    settingValue_ = false;
    refreshLook();
}

bool TFDatePicker::isEmpty() const
{
    return dateTime() == noDateMarker;
}

QSize TFDatePicker::withClearButton(QSize size) const
{
    size.rwidth() += style()->pixelMetric(QStyle::PM_SmallIconSize, nullptr, this) + 8;
    return size;
}

QSize TFDatePicker::sizeHint() const
{
    return withClearButton(QDateTimeEdit::sizeHint());
}

QSize TFDatePicker::minimumSizeHint() const
{
    return withClearButton(QDateTimeEdit::minimumSizeHint());
}

void TFDatePicker::refreshLook()
{
    QPalette shade = palette();
    if (isEmpty()) {
        shade.setColor(QPalette::Text, textColorWhenNil_);
    }
    lineEdit()->setPalette(shade);
    clearAction_->setVisible(!isEmpty() && isEnabled());
}

void TFDatePicker::clearByUser()
{
    forgetTyping();
    if (!isEmpty()) {
        setDateTime(noDateMarker);
    }
}

void TFDatePicker::keyPressEvent(QKeyEvent* event)
{
    const QDateTime before = dateValue();
    handlingKey_ = true;
    typeKey(event);
    handlingKey_ = false;
    if (dateValue() != before) {
        emit userDateChanged();
    }
}

void TFDatePicker::typeKey(QKeyEvent* event)
{
    if (event->key() == Qt::Key_Delete && event->modifiers() == Qt::NoModifier) {
        clearByUser();
        return;
    }
    const QString typed = event->text();
    const bool printable = !typed.isEmpty() && typed.front().isPrint();
    const bool digit = printable && typed.front().isDigit();
    // An empty field shows its pattern, which the user types over.
    if (printable && isEmpty()) {
        startTypingIntoEmpty();
    }
    if (separatorPassed_ && printable && !digit) {
        separatorPassed_ = false;
        event->accept();
        return;
    }
    const int section = currentSectionIndex();
    const Section typedInto = currentSection();
    QDateTimeEdit::keyPressEvent(event);
    separatorPassed_ = digit && currentSectionIndex() > section;
    if (typingIntoEmpty_) {
        const bool deleted = event->key() == Qt::Key_Backspace;
        if (digit || deleted) {
            typedNumbers_.insert(typedInto, shownNumberOf(typedInto));
        }
        countTypedKey(typedInto, digit, deleted);
    }
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

void TFDatePicker::countTypedKey(Section section, bool digit, bool deleted)
{
    if (digit) {
        ++typedDigits_;
        typedSections_.setFlag(section);
    } else if (deleted && typedDigits_ > 0) {
        --typedDigits_;
    }
    if (typedDigits_ == 0) {
        emptySilently();
    }
}

bool TFDatePicker::isTypedWhole() const
{
    const Sections shown = displayedSections() & (DateSections_Mask | TimeSections_Mask);
    if ((typedSections_ & shown) != shown) {
        return false;
    }
    for (auto typed = typedNumbers_.cbegin(); typed != typedNumbers_.cend(); ++typed) {
        if ((shown & typed.key()) && shownNumberOf(typed.key()) != typed.value()) {
            return false;
        }
    }
    return true;
}

int TFDatePicker::shownNumberOf(Section section) const
{
    bool number = false;
    const int value = sectionText(section).toInt(&number);
    return number ? value : -1;
}

void TFDatePicker::endTyping()
{
    if (typingIntoEmpty_ && !isTypedWhole()) {
        emptySilently();
    }
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
    typedNumbers_.clear();
    typedDigits_ = 0;
}

void TFDatePicker::emptySilently()
{
    forgetTyping();
    settingValue_ = true;
    setDateTime(noDateMarker);
    settingValue_ = false;
    refreshLook();
}

void TFDatePicker::stepBy(int steps)
{
    // Nothing to step from: a value comes from typing or the calendar only.
    if (isEmpty()) {
        return;
    }
    // Stepping a part of a date being typed chooses that part.
    const Section stepped = currentSection();
    QDateTimeEdit::stepBy(steps);
    if (typingIntoEmpty_) {
        typedSections_.setFlag(stepped);
        typedNumbers_.insert(stepped, shownNumberOf(stepped));
    }
}

QAbstractSpinBox::StepEnabled TFDatePicker::stepEnabled() const
{
    if (isEmpty()) {
        return StepNone;
    }
    return QDateTimeEdit::stepEnabled();
}

bool TFDatePicker::eventFilter(QObject* watched, QEvent* event)
{
    // An empty field opens its calendar on this month, not on the marker's.
    if (event->type() == QEvent::Show && calendarPopup() && watched == calendarWidget() && isEmpty()) {
        const QDate today = QDate::currentDate();
        calendarWidget()->setCurrentPage(today.year(), today.month());
    }
    return QDateTimeEdit::eventFilter(watched, event);
}
