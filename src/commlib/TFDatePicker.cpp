#include "commlib/TFDatePicker.h"

#include <QAction>
#include <QCalendarWidget>
#include <QLineEdit>
#include <QStyle>
#include <QTimeZone>
#include <QWheelEvent>

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
    // Not the spin box's wheel focus: a wheel turn over a field the user has
    // not chosen scrolls the form and leaves the field as it is.
    setFocusPolicy(Qt::StrongFocus);
    lineEdit()->installEventFilter(this);
    clearAction_
        = lineEdit()->addAction(style()->standardIcon(QStyle::SP_LineEditClearButton), QLineEdit::TrailingPosition);
    clearAction_->setToolTip(QStringLiteral("Clear"));
    connect(clearAction_, &QAction::triggered, this, &TFDatePicker::clearByUser);
    connect(this, &QDateTimeEdit::dateTimeChanged, this, [this] {
        refreshLook();
        if (!settingValue_ && !changingAsUser_) {
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
    return isEmpty() || (typingIntoEmpty_ && !isTypedWhole(false)) ? QDateTime() : dateTime();
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

void TFDatePicker::emptySilently()
{
    forgetTyping();
    settingValue_ = true;
    setDateTime(noDateMarker);
    settingValue_ = false;
    refreshLook();
}

int TFDatePicker::endOfParts() const
{
    return int((elements_ == Elements::Date ? datePattern() : timePattern()).size());
}

void TFDatePicker::wheelEvent(QWheelEvent* event)
{
    if (!hasFocus()) {
        event->ignore();
        return;
    }
    QDateTimeEdit::wheelEvent(event);
}

void TFDatePicker::stepBy(int steps)
{
    endTypedRun();
    // Nothing to step from: a value comes from typing or the calendar only.
    if (isEmpty()) {
        return;
    }
    // Stepping a part of a date being typed chooses that part.
    const Section stepped = currentSection();
    QDateTimeEdit::stepBy(steps);
    if (typingIntoEmpty_) {
        typedSections_.setFlag(stepped);
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
    // A click in the field places the cursor anew: typing before it ends.
    if (watched == lineEdit() && event->type() == QEvent::MouseButtonPress) {
        changeAsUser([this] {
            endTypedRun();
            typingRefused_ = false;
        });
    }
    // An empty field opens its calendar on this month, not on the marker's.
    if (event->type() == QEvent::Show && calendarPopup() && watched == calendarWidget() && isEmpty()) {
        const QDate today = QDate::currentDate();
        calendarWidget()->setCurrentPage(today.year(), today.month());
    }
    return QDateTimeEdit::eventFilter(watched, event);
}
