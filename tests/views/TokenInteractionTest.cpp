#include "TokenFieldTestSupport.h"

#include "foundation/NotificationHub.h"
#include "support/FakeUiServices.h"
#include "views/RPTokenControlDelegate.h"

#include <QAction>
#include <QApplication>
#include <QKeyEvent>
#include <QLineEdit>
#include <QMenu>
#include <QMimeData>
#include <QScrollArea>
#include <QScrollBar>
#include <QSignalSpy>
#include <QTest>

#include <gtest/gtest.h>

namespace {

class TokenInteraction : public ::testing::Test {
protected:
    void SetUp() override { UiServices::setShared(&ui); }
    void TearDown() override { UiServices::setShared(nullptr); }

    // A line of small tokens, or with height 30 two lines and an ellipsis.
    std::unique_ptr<RPTokenControl> control(const RPTokenValue& value, int width = 400, int height = 100)
    {
        auto made = makeTokenControl(width, height);
        made->setFixedFontSize(10.0);
        made->setValue(value);
        return made;
    }

    static QPoint centreOf(const RPTokenControl& control, qsizetype index)
    {
        return control.framedTokens()[index].bounds().center().toPoint();
    }

    FakeUiServices ui;
};

const RPTokenValue eightLetters = RPTokenValue::array({"a", "b", "c", "d", "e", "f", "g", "h"});

class RenamingDelegate : public RPTokenControlDelegate {
public:
    bool respondsToRenameToken() const override { return true; }
};

} // namespace

TEST_F(TokenInteraction, MouseAndArrowKeysSelect)
{
    auto field = control(RPTokenValue::array({"a", "b", "c", "d"}));
    QTest::mouseClick(field.get(), Qt::LeftButton, {}, centreOf(*field, 1));
    EXPECT_EQ(field->selectedIndexSet(), RPTokenControl::IndexSet({1}));
    QTest::keyClick(field.get(), Qt::Key_Right, Qt::ShiftModifier);
    EXPECT_EQ(field->selectedIndexSet(), RPTokenControl::IndexSet({1, 2}));
    EXPECT_EQ(field->selectedTokens(), QStringList({"b", "c"}));
    QTest::mouseClick(field.get(), Qt::LeftButton, Qt::ControlModifier, centreOf(*field, 2));
    EXPECT_EQ(field->selectedIndexSet(), RPTokenControl::IndexSet({1}));
    QTest::keyClick(field.get(), Qt::Key_Left);
    EXPECT_EQ(field->selectedIndexSet(), RPTokenControl::IndexSet({0}));
    QTest::keyClick(field.get(), Qt::Key_Escape);
    EXPECT_TRUE(field->selectedIndexSet().empty());
    EXPECT_EQ(ui.beeps(), 0);

    // Up from the first line finds nothing above and nothing is truncated.
    field->selectIndex(0);
    QTest::keyClick(field.get(), Qt::Key_Up);
    EXPECT_EQ(ui.beeps(), 1);
    // Right from the last token with nothing truncated.
    field->setSelectedIndexSet({3});
    QTest::keyClick(field.get(), Qt::Key_Right);
    EXPECT_EQ(ui.beeps(), 2);
}

TEST_F(TokenInteraction, DownMovesToTheClosestTokenOfTheNextLine)
{
    auto field = control(eightLetters, 100, 200);
    field->selectIndex(1);
    QTest::keyClick(field.get(), Qt::Key_Down);
    EXPECT_EQ(field->selectedTokens(), QStringList({"e"}));
    QTest::keyClick(field.get(), Qt::Key_Up);
    EXPECT_EQ(field->selectedTokens(), QStringList({"b"}));
}

TEST_F(TokenInteraction, RightOnTheLastShownTokenPagesAndSelects)
{
    auto field = control(eightLetters, 100, 30);
    ASSERT_TRUE(field->ellipsisTokenIsDisplayed());
    field->selectIndex(4);
    QTest::keyClick(field.get(), Qt::Key_Right);
    EXPECT_EQ(field->firstTokenToDisplay(), 1);
    EXPECT_EQ(framedTexts(*field).first(), "b");
    EXPECT_EQ(field->selectedTokens(), QStringList({"f"}));
    EXPECT_EQ(ui.beeps(), 0);
    // Left past the first shown token pages back.
    field->setSelectedIndexSet({0});
    QTest::keyClick(field.get(), Qt::Key_Left);
    EXPECT_EQ(field->firstTokenToDisplay(), 0);
    QTest::keyClick(field.get(), Qt::Key_Left);
    EXPECT_EQ(ui.beeps(), 1);
}

TEST_F(TokenInteraction, TypingInReadOnlyScrollAreaScrollsToTheFirstMatch)
{
    // Accents sort with their base letters in English, not after "z".
    const QLocale previous;
    QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedStates));
    QStringList texts = {"ábaco", "Apple", "avocado"};
    for (int i = 10; i < 70; ++i) {
        texts.append(QString::number(i));
    }
    QScrollArea area;
    area.resize(150, 60);
    auto* field = new RPTokenControl;
    field->setTextMeasure(fixedMeasure);
    field->setFixedFontSize(10.0);
    field->setEditability(0);
    area.setWidget(field);
    area.show();
    field->setValue(RPTokenValue::array(texts));
    ASSERT_EQ(area.verticalScrollBar()->value(), 0);
    QTest::keyClick(field, Qt::Key_A);
    const FramedToken* target = nullptr;
    for (const FramedToken& token : field->framedTokens()) {
        if (token.text() == "ábaco") {
            target = &token;
        }
    }
    ASSERT_NE(target, nullptr);
    const int top = area.verticalScrollBar()->value();
    EXPECT_GT(top, 0);
    EXPECT_GE(target->bounds().top(), top);
    EXPECT_LE(target->bounds().bottom() - 3.0, top + area.viewport()->height());
    EXPECT_TRUE(field->selectedIndexSet().empty());
    EXPECT_EQ(field->tokensArray(), texts);
    QLocale::setDefault(previous);
}

TEST_F(TokenInteraction, TypingStartsANewTokenThatEndsOnTheTokenizingCharacter)
{
    auto field = control(RPTokenValue());
    field->setEditability(2);
    field->setTokenizingCharacter(QChar(u','));
    QSignalSpy changes(field.get(), &RPTokenControl::objectValueChanged);
    QTest::keyClick(field.get(), Qt::Key_X);
    QLineEdit* edit = field->textField();
    EXPECT_EQ(field->objectValue(), RPTokenValue::array({"x"}));
    EXPECT_EQ(field->tokenBeingEdited(), "x");
    EXPECT_TRUE(edit->isVisible());
    EXPECT_EQ(edit->cursorPosition(), 1);
    EXPECT_EQ(changes.size(), 0);

    QTest::keyClicks(edit, "y,");
    EXPECT_EQ(field->objectValue(), RPTokenValue::array({"xy"}));
    EXPECT_TRUE(field->tokenBeingEdited().isNull());
    EXPECT_FALSE(edit->isVisible());
    EXPECT_EQ(changes.size(), 1);

    // A Tab passed on by the text field finishes the token before starting the next.
    QTest::keyClick(field.get(), Qt::Key_Z);
    QTest::keyClick(edit, Qt::Key_Tab);
    EXPECT_EQ(field->objectValue(), RPTokenValue::array({"xy", "z", "\t"}));
}

TEST_F(TokenInteraction, DisallowedCharactersAreReplacedWithABeep)
{
    auto field = control(RPTokenValue::set({"a"}));
    field->setEditability(2);
    field->setDisallowedCharacterSet("/");
    QTest::keyClick(field.get(), Qt::Key_B);
    QTest::keyClicks(field->textField(), "/c");
    QTest::keyClick(field->textField(), Qt::Key_Return);
    EXPECT_EQ(field->objectValue(), RPTokenValue::set({"a", "b_c"}));
    EXPECT_EQ(ui.beeps(), 1);
}

TEST_F(TokenInteraction, EditEndedEmptyLeavesTheValueAsItWas)
{
    auto field = control(RPTokenValue::array({"a"}));
    field->setEditability(2);
    QTest::keyClick(field.get(), Qt::Key_X);
    QTest::keyClick(field->textField(), Qt::Key_Backspace);
    QTest::keyClick(field->textField(), Qt::Key_Return);
    EXPECT_EQ(field->objectValue(), RPTokenValue::array({"a"}));
    EXPECT_EQ(framedTexts(*field), QStringList({"a"}));
    EXPECT_TRUE(field->tokenBeingEdited().isNull());
}

TEST_F(TokenInteraction, DeleteRemovesEveryOccurrenceAndPostsTheTexts)
{
    auto field = control(RPTokenValue::countedSet({"a", "a", "b", "c"}));
    QVariantMap posted;
    const void* sender = nullptr;
    NotificationHub::defaultHub().addObserver(
        this, RPTokenControl::userDeletedTokensNotification(), [&](const Notification& note) {
            posted = note.userInfo;
            sender = note.sender;
        });
    field->setSelectedIndexSet({0, 2});
    QTest::keyClick(field.get(), Qt::Key_Delete);
    NotificationHub::defaultHub().removeObserver(this);
    EXPECT_EQ(field->objectValue(), RPTokenValue::countedSet({"b"}));
    EXPECT_EQ(sender, field.get());
    EXPECT_EQ(posted.value(RPTokenControl::userDeletedTokensKey()).toStringList(), QStringList({"a", "c"}));
    EXPECT_EQ(ui.beeps(), 0);
    // Nothing selected: nothing to delete.
    QTest::keyClick(field.get(), Qt::Key_Backspace);
    EXPECT_EQ(ui.beeps(), 1);
}

TEST_F(TokenInteraction, DraggedTokensFillThePasteboardTypes)
{
    auto field = control(RPTokenValue::array({"a", "b", "c", "d"}));
    EXPECT_EQ(field->mimeDataForSelection(), nullptr);
    field->setSelectedIndexSet({0, 1, 3});
    const std::unique_ptr<QMimeData> data = field->mimeDataForSelection();
    ASSERT_TRUE(data);
    EXPECT_EQ(data->data(RPTokenControl::tabularTokenPasteboardType()), "a\tb\td");
    EXPECT_EQ(data->data(RPTokenControl::tabularTextPasteboardType()), "a\tb\td");
    EXPECT_EQ(data->data(RPTokenControl::tokenPasteboardType()), "a");
    EXPECT_EQ(data->text(), "a");
}

TEST_F(TokenInteraction, DroppedTabularTextAddsTokensToASet)
{
    QMimeData dropped;
    dropped.setData(RPTokenControl::tabularTextPasteboardType(), "a\tb");
    auto field = control(RPTokenValue::array({"c", "c"}));
    EXPECT_TRUE(field->registeredDragTypes().isEmpty());
    field->setEditability(2);
    EXPECT_TRUE(field->acceptDrops());
    EXPECT_TRUE(field->performDragOperation(&dropped));
    EXPECT_EQ(field->objectValue(), RPTokenValue::set({"c", "a", "b"}));

    field->setValue(RPTokenValue::countedSet({"a", "a"}));
    EXPECT_TRUE(field->performDragOperation(&dropped));
    EXPECT_EQ(field->objectValue().countForText("a"), 3);
    EXPECT_EQ(field->objectValue().countForText("b"), 1);

    QMimeData image;
    image.setData("image/png", "x");
    EXPECT_FALSE(field->performDragOperation(&image));
}

TEST_F(TokenInteraction, ContextMenuTitlesNameTheTokens)
{
    auto field = control(RPTokenValue::array({"a", "b", "x"}));
    auto titles = [&](const QPoint& at) {
        QStringList result;
        if (const std::unique_ptr<QMenu> menu = field->menuForEvent(at)) {
            for (const QAction* action : menu->actions()) {
                result.append(action->text());
            }
        }
        return result;
    };
    EXPECT_EQ(titles(centreOf(*field, 2)), QStringList({"Delete 'x'"}));
    EXPECT_EQ(field->selectedTokens(), QStringList({"x"}));
    field->setSelectedIndexSet({0, 1, 2});
    EXPECT_EQ(titles(centreOf(*field, 0)), QStringList({"Delete 3 tokens"}));
    RenamingDelegate renaming;
    field->setDelegate(&renaming);
    EXPECT_EQ(titles(centreOf(*field, 2)), QStringList({"Delete 3 tokens", "Rename 'x'"}));
    EXPECT_TRUE(titles(QPoint(390, 90)).isEmpty());
    EXPECT_TRUE(field->selectedIndexSet().empty());
    field->setDelegate(nullptr);
}

namespace {

class LinkDelegate : public RPTokenControlDelegate {
public:
    std::optional<bool> draggingEntered(const QMimeData*) override { return enterAnswer; }
    std::optional<bool> performDragOperation(const QMimeData* data) override
    {
        dropped = QString::fromUtf8(data->data("application/x-link"));
        return true;
    }

    std::optional<bool> enterAnswer;
    QString dropped;
};

} // namespace

TEST_F(TokenInteraction, LinkDropsGoToTheDelegateAndAddNothing)
{
    auto field = control(RPTokenValue::array({"a"}));
    QMimeData link;
    link.setData("application/x-link", "photo-7");
    link.setText("ignored");
    EXPECT_FALSE(field->acceptsDrag(&link, false));
    field->setLinkDragType("application/x-link");
    EXPECT_EQ(field->registeredDragTypes(), QStringList({"application/x-link"}));
    // Without a delegate a link is offered as a copy but not taken.
    EXPECT_TRUE(field->acceptsDrag(&link, false));
    EXPECT_FALSE(field->performDragOperation(&link));

    LinkDelegate delegate;
    delegate.enterAnswer = false;
    field->setDelegate(&delegate);
    EXPECT_FALSE(field->acceptsDrag(&link, false));
    EXPECT_TRUE(field->performDragOperation(&link));
    EXPECT_EQ(delegate.dropped, "photo-7");
    EXPECT_EQ(field->objectValue(), RPTokenValue::array({"a"}));
    field->setDelegate(nullptr);

    // No link type: the default text types are registered again, and plain text is one token.
    field->setLinkDragType(QString());
    EXPECT_EQ(field->registeredDragTypes(), QStringList({"text/plain", "text/tab-separated-values"}));
    QMimeData plain;
    plain.setText("b\tc");
    EXPECT_TRUE(field->performDragOperation(&plain));
    EXPECT_EQ(field->objectValue(), RPTokenValue::set({"a", "b\tc"}));
}

TEST_F(TokenInteraction, ClicksSendTheActionAndEmptySpaceClears)
{
    auto field = control(RPTokenValue::array({"a", "b", "c"}));
    QSignalSpy actions(field.get(), &RPTokenControl::action);
    QTest::mouseClick(field.get(), Qt::LeftButton, {}, centreOf(*field, 0));
    QTest::mouseClick(field.get(), Qt::LeftButton, Qt::ShiftModifier, centreOf(*field, 2));
    EXPECT_EQ(field->selectedTokens(), QStringList({"a", "b", "c"}));
    QTest::mouseClick(field.get(), Qt::LeftButton, Qt::ControlModifier, QPoint(390, 90));
    EXPECT_EQ(field->selectedIndexSet().size(), 3u);
    QTest::mouseClick(field.get(), Qt::LeftButton, {}, QPoint(390, 90));
    EXPECT_TRUE(field->selectedIndexSet().empty());
    // Each press, and each selection change by the mouse.
    EXPECT_EQ(actions.size(), 8);

    field->setEnabled(false);
    QTest::mouseClick(field.get(), Qt::LeftButton, {}, centreOf(*field, 0));
    EXPECT_TRUE(field->selectedIndexSet().empty());
    EXPECT_EQ(field->menuForEvent(centreOf(*field, 0)), nullptr);
}

TEST_F(TokenInteraction, SelectAllReachesPastTheShownTokensButDeletesOnlyShownOnes)
{
    auto field = control(eightLetters, 100, 30);
    field->selectAllIndexes();
    EXPECT_EQ(field->selectedIndexSet().size(), 8u);
    EXPECT_TRUE(field->deselectedIndexesSet().empty());
    EXPECT_TRUE(field->deleteSelectedTokens());
    EXPECT_EQ(field->objectValue(), RPTokenValue::array({"f", "g", "h"}));
}

TEST_F(TokenInteraction, TypingOverAnExistingTextKeepsThatToken)
{
    auto field = control(RPTokenValue::set({"a", "b"}));
    field->setEditability(2);
    QTest::keyClick(field.get(), Qt::Key_A);
    EXPECT_EQ(framedTexts(*field), QStringList({"a", "b"}));
    QTest::keyClick(field->textField(), Qt::Key_B);
    EXPECT_EQ(field->objectValue(), RPTokenValue::set({"a", "b", "ab"}));
    // A new value from outside ends the typing.
    field->setValue(RPTokenValue::array({"z"}));
    EXPECT_TRUE(field->tokenBeingEdited().isNull());
    EXPECT_FALSE(field->textField()->isVisible());
    EXPECT_EQ(field->indexOfFramedTokenBeingEdited(), RPTokenControl::NotFound);
}

TEST_F(TokenInteraction, SeveralCharactersStartATokenOnlyFromLevelThree)
{
    auto field = control(RPTokenValue::array({"a"}));
    field->setEditability(2);
    QKeyEvent composed(QEvent::KeyPress, 0, Qt::NoModifier, "ñu");
    QApplication::sendEvent(field.get(), &composed);
    EXPECT_TRUE(field->tokenBeingEdited().isNull());
    field->setEditability(3);
    QApplication::sendEvent(field.get(), &composed);
    EXPECT_EQ(field->tokenBeingEdited(), "ñu");
    EXPECT_EQ(field->objectValue(), RPTokenValue::array({"a", "ñu"}));
}
