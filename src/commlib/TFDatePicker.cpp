#include "commlib/TFDatePicker.h"

#include <QAction>
#include <QCalendarWidget>
#include <QClipboard>
#include <QContextMenuEvent>
#include <QGuiApplication>
#include <QLineEdit>
#include <QMenu>
#include <QPointer>
#include <QStyle>
#include <QTimeZone>

namespace {

// The minimum of the field stands for "no date"; nothing a camera writes is
// that old.
const QDateTime noDateMarker(QDate(100, 1, 1), QTime(0, 0), QTimeZone::utc());
const QDateTime latestDate(QDate(9999, 12, 31), QTime(23, 59, 59), QTimeZone::utc());

TFDatePicker::SelectionReader selectionReader = nullptr;

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

void TFDatePicker::contextMenuEvent(QContextMenuEvent* event)
{
    // The line edit's menu with the spin box's steps, as the spin box builds
    // it, but its Paste pastes as typed.
    const QPointer<QMenu> menu = lineEdit()->createStandardContextMenu();
    if (!menu) {
        return;
    }
    for (QAction* item : menu->actions()) {
        // Qt connects the item by the slot's name; a later Qt may connect it
        // by the slot's address.
        if (disconnect(item, SIGNAL(triggered()), lineEdit(), SLOT(paste()))
            || disconnect(item, &QAction::triggered, lineEdit(), &QLineEdit::paste)) {
            connect(item, &QAction::triggered, this, [this] { pasteText(QGuiApplication::clipboard()->text()); });
        }
    }
    menu->addSeparator();
    QAction* up = menu->addAction(tr("&Step up"));
    up->setEnabled(stepEnabled() & StepUpEnabled);
    QAction* down = menu->addAction(tr("Step &down"));
    down->setEnabled(stepEnabled() & StepDownEnabled);
    const QPoint at = event->reason() == QContextMenuEvent::Mouse ? event->globalPos() : mapToGlobal(rect().center());
    const QPointer<TFDatePicker> self(this);
    const QAction* chosen = menu->exec(at);
    delete menu;
    if (self && chosen == up) {
        stepBy(1);
    } else if (self && chosen == down) {
        stepBy(-1);
    }
    event->accept();
}

void TFDatePicker::setSelectionReader(SelectionReader reader)
{
    selectionReader = reader;
}

std::optional<QString> TFDatePicker::middleButtonText()
{
    if (selectionReader) {
        return selectionReader();
    }
    QClipboard* clipboard = QGuiApplication::clipboard();
    if (!clipboard->supportsSelection()) {
        return std::nullopt;
    }
    return clipboard->text(QClipboard::Selection);
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
    // Text pasted with the middle button (X11's selection) goes through the
    // checks of typing, as Ctrl+V does; the line edit would put it in
    // unchecked. (The spin box takes no drops.)
    if (watched == lineEdit() && event->type() == QEvent::MouseButtonRelease
        && static_cast<QMouseEvent*>(event)->button() == Qt::MiddleButton) {
        if (const std::optional<QString> selected = middleButtonText()) {
            pasteText(*selected);
            return true;
        }
    }
    // An empty field opens its calendar on this month, not on the marker's.
    if (event->type() == QEvent::Show && calendarPopup() && watched == calendarWidget() && isEmpty()) {
        const QDate today = QDate::currentDate();
        calendarWidget()->setCurrentPage(today.year(), today.month());
    }
    return QDateTimeEdit::eventFilter(watched, event);
}
