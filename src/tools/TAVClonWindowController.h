#pragma once

#include "commlib/VXCommonViewDelegate.h"
#include "commlib/VXCommonWindowController.h"

#include "models/image/FDMetadataContainer.h"
#include "models/image/TAVImageObject.h"

#include <QList>
#include <QStringList>
#include <QUrl>

class FDStaticMapView;
class GSGroupedTableView;
class QCheckBox;
class QLabel;
class QPushButton;
class TAVClonMetadataModel;
class TAVClonWindowControllerDelegate;
class VXCommonView;

// The clone sheet: the metadata of one source image file, chosen with an open
// panel or dropped on the sheet, is previewed (icon, name, size, camera
// lines, exposure line, a static map of its position, every key and value)
// and written onto the user's files of the target images.
//
// The main window makes it once and keeps it, so the source, its preview and
// the all-images box persist from one opening to the next.
//
// Callers rely on:
// - A source that cannot be read leaves no metadata behind; the preview keeps
//   showing the previous file. Cloning without metadata writes nothing.
// - A target whose file equals the source byte for byte is not written but
//   counts as cloned.
// - Each target is replaced atomically; a failed one is left as it was, and
//   so is one whose file another program changed since it was imported.
// - With no source read, Clone says so and asks nothing.
// - The delegate is told of every target whose file holds the source's
//   metadata, also when others failed, so it re-imports exactly those.
// - The delegate is not owned; clear it before it goes.
class TAVClonWindowController : public VXCommonWindowController, public VXCommonViewDelegate {
    Q_OBJECT
public:
    static constexpr int kThumbnailSize = 128;

    explicit TAVClonWindowController(TAVClonWindowControllerDelegate* delegate, QObject* parent = nullptr);
    ~TAVClonWindowController() override;

    TAVClonWindowControllerDelegate* delegete() const { return delegete_; }
    void setDelegete(TAVClonWindowControllerDelegate* delegate) { delegete_ = delegate; }

    // The keys whose camera details fill the first two info lines, in order.
    static const QStringList& cameraDetailKeys();

    // Actions.
    void clickOpenFile();
    void clickClone();
    void clickCancel();

    // Files dropped on the sheet: the first folder or supported image becomes
    // the source. True when it was read.
    bool didWindowAccepteDragFiles(QWidget* window, const QStringList& paths) override;

    // True when the file became the source; an unreadable file shows an alert.
    bool doImportFile(const QUrl& url);
    // Writes the source's metadata onto every target's user file. True when
    // every target holds it now; `cloned` receives those that do (written or
    // already equal to the source).
    bool doClone(const QList<TAVImageObjectPtr>& targets, QList<TAVImageObjectPtr>* cloned = nullptr);

    const FDMetadataContainerPtr& metadata() const { return metadata_; }
    const QUrl& fileURL() const { return fileURL_; }
    const QStringList& mVaildData() const { return mVaildData_; }
    TAVClonMetadataModel* model() const { return model_; }

    QLabel* thumbnailView();
    QLabel* filenameLabel();
    QLabel* filesizeLabel();
    QLabel* info1Label();
    QLabel* info2Label();
    QLabel* info3Label();
    FDStaticMapView* mapView();
    GSGroupedTableView* tableView();
    VXCommonView* dropView();
    QCheckBox* applyToAll();
    QPushButton* openBtn();
    QPushButton* cloneBtn();
    QPushButton* cancelBtn();

protected:
    QWidget* makeWindow() override;
    void windowDidLoad() override;

private:
    QWidget* buildPreview(QWidget* sheet);
    void buildTable(QWidget* sheet);
    void resetView();
    bool openMetadataForFile(const QString& path);
    void presentThumbnail(const QString& path);
    void presentFileInfo(const QString& path);
    void presentCurrentMetadata();
    void presentGPSInfo();
    // Asks before a clone; false when the user declined.
    bool confirmClone(bool allImages);
    bool confirmDiscardingUnsavedChanges();
    // What a question about the clone says of a source whose XMP cannot be
    // read (starting with a space); empty for any other source.
    QString unreadableXmpNote() const;
    void tellNoSourceChosen();
    QString sourceName() const;
    // Writes the source's metadata onto one target's user file; why it was
    // not written, or a null text when the file holds the metadata now.
    QString cloneOnto(const TAVImageObject& target, const QString& source);
    // `failures` are lines "file name: reason".
    void showCloneResult(const QStringList& failures, qsizetype count);

    QLabel* thumbnailView_ = nullptr;
    QLabel* filenameLabel_ = nullptr;
    QLabel* filesizeLabel_ = nullptr;
    QLabel* info1Label_ = nullptr;
    QLabel* info2Label_ = nullptr;
    QLabel* info3Label_ = nullptr;
    FDStaticMapView* mapView_ = nullptr;
    GSGroupedTableView* tableView_ = nullptr;
    VXCommonView* dropView_ = nullptr;
    QCheckBox* applyToAll_ = nullptr;
    QPushButton* openBtn_ = nullptr;
    QPushButton* cloneBtn_ = nullptr;
    QPushButton* cancelBtn_ = nullptr;
    TAVClonMetadataModel* model_ = nullptr;

    FDMetadataContainerPtr metadata_;
    QUrl fileURL_;
    QStringList mVaildData_;
    TAVClonWindowControllerDelegate* delegete_ = nullptr;
};
