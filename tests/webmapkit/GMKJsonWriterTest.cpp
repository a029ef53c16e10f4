// The JSON writer and the codec: layouts, escapes, and the values it must
// refuse rather than write text that no reader accepts.
#include "webmapkit/GMKJsonWriter.h"
#include "webmapkit/GMKJsonCodec.h"
#include "webmapkit/GMKJsonForeignObject.h"
#include "webmapkit/GMKJsonObject.h"
#include "webmapkit/GMKJsonOperations.h"

#include "GMKJsonTestSupport.h"
#include "support/QtPrinters.h"

#include <gtest/gtest.h>

#include <limits>
#include <memory>

namespace {

using Chain = GMKJsonChain;

class Opaque : public GMKJsonForeignObject {
public:
    explicit Opaque(QString name, std::optional<GMKJsonValue> proxy = std::nullopt)
        : name_(std::move(name))
        , proxy_(std::move(proxy))
    {
    }
    QString className() const override { return name_; }
    std::optional<GMKJsonValue> proxyForJson() const override { return proxy_; }

private:
    QString name_;
    std::optional<GMKJsonValue> proxy_;
};

GMKJsonValue opaque(const char* name, std::optional<GMKJsonValue> proxy = std::nullopt)
{
    return GMKJsonValue(std::make_shared<const Opaque>(QString::fromLatin1(name), std::move(proxy)));
}

} // namespace

TEST(GMKJsonWriter, LayoutsCompactAndHumanReadable)
{
    const GMKJsonObject ba{{"b", 1}, {"a", GMKJsonArray{true, nullptr, 0.1, GMKJsonObject{}}}};
    GMKJsonWriter writer;
    // Unsorted keys keep the order they were inserted in.
    EXPECT_EQ(writer.stringWithObject(ba), QStringLiteral("{\"b\":1,\"a\":[true,null,0.1,{}]}"));
    writer.setSortKeys(true);
    writer.setHumanReadable(true);
    EXPECT_EQ(writer.stringWithObject(ba),
        QStringLiteral("{\n  \"a\" : [\n    true,\n    null,\n    0.1,\n    {}\n"
                       "  ],\n  \"b\" : 1\n}"));
    EXPECT_EQ(writer.stringWithObject(GMKJsonArray{}), QStringLiteral("[]"));
    EXPECT_EQ(writer.stringWithFragment(false), QStringLiteral("false"));
}

TEST(GMKJsonWriter, EscapesOnlyWhatJsonRequires)
{
    GMKJsonWriter writer;
    const QString text = QStringLiteral("a\tb\"c\\d/e") + QChar(0x01) + QChar(0x1F) + QStringLiteral("\b\f\n\ré");
    EXPECT_EQ(writer.stringWithFragment(text), QStringLiteral("\"a\\tb\\\"c\\\\d/e\\u0001\\u001f\\b\\f\\n\\ré\""));
    EXPECT_EQ(writer.stringWithFragment(QStringLiteral("plain")), QStringLiteral("\"plain\""));
}

TEST(GMKJsonWriter, ParsedNumbersAndTextSurviveARoundTrip)
{
    const QString text = QStringLiteral("{\"a\":[1.50,-0.5E+3,9007199254740993,\"\\u0000\\ud83d\\ude00\"],\"b\":{}}");
    GMKJsonCodec codec;
    const std::optional<GMKJsonValue> value = codec.objectWithString(text);
    ASSERT_TRUE(value.has_value());
    EXPECT_EQ(codec.stringWithObject(*value),
        QStringLiteral("{\"a\":[1.50,-0.5E+3,9007199254740993,\"\\u0000\U0001F600\"],\"b\":{}}"));
}

struct Refused {
    const char* name;
    GMKJsonValue value;
    Chain chain;
};

void PrintTo(const Refused& row, std::ostream* out)
{
    *out << row.name;
}

class RefusedValue : public ::testing::TestWithParam<Refused> { };

TEST_P(RefusedValue, FailsWithTheChainAndNoText)
{
    GMKJsonWriter writer;
    EXPECT_TRUE(writer.stringWithFragment(GetParam().value).isNull());
    EXPECT_EQ(chainOf(writer), GetParam().chain);
}

INSTANTIATE_TEST_SUITE_P(GMKJsonWriter, RefusedValue,
    ::testing::Values(Refused{"numeric key", GMKJsonObject{{1, "one"}}, {{1, "JSON object key must be string"}}},
        Refused{"nested numeric key", GMKJsonObject{{"a", GMKJsonObject{{"b", 1}, {2, 3}}}},
            {{1, "JSON object key must be string"}, {1, "Unsupported value for key a in object"}}},
        Refused{"NaN", std::numeric_limits<double>::quiet_NaN(),
            {{1, "JSON serialisation not supported for GMKJsonNumber"}}},
        Refused{"infinity in an array", GMKJsonArray{1, -std::numeric_limits<double>::infinity()},
            {{1, "JSON serialisation not supported for GMKJsonNumber"}}},
        Refused{"date without stand-in", GMKJsonObject{{"when", opaque("QDateTime")}},
            {{1, "JSON serialisation not supported for QDateTime"}, {1, "Unsupported value for key when in object"}}}));

TEST(GMKJsonWriter, NestingLimitAndStandIns)
{
    GMKJsonWriter writer;
    GMKJsonValue deep = GMKJsonArray{};
    for (int i = 1; i < 513; ++i) {
        deep = GMKJsonArray{deep};
    }
    EXPECT_TRUE(writer.stringWithObject(deep).isNull());
    EXPECT_EQ(chainOf(writer), (Chain{{7, "Nested too deep"}}));

    EXPECT_EQ(writer.stringWithFragment(GMKJsonArray{opaque("Point", GMKJsonObject{{"x", 2}})}),
        QStringLiteral("[{\"x\":2}]"));
    EXPECT_EQ(writer.stringWithObject(opaque("Point", GMKJsonArray{1})), QStringLiteral("[1]"));
    // A stand-in that has a stand-in of its own is followed to the document.
    EXPECT_EQ(writer.stringWithObject(opaque("Outer", opaque("Point", GMKJsonArray{1}))), QStringLiteral("[1]"));
    // A bare value at the top, directly or through a stand-in, is no document.
    for (const GMKJsonValue& value : {GMKJsonValue("bare"), opaque("Name", GMKJsonValue("x")), opaque("Date")}) {
        EXPECT_TRUE(writer.stringWithObject(value).isNull());
        EXPECT_EQ(chainOf(writer), (Chain{{4, "Not valid type for JSON"}}));
    }
}

TEST(GMKJsonCodec, HandsBackTheWorkersLastError)
{
    GMKJsonCodec codec;
    std::optional<GMKJsonError> error;
    EXPECT_FALSE(codec.objectWithStringError(QStringLiteral("[tx]"), &error).has_value());
    ASSERT_TRUE(error.has_value());
    EXPECT_EQ(error->localizedDescription(), QStringLiteral("Expected value while parsing array"));
    EXPECT_EQ(chainOf(codec), chainOf(codec.jsonParser()));
    EXPECT_EQ(codec.errorTrace().size(), 2);

    EXPECT_TRUE(codec.fragmentWithStringError(QStringLiteral("7"), &error)->isNumber());
    EXPECT_TRUE(codec.stringWithObjectError(GMKJsonValue(7), &error).isNull());
    EXPECT_EQ(error->code(), 4);
    EXPECT_EQ(codec.stringWithFragmentError(GMKJsonValue(7), &error), QStringLiteral("7"));

    codec.setMaxDepth(1);
    EXPECT_EQ(codec.jsonWriter().maxDepth(), 1u);
    EXPECT_FALSE(codec.objectWithString(QStringLiteral("[[]]")).has_value());
    EXPECT_TRUE(codec.stringWithObjectAllowScalar(GMKJsonArray{GMKJsonValue(GMKJsonArray{})}, true, nullptr).isNull());
    EXPECT_EQ(codec.errorTrace().first().code(), 7);
}

TEST(GMKJsonWriter, OneCallFormsAnswerNullOnFailure)
{
    EXPECT_EQ(GMKJSONRepresentation(GMKJsonObject{{"k", "v"}}), QStringLiteral("{\"k\":\"v\"}"));
    EXPECT_TRUE(GMKJSONRepresentation(GMKJsonValue(1)).isNull());
    EXPECT_EQ(GMKJSONFragment(GMKJsonValue(1)), QStringLiteral("1"));
    EXPECT_TRUE(GMKJSONFragment(std::numeric_limits<double>::infinity()).isNull());
}
