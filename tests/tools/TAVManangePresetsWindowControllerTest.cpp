// The manage-presets sheet over a real presets folder: renaming in place,
// refusals, deleting, and Done in the middle of an edit.
#include "tools/TAVManangePresetsWindowController.h"
#include "tools/TAVManangePresetsWindowControllerDelegate.h"
#include "tools/TAVPresetListModel.h"

#include "PresetsTestSupport.h"

#include "commlib/VXCustomBgColorView.h"
#include "commlib/VXGradientView.h"

#include "support/FakeUiServices.h"
#include "support/Gallery.h"
#include "support/Patience.h"
#include "support/QtPrinters.h"

#include <QApplication>
#include <QLineEdit>
#include <QPushButton>
#include <QTableView>
#include <QTest>

#include <gtest/gtest.h>

namespace {

using namespace PresetsTest;

// Records each call with what the disk and the sheet looked like right then.
class RecordingDelegate : public TAVManangePresetsWindowControllerDelegate {
public:
    void managePresetsWindowCtlrDidRenameOld(const QString& oldName, const QString& newName) override
    {
        events.append(QStringLiteral("rename %1 -> %2").arg(oldName, newName));
    }
    void managePresetsWindowCtlrDidDeletePreset(const TAVExifDataPtr& preset) override
    {
        deleted = preset;
        events.append(QStringLiteral("delete %1, file there: %2")
                          .arg(preset->strName())
                          .arg(FileServices::fileExists(file(preset->strName() + ".data"))));
    }
    void managePresetsWindowCtlrDidFinishEdit(TAVManangePresetsWindowController* sheet) override
    {
        events.append(
            QStringLiteral("done, sheet up: %1, stored: %2").arg(sheet->isSheetUp()).arg(storedNames().join(",")));
    }
    QStringList events;
    TAVExifDataPtr deleted;
};

class ManagePresetsSheetTest : public PresetsFolderTest {
protected:
    void SetUp() override
    {
        PresetsFolderTest::SetUp();
        UiServices::setShared(&ui);
        addPreset("Beach", {{"Exif.Image.Make", "Canon"}});
        addPreset("City", {{"Exif.Image.Make", "Nikon"}});
        addPreset("Studio", {{"Exif.Image.Artist", "Ann"}});
        sheet.setDelegate(&delegate);
        host.showNormalWindow();
        host.beginSheetWindow(sheet.window());
        QApplication::setActiveWindow(sheet.window());
        ASSERT_TRUE(QTest::qWaitForWindowActive(sheet.window(), kPatientMs));
    }
    void TearDown() override
    {
        UiServices::setShared(nullptr);
        PresetsFolderTest::TearDown();
    }

    QStringList shownNames()
    {
        QStringList names;
        for (int row = 0; row < sheet.model()->rowCount(); ++row)
            names.append(sheet.model()->index(row, 0).data().toString());
        return names;
    }
    // Selects the row, clicks Rename and types into the editor that opens.
    QLineEdit* startRename(int row, const QString& text)
    {
        sheet.tableView()->selectRow(row);
        QTest::mouseClick(sheet.btnRename(), Qt::LeftButton);
        auto* editor = sheet.tableView()->findChild<QLineEdit*>();
        if (editor == nullptr)
            return nullptr;
        EXPECT_EQ(editor->selectedText(), editor->text()) << "the old name is selected for typing over";
        editor->selectAll();
        QTest::keyClicks(editor, text);
        return editor;
    }
    // The editor commits Return on the next turn of the event loop, the list
    // is read again on the turn after, and a closed editor goes later still.
    void settle()
    {
        for (int turn = 0; turn < 3; ++turn) {
            QCoreApplication::processEvents();
            QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        }
    }

    FakeUiServices ui;
    RecordingDelegate delegate;
    VXCommonWindowController host;
    TAVManangePresetsWindowController sheet;
};

TEST_F(ManagePresetsSheetTest, ListsThePresetsAndEnablesRenameAndDeleteOnlyWithASelection)
{
    EXPECT_EQ(shownNames(), (QStringList{"Beach", "City", "Studio"}));
    EXPECT_FALSE(sheet.btnRename()->isEnabled());
    EXPECT_FALSE(sheet.btnDelete()->isEnabled());
    sheet.tableView()->selectRow(1);
    EXPECT_TRUE(sheet.btnRename()->isEnabled());
    EXPECT_TRUE(sheet.btnDelete()->isEnabled());
    sheet.tableView()->clearSelection();
    EXPECT_FALSE(sheet.btnRename()->isEnabled());
    EXPECT_FALSE(sheet.btnDelete()->isEnabled());
}

TEST_F(ManagePresetsSheetTest, TypedNameAndEnterRenameTheFileAndTellTheOwner)
{
    QLineEdit* editor = startRename(1, "Town");
    ASSERT_TRUE(editor != nullptr);
    QTest::keyClick(editor, Qt::Key_Return);
    settle();
    EXPECT_EQ(delegate.events, QStringList{"rename City -> Town"});
    EXPECT_FALSE(FileServices::fileExists(file("City.data")));
    EXPECT_TRUE(FileServices::fileExists(file("Town.data")));
    EXPECT_EQ(shownNames(), (QStringList{"Beach", "Studio", "Town"}));
    EXPECT_EQ(ui.beeps(), 0);
}

TEST_F(ManagePresetsSheetTest, EmptyUnusableOrTakenNamesBeepAndKeepTheOldName)
{
    const QByteArray city = contents(file("City.data"));
    const QByteArray studio = contents(file("Studio.data"));
    int beeps = 0;
    for (const QString& name : {QString(""), QString("Studio"), QString("../City"), QString(".City")}) {
        SCOPED_TRACE(name.toStdString());
        QLineEdit* editor = startRename(1, name);
        ASSERT_TRUE(editor != nullptr);
        if (name.isEmpty())
            QTest::keyClick(editor, Qt::Key_Delete);
        QTest::keyClick(editor, Qt::Key_Return);
        settle();
        EXPECT_EQ(ui.beeps(), ++beeps);
        EXPECT_EQ(shownNames(), (QStringList{"Beach", "City", "Studio"}));
    }
    EXPECT_TRUE(delegate.events.isEmpty());
    EXPECT_EQ(contents(file("City.data")), city);
    EXPECT_EQ(contents(file("Studio.data")), studio);
    EXPECT_EQ(storedNames(), (QStringList{"Beach", "City", "Studio"}));
}

TEST_F(ManagePresetsSheetTest, DeleteRemovesThePresetAtOnceAndPassesItsRecord)
{
    sheet.tableView()->selectRow(0);
    QTest::mouseClick(sheet.btnDelete(), Qt::LeftButton);
    EXPECT_EQ(delegate.events, QStringList{"delete Beach, file there: 0"});
    ASSERT_TRUE(delegate.deleted != nullptr);
    EXPECT_EQ(delegate.deleted->getValueForKey("Exif.Image.Make", TAVExifData::getLocalShowKeyType("Exif.Image.Make")),
        QStringLiteral("Canon"));
    EXPECT_EQ(shownNames(), (QStringList{"City", "Studio"}));
    EXPECT_FALSE(sheet.btnDelete()->isEnabled());
    EXPECT_FALSE(sheet.btnRename()->isEnabled());
}

TEST_F(ManagePresetsSheetTest, DoneDuringAnEditStoresTheNameEndsTheSheetThenTellsTheOwner)
{
    // Without the keyboard focus the editor never hears that the sheet ends
    // (as with an inactive window): Done itself must store the typed name.
    QApplication::setActiveWindow(nullptr);
    QLineEdit* editor = startRename(2, "Portrait");
    ASSERT_TRUE(editor != nullptr);
    ASSERT_FALSE(editor->hasFocus());
    sheet.clickDone();
    EXPECT_EQ(
        delegate.events, (QStringList{"rename Studio -> Portrait", "done, sheet up: 0, stored: Beach,City,Portrait"}));
    EXPECT_FALSE(sheet.isSheetUp());

    // Escape, like the close button, is Done.
    host.beginSheetWindow(sheet.window());
    QTest::keyClick(sheet.window(), Qt::Key_Escape);
    EXPECT_EQ(delegate.events.size(), 3);
    EXPECT_FALSE(sheet.isSheetUp());
}

TEST_F(ManagePresetsSheetTest, Gallery)
{
    EXPECT_EQ(sheet.topView()->aryBgColors().size(), 4);
    EXPECT_EQ(sheet.bottomView()->bgColor(), QColor(240, 239, 240));
    ASSERT_TRUE(startRename(1, "City at night") != nullptr);
    EXPECT_TRUE(Gallery::capture(sheet.window(), "manage-presets-sheet"));
}

} // namespace
