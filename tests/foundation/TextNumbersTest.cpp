#include "foundation/TextNumbers.h"

#include "support/QtPrinters.h"

#include <QLocale>

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

TEST(TextNumbersTest, IntegersReadTheLeadingNumberAndSaturate)
{
    EXPECT_EQ(TextNumbers::intValue("  -12abc"), -12);
    EXPECT_EQ(TextNumbers::intValue("\t\n+7 8"), 7);
    EXPECT_EQ(TextNumbers::intValue("3.9"), 3);
    EXPECT_EQ(TextNumbers::intValue(QString()), 0);
    EXPECT_EQ(TextNumbers::intValue(""), 0);
    EXPECT_EQ(TextNumbers::intValue("abc12"), 0);
    EXPECT_EQ(TextNumbers::intValue("- 5"), 0);
    EXPECT_EQ(TextNumbers::intValue("99999999999"), std::numeric_limits<int32_t>::max());
    EXPECT_EQ(TextNumbers::intValue("-99999999999"), std::numeric_limits<int32_t>::min());
    EXPECT_EQ(TextNumbers::intValue("-2147483648"), std::numeric_limits<int32_t>::min());
    EXPECT_EQ(TextNumbers::intValue("2147483647x"), std::numeric_limits<int32_t>::max());

    EXPECT_EQ(TextNumbers::longLongValue("99999999999"), 99999999999LL);
    EXPECT_EQ(TextNumbers::longLongValue("-9223372036854775808"), std::numeric_limits<int64_t>::min());
    EXPECT_EQ(TextNumbers::longLongValue("123456789012345678901234"), std::numeric_limits<int64_t>::max());
}

TEST(TextNumbersTest, RealsReadTheLongestNumericPrefix)
{
    EXPECT_DOUBLE_EQ(TextNumbers::doubleValue("3.5e2x"), 350.0);
    EXPECT_DOUBLE_EQ(TextNumbers::doubleValue("  -12abc"), -12.0);
    EXPECT_DOUBLE_EQ(TextNumbers::doubleValue("2.8 mm"), 2.8);
    EXPECT_DOUBLE_EQ(TextNumbers::doubleValue(".5"), 0.5);
    EXPECT_DOUBLE_EQ(TextNumbers::doubleValue("5."), 5.0);
    EXPECT_DOUBLE_EQ(TextNumbers::doubleValue("1e"), 1.0); // exponent without digits
    EXPECT_DOUBLE_EQ(TextNumbers::doubleValue("1e+x"), 1.0);
    EXPECT_DOUBLE_EQ(TextNumbers::doubleValue("+4.25"), 4.25);
    EXPECT_DOUBLE_EQ(TextNumbers::doubleValue("1/250"), 1.0);
    EXPECT_EQ(TextNumbers::doubleValue(""), 0.0);
    EXPECT_EQ(TextNumbers::doubleValue("."), 0.0);
    EXPECT_EQ(TextNumbers::doubleValue("-"), 0.0);
    EXPECT_EQ(TextNumbers::doubleValue("nan"), 0.0);
    EXPECT_EQ(TextNumbers::doubleValue("0x10"), 0.0);
    EXPECT_TRUE(std::isinf(TextNumbers::doubleValue("1e999")));
    EXPECT_EQ(TextNumbers::doubleValue("1e-999"), 0.0);
    EXPECT_FLOAT_EQ(TextNumbers::floatValue("0.1"), 0.1f);
    EXPECT_TRUE(std::isinf(TextNumbers::floatValue("-1e39")));
}

TEST(TextNumbersTest, BoolReadsTheFirstMeaningfulCharacter)
{
    for (const char* yes : {"YES", "yes", "true", "T", " 1", "0002", "-1", "9abc"}) {
        EXPECT_TRUE(TextNumbers::boolValue(QString::fromLatin1(yes))) << yes;
    }
    for (const char* no : {"NO", "false", "0", "", "000", "abc", " x1"}) {
        EXPECT_FALSE(TextNumbers::boolValue(QString::fromLatin1(no))) << no;
    }
}

// Qt hands the user's locale to the C library on Unix; a comma locale must not
// change how numbers are read or written.
TEST(TextNumbersTest, TheUsersLocaleNeverChangesNumberTexts)
{
    const QLocale previous;
    QLocale::setDefault(QLocale(QLocale::German, QLocale::Germany));
    EXPECT_DOUBLE_EQ(TextNumbers::doubleValue("2,5"), 2.0);
    EXPECT_DOUBLE_EQ(TextNumbers::doubleValue("2.5"), 2.5);
    EXPECT_EQ(TextNumbers::stringFromDouble(2.5), "2.5");
    EXPECT_EQ(TextNumbers::stringFromDouble(1234.5678, 2), "1234.57");
    QLocale::setDefault(previous);
}

TEST(TextNumbersTest, ShortestTextsReadBackExactly)
{
    EXPECT_EQ(TextNumbers::stringFromDouble(3.0), "3");
    EXPECT_EQ(TextNumbers::stringFromDouble(0.0125), "0.0125");
    EXPECT_EQ(TextNumbers::stringFromFloat(2.8f), "2.8");
    EXPECT_EQ(TextNumbers::stringFromDouble(-std::numeric_limits<double>::infinity()), "-inf");
    for (double value : {0.1, 1.0 / 3.0, 6.02214076e23, -1e-300}) {
        EXPECT_EQ(TextNumbers::doubleValue(TextNumbers::stringFromDouble(value)), value);
    }
}
