#include "commlib/TFDatePicker.h"

#include "support/Gallery.h"

#include <QCalendarWidget>
#include <QHBoxLayout>
#include <QLineEdit>
#include <QSignalSpy>
#include <QTest>
#include <QTimeZone>
#include <QWheelEvent>

#include <gtest/gtest.h>

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
