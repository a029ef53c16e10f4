#include "commlib/TAVBaseTabViewCltr.h"

#include "foundation/NotificationHub.h"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>

#include <gtest/gtest.h>

namespace {

struct Posted {
    const void* sender;
    bool hasModify;
    bool needRefresh;
};

class TabBaseTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        TAVBaseTabViewCltr::setPendingEdits(false);
        NotificationHub::defaultHub().addObserver(
            this, TAVBaseTabViewCltr::kNotiFileMetadataHasChanged, [this](const Notification& note) {
                posts.push_back({note.sender, note.userInfo.value("hasModify").toBool(),
                    note.userInfo.value("needRefresh").toBool()});
            });
    }
    void TearDown() override
    {
        NotificationHub::defaultHub().removeObserver(this);
        TAVBaseTabViewCltr::setPendingEdits(false);
    }
    std::vector<Posted> posts;
};

} // namespace

TEST_F(TabBaseTest, KeepsTheHandedRecordAndPostsTheFlagAsItIsAtPostingTime)
{
    TAVBaseTabViewCltr tab;
    const TAVExifDataPtr record = TAVExifData::create();
    tab.setImgExifData(record);
    EXPECT_EQ(tab.imgExifData().get(), record.get()) << "the shown record itself, not a copy";
    EXPECT_FALSE(tab.genDictionayFromSetting().has_value());
    EXPECT_TRUE(posts.empty());

    tab.controlTextDidChange(nullptr); // a keystroke
    tab.notiFileMetadataChanged(false);
    // The main window applied and cleared the flag; a post without a new edit carries NO.
    TAVBaseTabViewCltr::setPendingEdits(false);
    tab.notiFileMetadataChanged(true);
    QComboBox popUp;
    tab.clickPopupButton(&popUp);
    tab.notiFileMetadataChanged(true);
    ASSERT_EQ(posts.size(), 3u);
    for (const Posted& post : posts)
        EXPECT_EQ(post.sender, &tab);
    EXPECT_TRUE(posts[0].hasModify && !posts[0].needRefresh);
    EXPECT_TRUE(!posts[1].hasModify && posts[1].needRefresh);
    EXPECT_TRUE(posts[2].hasModify && posts[2].needRefresh);
}

TEST_F(TabBaseTest, StylesLabelsFieldsAndButtonsButNoOtherControl)
{
    QLabel label(QStringLiteral("Camera"));
    QLineEdit edit;
    QCheckBox box(QStringLiteral("Shift"));
    QComboBox combo;
    const QFont comboFont = combo.font();
    for (const bool modified : {true, false}) {
        SCOPED_TRACE(modified);
        for (QWidget* control : {static_cast<QWidget*>(&label), static_cast<QWidget*>(&edit),
                 static_cast<QWidget*>(&box), static_cast<QWidget*>(&combo)}) {
            TAVBaseTabViewCltr::refreshFieldShow(control, modified);
        }
        const QColor colour = modified ? QColor(0, 0, 255) : QColor(0, 0, 0);
        for (QWidget* styled :
            {static_cast<QWidget*>(&label), static_cast<QWidget*>(&edit), static_cast<QWidget*>(&box)}) {
            EXPECT_EQ(styled->font().pointSizeF(), 11.0);
            EXPECT_EQ(styled->font().bold(), modified);
            EXPECT_EQ(styled->font().italic(), modified);
            EXPECT_EQ(styled->font().family(), QApplication::font().family());
        }
        EXPECT_EQ(label.palette().color(QPalette::WindowText), colour);
        EXPECT_EQ(edit.palette().color(QPalette::Text), colour);
        EXPECT_EQ(box.palette().color(QPalette::ButtonText), colour);
        EXPECT_EQ(combo.font(), comboFont);
    }
    TAVBaseTabViewCltr::refreshFieldShow(nullptr, true); // no control, no harm
}
