#include "commlib/QtUiServices.h"

#include "ModalHelpers.h"
#include "support/Gallery.h"
#include "support/Patience.h"
#include "support/TempFolder.h"

#include <QDir>
#include <QFile>
#include <QFileDialog>
#include <QLabel>
#include <QLineEdit>
#include <QListView>
#include <QMessageBox>
#include <QScreen>
#include <QScrollArea>
#include <QScrollBar>
#include <QTest>

#include <gtest/gtest.h>

namespace {

void clickWhenUp(const QString& button)
{
    whenModalUp([button](QWidget* modal) {
        QAbstractButton* target = buttonNamed(modal, button);
        ASSERT_NE(target, nullptr) << button.toStdString();
        target->click();
    });
}

UiServices::AlertRequest request(const QStringList& buttons, QObject* parent = nullptr)
{
    UiServices::AlertRequest alert;
    alert.title = QStringLiteral("Errors");
    alert.message = QStringLiteral("Some error occured when save modifications");
    alert.buttons = buttons;
    alert.parent = parent;
    return alert;
}

} // namespace

TEST(QtUiServices, AlertCodesFollowTheClickedButton)
{
    QtUiServices ui;
    clickWhenUp(QStringLiteral("Don't Save"));
    EXPECT_EQ(ui.runAlert(request({QStringLiteral("Save"), QStringLiteral("Don't Save")})), 1001);

    clickWhenUp(QStringLiteral("Dismiss"));
    EXPECT_EQ(ui.showTipsAlert(QStringLiteral("Errors"), QStringLiteral("Failed"), QStringLiteral("Dismiss")), 1);
    clickWhenUp(QStringLiteral("No"));
    EXPECT_EQ(
        ui.showTipsAlert(QStringLiteral("Tips"), QStringLiteral("Go on?"), QStringLiteral("Yes"), QStringLiteral("No")),
        0);

    int received = 0;
    clickWhenUp(QStringLiteral("OK"));
    ui.showTipsAlertWithCallback(QStringLiteral("Tips"), QStringLiteral("Done"), QStringLiteral("OK"), QString(),
        [&received](int code) { received = code; });
    EXPECT_EQ(received, 1000) << "the callback runs before the call returns";

    whenModalUp([](QWidget* modal) { QTest::keyClick(modal, Qt::Key_Escape); });
    EXPECT_EQ(ui.runAlert(request({QStringLiteral("Remove"), QStringLiteral("Cancel")})), 1001);
}

// Return answers the button the request names: a question whose action cannot
// be taken back keeps the user's Return on its Cancel. An information alert
// shows the information icon.
TEST(QtUiServices, ReturnPressesTheRequestedDefaultButtonAndInformationShowsItsIcon)
{
    QtUiServices ui;
    UiServices::AlertRequest question = request({QStringLiteral("Remove"), QStringLiteral("Cancel")});
    question.defaultButton = 1;
    whenModalUp([](QWidget* modal) { QTest::keyClick(modal, Qt::Key_Return); });
    EXPECT_EQ(ui.runAlert(question), 1001);
    question.defaultButton = 0;
    whenModalUp([](QWidget* modal) { QTest::keyClick(modal, Qt::Key_Return); });
    EXPECT_EQ(ui.runAlert(question), 1000);

    QMessageBox::Icon shown = QMessageBox::NoIcon;
    whenModalUp([&shown](QWidget* modal) {
        shown = static_cast<QMessageBox*>(modal)->icon();
        QTest::keyClick(modal, Qt::Key_Return);
    });
    ui.showInformation(QStringLiteral("Metadata cloned"), QStringLiteral("Done"), QStringLiteral("Dismiss"));
    EXPECT_EQ(shown, QMessageBox::Information);
}

TEST(QtUiServices, AlertSheetReturnsFirstAndRunsOneCallback)
{
    QtUiServices ui;
    QWidget window;
    window.resize(400, 300);
    window.show();

    struct Case {
        QString click;
        int dismissed;
        int cancelled;
    };
    for (const Case& c : {Case{QStringLiteral("OK"), 1001, 0}, Case{QStringLiteral("Cancel"), 0, 1}}) {
        int dismissedWith = 0;
        int cancels = 0;
        int dismissals = 0;
        ui.showSheetModalForWindow(
            &window, QStringLiteral("Tips"), QStringLiteral("Do you realy want to apply the name of file(s)?"),
            UiServices::AlertStyle::Informational, QStringLiteral("Cancel"), {QStringLiteral("OK")},
            [&](int code) {
                dismissedWith = code;
                ++dismissals;
            },
            [&] { ++cancels; });
        QWidget* sheet = QApplication::activeModalWidget();
        ASSERT_NE(sheet, nullptr);
        EXPECT_EQ(sheet->windowModality(), Qt::WindowModal);
        EXPECT_EQ(sheet->parentWidget(), &window);
        EXPECT_EQ(dismissals + cancels, 0) << "nothing answered before the user";

        buttonNamed(sheet, c.click)->click();
        QApplication::processEvents();
        EXPECT_EQ(dismissedWith, c.dismissed);
        EXPECT_EQ(dismissals + cancels, 1);
        EXPECT_EQ(cancels, c.cancelled);
    }
}

TEST(QtUiServices, OpenPanelMatchesExtensionsWithoutRegardToCase)
{
    TempFolder folder;
    for (const QString& name :
        {QStringLiteral("A.JPG"), QStringLiteral("b.Jpeg"), QStringLiteral("c.txt"), QStringLiteral("d.jpg.txt")}) {
        QFile file(folder.filePath(name));
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    }

    QtUiServices ui;
    QStringList listed;
    whenModalUp([&listed](QWidget* modal) {
        auto* dialog = qobject_cast<QFileDialog*>(modal);
        ASSERT_NE(dialog, nullptr);
        auto* list = dialog->findChild<QListView*>(QStringLiteral("listView"));
        ASSERT_NE(list, nullptr);
        // The folder is read in the background: wait until its files are listed.
        EXPECT_TRUE(QTest::qWaitFor([list] { return list->model()->rowCount(list->rootIndex()) >= 2; }, kPatientMs));
        for (int row = 0; row < list->model()->rowCount(list->rootIndex()); ++row) {
            listed << list->model()->index(row, 0, list->rootIndex()).data().toString();
        }
        dialog->findChild<QLineEdit*>(QStringLiteral("fileNameEdit"))->setText(QStringLiteral("\"A.JPG\" \"b.Jpeg\""));
        QMetaObject::invokeMethod(dialog, "accept");
    });
    UiServices::OpenPanelRequest panel;
    panel.allowsMultipleSelection = true;
    panel.fileTypes = QStringList{QStringLiteral("jpg"), QStringLiteral("jpeg")};
    panel.directory = folder.path();
    const QStringList chosen = ui.runOpenPanel(panel);
    listed.sort();
    EXPECT_EQ(listed, QStringList({QStringLiteral("A.JPG"), QStringLiteral("b.Jpeg")}));
    EXPECT_EQ(
        chosen, QStringList({folder.path() + QStringLiteral("/A.JPG"), folder.path() + QStringLiteral("/b.Jpeg")}));

    whenModalUp([](QWidget* modal) { qobject_cast<QDialog*>(modal)->reject(); });
    EXPECT_TRUE(ui.chooseFolder(QStringLiteral("Output")).isEmpty());
}

TEST(QtUiServices, GalleryAlert)
{
    QMessageBox* box = nullptr;
    QtUiServices ui;
    ui.runAlertSheet(request({QStringLiteral("Cancel"), QStringLiteral("Continue")}), nullptr, nullptr);
    box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
    ASSERT_NE(box, nullptr);
    EXPECT_TRUE(Gallery::capture(box, QStringLiteral("alert")));
    box->reject();
    QApplication::processEvents();
}

// An alert listing 900 files stays within the screen with its buttons on it,
// the list scrolled to its last line; a short alert is laid out as before.
TEST(QtUiServices, AnAlertListingManyFilesStaysOnTheScreen)
{
    QStringList lines;
    for (int index = 1; index <= 900; ++index) {
        lines.append(QStringLiteral("/home/ann/Pictures/out/IMG_%1.exv").arg(index, 4, 10, QLatin1Char('0')));
    }
    QtUiServices ui;
    QWidget window;
    window.resize(640, 480);
    window.show();
    for (const bool longList : {true, false}) {
        SCOPED_TRACE(longList ? "900 lines" : "3 lines");
        UiServices::AlertRequest alert = request({QStringLiteral("Dismiss")}, &window);
        alert.title = QStringLiteral("Export finished");
        alert.message = (longList ? lines : lines.mid(0, 3)).join(QLatin1Char('\n'));
        whenModalUp([longList](QWidget* modal) {
            const QRect screen = modal->screen()->availableGeometry();
            EXPECT_LE(modal->frameGeometry().height(), screen.height());
            QAbstractButton* dismiss = buttonNamed(modal, QStringLiteral("Dismiss"));
            ASSERT_NE(dismiss, nullptr);
            const QRect button(dismiss->mapToGlobal(QPoint(0, 0)), dismiss->size());
            EXPECT_TRUE(screen.contains(button)) << button.y() << " of " << screen.height();
            auto* area = modal->findChild<QScrollArea*>();
            EXPECT_EQ(area != nullptr, longList);
            if (area != nullptr) {
                QScrollBar* bar = area->verticalScrollBar();
                EXPECT_GT(bar->maximum(), 0);
                bar->setValue(bar->maximum());
                auto* text = qobject_cast<QLabel*>(area->widget());
                ASSERT_NE(text, nullptr);
                EXPECT_TRUE(text->text().endsWith(QStringLiteral("IMG_0900.exv")));
                EXPECT_TRUE(Gallery::capture(modal, QStringLiteral("alert-long-list")));
            }
            dismiss->click();
        });
        EXPECT_EQ(ui.runAlert(alert), 1000);
    }
}
