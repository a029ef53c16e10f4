#include "TokenFieldTestSupport.h"

#include "views/RPTokenValue.h"

#include <gtest/gtest.h>

TEST(TokenModel, CollectionsAddAndRemoveByTheirKind)
{
    using Kind = RPTokenValue::Kind;
    struct Case {
        RPTokenValue value;
        QStringList afterAddingA; // texts after adding "a"
        qint64 countOfA; // occurrences of "a" then
        QStringList afterRemoveOne; // after removing one "a"
    };
    const QList<Case> cases = {
        {RPTokenValue::array({"a", "b"}), {"a", "b", "a"}, 2, {"b"}},
        {RPTokenValue::set({"a", "b"}), {"a", "b"}, 1, {"b"}},
        {RPTokenValue::countedSet({"a", "b"}), {"a", "b"}, 2, {"a", "b"}},
        {RPTokenValue::tokenArray({RPCountedToken("a", 5), RPCountedToken("b", 1)}), {"a", "b", "a"}, 2, {"b"}},
        {RPTokenValue::tokenSet({RPCountedToken("a", 5), RPCountedToken("b", 1)}), {"a", "b"}, 1, {"b"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(int(c.value.kind()));
        RPTokenValue value = c.value;
        value.add("a");
        EXPECT_EQ(value.texts(), c.afterAddingA);
        EXPECT_EQ(value.countForText("a"), c.countOfA);
        value.removeOne("a");
        EXPECT_EQ(value.texts(), c.afterRemoveOne);
        value.add("a");
        value.removeAll("a");
        EXPECT_EQ(value.texts(), QStringList({"b"}));
        // A set view: arrays become sets, every set kind stays what it is.
        const Kind setKind = value.tokensSet().kind();
        EXPECT_TRUE(setKind == Kind::Set || setKind == Kind::CountedSet || setKind == Kind::TokenSet);
        EXPECT_EQ(setKind == Kind::CountedSet, c.value.kind() == Kind::CountedSet);
    }
}

TEST(TokenModel, MarkersAndOtherValuesAreNoCollections)
{
    for (const RPTokenValue& value :
        {RPTokenValue(), RPTokenValue::marker(RPTokenValue::Kind::NotApplicableMarker), RPTokenValue::other(3.5)}) {
        EXPECT_FALSE(value.isCollection());
        EXPECT_FALSE(value.extractStrings().has_value());
        EXPECT_EQ(value.count(), 0);
        EXPECT_EQ(value.tokensSet(), RPTokenValue::set({}));
    }
    EXPECT_EQ(RPTokenValue().kind(), RPTokenValue::Kind::NoTokensMarker);
    EXPECT_EQ(RPTokenValue::noTokensMarkerText(), "QVNNoTokensMarker");
    EXPECT_EQ(RPTokenValue::array({}).extractStrings(), QSet<QString>());
}

TEST(TokenModel, CountedAndFramedTokens)
{
    const RPCountedToken token("Paris", 3);
    EXPECT_EQ(token.textWithCountAppended(), "Paris [3]");
    EXPECT_TRUE(RPCountedToken::ellipsisToken().isEllipsisToken());
    EXPECT_EQ(RPCountedToken::ellipsisToken().text(), QString(QChar(0x2026)));
    EXPECT_LT(token.countCompare(RPCountedToken("Athens", 1)), 0);
    EXPECT_GT(RPCountedToken("athens", 1).countCompare(RPCountedToken("Berlin", 2)), 0);
    EXPECT_LT(RPCountedToken("athens", 2).countCompare(RPCountedToken("Berlin", 2)), 0);
    EXPECT_EQ(token, RPCountedToken("Paris", 9));

    // 5 letters at 10 points: 25 wide, padding 10 x 0.5 x 3, plus 4; counts widen it.
    EXPECT_EQ(FramedToken::boxSizeForToken(token, 10.0f, 0.5f, 3.0f, false, fixedMeasure), QSizeF(44.0, 14.0));
    EXPECT_EQ(FramedToken::boxSizeForToken(token, 10.0f, 0.5f, 3.0f, true, fixedMeasure), QSizeF(64.0, 14.0));

    const FramedToken framed(token, 10.0f, QRectF(10.0, 10.0, 20.0, 10.0));
    EXPECT_FLOAT_EQ(framed.distanceFrom(QPointF(12.0, 12.0)), 0.0f);
    EXPECT_FLOAT_EQ(framed.distanceFrom(QPointF(20.0, 0.0)), 15.0f);
    EXPECT_FLOAT_EQ(framed.distanceFrom(QPointF(26.0, 23.0)), 10.0f);
}

TEST(TokenModel, WindowOfShownTokensByCountRank)
{
    auto control = makeTokenControl(400, 100);
    control->setValue(RPTokenValue::countedSet({"d", "d", "d", "d", "c", "c", "c", "b", "b", "a"}));
    control->setMaxTokensToDisplay(2);
    EXPECT_EQ(framedTexts(*control), QStringList({"c", "d"}));
    control->setMaxTokensToDisplay(std::numeric_limits<qint64>::max());
    control->setAppendCountsToStrings(true);
    EXPECT_EQ(framedTexts(*control), QStringList({"a", "b", "c", "d"}));
    EXPECT_GT(control->framedTokens()[0].bounds().width(),
        FramedToken::boxSizeForToken(RPCountedToken("a", 1), 11.0f, 0.5f, 3.0f, false, fixedMeasure).width());
}
