// The mouse wheel passing over the window's forms, as the window system
// delivers a turn, on copies of camera files read back by exiftool: no
// control that holds a value (found by its type, in every tab, the window's
// own bars and the tool sheets) changes unless the user chose it with a
// click or Tab; the turn goes on to the form. Over one photo and 1,000.
#include "MainWindowFixture.h"

#include "app/ENTabBarView.h"
#include "app/TAVPhotosViewCltr.h"
#include "app/TAVSummaryViewCtlr.h"
#include "commlib/VXCommonWindowController.h"
#include "commlib/VXKeyPressTableView.h"
#include "support/ExifTool.h"
#include "support/MouseWheel.h"
#include "support/Patience.h"
#include "support/WheelCounter.h"
#include "tools/TAVClonWindowController.h"
#include "tools/TAVExportWindowController.h"
#include "tools/TAVNewPresetWindowCtlr.h"
#include "tools/TAVRenameWindowController.h"
#include "tools/TAVReplaceWindowController.h"

#include <QAbstractItemView>
#include <QAbstractSlider>
#include <QAbstractSpinBox>
#include <QAction>
#include <QCheckBox>
#include <QComboBox>
#include <QDateTime>
#include <QJsonObject>
#include <QLabel>
#include <QLineEdit>
#include <QMainWindow>
#include <QScrollBar>
#include <QTest>

namespace {

// What a control shows; an empty string for a widget that holds no value.
QString valueOf(QWidget* widget)
{
    if (auto* popup = qobject_cast<QComboBox*>(widget))
        return QStringLiteral("%1 %2").arg(popup->currentIndex()).arg(popup->currentText());
    if (auto* spin = qobject_cast<QAbstractSpinBox*>(widget))
        return QStringLiteral("text ") + spin->text();
    if (auto* slider = qobject_cast<QAbstractSlider*>(widget); slider && !qobject_cast<QScrollBar*>(widget))
        return QStringLiteral("value %1").arg(slider->value());
    return QString();
}

// Every control holding a value that a pointer can pass over under `root`.
QList<QWidget*> valueControls(QWidget* root)
{
    QList<QWidget*> found;
    for (QWidget* widget : root->findChildren<QWidget*>()) {
        if (!valueOf(widget).isEmpty() && widget->isVisible() && widget->isEnabled())
            found.append(widget);
    }
    return found;
}

const QStringList kKeptTags = {"ExifIFD:Flash", "ExifIFD:WhiteBalance", "ExifIFD:ExposureProgram",
    "ExifIFD:MeteringMode", "ExifIFD:ExposureMode", "ExifIFD:Contrast", "ExifIFD:Saturation", "ExifIFD:Sharpness",
    "ExifIFD:LightSource", "GPS:GPSLatitudeRef", "GPS:GPSLatitude", "GPS:GPSLongitudeRef", "GPS:GPSLongitude"};

class MainWindowWheelTest : public MainWindowTest {
protected:
    void SetUp() override
    {
        MainWindowTest::SetUp();
        if (!ExifTool::available())
            GTEST_SKIP() << "exiftool missing";
    }

    // One notch down and one up over each value control under `root`, the
    // keyboard focus in the photo list: each control stays as it was and
    // without the focus, and both turns go on to the control's parent.
    // Returns how many controls were passed over.
    int wheelPastValueControls(QWidget* root)
    {
        const QList<QWidget*> controls = valueControls(root);
        for (QWidget* control : controls) {
            SCOPED_TRACE(QStringLiteral("%1 %2 in %3")
                             .arg(QLatin1String(control->metaObject()->className()), control->objectName(),
                                 QLatin1String(control->parentWidget()->metaObject()->className()))
                             .toStdString());
            // The focus where the user left it: in the photo list, or in a
            // sheet on a control that holds no value.
            window().photosViewCltr()->tableView()->setFocus(Qt::MouseFocusReason);
            if (QWidget* focus = QApplication::focusWidget(); focus && focus->window() == control->window())
                focus->clearFocus();
            const QString shown = valueOf(control);
            WheelCounter form(control->parentWidget());
            for (int notches : {-1, 1}) {
                MouseWheel::turnOver(control, notches);
                QCoreApplication::processEvents();
                EXPECT_EQ(valueOf(control), shown) << notches;
            }
            EXPECT_FALSE(control->hasFocus());
            EXPECT_EQ(form.turns, 2) << "the turns go on to the form";
        }
        return int(controls.size());
    }

    void showTab(int index)
    {
        window().tabBar()->selectTab(index);
        QCoreApplication::processEvents();
    }

    bool saveAll()
    {
        window().clickSaveAll();
        return waitForLoop();
    }

    static QMap<QString, QString> keptTagsOf(const QString& path) { return tagsOf(path, kKeptTags); }

    // The exposure tab's pop-up button whose label reads `title`.
    QComboBox* exposurePopUp(const QString& title)
    {
        for (QLabel* label : window().tabSelectedView()->findChildren<QLabel*>()) {
            if (label->text() == title)
                return qobject_cast<QComboBox*>(label->buddy());
        }
        return nullptr;
    }
};

} // namespace

// With the pointer passing over the Exposure tab one notch turned Flash,
// White Balance and Contrast; over the GPS tab the hemisphere boxes moved the
// photo to the other side of the world; with "Shift by 2 Hours" armed the
// unit became Minutes. Every value control of every tab and of the window's
// bars now leaves the wheel to the form: Save All writes the armed shift and
// nothing else. A control the user clicked still takes the wheel.
TEST_F(MainWindowWheelTest, NoValueControlOfTheWindowTakesAWheelTurnItWasNotChosenFor)
{
    const QStringList paths = samples({"npm-iphone6p.jpg", "npm-sony-a6000.jpg"});
    const QString placed = paths.at(0);
    const QString sony = paths.at(1);
    const QMap<QString, QString> placedTags = keptTagsOf(placed);
    ASSERT_EQ(placedTags.value("GPS:GPSLatitudeRef"), "North");
    ASSERT_EQ(placedTags.value("ExifIFD:Flash"), "Auto, Fired");
    const QString takenAt = ExifTool::read(placed).value("ExifIFD:DateTimeOriginal").toString();
    const QByteArray sonyBefore = digestOf(sony);
    ASSERT_TRUE(importAndWait(paths));
    activate();
    select({rowOf(placed)});

    // "Shift by 2 Hours" armed as the user arms it.
    showTab(TAVMainWindowCtlr::TabSummary);
    window().summaryTab()->findChild<QCheckBox*>(QStringLiteral("btnTimeOffset"))->click();
    QLineEdit* hours = summaryField("fldOffsetTimeValue");
    hours->selectAll();
    QTest::keyClicks(hours, QStringLiteral("2"));
    QTest::keyClick(hours, Qt::Key_Return);
    auto* unit = window().summaryTab()->findChild<QComboBox*>(QStringLiteral("popupTimeUnit"));
    ASSERT_EQ(unit->currentText(), "Hours");

    for (int tab : {TAVMainWindowCtlr::TabSummary, TAVMainWindowCtlr::TabExposure, TAVMainWindowCtlr::TabGps,
             TAVMainWindowCtlr::TabDetail}) {
        SCOPED_TRACE(TAVMainWindowCtlr::tabTitles().at(tab).toStdString());
        showTab(tab);
        EXPECT_FALSE(valueControls(window().tabSelectedView()).isEmpty());
        // The tab's form and the window's bars around it (presets, sort, zoom).
        EXPECT_GT(wheelPastValueControls(window().mainWindow()), 3);
    }
    EXPECT_EQ(unit->currentText(), "Hours");
    ASSERT_TRUE(saveAll());

    EXPECT_EQ(keptTagsOf(placed), placedTags);
    EXPECT_EQ(ExifTool::read(placed).value("ExifIFD:DateTimeOriginal").toString(),
        QDateTime::fromString(takenAt, "yyyy:MM:dd HH:mm:ss").addSecs(2 * 3600).toString("yyyy:MM:dd HH:mm:ss"));
    EXPECT_EQ(digestOf(sony), sonyBefore);

    // Chosen with a click (its list closed again), the pop-up takes the wheel.
    select({rowOf(sony)});
    activate();
    showTab(TAVMainWindowCtlr::TabExposure);
    QComboBox* saturation = exposurePopUp(QStringLiteral("Saturation:"));
    ASSERT_NE(saturation, nullptr);
    ASSERT_EQ(saturation->currentText(), "Normal");
    QTest::mouseClick(saturation, Qt::LeftButton);
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Escape);
    ASSERT_TRUE(saturation->hasFocus());
    MouseWheel::turnOver(saturation, -1);
    EXPECT_NE(saturation->currentText(), "Normal");
    ASSERT_TRUE(saveAll());
    EXPECT_NE(keptTagsOf(sony).value("ExifIFD:Saturation"), "Normal");
}

// With 1,000 photos selected one notch over Saturation wrote "Low" into all
// of them, most without such a tag. Over every value control of the Exposure
// and GPS tabs nothing is edited and Save All writes no file.
TEST_F(MainWindowWheelTest, AThousandSelectedPhotosTakeNoWheelTurn)
{
    const QStringList kinds = samples({"npm-sony-a6000.jpg", "npm-canon-s40.jpg", "npm-iphone6p.jpg"});
    QStringList paths;
    for (int i = 0; i < 1000; ++i)
        paths.append(copyOf(kinds.at(i % 3), QStringLiteral("p%1.jpg").arg(i, 4, 10, QLatin1Char('0'))));
    const QList<int> checked = {0, 1, 2, 500, 998};
    QList<QByteArray> before;
    for (int index : checked)
        before.append(digestOf(paths.at(index)));
    ASSERT_TRUE(importAndWait(paths));
    QList<int> rows;
    for (int row = 0; row < 1000; ++row)
        rows.append(row);
    select(rows);
    activate();

    for (int tab : {TAVMainWindowCtlr::TabExposure, TAVMainWindowCtlr::TabGps}) {
        showTab(tab);
        EXPECT_GT(wheelPastValueControls(window().tabSelectedView()), 2);
    }
    EXPECT_FALSE(anyPhotoModified());
    ASSERT_TRUE(saveAll());
    for (int i = 0; i < checked.size(); ++i)
        EXPECT_EQ(digestOf(paths.at(checked.at(i))), before.at(i)) << paths.at(checked.at(i)).toStdString();
    EXPECT_FALSE(ExifTool::read(paths.at(1)).contains("ExifIFD:Saturation"));
}

// The tool sheets obey the same rule: the wheel passing over the rename
// sheet's date and time forms, or any control of the presets, replace,
// clone and export sheets, changes nothing there.
TEST_F(MainWindowWheelTest, TheToolSheetsLeaveTheWheelToTheirForms)
{
    ASSERT_TRUE(importAndWait(samples({"npm-sony-a6000.jpg"})));
    activate();
    const auto pass = [this](VXCommonWindowController* sheet) {
        EXPECT_TRUE(sheet && sheet->isSheetUp());
        if (!sheet || !sheet->isSheetUp())
            return 0;
        const int passed = wheelPastValueControls(sheet->window());
        window().endSheetWindow(sheet->window());
        return passed;
    };

    window().toolbarAction("Rename")->trigger();
    EXPECT_GE(pass(window().renameWindowCtlr()), 2);
    window().toolbarAction("Replace")->trigger();
    pass(window().replaceWindowCtlr());
    window().toolbarAction("Clone")->trigger();
    pass(window().cloneWindowCtlr());
    window().toolbarAction("Export Exif")->trigger();
    pass(window().exportWindowCtlr());
    QComboBox* presets = window().btnPresets();
    const int saveAs = presets->findText(QStringLiteral("Save Preset As..."));
    ASSERT_GE(saveAs, 0);
    presets->setCurrentIndex(saveAs);
    emit presets->activated(saveAs);
    ASSERT_TRUE(QTest::qWaitFor([&] { return window().newPresetWindowCtlr() != nullptr; }, kPatientMs));
    pass(window().newPresetWindowCtlr());
    EXPECT_FALSE(anyPhotoModified());
}

// Lists and tables keep their wheel without the keyboard focus: a turn over
// the Details tab's tags while the photo list has the focus scrolls the tags,
// one over the photo list while the tags have it scrolls the list, and the
// focus stays. Their scroll bars move the view, not a value of a photo.
TEST_F(MainWindowWheelTest, ListsAndTablesScrollWithoutBeingChosen)
{
    const QString sony = samples({"npm-sony-a6000.jpg"}).first();
    QStringList paths{sony};
    const QString small = samples({"npm-canon-s40.jpg"}).first();
    for (int i = 0; i < 60; ++i)
        paths.append(copyOf(small, QStringLiteral("c%1.jpg").arg(i, 2, 10, QLatin1Char('0'))));
    ASSERT_TRUE(importAndWait(paths));
    activate();
    select({rowOf(sony)});
    showTab(TAVMainWindowCtlr::TabDetail);
    auto* tags = window().tabSelectedView()->findChild<QAbstractItemView*>();
    ASSERT_NE(tags, nullptr);
    QAbstractItemView* list = window().photosViewCltr()->tableView();

    for (auto [turned, focused] : {std::pair{tags, list}, std::pair{list, tags}}) {
        SCOPED_TRACE(turned == tags ? "the tags" : "the photo list");
        focused->setFocus(Qt::MouseFocusReason);
        QScrollBar* bar = turned->verticalScrollBar();
        bar->setValue(bar->minimum());
        ASSERT_GT(bar->maximum(), bar->minimum()) << "room to scroll";
        MouseWheel::turnOver(turned->viewport(), -1);
        EXPECT_GT(bar->value(), bar->minimum());
        EXPECT_TRUE(focused->hasFocus());
    }
    EXPECT_FALSE(anyPhotoModified());
}
