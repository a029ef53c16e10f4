// The new-preset sheet over a real camera record: which rows it offers, when
// OK may be pressed, what the owner receives, and the value search.
#include "tools/TAVNewPresetWindowCtlr.h"
#include "tools/TAVNewPresetWindowCtlrDelegate.h"

#include "PresetsTestSupport.h"

#include "commlib/NotLossFoucsSearchField.h"
#include "commlib/TAVSearchableTagTableModel.h"

#include "models/image/TAVImageObject.h"
#include "views/GSGroupedTableView.h"

#include "support/FakeUiServices.h"
#include "support/Gallery.h"
#include "support/ImageFixtures.h"
#include "support/Patience.h"
#include "support/QtPrinters.h"
#include "support/TempFolder.h"

#include <QCheckBox>
#include <QLabel>
#include <QPushButton>
#include <QTest>

#include <gtest/gtest.h>

namespace {

using namespace PresetsTest;
using Model = TAVSearchableTagTableModel;

class RecordingDelegate : public TAVNewPresetWindowCtlrDelegate {
public:
    void didNewPresetWindowCltrFinished(bool cancelled, const TAVExifDataPtr& result) override
    {
        calls.push_back({cancelled, result});
    }
    std::vector<std::pair<bool, TAVExifDataPtr>> calls;
};

QStringList userSetKeys(const TAVExifData& record)
{
    QStringList keys;
    for (const TAVEntityMap& map : record.mdicUserSetExifDataInfo()) {
        keys.append(map.keys());
    }
    return keys;
}

class NewPresetSheetTest : public PresetsFolderTest {
protected:
    void SetUp() override
    {
        PresetsFolderTest::SetUp();
        UiServices::setShared(&ui);
        const QString path = ImageFixtures::copySample("npm-canon-s40.jpg", temp.path());
        image = TAVImageObject::create(path);
        ASSERT_TRUE(image->exifData() != nullptr);
        sheet = std::make_unique<TAVNewPresetWindowCtlr>(image->exifData());
        sheet->setDelegate(&delegate);
        host.showNormalWindow();
        host.beginSheetWindow(sheet->window());
        ASSERT_TRUE(QTest::qWaitForWindowExposed(sheet->window(), kPatientMs));
    }
    void TearDown() override
    {
        sheet.reset();
        UiServices::setShared(nullptr);
        PresetsFolderTest::TearDown();
    }

    Model& model() { return *sheet->model(); }
    int rowOf(const QString& key) { return static_cast<int>(shownKeys().indexOf(key)); }
    void tick(const QString& key, bool on = true)
    {
        const int row = rowOf(key);
        ASSERT_GE(row, 0) << key.toStdString();
        ASSERT_TRUE(model().setData(model().index(row, model().columnOf(Model::kCheckColumn)),
            on ? Qt::Checked : Qt::Unchecked, Qt::CheckStateRole));
    }
    void typeName(const QString& name)
    {
        sheet->presetNameField()->clear();
        QTest::keyClicks(sheet->presetNameField(), name);
    }
    void search(const QString& text, bool ignoreCase)
    {
        if (sheet->searchIgnore()->isChecked() != ignoreCase)
            sheet->searchIgnore()->click();
        sheet->searchField()->setText(text);
    }
    TAVSearchableTagTable::Range redRun(const QString& key)
    {
        const QModelIndex value = model().index(rowOf(key), model().columnOf(TAVNewPresetWindowCtlr::kOriginalColumn));
        return value.data(Model::HighlightRole).value<TAVSearchableTagTable::Range>();
    }
    QStringList shownKeys()
    {
        QStringList keys;
        for (int row = 0; row < model().rowCount(); ++row)
            keys.append(model().table().shownRow(row)->entity->key());
        return keys;
    }

    TempFolder temp;
    FakeUiServices ui;
    TAVImageObjectPtr image;
    RecordingDelegate delegate;
    VXCommonWindowController host;
    std::unique_ptr<TAVNewPresetWindowCtlr> sheet;
};

TEST_F(NewPresetSheetTest, OffersTheSettingsValuesByKeyExceptDisplayOnlyOnes)
{
    const QStringList keys = shownKeys();
    ASSERT_GT(keys.size(), 10);
    EXPECT_TRUE(userSetKeys(*image->exifData()).contains("Summary.ImageSize"));
    EXPECT_FALSE(keys.contains("Summary.ImageSize"));
    EXPECT_TRUE(keys.contains("Exif.Image.Make"));
    QStringList sorted = keys;
    std::sort(sorted.begin(), sorted.end());
    EXPECT_EQ(keys, sorted);
    // At opening: nothing ticked, no name.
    EXPECT_FALSE(sheet->okBtn()->isEnabled());
    EXPECT_EQ(sheet->selectAllBtn()->text(), QStringLiteral("Select All"));
}

TEST_F(NewPresetSheetTest, OkNeedsANameAndATick)
{
    typeName("Mine");
    EXPECT_FALSE(sheet->okBtn()->isEnabled());
    // A click on the row's box.
    GSGroupedTableView* table = sheet->tableview();
    const QModelIndex box = model().index(rowOf("Exif.Image.Make"), 0);
    table->scrollTo(box);
    QTest::mouseClick(table->viewport(), Qt::LeftButton, {}, table->visualRect(box).center());
    EXPECT_EQ(box.data(Qt::CheckStateRole), QVariant(Qt::Checked));
    EXPECT_TRUE(sheet->okBtn()->isEnabled());
    sheet->presetNameField()->clear();
    EXPECT_FALSE(sheet->okBtn()->isEnabled());
    typeName("M");
    tick("Exif.Image.Make", false);
    EXPECT_FALSE(sheet->okBtn()->isEnabled());
}

TEST_F(NewPresetSheetTest, MissingBadOrTakenNamesShowARedMessageAndTheSheetStays)
{
    addPreset("Taken", {{"Exif.Image.Make", "Canon"}});
    tick("Exif.Image.Make");
    const struct {
        QString name;
        QString message;
    } cases[] = {
        {"", "Please input preset name."},
        {"../x", "Preset name is not valid."},
        {".hidden", "Preset name is not valid."},
        {"Taken", "Preset name has exist."},
    };
    int beeps = ui.beeps();
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name.toStdString());
        typeName(c.name);
        sheet->clickOK();
        EXPECT_EQ(sheet->tips()->text(), c.message);
        EXPECT_EQ(sheet->tips()->palette().color(QPalette::WindowText), QColor(Qt::red));
        EXPECT_EQ(ui.beeps(), ++beeps);
        EXPECT_TRUE(sheet->isSheetUp());
        EXPECT_TRUE(delegate.calls.empty());
    }
    QTest::keyClick(sheet->presetNameField(), Qt::Key_2);
    EXPECT_TRUE(sheet->tips()->text().isEmpty());
    EXPECT_EQ(storedNames(), QStringList{"Taken"});
}

TEST_F(NewPresetSheetTest, OkHandsTheOwnerANamedRecordOfTheTickedValuesOnly)
{
    const int category = TAVExifData::getLocalShowKeyType("Exif.Image.Make");
    const QString make = image->exifData()->getValueForKey("Exif.Image.Make", category);
    ASSERT_FALSE(make.isEmpty());
    // A search leaves its red run on screen only.
    search(make.left(3), false);
    tick("Exif.Image.Make");
    typeName("Camera maker");
    QTest::mouseClick(sheet->okBtn(), Qt::LeftButton);

    ASSERT_EQ(delegate.calls.size(), 1u);
    EXPECT_FALSE(delegate.calls[0].first);
    const TAVExifDataPtr result = delegate.calls[0].second;
    ASSERT_TRUE(result != nullptr);
    EXPECT_NE(result, image->exifData()) << "the sheet hands over its own copy";
    EXPECT_EQ(result->strName(), QStringLiteral("Camera maker"));
    EXPECT_EQ(userSetKeys(*result), QStringList{"Exif.Image.Make"});
    EXPECT_EQ(result->getValueForKey("Exif.Image.Make", category), make);
    EXPECT_FALSE(sheet->isSheetUp());
    // The shown record lost nothing.
    EXPECT_TRUE(userSetKeys(*image->exifData()).contains("Summary.ImageSize"));

    ASSERT_TRUE(store().addPreset(result));
    const TAVExifDataPtr stored = store().presetWithName("Camera maker");
    ASSERT_TRUE(stored != nullptr);
    EXPECT_EQ(userSetKeys(*stored), QStringList{"Exif.Image.Make"});
    EXPECT_EQ(stored->getValueForKey("Exif.Image.Make", category), make);
}

TEST_F(NewPresetSheetTest, ValueSearchFollowsTheCaseBoxAndTicksOnHitsStay)
{
    const int all = model().rowCount();
    const QString make
        = image->exifData()->getValueForKey("Exif.Image.Make", TAVExifData::getLocalShowKeyType("Exif.Image.Make"));
    ASSERT_EQ(make, QStringLiteral("Canon"));
    search("Exif.Image", true);
    EXPECT_EQ(model().rowCount(), 0) << "keys are not searched";

    search("canon", false);
    EXPECT_EQ(model().rowCount(), 0);
    search("canon", true);
    ASSERT_GT(model().rowCount(), 0);
    EXPECT_LT(model().rowCount(), all);
    for (int row = 0; row < model().rowCount(); ++row) {
        EXPECT_TRUE(model().table().shownRow(row)->entity->value().contains("canon", Qt::CaseInsensitive));
    }
    EXPECT_EQ(sheet->tableview()->selectionModel()->selectedRows().value(0).row(), 0);
    EXPECT_EQ(redRun("Exif.Image.Make"), (TAVSearchableTagTable::Range{0, 5}));

    tick("Exif.Image.Make");
    tick(shownKeys().last());
    const QString lastHit = shownKeys().last();
    search("", true);
    EXPECT_EQ(model().rowCount(), all);
    EXPECT_EQ(model().index(rowOf("Exif.Image.Make"), 0).data(Qt::CheckStateRole), QVariant(Qt::Checked));
    EXPECT_EQ(model().index(rowOf(lastHit), 0).data(Qt::CheckStateRole), QVariant(Qt::Checked));
    EXPECT_TRUE(redRun("Exif.Image.Make").isEmpty());
    EXPECT_EQ(model().table().shownRow(rowOf("Exif.Image.Make"))->entity->value(), make);
}

TEST_F(NewPresetSheetTest, SelectAllDoesWhatItsTitleSays)
{
    auto checks = [this] {
        QList<bool> ticks;
        for (int row = 0; row < model().rowCount(); ++row)
            if (!model().isGroupRow(row))
                ticks.append(model().index(row, 0).data(Qt::CheckStateRole) == QVariant(Qt::Checked));
        return ticks;
    };
    QPushButton* button = sheet->selectAllBtn();
    tick("Exif.Image.Make");
    QTest::mouseClick(button, Qt::LeftButton);
    EXPECT_FALSE(checks().contains(false));
    EXPECT_EQ(button->text(), QStringLiteral("Unselect All"));
    EXPECT_TRUE(button->isChecked());

    tick("Exif.Image.Make", false);
    EXPECT_EQ(button->text(), QStringLiteral("Select All"));
    EXPECT_FALSE(button->isChecked());
    QTest::mouseClick(button, Qt::LeftButton);
    EXPECT_FALSE(checks().contains(false)) << "one unticked row: the click ticks all";
    QTest::mouseClick(button, Qt::LeftButton);
    EXPECT_FALSE(checks().contains(true));
    EXPECT_EQ(button->text(), QStringLiteral("Select All"));
    EXPECT_FALSE(button->isChecked());

    // No rows: nothing left to tick.
    sheet->setExifData(TAVExifData::create());
    EXPECT_EQ(button->text(), QStringLiteral("Unselect All"));
}

TEST_F(NewPresetSheetTest, CancelAndEscapeTellTheOwnerAndEndTheSheet)
{
    tick("Exif.Image.Make");
    typeName("Never");
    QTest::mouseClick(sheet->cancelBtn(), Qt::LeftButton);
    ASSERT_EQ(delegate.calls.size(), 1u);
    EXPECT_TRUE(delegate.calls[0].first);
    EXPECT_EQ(delegate.calls[0].second, nullptr);
    EXPECT_FALSE(sheet->isSheetUp());

    host.beginSheetWindow(sheet->window());
    QTest::keyClick(sheet->window(), Qt::Key_Escape);
    ASSERT_EQ(delegate.calls.size(), 2u);
    EXPECT_TRUE(delegate.calls[1].first);
    EXPECT_FALSE(sheet->isSheetUp());
    EXPECT_FALSE(FileServices::fileExists(file("Never.data")));
}

TEST_F(NewPresetSheetTest, Gallery)
{
    typeName("Canon S40 defaults");
    search("an", true);
    const QStringList hits = shownKeys();
    ASSERT_GE(hits.size(), 2);
    tick(hits.at(0));
    tick(hits.at(1));
    sheet->window()->resize(760, 420);
    EXPECT_TRUE(Gallery::capture(sheet->window(), "new-preset-sheet"));
}

} // namespace
