#include "commlib/VXKeyPressImageBrowserView.h"
#include "commlib/VXKeyPressTableView.h"
#include "commlib/VXKeyPressTableViewDelegate.h"

#include <QLineEdit>
#include <QSignalSpy>
#include <QStandardItemModel>
#include <QTest>

#include <gtest/gtest.h>

#include <algorithm>

namespace {

class KeyRecorder : public VXKeyPressTableViewDelegate {
public:
    void deleteSelectionFromTableView(VXKeyPressTableView*) override { calls << QStringLiteral("delete"); }
    void didClickCommondUpKeys(VXKeyPressTableView*) override { calls << QStringLiteral("up"); }
    void didClickCommondDownKeys(VXKeyPressTableView*) override { calls << QStringLiteral("down"); }
    bool preventEnterEditingTableView(VXKeyPressTableView*) override
    {
        calls << QStringLiteral("return");
        return prevent;
    }
    QStringList calls;
    bool prevent = true;
};

QStandardItemModel* filledModel(QObject* parent)
{
    auto* model = new QStandardItemModel(3, 2, parent);
    for (int row = 0; row < 3; ++row) {
        model->setItem(row, 0, new QStandardItem(QStringLiteral("IMG_%1.JPG").arg(row)));
    }
    return model;
}

bool editorOpen(const QWidget& view)
{
    const QList<QLineEdit*> editors = view.findChildren<QLineEdit*>();
    return std::any_of(editors.begin(), editors.end(), [](const QLineEdit* editor) { return editor->isVisible(); });
}

} // namespace

TEST(KeyPressViews, TableHandsItsKeysToTheDelegate)
{
    VXKeyPressTableView table;
    table.setModel(filledModel(&table));
    table.setEditTriggers(QAbstractItemView::EditKeyPressed);
    KeyRecorder recorder;
    table.setKeyDelegate(&recorder);
    table.show();
    table.setCurrentIndex(table.model()->index(1, 0));
    QSignalSpy previews(&table, &VXKeyPressTableView::previewRequested);

    QTest::keyClick(&table, Qt::Key_Space);
    EXPECT_EQ(previews.count(), 0) << "space preview is off by default";
    table.setEnableSpacePreview(true);
    QTest::keyClick(&table, Qt::Key_Space);
    EXPECT_EQ(previews.count(), 1);

    QTest::keyClick(&table, Qt::Key_Delete);
    QTest::keyClick(&table, Qt::Key_Backspace);
    QTest::keyClick(&table, Qt::Key_Up, Qt::ControlModifier);
    QTest::keyClick(&table, Qt::Key_Down, Qt::ControlModifier);
    QTest::keyClick(&table, Qt::Key_Return);
    EXPECT_EQ(recorder.calls,
        QStringList({QStringLiteral("delete"), QStringLiteral("delete"), QStringLiteral("up"), QStringLiteral("down"),
            QStringLiteral("return")}));
    EXPECT_FALSE(editorOpen(table)) << "a handled Return opens no editor";
    EXPECT_EQ(table.currentIndex().row(), 1) << "Ctrl+arrows do not move the selection themselves";

    recorder.prevent = false;
    QTest::keyClick(&table, Qt::Key_Return);
    EXPECT_TRUE(editorOpen(table));
}

TEST(KeyPressViews, BrowserAsksForPreviewAndRemoval)
{
    VXKeyPressImageBrowserView browser;
    browser.setModel(filledModel(&browser));
    QSignalSpy previews(&browser, &VXKeyPressImageBrowserView::previewRequested);
    QSignalSpy removals(&browser, &VXKeyPressImageBrowserView::removeSelectionRequested);

    QTest::keyClick(&browser, Qt::Key_Space);
    browser.setEnableSpacePreview(true);
    QTest::keyClick(&browser, Qt::Key_Space);
    QTest::keyClick(&browser, Qt::Key_Delete);
    QTest::keyClick(&browser, Qt::Key_Backspace);
    EXPECT_EQ(previews.count(), 1);
    EXPECT_EQ(removals.count(), 2);
}
