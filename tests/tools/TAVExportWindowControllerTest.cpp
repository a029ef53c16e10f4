// The export sheet and its field chooser offscreen: stored choices, the
// export type, the exclusion of custom fields and families, the one call to
// the target, and the chooser's ticks, search and hand-back.
#include "tools/TAVExportWindowController.h"
#include "tools/TAVExportCallbackTarget.h"
#include "tools/TAVFiltExportFieldsWndCtlr.h"

#include "PresetsTestSupport.h"

#include "commlib/NotLossFoucsSearchField.h"
#include "commlib/TAVSearchableTagTableModel.h"

#include "foundation/UserDefaults.h"
#include "models/image/TAVImageObject.h"
#include "views/GSGroupedTableView.h"

#include "support/FakeUiServices.h"
#include "support/Gallery.h"
#include "support/ImageFixtures.h"
#include "support/Patience.h"
#include "support/QtPrinters.h"
#include "support/TempFolder.h"

#include <QCheckBox>
#include <QFontMetrics>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>
#include <QTextDocument>

#include <gtest/gtest.h>

namespace {

using Sheet = TAVExportWindowController;
using Chooser = TAVFiltExportFieldsWndCtlr;
using Model = TAVSearchableTagTableModel;

class RecordingTarget : public TAVExportCallbackTarget {
public:
    struct Call {
        int32_t type;
        bool cvs;
        QString path;
        bool oneLine;
        bool merge;
        std::optional<QStringList> keys;
    };
    bool exportExif(int32_t type, bool cvs, const QString& path, bool oneLine, bool merge,
        const std::optional<QStringList>& keys, Outcome& outcome) override
    {
        calls.push_back({type, cvs, path, oneLine, merge, keys});
        outcome.failures.append(toReport);
        return !path.isEmpty();
    }
    std::vector<Call> calls;
    QList<Failure> toReport;
};

TAVExifDataPtr smallRecord()
{
    return PresetsTest::record("shown",
        {{"Exif.Image.Make", "Canon"}, {"Exif.Image.Model", "UNKNOWN"}, {"Exif.Image.Artist", ""},
            {"Exif.Image.Copyright", "unknown"}, {"Iptc.Application2.City", "Oslo"},
            {"Iptc.Application2.Headline", "Harbour"}, {"Xmp.dc.title", "Boats"}});
}

// Ticks the shown row with `key` as a click in the check column would.
void tick(Model& model, const QString& key)
{
    for (int row = 0; row < model.rowCount(); ++row) {
        if (model.table().shownRow(row)->entity->key() == key) {
            ASSERT_TRUE(
                model.setData(model.index(row, model.columnOf(Model::kCheckColumn)), Qt::Checked, Qt::CheckStateRole));
            return;
        }
    }
    FAIL() << "no shown row " << key.toStdString();
}

QStringList offeredKeys(const Model& model)
{
    QStringList keys;
    for (const TAVEntityPtr& row : model.table().allRows()) {
        keys.append(row->key());
    }
    return keys;
}

class ExportSheetTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        for (const QString& key : {Sheet::kExportExifKey, Sheet::kExportXmpKey, Sheet::kExportThumbKey,
                 Sheet::kCustomKey, Sheet::kExportCVSKey, Sheet::kOneFileOneLineKey}) {
            UserDefaults::standard().removeObjectForKey(key);
        }
        UiServices::setShared(&ui);
        record = smallRecord();
        sheet = std::make_unique<Sheet>();
        sheet->setupCallbackTarget(&target, 3, record);
        host.showNormalWindow();
        open();
    }
    void TearDown() override
    {
        sheet.reset();
        UiServices::setShared(nullptr);
    }
    void open()
    {
        host.beginSheetWindow(sheet->window());
        ASSERT_TRUE(QTest::qWaitForWindowExposed(sheet->window(), kPatientMs));
    }
    QStringList alertMessages() const
    {
        QStringList messages;
        for (const UiServices::AlertRequest& alert : ui.alerts()) {
            messages.append(alert.title + ": " + alert.message);
        }
        return messages;
    }

    FakeUiServices ui;
    RecordingTarget target;
    TAVExifDataPtr record;
    VXCommonWindowController host;
    std::unique_ptr<Sheet> sheet;
};

TEST_F(ExportSheetTest, FirstLaunchChoosesTheThreeFamiliesAndNoTables)
{
    EXPECT_TRUE(sheet->exifChk()->isChecked());
    EXPECT_TRUE(sheet->xmpChk()->isChecked());
    EXPECT_TRUE(sheet->thumbChk()->isChecked());
    EXPECT_FALSE(sheet->customChk()->isChecked());
    EXPECT_FALSE(sheet->settingCustom()->isEnabled());
    EXPECT_FALSE(sheet->cvsChk()->isChecked());
    EXPECT_TRUE(sheet->cvsChk()->isEnabled());
    EXPECT_FALSE(sheet->oneFileOneLineChk()->isEnabled());
    EXPECT_FALSE(sheet->exportInOneFileChk()->isEnabled());
    EXPECT_FALSE(sheet->exportInOneFileChk()->isChecked());
    EXPECT_EQ(Sheet::getExportType(), 15);
    EXPECT_FALSE(Sheet::isSwithValue(5));

    // A custom choice stored before the launch does not survive it.
    UserDefaults::standard().setBool(true, Sheet::kCustomKey);
    Sheet another;
    EXPECT_FALSE(Sheet::isSwithValue(3));
}

TEST_F(ExportSheetTest, ThumbnailAloneWritesNoTablesWhateverTheStoredChoice)
{
    UserDefaults::standard().setBool(true, Sheet::kExportCVSKey);
    sheet->setupCallbackTarget(&target, 3, record);
    EXPECT_TRUE(sheet->oneFileOneLineChk()->isEnabled());
    sheet->exifChk()->click();
    sheet->xmpChk()->click();
    EXPECT_EQ(Sheet::getExportType(), 8);
    EXPECT_TRUE(sheet->cvsChk()->isChecked());
    EXPECT_FALSE(sheet->cvsChk()->isEnabled());
    EXPECT_FALSE(sheet->oneFileOneLineChk()->isEnabled());
    EXPECT_FALSE(sheet->exportInOneFileChk()->isEnabled());

    // A cancelled panel keeps the path; a chosen folder becomes it.
    sheet->chooseFolderBtn()->click();
    EXPECT_EQ(sheet->exportPath()->text(), QString());
    ui.answerOpenPanel({"/tmp/exports"});
    sheet->chooseFolderBtn()->click();
    EXPECT_EQ(sheet->exportPath()->text(), QStringLiteral("/tmp/exports"));
    ASSERT_TRUE(ui.openPanels().last().chooseFolders);

    sheet->exportBtn()->click();
    ASSERT_EQ(target.calls.size(), 1u);
    EXPECT_EQ(target.calls[0].type, 8);
    EXPECT_FALSE(target.calls[0].cvs);
    EXPECT_EQ(target.calls[0].path, QStringLiteral("/tmp/exports"));
    EXPECT_EQ(target.calls[0].keys, std::nullopt);
    EXPECT_FALSE(sheet->isSheetUp());
    EXPECT_TRUE(ui.alerts().isEmpty());
}

TEST_F(ExportSheetTest, CustomFieldsAndFamiliesExcludeEachOther)
{
    sheet->customChk()->click();
    ASSERT_NE(sheet->filterCtlr(), nullptr);
    Chooser& chooser = *sheet->filterCtlr();
    EXPECT_TRUE(chooser.isSheetUp());
    EXPECT_FALSE(sheet->exifChk()->isChecked() || sheet->xmpChk()->isChecked() || sheet->thumbChk()->isChecked());
    EXPECT_TRUE(sheet->settingCustom()->isEnabled());
    EXPECT_EQ(Sheet::getExportType(), 16);

    // Nothing ticked: custom turns off and no format is left.
    chooser.applyBtn()->click();
    EXPECT_FALSE(chooser.isSheetUp());
    EXPECT_FALSE(sheet->customChk()->isChecked());
    EXPECT_FALSE(sheet->settingCustom()->isEnabled());
    sheet->exportPath()->setText("/tmp/exports");
    sheet->exportBtn()->click();
    EXPECT_EQ(alertMessages(), QStringList{"Error: Please choose the export format (one format required at least)"});
    EXPECT_TRUE(sheet->isSheetUp());

    // Ticks handed back by Escape are the custom keys; no path keeps the sheet up.
    sheet->customChk()->click();
    ASSERT_TRUE(chooser.isSheetUp());
    tick(*chooser.model(), "Iptc.Application2.City");
    tick(*chooser.model(), "Exif.Image.Make");
    QTest::keyClick(chooser.window(), Qt::Key_Escape);
    EXPECT_FALSE(chooser.isSheetUp());
    EXPECT_EQ(sheet->customSelectEntities(), QStringList({"Exif.Image.Make", "Iptc.Application2.City"}));
    sheet->exportPath()->clear();
    sheet->exportBtn()->click();
    EXPECT_EQ(alertMessages().last(), QStringLiteral("Error: Please set the output path and try again."));
    EXPECT_TRUE(sheet->isSheetUp());
    EXPECT_TRUE(target.calls.empty());

    sheet->exportPath()->setText("/tmp/exports");
    sheet->cvsChk()->click();
    sheet->exportBtn()->click();
    ASSERT_EQ(target.calls.size(), 1u);
    EXPECT_EQ(target.calls[0].type, 16);
    EXPECT_TRUE(target.calls[0].cvs);
    EXPECT_EQ(target.calls[0].keys, QStringList({"Exif.Image.Make", "Iptc.Application2.City"}));

    // A family turns custom off again, and its export passes no keys.
    open();
    sheet->exifChk()->click();
    EXPECT_FALSE(sheet->customChk()->isChecked());
    EXPECT_EQ(Sheet::getExportType(), 2);
    sheet->exportBtn()->click();
    ASSERT_EQ(target.calls.size(), 2u);
    EXPECT_EQ(target.calls[1].keys, std::nullopt);
}

TEST_F(ExportSheetTest, HeadlineShowsTheCountInRedAndFailuresAreListedBeforeTheSheetEnds)
{
    QTextDocument plain;
    plain.setHtml(sheet->titleLabel()->text());
    EXPECT_EQ(plain.toPlainText(), QStringLiteral("You have selected 3 image(s) to export"));
    const QImage picture = sheet->titleLabel()->grab().toImage();
    QRect red;
    for (int y = 0; y < picture.height(); ++y) {
        for (int x = 0; x < picture.width(); ++x) {
            const QColor colour = picture.pixelColor(x, y);
            if (colour.red() > 180 && colour.green() < 90 && colour.blue() < 90) {
                red |= QRect(x, y, 1, 1);
            }
        }
    }
    QFont count = sheet->titleLabel()->font();
    count.setPixelSize(15);
    const QFontMetrics metrics(count);
    ASSERT_FALSE(red.isEmpty());
    EXPECT_LE(red.width(), metrics.horizontalAdvance("3") + 1);
    EXPECT_LE(red.height(), metrics.height());
    EXPECT_TRUE(Gallery::capture(sheet->window(), "export-sheet"));

    target.toReport = {{"/out/a.csv", "a folder stands there"}, {"/out/b.exv", "could not be written"}};
    sheet->exportPath()->setText("/out");
    sheet->exportBtn()->click();
    EXPECT_EQ(
        alertMessages(), QStringList{"Errors: /out/a.csv: a folder stands there\n/out/b.exv: could not be written"});
    EXPECT_FALSE(sheet->isSheetUp());
}

class FieldChooserTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        host.showNormalWindow();
        chooser.setApplyBlock([this](const QStringList& keys) { handedBack.append(keys); });
        chooser.setImgExifData(smallRecord(), {});
        host.showModeWindow(chooser.window());
        ASSERT_TRUE(QTest::qWaitForWindowExposed(chooser.window(), kPatientMs));
    }
    Model& model() { return *chooser.model(); }
    QString tips() { return chooser.totalSelectTips()->text(); }

    VXCommonWindowController host;
    Chooser chooser;
    QList<QStringList> handedBack;
};

TEST_F(FieldChooserTest, OnlyExifAndIptcFieldsOfTheRecordAreOfferedAndComeBack)
{
    EXPECT_EQ(offeredKeys(model()),
        QStringList({"Exif.Image.Artist", "Exif.Image.Copyright", "Exif.Image.Make", "Exif.Image.Model",
            "Iptc.Application2.City", "Iptc.Application2.Headline"}));
    chooser.setImgExifData(smallRecord(), {"Exif.Image.Make", "Exif.Photo.LensModel", "Xmp.dc.title"});
    EXPECT_EQ(tips(), QStringLiteral("1 fields selected"));
    EXPECT_EQ(chooser.getSelectedFields(), QStringList{"Exif.Image.Make"});

    chooser.setImgExifData(PresetsTest::record("none", {{"Xmp.dc.title", "Boats"}}), {"Xmp.dc.title"});
    EXPECT_EQ(model().rowCount(), 0);
    EXPECT_EQ(tips(), QStringLiteral("0 fields selected"));
}

TEST_F(FieldChooserTest, SelectAllAndHasValueReplaceEachOther)
{
    chooser.allChk()->click();
    EXPECT_EQ(tips(), QStringLiteral("6 fields selected"));
    chooser.hasValueChk()->click();
    EXPECT_FALSE(chooser.allChk()->isChecked());
    // "" and "Unknown" in any case are no values.
    EXPECT_EQ(chooser.getSelectedFields(),
        QStringList({"Exif.Image.Make", "Iptc.Application2.City", "Iptc.Application2.Headline"}));
    chooser.allChk()->click();
    EXPECT_FALSE(chooser.hasValueChk()->isChecked());
    chooser.allChk()->click();
    EXPECT_EQ(tips(), QStringLiteral("0 fields selected"));
}

TEST_F(FieldChooserTest, ATickOnASearchHitCountsAtOnceAndOutlivesTheSearch)
{
    chooser.searchField()->setText("Harb");
    ASSERT_EQ(model().rowCount(), 1);
    tick(model(), "Iptc.Application2.Headline");
    EXPECT_EQ(tips(), QStringLiteral("1 fields selected"));
    // Has-value while searching shows the new ticks in the hits too.
    chooser.hasValueChk()->click();
    EXPECT_EQ(model().index(0, 0).data(Qt::CheckStateRole).value<Qt::CheckState>(), Qt::Checked);
    chooser.hasValueChk()->click();
    EXPECT_EQ(model().index(0, 0).data(Qt::CheckStateRole).value<Qt::CheckState>(), Qt::Unchecked);
    tick(model(), "Iptc.Application2.Headline");
    chooser.searchField()->clear();
    EXPECT_EQ(model().rowCount(), 6);
    EXPECT_EQ(chooser.getSelectedFields(), QStringList{"Iptc.Application2.Headline"});
}

TEST_F(FieldChooserTest, CancelHandsOverTheTickedKeysSorted)
{
    tick(model(), "Iptc.Application2.City");
    tick(model(), "Exif.Image.Model");
    tick(model(), "Exif.Image.Artist");
    chooser.cancelBtn()->click();
    EXPECT_FALSE(chooser.isSheetUp());
    const QList<QStringList> expected{{"Exif.Image.Artist", "Exif.Image.Model", "Iptc.Application2.City"}};
    EXPECT_EQ(handedBack, expected);
}

TEST(ExportFieldChooserGallery, ARealRecordWithTicksAndASearch)
{
    TempFolder temp;
    const TAVImageObjectPtr image = TAVImageObject::create(ImageFixtures::copySample("npm-canon-s40.jpg", temp.path()));
    VXCommonWindowController host;
    host.showNormalWindow();
    Chooser chooser;
    chooser.setImgExifData(image->exifData(), {"Exif.Image.Make", "Exif.Image.Model", "Iptc.Application2.City"});
    host.showModeWindow(chooser.window());
    ASSERT_TRUE(QTest::qWaitForWindowExposed(chooser.window(), kPatientMs));
    EXPECT_TRUE(Gallery::capture(chooser.window(), "export-field-chooser"));

    // Headings are no fields: never ticked, answered as group rows.
    chooser.allChk()->click();
    Model& model = *chooser.model();
    int headings = 0;
    for (int row = 0; row < model.rowCount(); ++row) {
        const bool group = chooser.tableViewIsGroupRow(chooser.tableView(), row).value_or(false);
        headings += group ? 1 : 0;
        EXPECT_EQ(model.flags(model.index(row, 0)).testFlag(Qt::ItemIsUserCheckable), !group);
    }
    EXPECT_GE(headings, 2);
    EXPECT_EQ(chooser.totalSelectTips()->text(), QStringLiteral("%1 fields selected").arg(model.rowCount() - headings));
    chooser.allChk()->click();
    chooser.setImgExifData(image->exifData(), {"Exif.Image.Make", "Exif.Image.Model"});
    chooser.searchField()->setText("Image");
    EXPECT_TRUE(Gallery::capture(chooser.window(), "export-field-chooser-search"));
}

} // namespace
