#pragma once

#include "app/TAVMainWindowCtlr.h"

#include "support/FakeUiServices.h"
#include "support/TempFolder.h"

#include <QMap>
#include <QModelIndex>
#include <QStringList>

#include <gtest/gtest.h>

#include <memory>

class QLineEdit;

// A main window over a working-copy folder in a temporary folder, shown
// offscreen at 1280 x 800, with animations off and alerts answered by a fake.
class MainWindowTest : public TempFolderTest {
protected:
    void SetUp() override;
    void TearDown() override;

    TAVMainWindowCtlr& window() { return *ctlr_; }
    // The photos of the list, hidden ones included, in the list's order.
    QList<TAVImageObjectPtr> images();
    // Imports the files and waits until they are listed and the first is selected.
    bool importAndWait(const QStringList& paths);
    // Copies of committed samples in <temp>/in, under their own names.
    QStringList samples(const QStringList& names);
    // A copy of `path` at <temp>/in/<name>.
    QString copyOf(const QString& path, const QString& name);
    // The SHA-1 of a file's bytes; empty when it cannot be read.
    static QByteArray digestOf(const QString& path);
    // Those of the named tags ("ExifIFD:Flash") the file holds, as exiftool reads them.
    static QMap<QString, QString> tagsOf(const QString& path, const QStringList& names);
    // A picture with the given tags at <temp>/in/<name>.
    QString photoWithTags(const QString& name, const std::vector<std::pair<QString, QString>>& tags);
    // The row of the shown list holding the photo imported from `path`.
    int rowOf(const QString& path);
    // Selects the rows of the shown list, as a click in the list would.
    void select(const QList<int>& rows);
    QLineEdit* summaryField(const char* name);
    // The value cell of the Details tab's row of `key`; invalid when not listed.
    QModelIndex detailCell(const QString& key);
    // Waits until the save (or another loop) has ended.
    bool waitForLoop();
    // The window active again after the import's sheet: focus moves as the
    // user's clicks move it, and a field's editing ends when it leaves.
    void activate();
    // Whether any photo of the list holds an edit not saved yet.
    bool anyPhotoModified();
    // A gallery picture of the window with `sheet` (a sheet or an alert, a
    // window of its own) drawn where it hangs, at the top centre.
    ::testing::AssertionResult captureOverWindow(QWidget* sheet, const QString& name);

    FakeUiServices ui_;
    std::unique_ptr<TAVMainWindowCtlr> ctlr_;
};

// The same, for tests that read the saved files back with exiftool: skipped
// where it is missing.
class MainWindowExifToolTest : public MainWindowTest {
protected:
    void SetUp() override;
    // Saves the selected photos as the toolbar's Save does, to the loop's end.
    bool saveSelected();
};
