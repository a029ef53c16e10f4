#include "RenameSheetFixture.h"

#include "tools/TAVRenameFieldTreeModel.h"
#include "tools/TAVRenameRuleListModel.h"

#include "commlib/VXKeyPressTableView.h"

#include "support/Gallery.h"
#include "support/QtPrinters.h"

#include <QCheckBox>
#include <QComboBox>
#include <QFile>
#include <QFrame>
#include <QLineEdit>
#include <QMimeData>
#include <QPushButton>
#include <QStandardPaths>
#include <QTest>
#include <QTextBrowser>
#include <QTreeView>

namespace {

class RenameSheetRulesTest : public RenameSheetTest {
protected:
    QModelIndex treeIndex(const QString& category, const QString& name) const
    {
        TAVRenameFieldTreeModel* model = sheet_->treeModel();
        for (int rootRow = 0; rootRow < model->rowCount(); ++rootRow) {
            const QModelIndex root = model->indexOfRoot(rootRow);
            if (model->description(root) != category) {
                continue;
            }
            if (name.isNull()) {
                return root;
            }
            for (int row = 0; row < model->rowCount(root); ++row) {
                if (model->description(model->indexOfField(rootRow, row)) == name) {
                    return model->indexOfField(rootRow, row);
                }
            }
        }
        ADD_FAILURE() << "no tree item " << name.toStdString();
        return {};
    }
    QModelIndex exifIndex(const QString& name) const { return treeIndex(QStringLiteral("Exif"), name); }

    void selectInTree(const QModelIndex& index)
    {
        sheet_->leftOutlineView()->selectionModel()->setCurrentIndex(index, QItemSelectionModel::ClearAndSelect);
    }
    void doubleClickInTree(const QModelIndex& index)
    {
        QTreeView* tree = sheet_->leftOutlineView();
        tree->scrollTo(index);
        const QPoint point = tree->visualRect(index).center();
        // A double click arrives after the press and release of its first click.
        QTest::mouseClick(tree->viewport(), Qt::LeftButton, {}, point);
        QTest::mouseDClick(tree->viewport(), Qt::LeftButton, {}, point);
        QTest::mouseRelease(tree->viewport(), Qt::LeftButton, {}, point);
    }
    // Puts the Exif fields `names` in the rule list, in order.
    void useRules(const QStringList& names)
    {
        QList<TAVRenameRuleFieldPtr> fields;
        for (const QString& name : names) {
            fields << field(QStringLiteral("Exif"), name);
        }
        sheet_->doInsertFieldToTable(fields, 0);
        ASSERT_EQ(ruleNames(), names);
    }
    int selectedRule() const
    {
        const QModelIndexList rows = sheet_->rightTableView()->selectionModel()->selectedRows();
        return rows.isEmpty() ? -1 : rows.first().row();
    }
    std::unique_ptr<QMimeData> ruleDrag(int row) const
    {
        return std::unique_ptr<QMimeData>(sheet_->ruleListModel()->mimeData({sheet_->ruleListModel()->index(row, 0)}));
    }
    std::unique_ptr<QMimeData> treeDrag(const QModelIndex& index) const
    {
        return std::unique_ptr<QMimeData>(sheet_->treeModel()->mimeData({index}));
    }
};

} // namespace

TEST_F(RenameSheetRulesTest, DoubleClickAndTheMoveButtonAppendFieldsOnceAndBeepWithoutOne)
{
    openSheet();
    LogCatcher log;
    doubleClickInTree(exifIndex("Make"));
    doubleClickInTree(exifIndex("Model"));
    doubleClickInTree(exifIndex("Make"));
    EXPECT_EQ(ruleNames(), (QStringList{"Model", "Make"}));
    // Custom, its field, File Details, Filename, the counter root and field, Exif,
    // CreateDate, CreateTime: Make is the tenth row shown.
    EXPECT_TRUE(log.saw("double-click in row 9 col 0"));
    EXPECT_EQ(sheet_->rightTableView()->model()->data(sheet_->ruleListModel()->index(1, 1)).toString(), "Exif");

    doubleClickInTree(exifIndex(QString()));
    EXPECT_EQ(ui_.beeps(), 1);
    EXPECT_EQ(sheet_->selectedField(), nullptr);
    sheet_->clickMoveToRight();
    EXPECT_EQ(ui_.beeps(), 2);

    selectInTree(exifIndex("Artist"));
    sheet_->clickMoveToRight();
    QTest::keyClick(sheet_->leftOutlineView(), Qt::Key_Return); // the tree's Return adds the selection too
    selectInTree(treeIndex("File Details", "Filename"));
    QTest::keyClick(sheet_->leftOutlineView(), Qt::Key_Return);
    EXPECT_EQ(ruleNames(), (QStringList{"Model", "Make", "Artist", "Filename"}));
    EXPECT_EQ(ui_.beeps(), 2);
}

TEST_F(RenameSheetRulesTest, TreeItemsAreNeverEdited)
{
    openSheet();
    LogCatcher log;
    QTreeView* tree = sheet_->leftOutlineView();
    selectInTree(exifIndex("Make"));
    QTest::keyClick(tree, Qt::Key_F2);
    EXPECT_TRUE(log.saw("edit Make"));
    EXPECT_TRUE(tree->viewport()->findChildren<QLineEdit*>().isEmpty());
    EXPECT_FALSE(sheet_->treeModel()->flags(exifIndex("Make")).testFlag(Qt::ItemIsEditable));
    EXPECT_FALSE(sheet_->treeModel()->flags(exifIndex(QString())).testFlag(Qt::ItemIsEditable));
}

TEST_F(RenameSheetRulesTest, SegmentsAndKeysMoveAndRemoveTheSelectedRule)
{
    openSheet();
    useRules({"Make", "Model", "Artist"});
    VXKeyPressTableView* table = sheet_->rightTableView();

    table->selectRow(0);
    sheet_->clickSegment(0); // up at row 0 stays
    EXPECT_EQ(ruleNames(), (QStringList{"Make", "Model", "Artist"}));
    sheet_->clickSegment(1);
    EXPECT_EQ(ruleNames(), (QStringList{"Model", "Make", "Artist"}));
    EXPECT_EQ(selectedRule(), 1); // the selection follows the rule
    table->selectRow(2);
    sheet_->clickSegment(1); // down at the last row stays
    EXPECT_EQ(ruleNames(), (QStringList{"Model", "Make", "Artist"}));
    EXPECT_EQ(selectedRule(), 2);

    QTest::keyClick(table, Qt::Key_Up, Qt::ControlModifier);
    EXPECT_EQ(ruleNames(), (QStringList{"Model", "Artist", "Make"}));
    EXPECT_EQ(selectedRule(), 2); // the keys keep the row number
    QTest::keyClick(table, Qt::Key_Down, Qt::ControlModifier);
    EXPECT_EQ(ruleNames(), (QStringList{"Model", "Artist", "Make"}));

    table->selectRow(1);
    sheet_->clickSegment(2);
    EXPECT_EQ(ruleNames(), (QStringList{"Model", "Make"}));
    EXPECT_EQ(selectedRule(), 0);
    QTest::keyClick(table, Qt::Key_Delete);
    EXPECT_EQ(ruleNames(), (QStringList{"Make"}));
    EXPECT_EQ(selectedRule(), 0);
    QTest::keyClick(table, Qt::Key_Delete);
    EXPECT_TRUE(ruleNames().isEmpty());
    EXPECT_EQ(ui_.beeps(), 0);

    useRules({"Make", "Model"});
    table->clearSelection();
    const std::vector<std::function<void()>> actions{
        [&] { sheet_->clickSegment(0); },
        [&] { sheet_->clickSegment(1); },
        [&] { sheet_->clickSegment(2); },
        [&] { QTest::keyClick(table, Qt::Key_Delete); },
        [&] { QTest::keyClick(table, Qt::Key_Up, Qt::ControlModifier); },
        [&] { QTest::keyClick(table, Qt::Key_Down, Qt::ControlModifier); },
    };
    for (size_t i = 0; i < actions.size(); ++i) {
        actions[i]();
        EXPECT_EQ(ui_.beeps(), static_cast<int>(i) + 1) << "action " << i;
    }
    EXPECT_EQ(ruleNames(), (QStringList{"Make", "Model"}));
}

TEST_F(RenameSheetRulesTest, DraggedRulesAndTreeFieldsMoveInsteadOfDoubling)
{
    openSheet();
    useRules({"Make", "Model", "Artist"});
    QObject* table = sheet_->rightTableView();
    QObject* tree = sheet_->leftOutlineView();

    auto drag = ruleDrag(0);
    EXPECT_EQ(sheet_->tableValidateDrop(drag.get(), 3, table), Qt::CopyAction);
    ASSERT_TRUE(sheet_->tableAcceptDrop(drag.get(), 3, table));
    EXPECT_EQ(ruleNames(), (QStringList{"Model", "Artist", "Make"}));

    drag = treeDrag(exifIndex("Artist"));
    EXPECT_EQ(sheet_->tableValidateDrop(drag.get(), 0, tree), Qt::CopyAction);
    ASSERT_TRUE(sheet_->tableAcceptDrop(drag.get(), 0, tree));
    EXPECT_EQ(ruleNames(), (QStringList{"Artist", "Model", "Make"}));

    drag = treeDrag(treeIndex("Iptc", "City"));
    ASSERT_TRUE(sheet_->tableAcceptDrop(drag.get(), 1, tree));
    EXPECT_EQ(ruleNames(), (QStringList{"Artist", "City", "Model", "Make"}));
    EXPECT_EQ(sheet_->edittingRules().at(1)->rootCategory(), "Iptc");

    // A root cannot be dragged at all.
    EXPECT_EQ(treeDrag(exifIndex(QString())), nullptr);
}

TEST_F(RenameSheetRulesTest, ForeignAndUnreadableDropsAndDropsOnTheTreeAreRefused)
{
    openSheet();
    useRules({"Make", "Model"});
    QWidget stranger;
    QObject* table = sheet_->rightTableView();
    auto good = ruleDrag(0);
    QMimeData garbage;
    garbage.setData(TAVRenameRuleListModel::kDragType, "not an archive");
    QMimeData otherKind;
    otherKind.setText("Make");

    EXPECT_EQ(sheet_->tableValidateDrop(good.get(), 2, &stranger), Qt::IgnoreAction);
    EXPECT_EQ(sheet_->tableValidateDrop(good.get(), 2, nullptr), Qt::IgnoreAction);
    EXPECT_FALSE(sheet_->tableAcceptDrop(good.get(), 2, &stranger));
    EXPECT_FALSE(sheet_->tableAcceptDrop(good.get(), 2, nullptr));
    EXPECT_FALSE(sheet_->tableAcceptDrop(&garbage, 2, table));
    EXPECT_FALSE(sheet_->tableAcceptDrop(&otherKind, 2, table));

    LogCatcher log;
    EXPECT_EQ(sheet_->outlineValidateDrop(good.get(), 0, table), Qt::DropActions(Qt::IgnoreAction));
    EXPECT_FALSE(sheet_->outlineAcceptDrop(good.get(), 0, table));
    EXPECT_FALSE(sheet_->outlineAcceptDrop(good.get(), 0, &stranger));
    EXPECT_TRUE(log.saw("validate Drop"));
    EXPECT_EQ(ruleNames(), (QStringList{"Make", "Model"}));
}

TEST_F(RenameSheetRulesTest, SearchOpensTheRootOfTheFirstHitOnly)
{
    openSheet();
    QTreeView* tree = sheet_->leftOutlineView();
    const auto expanded = [&](const char* category) { return tree->isExpanded(treeIndex(category, QString())); };
    ASSERT_TRUE(expanded("Iptc"));

    QTest::keyClicks(sheet_->searchTextField(), "LeNs");
    EXPECT_TRUE(expanded("Exif"));
    EXPECT_EQ(tree->currentIndex(), exifIndex("LensMake"));
    ASSERT_NE(sheet_->selectedField(), nullptr);
    EXPECT_EQ(sheet_->selectedField()->field(), "LensMake");
    for (const char* category : {"Custom", "File Details", "Numerical Sequences"}) {
        EXPECT_FALSE(expanded(category)) << category;
    }
    EXPECT_TRUE(expanded("Iptc")); // roots after the hit keep their state

    sheet_->searchTextField()->setText("no such field");
    for (const char* category : {"Custom", "File Details", "Numerical Sequences", "Exif", "Iptc"}) {
        EXPECT_FALSE(expanded(category)) << category;
    }
    sheet_->searchTextField()->clear();
    for (const char* category : {"Custom", "File Details", "Numerical Sequences", "Exif", "Iptc"}) {
        EXPECT_TRUE(expanded(category)) << category;
    }
}

TEST_F(RenameSheetRulesTest, PreviewFollowsRulesBoxesAndPopUpsAtOnce)
{
    openSheet();
    useRules({"Make"});
    EXPECT_EQ(sheet_->previewTf()->text(), ""); // no demonstration image

    const TAVImageObjectPtr demo
        = importedImage(tempPath("IMG_1.jpg"), {{"Exif.Photo.DateTimeOriginal", "2020:01:02 10:11:12", {}}});
    openSheet(demo);
    EXPECT_EQ(sheet_->previewTf()->text(), "IMG_1.jpg");
    sheet_->doInsertFieldToTable({field("Custom", "Custom Character(s)"), field("File Details", "Filename")}, 0);
    QTest::keyClicks(sheet_->customCharacters(), "trip");
    EXPECT_EQ(sheet_->previewTf()->text(), "trip_IMG_1.jpg");
    QTest::keyClicks(sheet_->separator(), "-");
    EXPECT_EQ(sheet_->previewTf()->text(), "trip_-IMG_1.jpg");
    sheet_->separatorBtn()->click();
    EXPECT_EQ(sheet_->previewTf()->text(), "tripIMG_1.jpg");

    sheet_->doInsertFieldToTable({field("Exif", "CreateDate"), field("Exif", "CreateTime")}, 0);
    sheet_->separatorBtn()->click();
    sheet_->separator()->setText("_");
    QComboBox* dates = sheet_->dateFormat();
    dates->setFocus();
    while (dates->currentText() != "YYYY-MM-DD HH-MM-SS") {
        QTest::keyClick(dates, Qt::Key_Down);
    }
    EXPECT_EQ(sheet_->previewTf()->text(), "2020-01-02 10-11-12_trip_IMG_1.jpg");
    QTest::keyClick(sheet_->timeFormat(), Qt::Key_Down);
    EXPECT_EQ(sheet_->previewTf()->text(), "2020-01-02 10-11-12 AM_trip_IMG_1.jpg");
}

TEST_F(RenameSheetRulesTest, OutputFolderStartsInPicturesIsChosenAndOpened)
{
    openSheet();
    EXPECT_EQ(sheet_->outputPath()->text(), QStandardPaths::writableLocation(QStandardPaths::PicturesLocation));
    ui_.answerOpenPanel({tempFolder()});
    sheet_->clickOutputPath();
    ASSERT_EQ(ui_.openPanels().size(), 1);
    EXPECT_TRUE(ui_.openPanels().first().chooseFolders);
    EXPECT_FALSE(ui_.openPanels().first().chooseFiles);
    EXPECT_EQ(sheet_->outputPath()->text(), tempFolder());
    sheet_->clickOutputPath(); // cancelled: the box keeps its folder
    EXPECT_EQ(sheet_->outputPath()->text(), tempFolder());
    sheet_->clickOpenFolder();
    EXPECT_EQ(workspace_.openedFiles(), QStringList{tempFolder()});
}

TEST_F(RenameSheetRulesTest, HelpButtonTogglesThePageAndHandsAFileToTheBrowser)
{
    openSheet();
    QFrame* popover = sheet_->helpPopover();
    sheet_->helpButton()->click();
    ASSERT_TRUE(popover->isVisible());
    EXPECT_TRUE(sheet_->helpWebView()->toPlainText().contains("Renaming images"));
    // The page stands on the button's upper edge.
    EXPECT_EQ(popover->frameGeometry().bottom() + 1, sheet_->helpButton()->mapToGlobal(QPoint(0, 0)).y());
    EXPECT_TRUE(Gallery::capture(popover, "rename-help-popover"));
    sheet_->clickRenameHelp();
    EXPECT_FALSE(popover->isVisible());

    sheet_->clickOpenInSafari();
    ASSERT_EQ(workspace_.openedFiles().size(), 1);
    const QString page = workspace_.openedFiles().first();
    EXPECT_TRUE(page.endsWith("Lumetta - Rename How To.html"));
    QFile file(page);
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    EXPECT_TRUE(file.readAll().contains("<title>Lumetta - Rename How To</title>"));
}

TEST_F(RenameSheetRulesTest, GalleryShowsTheSheetWithRulesAndPreview)
{
    const TAVImageObjectPtr demo = importedImage(tempPath("DSC_0042.jpg"), {{"Exif.Image.Make", "Lumix", {}}});
    openSheet(demo);
    sheet_->doInsertFieldToTable(
        {field("File Details", "Filename"), field("Numerical Sequences", "Numerical Sequences"), field("Exif", "Make")},
        0);
    sheet_->numSeq()->setText("001");
    ASSERT_EQ(sheet_->previewTf()->text(), "DSC_0042_001_Lumix.jpg");
    EXPECT_TRUE(Gallery::capture(sheet_->window(), "rename-sheet"));
}
