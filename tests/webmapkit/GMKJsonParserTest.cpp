// The JSON reader: what it accepts, the exact error chains it reports for what
// it refuses, and the one-call form that logs its failures.
#include "webmapkit/GMKJsonParser.h"
#include "webmapkit/GMKJsonObject.h"
#include "webmapkit/GMKJsonOperations.h"

#include "GMKJsonTestSupport.h"
#include "support/QtPrinters.h"

#include <gtest/gtest.h>

namespace {

using Chain = GMKJsonChain;

QString nested(int levels)
{
    return QString(levels, QLatin1Char('[')) + QString(levels, QLatin1Char(']'));
}

struct Refused {
    const char* text;
    Chain chain;
};

void PrintTo(const Refused& row, std::ostream* out)
{
    *out << row.text;
}

class RefusedText : public ::testing::TestWithParam<Refused> { };

} // namespace

TEST_P(RefusedText, ReportsTheWholeChainOldestFirst)
{
    GMKJsonParser parser;
    EXPECT_FALSE(parser.fragmentWithString(QString::fromUtf8(GetParam().text)).has_value());
    EXPECT_EQ(chainOf(parser), GetParam().chain);
}

INSTANTIATE_TEST_SUITE_P(GMKJsonParser, RefusedText,
    ::testing::Values(Refused{"[1,]", {{9, "Trailing comma disallowed in array"}}},
        Refused{"{\"a\":1 ,\n}", {{9, "Trailing comma disallowed in object"}}},
        Refused{"{1:2}", {{3, "Object key string expected"}}},
        Refused{"{\"a\" 1}", {{3, "Expected ':' separating key and value"}}},
        Refused{"[1] x", {{10, "Garbage after JSON"}}}, Refused{"[1", {{11, "End of input while parsing array"}}},
        Refused{"{\"a\":1", {{11, "End of input while parsing object"}}},
        Refused{" ", {{11, "Unexpected end of string"}}}, Refused{"@", {{3, "Unrecognised leading character"}}},
        Refused{"-", {{2, "No digits after initial minus"}}}, Refused{"01", {{2, "Leading 0 disallowed in number"}}},
        Refused{"+1", {{2, "Leading + disallowed in number"}}}, Refused{"1.", {{2, "No digits after decimal point"}}},
        Refused{"1e", {{2, "No digits after exponent"}}},
        Refused{"[1e400]", {{2, "Failed creating decimal instance"}, {3, "Expected value while parsing array"}}},
        Refused{"tru", {{3, "Expected 'true'"}}},
        Refused{"[nul]", {{3, "Expected 'null'"}, {3, "Expected value while parsing array"}}},
        Refused{"\"a\tb\"", {{5, "Unescaped control character '0x9'"}}},
        // Ending after ordinary characters and ending right after an escape differ.
        Refused{"\"abc", {{5, "Unescaped control character '0x0'"}}},
        Refused{"\"abc\\n", {{11, "Unexpected EOF while parsing string"}}},
        Refused{"\"\\x\"", {{8, "Illegal escape sequence '0x78'"}}},
        Refused{"\"\\ud83dx\"", {{6, "Missing low character in surrogate pair"}, {6, "Broken unicode character"}}},
        Refused{"\"\\ud83d\\u00\"",
            {{6, "Missing hex digit in quad"}, {6, "Missing low character in surrogate pair"},
                {6, "Broken unicode character"}}},
        Refused{"\"\\ud83d\\u0041\"", {{6, "Invalid low surrogate char"}, {6, "Broken unicode character"}}},
        Refused{"\"\\ude00\"", {{6, "Invalid high character in surrogate pair"}, {6, "Broken unicode character"}}},
        Refused{"\"\\u12g4\"",
            {{6, "Missing hex digit in quad"}, {6, "Missing hex quad"}, {6, "Broken unicode character"}}},
        Refused{"{\"k\":[1, tx]}",
            {{3, "Expected 'true'"}, {3, "Expected value while parsing array"},
                {3, "Object value expected for key: k"}}}));

TEST(GMKJsonParser, AcceptsWhatTheGrammarAllows)
{
    const GMKJsonValue smile = QString::fromUtf16(u"\U0001F600");
    const struct {
        const char* text;
        GMKJsonValue expected;
    } rows[] = {
        {"[1, 2, 3]", GMKJsonArray{1, 2, 3}},
        {"[1 2]", GMKJsonArray{1, 2}}, // commas between elements are optional
        {"{\"a\":1 \"b\":2}", GMKJsonObject{{"a", 1}, {"b", 2}}},
        {" [] \n\t", GMKJsonArray{}},
        {"{\"a\":1,\"a\":[true,false,null]}", GMKJsonObject{{"a", GMKJsonArray{true, false, nullptr}}}},
        {"123", 123},
        {"\"\\ud83d\\ude00\"", smile},
        {"\"\\udbff\\udfff\"", QString::fromUtf16(u"\U0010FFFF")},
        {"\"\\\"\\\\\\/\\b\\f\\n\\r\\t\\u00e9\"", QString::fromUtf16(u"\"\\/\b\f\n\r\té")},
        {"\"h\xc3\xa9llo \xf0\x9f\x98\x80\"", QString::fromUtf16(u"héllo \U0001F600")},
    };
    for (const auto& row : rows) {
        GMKJsonParser parser;
        const std::optional<GMKJsonValue> value = parser.fragmentWithString(QString::fromUtf8(row.text));
        ASSERT_TRUE(value.has_value()) << row.text << " "
                                       << GMKJsonError::describeTrace(parser.errorTrace()).toStdString();
        EXPECT_TRUE(*value == row.expected) << row.text;
    }
    EXPECT_EQ(smile.toString().size(), 2);
}

TEST(GMKJsonParser, NumbersKeepTheirTextAndConvertExactly)
{
    GMKJsonParser parser;
    const std::optional<GMKJsonValue> value
        = parser.objectWithString(QStringLiteral("[-0.5E+3, 1.50, 9007199254740993, 1e-400, 2.9e1]"));
    ASSERT_TRUE(value.has_value());
    const GMKJsonArray& numbers = value->toArray();
    ASSERT_EQ(numbers.size(), 5u);
    EXPECT_EQ(numbers[0].toNumber().text(), QStringLiteral("-0.5E+3"));
    EXPECT_EQ(numbers[0].toDouble(), -500.0);
    EXPECT_EQ(numbers[1].toNumber().text(), QStringLiteral("1.50"));
    EXPECT_EQ(numbers[1].toInteger(), 1);
    // Beyond 2^53 a double would lose the last digit; the integer reading keeps it.
    EXPECT_EQ(numbers[2].toInteger(), Q_INT64_C(9007199254740993));
    EXPECT_EQ(numbers[3].toDouble(), 0.0);
    EXPECT_EQ(numbers[4].toInteger(), 29);
    bool ok = true;
    EXPECT_EQ(GMKJsonNumber(1e300).toInteger(&ok), 0);
    EXPECT_FALSE(ok);
}

TEST(GMKJsonParser, OnlyArraysAndObjectsAreDocuments)
{
    GMKJsonParser parser;
    EXPECT_FALSE(parser.objectWithString(QStringLiteral("123")).has_value());
    EXPECT_EQ(chainOf(parser), (Chain{{4, "Valid fragment, but not JSON"}}));
    EXPECT_FALSE(parser.objectWithString(QString()).has_value());
    EXPECT_EQ(chainOf(parser), (Chain{{12, "Input was 'nil'"}}));
    // A new run starts with an empty trace.
    EXPECT_TRUE(parser.objectWithString(QStringLiteral("{}")).has_value());
    EXPECT_TRUE(parser.errorTrace().isEmpty());
}

TEST(GMKJsonParser, NulEndsTheText)
{
    GMKJsonParser parser;
    const QString text = QStringLiteral("[1]") + QChar(0) + QStringLiteral("garbage");
    EXPECT_TRUE(parser.objectWithString(text).has_value());
    const QString cut = QStringLiteral("[\"ab") + QChar(0) + QStringLiteral("\"]");
    EXPECT_FALSE(parser.objectWithString(cut).has_value());
    EXPECT_EQ(chainOf(parser).first(), qMakePair(5, QStringLiteral("Unescaped control character '0x0'")));
}

TEST(GMKJsonParser, NestingLimit)
{
    GMKJsonParser parser;
    EXPECT_TRUE(parser.objectWithString(nested(512)).has_value());
    EXPECT_FALSE(parser.objectWithString(nested(513)).has_value());
    ASSERT_FALSE(parser.errorTrace().isEmpty());
    EXPECT_EQ(parser.errorTrace().first().code(), 7);
    EXPECT_EQ(parser.errorTrace().first().localizedDescription(), QStringLiteral("Nested too deep"));
    parser.setMaxDepth(0);
    EXPECT_TRUE(parser.objectWithString(nested(600)).has_value());
    parser.setMaxDepth(2);
    EXPECT_FALSE(parser.objectWithString(QStringLiteral("{\"a\":[[]]}")).has_value());
}

TEST(GMKJsonParser, EachErrorLeadsBackToThePreviousOne)
{
    GMKJsonParser parser;
    EXPECT_FALSE(parser.objectWithString(QStringLiteral("{\"k\":[\"\\u12\"]}")).has_value());
    const GMKJsonError* error = &parser.errorTrace().constLast();
    QStringList backwards;
    for (; error; error = error->underlyingError()) {
        backwards << error->localizedDescription();
    }
    EXPECT_EQ(backwards,
        QStringList({"Object value expected for key: k", "Expected value while parsing array",
            "Broken unicode character", "Missing hex quad", "Missing hex digit in quad"}));
}

namespace {

QStringList capturedLines;

void captureMessage(QtMsgType, const QMessageLogContext&, const QString& message)
{
    capturedLines << message;
}

} // namespace

TEST(GMKJsonParser, OneCallFormLogsTheTraceAndAnswersNothing)
{
    capturedLines.clear();
    const QtMessageHandler previous = qInstallMessageHandler(captureMessage);
    const std::optional<GMKJsonValue> bad = GMKJSONValue(QStringLiteral("[1,]"));
    const std::optional<GMKJsonValue> scalar = GMKJSONFragmentValue(QStringLiteral("\"x\""));
    const std::optional<GMKJsonValue> good = GMKJSONValue(QStringLiteral("{\"lat\": 48.5, \"lng\": -3}"));
    qInstallMessageHandler(previous);

    EXPECT_FALSE(bad.has_value());
    ASSERT_EQ(capturedLines.size(), 1);
    EXPECT_TRUE(capturedLines.first().startsWith(QStringLiteral("-JSONValue failed. Error trace is: ")));
    EXPECT_TRUE(capturedLines.first().contains(QStringLiteral("Trailing comma disallowed in array")));
    EXPECT_EQ(scalar->toString(), QStringLiteral("x"));
    EXPECT_EQ(good->value(QStringLiteral("lat")).toDouble(), 48.5);
    EXPECT_EQ(good->value(QStringLiteral("lng")).toDouble(), -3.0);
    EXPECT_TRUE(good->value(QStringLiteral("missing")).isNull());
}
