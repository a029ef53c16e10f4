#include "commlib/TFDatePicker.h"
#include "commlib/VXWheelFocusRule.h"

#include "foundation/UiServices.h"
#include "support/FakeUiServices.h"
#include "support/Gallery.h"
#include "support/KeyboardTyping.h"
#include "support/MouseWheel.h"
#include "support/Patience.h"

#include <QApplication>
#include <QCalendarWidget>
#include <QClipboard>
#include <QContextMenuEvent>
#include <QFontMetrics>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QLineEdit>
#include <QMenu>
#include <QSignalSpy>
#include <QTest>
#include <QTimeZone>
#include <QTimer>
#include <QWheelEvent>

#include <gtest/gtest.h>

#include <algorithm>
#include <ctime>

namespace {

QDateTime wallClock(int year, int month, int day, int hour = 0, int minute = 0, int second = 0)
{
    return QDateTime(QDate(year, month, day), QTime(hour, minute, second), QTimeZone::utc());
}

// Runs the test body with the local zone set to `zone`, then puts it back.
class LocalZone {
public:
    explicit LocalZone(const char* zone)
        : old_(qgetenv("TZ"))
        , had_(qEnvironmentVariableIsSet("TZ"))
    {
        qputenv("TZ", zone);
        tzset();
    }
    ~LocalZone()
    {
        if (had_) {
            qputenv("TZ", old_);
        } else {
            qunsetenv("TZ");
        }
        tzset();
    }

private:
    QByteArray old_;
    bool had_;
};

// Beeps are counted by a fake for the test's life.
class CountedBeeps {
public:
    CountedBeeps() { UiServices::setShared(&fake_); }
    ~CountedBeeps() { UiServices::setShared(nullptr); }
    int count() const { return fake_.beeps(); }

private:
    FakeUiServices fake_;
};

// A picker beside another field in a window, as in a form; it counts the
// wheel turns that reach the window.
class Form : public QWidget {
public:
    explicit Form(TFDatePicker::Elements elements)
        : picker(new TFDatePicker(elements, this))
        , other(new QLineEdit(this))
    {
        auto* layout = new QHBoxLayout(this);
        layout->addWidget(picker);
        layout->addWidget(other);
        show();
        activateWindow();
        EXPECT_TRUE(QTest::qWaitForWindowActive(this, kPatientMs));
    }
    // The user clicks into the picker's text: on the character `at`, or
    // beside the text when `at` is -1.
    void clickInto(int at)
    {
        QLineEdit* edit = picker->findChild<QLineEdit*>();
        const QFontMetrics metrics(edit->font());
        const int x = at < 0
            ? edit->width() - 40
            : 3 + metrics.horizontalAdvance(edit->text().left(at)) + metrics.horizontalAdvance('0') / 2;
        QTest::mouseClick(edit, Qt::LeftButton, Qt::NoModifier, QPoint(x, edit->height() / 2));
    }

    TFDatePicker* picker;
    QLineEdit* other;
    int wheelTurns = 0;

protected:
    void wheelEvent(QWheelEvent* event) override
    {
        ++wheelTurns;
        event->accept();
    }
};

// X11's selection, which the offscreen platform does not keep, as the test
// sets it, for the test's life: what the middle button pastes.
struct TestSelection {
    TestSelection()
    {
        TFDatePicker::setSelectionReader([] { return std::optional<QString>(text); });
    }
    ~TestSelection() { TFDatePicker::setSelectionReader(nullptr); }
    static inline QString text;
};

// Puts the cursor where a user would before typing: a click on a part, or
// into an empty field; Ctrl+A; Home; End.
void placeCursor(Form& form, const char* how, int clickedCharacter)
{
    form.clickInto(clickedCharacter);
    ASSERT_TRUE(form.picker->hasFocus()) << how;
    if (QByteArray(how) == "Ctrl+A") {
        QTest::keyClick(form.picker, Qt::Key_A, Qt::ControlModifier);
    } else if (QByteArray(how) == "Home") {
        QTest::keyClick(form.picker, Qt::Key_Home);
    } else if (QByteArray(how) == "End") {
        QTest::keyClick(form.picker, Qt::Key_End);
    }
}

} // namespace

TEST(TFDatePicker, EmptyMeansNoDateAndProgrammaticSetsAreSilent)
{
    for (const auto elements : {TFDatePicker::Elements::Date, TFDatePicker::Elements::Time}) {
        TFDatePicker picker(elements);
        QSignalSpy user(&picker, &TFDatePicker::userDateChanged);
        EXPECT_TRUE(picker.isEmpty());
        EXPECT_FALSE(picker.dateValue().isValid());

        picker.setDateValue(wallClock(2023, 7, 14, 0, 0, 0));
        EXPECT_EQ(picker.dateValue(), wallClock(2023, 7, 14)) << "midnight is a time, not the empty state";
        picker.setDateValue(QDateTime());
        EXPECT_TRUE(picker.isEmpty());
        EXPECT_EQ(user.count(), 0);
    }
}

TEST(TFDatePicker, ClearDeleteAndACalendarPickEachTellTheUserChangeOnce)
{
    TFDatePicker picker(TFDatePicker::Elements::Date);
    picker.show();
    QSignalSpy user(&picker, &TFDatePicker::userDateChanged);

    emit picker.calendarWidget()->clicked(QDate(2024, 3, 31));
    EXPECT_EQ(user.count(), 1);
    EXPECT_EQ(picker.dateValue().date(), QDate(2024, 3, 31));

    QLineEdit* edit = picker.findChild<QLineEdit*>();
    ASSERT_NE(edit, nullptr);
    ASSERT_EQ(edit->actions().size(), 1);
    edit->actions().first()->trigger();
    EXPECT_EQ(user.count(), 2);
    EXPECT_TRUE(picker.isEmpty());

    picker.setDateValue(wallClock(2020, 1, 2));
    QTest::keyClick(&picker, Qt::Key_Delete);
    EXPECT_EQ(user.count(), 3);
    EXPECT_TRUE(picker.isEmpty());
    QTest::keyClick(&picker, Qt::Key_Delete);
    EXPECT_EQ(user.count(), 3) << "emptying an empty picker changes nothing";
}

// An empty picker gets a value from a whole date typed into it, and from
// nothing less: not from an arrow or the wheel, not from a part of a date,
// and a part typed and deleted again leaves it empty. The user hears of a
// change only when there is a value to hear of.
TEST(TFDatePicker, AnEmptyPickerTakesOnlyAWholeTypedDate)
{
    struct Case {
        TFDatePicker::Elements elements;
        const char* part;
        const char* whole;
    };
    const Case cases[] = {
        {TFDatePicker::Elements::Date, "2024-03", "2024-03-28"},
        {TFDatePicker::Elements::Time, "15:03", "15:03:47"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.whole);
        TFDatePicker picker(c.elements);
        QLineEdit elsewhere;
        picker.show();
        elsewhere.show();
        QSignalSpy user(&picker, &TFDatePicker::userDateChanged);
        QSignalSpy ended(&picker, &QAbstractSpinBox::editingFinished);
        picker.setFocus(Qt::MouseFocusReason);
        QTest::keyClick(&picker, Qt::Key_Up);
        QTest::keyClick(&picker, Qt::Key_PageDown);
        QWheelEvent wheel(QPointF(5, 5), picker.mapToGlobal(QPointF(5, 5)), QPoint(), QPoint(0, 120), Qt::NoButton,
            Qt::NoModifier, Qt::NoScrollPhase, false);
        QCoreApplication::sendEvent(&picker, &wheel);
        EXPECT_TRUE(picker.isEmpty());

        QTest::keyClick(&picker, Qt::Key_1);
        EXPECT_FALSE(picker.dateValue().isValid());
        QTest::keyClick(&picker, Qt::Key_Backspace);
        EXPECT_TRUE(picker.isEmpty());
        QTest::keyClick(&picker, Qt::Key_Minus);
        EXPECT_TRUE(picker.isEmpty()) << "a separator is no date";

        QTest::keyClicks(&picker, QLatin1String(c.part));
        EXPECT_FALSE(picker.dateValue().isValid());
        QTest::keyClick(&picker, Qt::Key_Return);
        EXPECT_TRUE(picker.isEmpty()) << "the part typed is dropped when editing ends";
        EXPECT_EQ(user.count(), 0);
        EXPECT_GE(ended.count(), 1);

        QTest::keyClicks(&picker, QLatin1String(c.whole));
        EXPECT_TRUE(picker.dateValue().isValid());
        EXPECT_GE(user.count(), 1);
        elsewhere.setFocus(Qt::MouseFocusReason);
        EXPECT_EQ(picker.findChild<QLineEdit*>()->text(), QLatin1String(c.whole));
    }
}

// A part typed short and passed with its separator is refilled by the field
// itself when what was typed cannot stand (year 1 lies before any date the
// field takes): the refilled part is the clock's, not the user's, so the date
// is not taken. A short part that stands as typed (month 5) is the user's.
TEST(TFDatePicker, APartTheFieldRefillsItselfIsNotTyped)
{
    struct Case {
        const char* typed;
        QDate expected; // invalid: the field ends empty
    };
    const Case cases[] = {
        {"1-05-07", QDate()},
        {"26-05-07", QDate()},
        {"2024-5-07", QDate(2024, 5, 7)},
        {"2024-05-7", QDate(2024, 5, 7)},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.typed);
        TFDatePicker picker(TFDatePicker::Elements::Date);
        picker.show();
        picker.setFocus(Qt::MouseFocusReason);
        QSignalSpy user(&picker, &TFDatePicker::userDateChanged);
        QTest::keyClicks(&picker, QLatin1String(c.typed));
        QTest::keyClick(&picker, Qt::Key_Return);
        EXPECT_EQ(picker.dateValue().date(), c.expected);
        EXPECT_EQ(picker.isEmpty(), !c.expected.isValid());
        EXPECT_EQ(user.count() > 0, c.expected.isValid());
    }
}

// A date or time typed whole, separators included, is taken the same
// whether the field was empty from the start or emptied by the clear button
// or by Delete.
TEST(TFDatePicker, AnEmptiedFieldTakesATypedDateAsAnEmptyOneDoes)
{
    struct Case {
        TFDatePicker::Elements elements;
        const char* typed;
        QDateTime expected;
    };
    const Case cases[] = {
        {TFDatePicker::Elements::Date, "2024-03-28", wallClock(2024, 3, 28)},
        {TFDatePicker::Elements::Time, "15:03:47", wallClock(2000, 1, 1, 15, 3, 47)},
    };
    for (const Case& c : cases) {
        for (const char* how : {"empty", "clear button", "Delete"}) {
            SCOPED_TRACE(std::string(c.typed) + ", " + how);
            TFDatePicker picker(c.elements);
            picker.show();
            picker.setFocus(Qt::MouseFocusReason);
            QLineEdit* edit = picker.findChild<QLineEdit*>();
            ASSERT_NE(edit, nullptr);
            if (QByteArray(how) != "empty") {
                picker.setDateValue(wallClock(2014, 9, 1, 8, 9, 10));
                if (QByteArray(how) == "Delete") {
                    QTest::keyClick(&picker, Qt::Key_Delete);
                } else {
                    edit->actions().first()->trigger();
                }
                ASSERT_TRUE(picker.isEmpty());
            }
            QTest::keyClicks(&picker, QLatin1String(c.typed));
            EXPECT_EQ(edit->text(), QLatin1String(c.typed));
            if (c.elements == TFDatePicker::Elements::Date) {
                EXPECT_EQ(picker.dateValue().date(), c.expected.date());
            } else {
                EXPECT_EQ(picker.dateValue().time(), c.expected.time());
            }
        }
    }
}

// A date or time typed whole, with its separators (":" typed with Shift, as
// a keyboard sends it) or in digits only, is taken exactly as typed,
// wherever the cursor stood: "10:11:12" typed had given 10:18:11 over an
// empty Time, 00:11:12 after Ctrl+A; after Home, "10:30:00" over 15:21:35
// gave 15:30:00 and "2024-05-07" over 2013-05-10 gave 2013-05-07.
TEST(TFDatePicker, ADateOrTimeTypedWholeIsTakenExactlyWhereverTheCursorStood)
{
    using E = TFDatePicker::Elements;
    struct Case {
        E elements;
        QDateTime over; // invalid: the picker is empty
        const char* how;
        int clicked; // the character clicked on
        const char* typed;
        const char* shown;
    };
    const QDateTime time = wallClock(2013, 5, 10, 15, 21, 35);
    const Case cases[] = {
        {E::Time, QDateTime(), "click", -1, "10:11:12", "10:11:12"},
        {E::Time, wallClock(2013, 5, 10, 0, 51, 54), "Ctrl+A", 4, "10:11:12", "10:11:12"},
        {E::Time, time, "Home", 4, "10:30:00", "10:30:00"},
        {E::Time, time, "click", 4, "10:11:12", "10:11:12"},
        {E::Time, time, "click", 7, "10:11:12", "10:11:12"},
        {E::Time, time, "End", 0, "101112", "10:11:12"},
        {E::Time, time, "click", 0, "9:05:07", "09:05:07"},
        {E::Date, time, "Home", 5, "2024-05-07", "2024-05-07"},
        {E::Date, time, "click", 6, "2024-05-07", "2024-05-07"},
        {E::Date, time, "click", 9, "20240507", "2024-05-07"},
        {E::Date, wallClock(2013, 1, 31), "Ctrl+A", 0, "2024-02-29", "2024-02-29"},
        {E::Date, QDateTime(), "click", -1, "2024-5-7", "2024-05-07"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.typed) + " after " + c.how + " at " + std::to_string(c.clicked));
        CountedBeeps beeps;
        Form form(c.elements);
        form.picker->setDateValue(c.over);
        QSignalSpy user(form.picker, &TFDatePicker::userDateChanged);
        placeCursor(form, c.how, c.clicked);
        KeyboardTyping::type(form.picker, QLatin1String(c.typed));
        QTest::keyClick(form.picker, Qt::Key_Tab);
        EXPECT_FALSE(form.picker->hasFocus()) << "Tab after the last part leaves the field";
        EXPECT_EQ(form.picker->text(), QLatin1String(c.shown));
        const QDateTime value = form.picker->dateValue();
        EXPECT_EQ(c.elements == E::Date ? value.toString("yyyy-MM-dd") : value.toString("HH:mm:ss"), c.shown);
        if (c.over.isValid()) {
            // The other half of the value is the one typed over.
            if (c.elements == E::Date) {
                EXPECT_EQ(value.time(), c.over.time());
            } else {
                EXPECT_EQ(value.date(), c.over.date());
            }
        }
        EXPECT_GE(user.count(), 1);
        EXPECT_EQ(beeps.count(), 0);
    }
}

// A part the picker cannot take refuses what was typed whole: the picker is
// back on its earlier value with a beep, never a mix of typed and earlier
// parts, and the keys typed after it are dropped until the user moves on.
TEST(TFDatePicker, APartThePickerCannotTakeLeavesItsEarlierValueWhole)
{
    using E = TFDatePicker::Elements;
    struct Case {
        E elements;
        QDateTime over;
        const char* how;
        const char* typed;
    };
    const QDateTime time = wallClock(2013, 5, 10, 15, 21, 35);
    const Case cases[] = {
        {E::Time, time, "Home", "24"},
        {E::Time, time, "Ctrl+A", "24:30:00"},
        {E::Time, time, "click", "10:61:00"},
        {E::Time, QDateTime(), "click", "25:00:00"},
        {E::Date, time, "Home", "2024-13-07"},
        {E::Date, time, "Ctrl+A", "2024-05-32"},
        {E::Date, time, "Home", "2023-02-29"},
        {E::Date, time, "Home", "2024-04-31"},
        {E::Date, time, "End", "2024-00-01"},
        {E::Date, QDateTime(), "click", "2024-13-07"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.typed) + " after " + c.how);
        CountedBeeps beeps;
        Form form(c.elements);
        form.picker->setDateValue(c.over);
        const QString before = form.picker->text();
        QSignalSpy user(form.picker, &TFDatePicker::userDateChanged);
        placeCursor(form, c.how, 1);
        KeyboardTyping::type(form.picker, QLatin1String(c.typed));
        EXPECT_GE(beeps.count(), 1);
        EXPECT_EQ(form.picker->text(), before) << "the field is back at once";
        form.other->setFocus(Qt::TabFocusReason);
        EXPECT_EQ(form.picker->text(), before);
        EXPECT_EQ(form.picker->dateValue(), c.over.isValid() ? c.over : QDateTime());
        if (!c.over.isValid()) {
            EXPECT_EQ(user.count(), 0) << "an empty picker tells of no change";
        }
    }

    // After the refusal and a move (Home), a whole time typed is taken.
    CountedBeeps beeps;
    Form form(E::Time);
    form.picker->setDateValue(time);
    placeCursor(form, "Home", 0);
    KeyboardTyping::type(form.picker, "24:30");
    EXPECT_EQ(form.picker->text(), "15:21:35");
    QTest::keyClick(form.picker, Qt::Key_Home);
    KeyboardTyping::type(form.picker, "23:30:01");
    EXPECT_EQ(form.picker->dateValue(), wallClock(2013, 5, 10, 23, 30, 1));
}

// Text pasted goes through the checks of typing, from Ctrl+V, from the
// context menu's Paste and from X11's selection by the middle button: what
// the picker cannot take (31 April, 29 February of a common year, hour 25, a
// letter, more parts than it has) is refused whole with a beep and the
// earlier value kept, never moved to a day it can take; a value it can take
// is taken as typed, into an empty picker too.
TEST(TFDatePicker, APasteGoesThroughTheChecksOfTyping)
{
    const TestSelection selection;
    enum class Way { CtrlV, Menu, MiddleButton };
    const char* const wayNames[] = {" with Ctrl+V", " from the menu", " by the middle button"};
    using E = TFDatePicker::Elements;
    struct Case {
        E elements;
        QDateTime over;
        const char* pasted;
        const char* taken; // null: refused
    };
    const QDateTime time = wallClock(2013, 5, 10, 15, 21, 35);
    const Case cases[] = {
        {E::Date, time, "2019-04-31", nullptr},
        {E::Date, time, "2023-02-29", nullptr},
        {E::Date, QDateTime(), "2019-04-31", nullptr},
        {E::Date, time, "2019-04-30 10:00", nullptr},
        {E::Date, time, " 2019-04-30\n", "2019-04-30"},
        {E::Date, QDateTime(), "2024-02-29", "2024-02-29"},
        {E::Time, time, "25:00:00", nullptr},
        {E::Time, time, "10:11:1x", nullptr},
        {E::Time, QDateTime(), "10:11:12", "10:11:12"},
    };
    for (const Way way : {Way::CtrlV, Way::Menu, Way::MiddleButton}) {
        for (const Case& c : cases) {
            SCOPED_TRACE(std::string(c.pasted) + wayNames[int(way)]);
            CountedBeeps beeps;
            Form form(c.elements);
            form.picker->setDateValue(c.over);
            const QString before = form.picker->text();
            QSignalSpy user(form.picker, &TFDatePicker::userDateChanged);
            TestSelection::text = QLatin1String(c.pasted);
            // The clipboard holds other text: the middle button pastes the selection.
            QGuiApplication::clipboard()->setText(
                way == Way::MiddleButton ? QStringLiteral("1999-01-01") : QLatin1String(c.pasted));
            placeCursor(form, "Ctrl+A", 1);
            QLineEdit* edit = form.picker->findChild<QLineEdit*>();
            if (way == Way::MiddleButton) {
                QTest::mouseClick(
                    edit, Qt::MiddleButton, Qt::NoModifier, QPoint(edit->width() / 2, edit->height() / 2));
            } else if (way == Way::Menu) {
                QTimer::singleShot(0, [] {
                    auto* menu = qobject_cast<QMenu*>(QApplication::activePopupWidget());
                    ASSERT_NE(menu, nullptr);
                    const QList<QAction*> items = menu->actions();
                    const auto paste = std::find_if(items.cbegin(), items.cend(),
                        [](const QAction* item) { return item->text().startsWith("&Paste"); });
                    ASSERT_NE(paste, items.cend());
                    menu->setActiveAction(*paste);
                    QTest::keyClick(menu, Qt::Key_Return);
                });
                const QPoint at(edit->width() / 2, edit->height() / 2);
                QContextMenuEvent click(QContextMenuEvent::Mouse, at, edit->mapToGlobal(at));
                QApplication::sendEvent(edit, &click);
            } else {
                QTest::keyClick(form.picker, Qt::Key_V, Qt::ControlModifier);
            }
            const QString shown = c.taken ? QString::fromLatin1(c.taken) : before;
            EXPECT_EQ(form.picker->text(), shown);
            EXPECT_EQ(beeps.count(), c.taken ? 0 : 1);
            EXPECT_EQ(user.count(), c.taken ? 1 : 0);
            QTest::keyClick(form.picker, Qt::Key_Tab);
            const QDateTime value = form.picker->dateValue();
            EXPECT_EQ(c.elements == E::Date ? value.toString("yyyy-MM-dd") : value.toString("HH:mm:ss"),
                c.taken || c.over.isValid() ? shown : QString());
        }
    }
}

// Shift, Ctrl, AltGr and the others pressed and released alone type nothing,
// in an empty picker, in one holding a value and in the middle of typing.
TEST(TFDatePicker, ModifierKeysAloneChangeNothing)
{
    const QList<Qt::Key> modifiers
        = {Qt::Key_Shift, Qt::Key_Control, Qt::Key_AltGr, Qt::Key_Alt, Qt::Key_Meta, Qt::Key_CapsLock};
    const auto pressAndRelease = [](QWidget* widget, const QList<Qt::Key>& keys) {
        for (const Qt::Key key : keys) {
            QTest::sendKeyEvent(QTest::Press, widget, key, QString(), Qt::NoModifier);
            QTest::sendKeyEvent(QTest::Release, widget, key, QString(), Qt::NoModifier);
        }
    };
    for (const QDateTime& over : {QDateTime(), wallClock(2013, 5, 10, 15, 21, 35)}) {
        SCOPED_TRACE(over.isValid() ? "set" : "empty");
        Form form(TFDatePicker::Elements::Time);
        form.picker->setDateValue(over);
        QSignalSpy user(form.picker, &TFDatePicker::userDateChanged);
        placeCursor(form, "Home", 0);
        QLineEdit* edit = form.picker->findChild<QLineEdit*>();
        const QString text = edit->text();
        const int cursor = edit->cursorPosition();
        pressAndRelease(form.picker, modifiers);
        EXPECT_EQ(edit->text(), text);
        EXPECT_EQ(edit->cursorPosition(), cursor);
        EXPECT_EQ(form.picker->dateValue(), over.isValid() ? over : QDateTime());
        EXPECT_EQ(user.count(), 0);

        KeyboardTyping::type(form.picker, "10");
        pressAndRelease(form.picker, modifiers);
        KeyboardTyping::type(form.picker, ":11:12");
        EXPECT_EQ(edit->text(), "10:11:12");
    }
}

// The wheel steps only a picker the user chose (a click or Tab gave it the
// focus); over any other it goes on to the form, which scrolls, and the
// picker keeps its value or stays empty.
TEST(TFDatePicker, TheWheelStepsOnlyAPickerThatHasTheFocus)
{
    // The application's rule for every value control, as it installs it.
    VXWheelFocusRule::install();
    for (const QDateTime& over : {wallClock(2017, 8, 23), QDateTime()}) {
        SCOPED_TRACE(over.isValid() ? "holding a date" : "empty");
        Form form(TFDatePicker::Elements::Date);
        form.picker->setDateValue(over);
        form.other->setFocus(Qt::MouseFocusReason);
        QSignalSpy user(form.picker, &TFDatePicker::userDateChanged);

        MouseWheel::turnOver(form.picker, 1);
        MouseWheel::turnOver(form.picker, -3);
        EXPECT_FALSE(form.picker->hasFocus()) << "a wheel turn does not choose the picker";
        EXPECT_EQ(form.wheelTurns, 2) << "the form gets the turns";
        EXPECT_EQ(form.picker->dateValue(), over.isValid() ? over : QDateTime());
        EXPECT_EQ(user.count(), 0);

        form.clickInto(1);
        ASSERT_TRUE(form.picker->hasFocus());
        MouseWheel::turnOver(form.picker, 1);
        EXPECT_EQ(form.wheelTurns, 2) << "a chosen picker takes the turn";
        if (over.isValid()) {
            EXPECT_EQ(form.picker->dateValue(), wallClock(2018, 8, 23));
            EXPECT_EQ(user.count(), 1);
        } else {
            EXPECT_TRUE(form.picker->isEmpty());
            EXPECT_EQ(user.count(), 0);
        }
    }
}

TEST(TFDatePicker, KeepsWallClocksTheLocalClockSkips)
{
    LocalZone berlin("Europe/Berlin");
    TFDatePicker date(TFDatePicker::Elements::Date);
    TFDatePicker time(TFDatePicker::Elements::Time);
    const QDateTime skipped = wallClock(2024, 3, 31, 2, 30, 0);
    date.setDateValue(skipped);
    time.setDateValue(skipped);
    EXPECT_EQ(date.dateValue().date(), QDate(2024, 3, 31));
    EXPECT_EQ(time.dateValue().time(), QTime(2, 30, 0));
    EXPECT_EQ(time.dateValue(), skipped);

    QTest::keyClick(&time, Qt::Key_Up); // steps the hour, still a wall clock
    EXPECT_EQ(time.dateValue().time(), QTime(3, 30, 0));
}

TEST(TFDatePicker, GalleryEmptyAndSet)
{
    QWidget row;
    auto* layout = new QHBoxLayout(&row);
    auto* emptyDate = new TFDatePicker(TFDatePicker::Elements::Date, &row);
    auto* date = new TFDatePicker(TFDatePicker::Elements::Date, &row);
    auto* time = new TFDatePicker(TFDatePicker::Elements::Time, &row);
    date->setDateValue(wallClock(2024, 3, 31));
    time->setDateValue(wallClock(2024, 3, 31, 14, 5, 9));
    for (QWidget* picker : {emptyDate, date, time}) {
        layout->addWidget(picker);
    }
    // A focused field shows its text selected; keep the focus on the row.
    row.setFocusPolicy(Qt::StrongFocus);
    row.show();
    row.setFocus();
    EXPECT_TRUE(Gallery::capture(&row, QStringLiteral("date-picker-empty-and-set")));
}

TEST(TFDatePicker, GalleryTimeTypedWhole)
{
    Form form(TFDatePicker::Elements::Time);
    form.picker->setDateValue(wallClock(2013, 5, 10, 0, 51, 54));
    form.other->setText(QStringLiteral("the next field"));
    placeCursor(form, "Ctrl+A", 0);
    KeyboardTyping::type(form.picker, "10:11:12");
    ASSERT_EQ(form.picker->text(), "10:11:12");
    EXPECT_TRUE(Gallery::capture(&form, QStringLiteral("time-picker-typed-10-11-12")));
}
