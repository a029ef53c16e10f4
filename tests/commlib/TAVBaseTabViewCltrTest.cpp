#include "commlib/TAVBaseTabViewCltr.h"

#include "foundation/NotificationHub.h"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QVBoxLayout>

#include <gtest/gtest.h>

namespace {

// The smallest tab a subclass would make: one field and its label.
class OneFieldTab : public TAVBaseTabViewCltr {
public:
    OneFieldTab()
    {
        auto* layout = new QVBoxLayout(this);
        layout->addWidget(label = new QLabel(QStringLiteral("Artist")));
        layout->addWidget(field = new QLineEdit());
        connect(field, &QLineEdit::textEdited, this, [this] { controlTextDidChange(field); });
    }
    void controlTextDidChange(QObject* sender) override
    {
        TAVBaseTabViewCltr::controlTextDidChange(sender);
        imgExifData()->setValue(field->text(), key, 0, false, false, true);
        refreshModifiedFields();
        notiFileMetadataChanged(false);
    }
    void refreshModifiedFields() override
    {
        refreshFieldShow(label, imgExifData() && imgExifData()->isModifiedForKey(key, 0));
    }
    QLabel* label = nullptr;
    QLineEdit* field = nullptr;
    const QString key = QStringLiteral("Exif.Image.Artist");
};

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
        NotificationHub::defaultHub().addObserver(this, TAVBaseTabViewCltr::kNotiFileMetadataHasChanged,
            [this](const Notification& note) {
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

}  // namespace

TEST_F(TabBaseTest, KeepsTheHandedRecordAndPostsTheFlagWithEachEdit)
{
    OneFieldTab tab;
    auto record = TAVExifData::create();
    record->initImageExifData(TAVEntityMap{{tab.key, TAVEntity::entityWithValue("", tab.key)}}, 0);
    tab.setImgExifData(record);
    EXPECT_EQ(tab.imgExifData().get(), record.get()) << "the shown record itself, not a copy";
    EXPECT_TRUE(posts.empty());
    EXPECT_FALSE(tab.genDictionayFromSetting().has_value());

    tab.field->setText(QStringLiteral("Ann"));
    emit tab.field->textEdited(tab.field->text());
    ASSERT_EQ(posts.size(), 1u);
    EXPECT_EQ(posts[0].sender, &tab);
    EXPECT_TRUE(posts[0].hasModify);
    EXPECT_FALSE(posts[0].needRefresh);
    EXPECT_EQ(record->getValueForKey(tab.key, 0), QStringLiteral("Ann"));
    EXPECT_TRUE(tab.label->font().bold());

    // The main window applies and clears the flag; a post without a new edit carries NO.
    TAVBaseTabViewCltr::setPendingEdits(false);
    tab.notiFileMetadataChanged(true);
    ASSERT_EQ(posts.size(), 2u);
    EXPECT_FALSE(posts[1].hasModify);
    EXPECT_TRUE(posts[1].needRefresh);

    QComboBox popup;
    tab.clickPopupButton(&popup);
    EXPECT_TRUE(TAVBaseTabViewCltr::isPendingEdits());
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
        for (QWidget* styled : {static_cast<QWidget*>(&label), static_cast<QWidget*>(&edit),
                 static_cast<QWidget*>(&box)}) {
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
    TAVBaseTabViewCltr::refreshFieldShow(nullptr, true);  // no control, no harm
}
