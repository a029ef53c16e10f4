#include "app/TAVDetailViewCtlr.h"

#include "TabPostRecorder.h"

#include "commlib/NotLossFoucsSearchField.h"
#include "commlib/TAVSearchableTagTableModel.h"

#include "foundation/FileServices.h"
#include "foundation/UserDefaults.h"

#include "models/image/TAVImageObject.h"

#include "support/ExifTool.h"
#include "support/FakeUiServices.h"
#include "support/Gallery.h"
#include "support/ImageFixtures.h"
#include "support/Patience.h"
#include "support/TempFolder.h"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QLineEdit>
#include <QTest>

#include <gtest/gtest.h>

namespace {

using Post = TabPostRecorder::Post;
using Table = TAVSearchableTagTable;

// Like the real alert, which is modal: it takes the keyboard focus from
// whatever had it, here the cell editor.
class FocusTakingUi : public FakeUiServices {
public:
    int runAlert(const AlertRequest& request) override
    {
        if (focusTaker != nullptr)
            focusTaker->setFocus(Qt::ActiveWindowFocusReason);
        return FakeUiServices::runAlert(request);
    }
    QWidget* focusTaker = nullptr;
};

// A record as the reading manager leaves it, each key in its own category.
TAVExifDataPtr recordWith(const std::vector<std::pair<QString, QString>>& entries)
{
    QMap<int, TAVEntityMap> maps;
    for (const QString& family : {QStringLiteral("EXIF"), QStringLiteral("IPTC"), QStringLiteral("XMP")}) {
        auto row = TAVEntity::entityWithValue(QString(), family);
        row->setIsGroup(true);
        maps[3].insert(family, row);
    }
    for (const auto& [key, value] : entries)
        maps[TAVExifData::getLocalShowKeyType(key)].insert(key, TAVEntity::entityWithValue(value, key));
    auto record = TAVExifData::create();
    for (auto it = maps.cbegin(); it != maps.cend(); ++it)
        record->initImageExifData(it.value(), it.key());
    return record;
}

class DetailTabTest : public TempFolderTest {
protected:
    void SetUp() override
    {
        TempFolderTest::SetUp();
        UiServices::setShared(&ui);
        ui.focusTaker = tab.searchField();
        tab.resize(760, 420);
        tab.show();
        QApplication::setActiveWindow(&tab);
        ASSERT_TRUE(QTest::qWaitForWindowActive(&tab, kPatientMs));
    }
    void TearDown() override { UiServices::setShared(nullptr); }

    int rowOf(const QString& key) const
    {
        const Table& table = tab.model()->table();
        for (int row = 0; row < table.shownCount(); ++row) {
            if (table.shownRow(row)->entity->key() == key)
                return row;
        }
        return -1;
    }
    QModelIndex valueCell(const QString& key) const { return tab.model()->index(rowOf(key), 2); }
    QString shownValue(const QString& key) const { return valueCell(key).data().toString(); }

    void doubleClickValue(const QString& key)
    {
        QTableView* view = tab.tableView();
        const QModelIndex cell = valueCell(key);
        ASSERT_TRUE(cell.isValid()) << key.toStdString();
        view->scrollTo(cell);
        const QPoint centre = view->visualRect(cell).center();
        QTest::mouseClick(view->viewport(), Qt::LeftButton, {}, centre);
        QTest::mouseDClick(view->viewport(), Qt::LeftButton, {}, centre);
    }
    QLineEdit* openEditor() const { return tab.tableView()->viewport()->findChild<QLineEdit*>(); }

    // Opens the value cell, replaces its text as a user would and presses Enter.
    void typeValue(const QString& key, const QString& text)
    {
        doubleClickValue(key);
        QLineEdit* editor = openEditor();
        ASSERT_NE(editor, nullptr);
        editor->selectAll();
        if (text.isEmpty())
            QTest::keyClick(editor, Qt::Key_Backspace);
        else
            QTest::keyClicks(editor, text);
        typedPending = TAVBaseTabViewCltr::isPendingEdits();
        QTest::keyClick(editor, Qt::Key_Return);
        QCoreApplication::processEvents();
        QCoreApplication::processEvents();
    }

    FocusTakingUi ui;
    TabPostRecorder recorder;
    TAVDetailViewCtlr tab;
    bool typedPending = false;
};

} // namespace

TEST_F(DetailTabTest, ByteRowsAreRefusedWithOneTipsAlertBeforeAnyEditorOpens)
{
    tab.setImgExifData(recordWith({{"Exif.GPSInfo.GPSVersionID", "2 2 0 0"}, {"Exif.Image.Make", "Canon"}}));
    doubleClickValue("Exif.GPSInfo.GPSVersionID");
    ASSERT_EQ(ui.alerts().size(), 1);
    EXPECT_EQ(ui.alerts().at(0).title, QStringLiteral("This tag cannot be edited"));
    EXPECT_EQ(ui.alerts().at(0).style, UiServices::AlertStyle::Informational);
    EXPECT_EQ(ui.alerts().at(0).message, QStringLiteral("This version dose not support for editing Byte type tag."));
    EXPECT_EQ(ui.alerts().at(0).buttons, QStringList({"OK"}));
    EXPECT_EQ(openEditor(), nullptr);

    // A header never opens one, and asks nothing.
    const QPoint header = tab.tableView()->visualRect(tab.model()->index(0, 0)).center();
    QTest::mouseDClick(tab.tableView()->viewport(), Qt::LeftButton, {}, header);
    EXPECT_EQ(openEditor(), nullptr);
    EXPECT_EQ(ui.alerts().size(), 1);
}

TEST_F(DetailTabTest, AnInvalidValueGivesOneErrorAlertNamingTheKeyAndLeavesTheRecord)
{
    const auto record = recordWith({{"Exif.Image.Orientation", "1"}});
    tab.setImgExifData(record);
    typeValue("Exif.Image.Orientation", "abc");
    // The alert took the editor's focus, which commits the text once more: still one alert.
    ASSERT_EQ(ui.alerts().size(), 1);
    EXPECT_EQ(ui.alerts().at(0).title, QStringLiteral("Error"));
    EXPECT_EQ(ui.alerts().at(0).message,
        QStringLiteral("Please set a valid value for \"Exif.Image.Orientation\" \n Tips: park your mouse hovering "
                       "over the cell to get help"));
    EXPECT_EQ(ui.alerts().at(0).buttons, QStringList({"OK"}));
    const int category = TAVExifData::getLocalShowKeyType("Exif.Image.Orientation");
    EXPECT_EQ(record->getValueForKey("Exif.Image.Orientation", category), QStringLiteral("1"));
    EXPECT_FALSE(record->isModifiedForKey("Exif.Image.Orientation", category));
    EXPECT_EQ(shownValue("Exif.Image.Orientation"), QStringLiteral("1"));
    QCoreApplication::processEvents();
    EXPECT_TRUE(recorder.posts.empty());
}

TEST_F(DetailTabTest, AnAcceptedEditGoesIntoItsCategoryAndIsAnnouncedAfterTheCommit)
{
    const auto record = recordWith({{"Exif.Image.Make", "Nikon"}, {"Exif.Image.Artist", "Ann"}});
    tab.setImgExifData(record);
    // The main window answers by handing the record back, which resets the table.
    recorder.onPost = [&](bool needRefresh) {
        if (needRefresh)
            tab.setImgExifData(record);
    };
    typeValue("Exif.Image.Make", "Canon");
    EXPECT_TRUE(typedPending);
    EXPECT_TRUE(ui.alerts().isEmpty());
    EXPECT_EQ(record->getValueForKey("Exif.Image.Make", 0), QStringLiteral("Canon"));
    EXPECT_TRUE(record->isModifiedForKey("Exif.Image.Make", 0));
    EXPECT_EQ(recorder.posts, (std::vector<Post>{{true, true}}));
    const QModelIndex make = valueCell("Exif.Image.Make");
    EXPECT_EQ(make.data().toString(), QStringLiteral("Canon"));
    const QFont font = make.data(Qt::FontRole).value<QFont>();
    EXPECT_TRUE(font.bold() && font.italic());
    EXPECT_EQ(make.data(Qt::ForegroundRole).value<QColor>(), QColor(Qt::blue));

    // An emptied value is always accepted.
    typeValue("Exif.Image.Artist", QString());
    EXPECT_TRUE(ui.alerts().isEmpty());
    EXPECT_EQ(record->getValueForKey("Exif.Image.Artist", 0), QString(""));
    EXPECT_TRUE(record->isModifiedForKey("Exif.Image.Artist", 0));
    EXPECT_EQ(recorder.posts.size(), 2u);
}

TEST_F(DetailTabTest, SearchFieldCaseBoxAndFamilyFilterNarrowTheRowsAndANewRecordIsSearchedAgain)
{
    EXPECT_TRUE(tab.searchField()->hasFocus());
    tab.setImgExifData(recordWith({{"Exif.Image.Make", "Canon"}, {"Iptc.Application2.City", "Oslo"}}));
    QTest::keyClicks(tab.searchField(), "make");
    EXPECT_EQ(rowOf("Exif.Image.Make"), -1);
    tab.ignoringCase()->click();
    ASSERT_EQ(rowOf("Exif.Image.Make"), 1);
    EXPECT_EQ(tab.model()->index(1, 0).data(TAVSearchableTagTableModel::HighlightRole).value<Table::Range>(),
        (Table::Range{0, 4}));
    EXPECT_EQ(tab.tableView()->columnSpan(0, 0), 3);

    tab.popType()->setCurrentText("Exif");
    EXPECT_EQ(tab.model()->rowCount(), 1);
    tab.setEditEnable(false);
    EXPECT_FALSE(tab.popType()->isEnabled());
    EXPECT_TRUE(tab.searchField()->isEnabled());
    tab.popType()->setCurrentText("All");

    tab.searchField()->setText("Canon");
    ASSERT_EQ(shownValue("Exif.Image.Make"), QStringLiteral("Canon"));
    tab.setImgExifData(recordWith({{"Exif.Image.Make", "Nikon"}}));
    for (int row = 0; row < tab.model()->rowCount(); ++row)
        EXPECT_NE(tab.model()->index(row, 2).data().toString(), QStringLiteral("Canon"));
    EXPECT_EQ(rowOf("Exif.Image.Make"), -1);
    tab.searchField()->clear();
    EXPECT_EQ(shownValue("Exif.Image.Make"), QStringLiteral("Nikon"));
    EXPECT_TRUE(recorder.posts.empty());

    // The field gives the focus up to the table and takes it back when clicked.
    tab.tableView()->setFocus();
    EXPECT_FALSE(tab.searchField()->hasFocus());
    QTest::mouseClick(tab.searchField(), Qt::LeftButton);
    EXPECT_TRUE(tab.searchField()->hasFocus());
}

TEST_F(DetailTabTest, ARealPhotoShowsWhatExiftoolReadsAndAnEditReachesTheFile)
{
    if (!ExifTool::available())
        GTEST_SKIP() << "exiftool missing";
    UserDefaults::standard().setBool(false, "update_file_origine_open_create_modify_date");
    QDir().mkpath(tempPath("user"));
    QDir().mkpath(tempPath("work"));
    const QString user = ImageFixtures::copySample("npm-canon-s40.jpg", tempPath("user"));
    const QString work = tempPath("work/npm-canon-s40.jpg");
    ASSERT_TRUE(FileServices::copyItem(user, work));
    const auto image = TAVImageObject::create(work);
    image->setSrcPath(user);
    tab.setImgExifData(image->exifData());

    const QJsonObject before = ExifTool::read(user);
    EXPECT_EQ(shownValue("Exif.Image.Make"), before.value("IFD0:Make").toString());
    EXPECT_EQ(shownValue("Exif.Image.Model"), before.value("IFD0:Model").toString());
    EXPECT_FALSE(before.value("IFD0:Model").toString().isEmpty());

    typeValue("Exif.Image.Artist", "Ann Lee");
    ASSERT_TRUE(ui.alerts().isEmpty());
    ASSERT_TRUE(image->saveMetadataToImage());
    EXPECT_EQ(ExifTool::read(user).value("IFD0:Artist").toString(), QStringLiteral("Ann Lee"));

    // The gallery picture: a search in force over the photo, one row edited.
    image->exifData()->setValue("Canon PowerShot S40 (edited)", "Exif.Image.Model", 0, false, false, true);
    tab.setImgExifData(image->exifData());
    tab.searchField()->setText("Canon");
    tab.tableView()->scrollTo(valueCell("Exif.Image.Model"), QAbstractItemView::PositionAtCenter);
    const QImage picture = tab.grab().toImage();
    int red = 0;
    for (int y = 0; y < picture.height(); ++y) {
        for (int x = 0; x < picture.width(); ++x) {
            const QColor c = picture.pixelColor(x, y);
            red += c.red() > 200 && c.green() < 80 && c.blue() < 80;
        }
    }
    EXPECT_GT(red, 20);
    EXPECT_TRUE(Gallery::capture(&tab, "detail-tab"));
}

// Photos stepped through on another tab get their rows (the record's copies
// of every tag) only once this tab is shown, and then those of the last one.
TEST_F(DetailTabTest, AHiddenTabMakesTheRowsOfItsRecordWhenShown)
{
    tab.hide();
    tab.setImgExifData(recordWith({{"Exif.Image.Make", "Canon"}}));
    tab.setImgExifData(recordWith({{"Exif.Image.Make", "Nikon"}, {"Iptc.Application2.City", "Oslo"}}));
    EXPECT_EQ(tab.model()->rowCount(), 0);
    tab.show();
    EXPECT_EQ(shownValue("Exif.Image.Make"), QStringLiteral("Nikon"));
    EXPECT_EQ(shownValue("Iptc.Application2.City"), QStringLiteral("Oslo"));
    tab.hide();
    tab.setImgExifData(nullptr);
    tab.show();
    EXPECT_EQ(tab.model()->rowCount(), 0);
}
