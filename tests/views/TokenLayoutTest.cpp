#include "TokenFieldTestSupport.h"

#include "foundation/KeyedArchive.h"

#include <QScrollArea>
#include <QSignalSpy>

#include <gtest/gtest.h>

namespace {

QStringList letters(int count)
{
    QStringList texts;
    for (int i = 0; i < count; ++i) {
        texts.append(QString(QChar(u'a' + i)));
    }
    return texts;
}

float sizeOf(const RPTokenControl& control, const QString& text)
{
    for (const FramedToken& token : control.framedTokens()) {
        if (token.text() == text) {
            return token.fontsize();
        }
    }
    return -1.0f;
}

} // namespace

TEST(TokenLayout, FontSizesFollowCountRanksAndTextOrderIsAlphabetical)
{
    auto control = makeTokenControl(400, 100);
    control->setValue(RPTokenValue::countedSet({"b", "c", "b", "a", "c", "b"}));
    EXPECT_EQ(framedTexts(*control), QStringList({"a", "b", "c"}));
    EXPECT_FLOAT_EQ(sizeOf(*control, "a"), 11.0f);
    EXPECT_FLOAT_EQ(sizeOf(*control, "b"), 40.0f);
    EXPECT_FLOAT_EQ(sizeOf(*control, "c"), 18.25f);

    control->setValue(RPTokenValue::countedSet({"x", "y", "x", "y"}));
    EXPECT_FLOAT_EQ(sizeOf(*control, "x"), 40.0f);
    EXPECT_FLOAT_EQ(sizeOf(*control, "y"), 40.0f);

    control->setValue(RPTokenValue::countedSet({"b", "c", "b", "a"}));
    control->setFixedFontSize(14.0);
    for (const FramedToken& token : control->framedTokens()) {
        EXPECT_FLOAT_EQ(token.fontsize(), 14.0f) << token.text().toStdString();
    }
}

TEST(TokenLayout, LinesAreJustifiedExceptTheLast)
{
    auto control = makeTokenControl(100, 200);
    control->setFixedFontSize(10.0);
    control->setValue(RPTokenValue::array(letters(8)));
    const QList<FramedToken>& framed = control->framedTokens();
    ASSERT_EQ(framed.size(), 8);
    // Three 24-point boxes per line; a finished line ends one point past the width.
    EXPECT_DOUBLE_EQ(framed[0].bounds().x(), 1.0);
    EXPECT_DOUBLE_EQ(framed[0].bounds().y(), 3.0);
    EXPECT_DOUBLE_EQ(framed[2].bounds().right(), 101.0);
    EXPECT_DOUBLE_EQ(framed[5].bounds().right(), 101.0);
    EXPECT_DOUBLE_EQ(framed[3].bounds().y(), 19.0);
    // The last line keeps gaps of 2.
    EXPECT_DOUBLE_EQ(framed[7].bounds().x(), framed[6].bounds().right() + 2.0);

    // The token being typed first in the display indents its line for the focus ring.
    control->setEditability(2);
    control->setValue(RPTokenValue::array(letters(8).mid(1)));
    control->beginEditingNewTokenWithString("a");
    EXPECT_EQ(control->indexOfFramedTokenBeingEdited(), 0);
    EXPECT_DOUBLE_EQ(control->framedTokens()[0].bounds().x(), 5.0);
    EXPECT_DOUBLE_EQ(control->framedTokens()[2].bounds().right(), 105.0);
}

TEST(TokenLayout, WideTokenStandsAloneAndLoneLineKeepsItsGap)
{
    auto control = makeTokenControl(100, 200);
    control->setFixedFontSize(10.0);
    control->setValue(RPTokenValue::array({"a", "bbbbbbbbbbbbbbbbbbbbbbbbbbbbbb", "c"}));
    const QList<FramedToken>& framed = control->framedTokens();
    ASSERT_EQ(framed.size(), 3);
    EXPECT_DOUBLE_EQ(framed[1].bounds().x(), 1.0);
    EXPECT_GT(framed[1].bounds().width(), 100.0);
    EXPECT_LT(framed[0].bounds().y(), framed[1].bounds().y());
    EXPECT_LT(framed[1].bounds().y(), framed[2].bounds().y());
    // "a" alone on a finished line: no division by zero, plain start.
    EXPECT_DOUBLE_EQ(framed[0].bounds().x(), 1.0);
}

TEST(TokenLayout, WithoutScrollAreaTheLastShownLineEndsWithTheEllipsis)
{
    auto control = makeTokenControl(100, 30);
    control->setFixedFontSize(10.0);
    control->setValue(RPTokenValue::array(letters(8)));
    // a b c / d e f g h does not fit: "f" makes room for the ellipsis.
    EXPECT_EQ(framedTexts(*control), QStringList({"a", "b", "c", "d", "e", QString(QChar(0x2026))}));
    EXPECT_TRUE(control->ellipsisTokenIsDisplayed());
    QStringList truncated;
    for (const RPCountedToken& token : control->truncatedTokens()) {
        truncated.append(token.text());
    }
    EXPECT_EQ(truncated, QStringList({"f", "g", "h"}));
    EXPECT_EQ(control->toolTipForToken(control->framedTokens().last()), "f\ng\nh");

    // Every resize flows the tokens again.
    control->resize(400, 30);
    EXPECT_FALSE(control->ellipsisTokenIsDisplayed());
    EXPECT_TRUE(control->truncatedTokens().isEmpty());
}

TEST(TokenLayout, InsideScrollAreaNothingIsTruncatedAndTheHeightGrows)
{
    QScrollArea area;
    area.resize(120, 60);
    auto* control = new RPTokenControl;
    control->setTextMeasure(fixedMeasure);
    control->setFixedFontSize(10.0);
    area.setWidget(control);
    area.show();
    control->setValue(RPTokenValue::array(letters(26)));
    EXPECT_EQ(control->framedTokens().size(), 26);
    EXPECT_TRUE(control->truncatedTokens().isEmpty());
    EXPECT_GT(control->height(), 60);
    EXPECT_DOUBLE_EQ(control->framedTokens().last().bounds().bottom() - 1.0, control->height());
    EXPECT_EQ(area.verticalScrollBarPolicy(), Qt::ScrollBarAlwaysOn);
    // Tokens are flowed for the width the scroll area leaves them.
    for (const FramedToken& token : control->framedTokens()) {
        EXPECT_LE(token.bounds().right(), control->width() + 1.001);
    }
}

TEST(TokenLayout, ValueChangesSignalOnlyWhenTheTextsChange)
{
    auto control = makeTokenControl(400, 100);
    QSignalSpy changes(control.get(), &RPTokenControl::objectValueChanged);
    control->setValue(RPTokenValue::countedSet({"a", "b", "b"}));
    EXPECT_EQ(changes.size(), 1);
    control->selectIndex(0);

    control->setValue(RPTokenValue::countedSet({"a", "a", "a", "b", "b"}));
    EXPECT_EQ(changes.size(), 1);
    EXPECT_EQ(control->selectedIndexSet(), RPTokenControl::IndexSet({0}));
    EXPECT_FLOAT_EQ(sizeOf(*control, "a"), 40.0f);

    control->setValue(RPTokenValue::array({"b", "a"}));
    EXPECT_EQ(changes.size(), 1);
    control->setValue(RPTokenValue::array({"a", "c"}));
    EXPECT_EQ(changes.size(), 2);
    EXPECT_TRUE(control->selectedIndexSet().empty());

    control->setObjectValue(std::nullopt);
    EXPECT_EQ(changes.size(), 3);
    EXPECT_EQ(control->objectValue().kind(), RPTokenValue::Kind::NoTokensMarker);
    EXPECT_FALSE(control->tokensCollection().has_value());
    control->setObjectValue(std::nullopt);
    EXPECT_EQ(changes.size(), 3);
}

TEST(TokenLayout, ArchiveKeepsArchivedFieldsAndRestoresDefaults)
{
    RPTokenControl::registerArchiveClass();
    RPTokenControl original;
    original.setAppendCountsToStrings(true);
    original.setShowsCountsAsToolTips(true);
    original.setTokenizingCharacter(QChar(u','));
    original.setFancyEffects(3);
    original.setDisallowedCharacterSet("/:");
    original.setReplacementString("-");
    original.setNoTokensPlaceholder("No keywords");
    original.setMultipleValuesPlaceholder("Multiple");
    original.setLinkDragType("application/x-link");
    original.setMinFontSize(20.0f);
    original.setTokenColorScheme(1);
    original.setEditability(3);
    original.setValue(RPTokenValue::array({"a"}));

    const auto copy = KeyedUnarchiver::unarchive<RPTokenControl>(KeyedArchiver::archivedData(&original));
    ASSERT_TRUE(copy);
    EXPECT_TRUE(copy->appendCountsToStrings());
    EXPECT_TRUE(copy->showsCountsAsToolTips());
    EXPECT_EQ(copy->tokenizingCharacter(), QChar(u','));
    EXPECT_EQ(copy->tokenizingCharacterSet(), ",");
    EXPECT_EQ(copy->fancyEffects(), 3);
    EXPECT_EQ(copy->disallowedCharacterSet(), "/:");
    EXPECT_EQ(copy->replacementString(), "-");
    EXPECT_EQ(copy->noTokensPlaceholder(), "No keywords");
    EXPECT_EQ(copy->multipleValuesPlaceholder(), "Multiple");
    EXPECT_TRUE(copy->noSelectionPlaceholder().isNull());
    EXPECT_EQ(copy->linkDragType(), "application/x-link");
    EXPECT_EQ(copy->registeredDragTypes(), QStringList({"application/x-link"}));
    // Not archived, or overridden by the common defaults.
    EXPECT_FLOAT_EQ(copy->minFontSize(), 11.0f);
    EXPECT_FLOAT_EQ(copy->maxFontSize(), 40.0f);
    EXPECT_EQ(copy->tokenColorScheme(), 0);
    EXPECT_EQ(copy->editability(), 1);
    EXPECT_FLOAT_EQ(copy->cornerRadiusFactor(), 0.5f);
    EXPECT_EQ(copy->objectValue().kind(), RPTokenValue::Kind::NoTokensMarker);
}
