#pragma once

#include "commlib/VXCommonWindowController.h"
#include "tools/TAVExportCallbackTarget.h"

#include "models/record/TAVExifData.h"

#include <QStringList>

#include <cstdint>

class QCheckBox;
class QLabel;
class QLineEdit;
class QPushButton;
class TAVFiltExportFieldsWndCtlr;

// The sheet on which the user chooses what to export for the selected images:
// the families of the sidecar (EXIF, XMP, thumbnail) or a custom set of
// fields, CSV tables and their layout, and the output folder. Every choice but
// the merge box lives in the user defaults; Export hands one call to the
// callback target and ends the sheet.
//
// Callers rely on:
// - Made once and kept. Making it registers the six defaults and turns the
//   custom choice off, so custom fields never survive a restart.
// - The custom choice and the three families exclude each other.
// - A missing path or format alerts and keeps the sheet up, and so does a
//   Cancel at the export's question about files already in the folder.
//   Otherwise the sheet ends after the export returned, with one alert first
//   that names the files written ("Export finished"), after the files that
//   could not be written when there are some ("Errors").
class TAVExportWindowController : public VXCommonWindowController {
    Q_OBJECT
public:
    static const QString kExportExifKey; // "com.tavilo.exportexif"
    static const QString kExportXmpKey; // "com.tavilo.exportxmp"
    static const QString kExportThumbKey; // "com.tavilo.exportthumb"
    static const QString kCustomKey; // "com.tavilo.custom"
    static const QString kExportCVSKey; // "com.tavilo.exportCVS"
    static const QString kOneFileOneLineKey; // "com.tavilo.oneFileOneLine"

    explicit TAVExportWindowController(QObject* parent = nullptr);
    ~TAVExportWindowController() override;

    // Each opening: the main window, the number of selected images and the
    // shown record (kept for the field chooser).
    void setupCallbackTarget(TAVExportCallbackTarget* target, uint64_t count, const TAVExifDataPtr& record);

    // Not owned; null exports nothing.
    TAVExportCallbackTarget* callbackTarget() const { return callbackTarget_; }
    void setCallbackTarget(TAVExportCallbackTarget* target) { callbackTarget_ = target; }
    uint64_t count() const { return count_; }
    void setCount(uint64_t count) { count_ = count; }
    const QStringList& customSelectEntities() const { return customSelectEntities_; }

    // Actions.
    void clickOpenFile();
    void clickExport();
    void clickCanel();
    void clickCustomChooseExport();
    void clickExportCheckBox(QCheckBox* sender);

    void updateExportButtonState();
    void updateCVSEnable();
    void updateTopTips();

    // At least one of EXIF, XMP, thumbnail and custom is chosen (CSV does not count).
    static bool checkExportChoose();
    // 1 when EXIF, XMP and thumbnail are all chosen, plus 2 EXIF, 4 XMP,
    // 8 thumbnail, 16 custom.
    static int32_t getExportType();
    static bool checkExportCVS();
    // The choice of index 0 EXIF, 1 XMP, 2 thumbnail, 3 custom, 4 CSV; NO for any other.
    static bool isSwithValue(int32_t index);

    QCheckBox* exifChk();
    QCheckBox* xmpChk();
    QCheckBox* thumbChk();
    QCheckBox* customChk();
    QPushButton* settingCustom();
    QCheckBox* cvsChk();
    QCheckBox* oneFileOneLineChk();
    QLineEdit* exportPath();
    QCheckBox* exportInOneFileChk();
    QLabel* titleLabel();
    QPushButton* chooseFolderBtn();
    QPushButton* exportBtn();
    QPushButton* cancelBtn();
    // Null until the custom choice was first made.
    TAVFiltExportFieldsWndCtlr* filterCtlr() const { return filterCtlr_; }

protected:
    QWidget* makeWindow() override;
    void windowDidLoad() override;

private:
    QWidget* buildChoices(QWidget* sheet);
    void applyCustomKeys(const QStringList& keys);
    static void flip(const QString& key);
    static void alert(const QString& title, const QString& message, QObject* parent);
    void tellOutcome(const TAVExportCallbackTarget::Outcome& outcome, const QString& path);

    QCheckBox* exifChk_ = nullptr;
    QCheckBox* xmpChk_ = nullptr;
    QCheckBox* thumbChk_ = nullptr;
    QCheckBox* customChk_ = nullptr;
    QPushButton* settingCustom_ = nullptr;
    QCheckBox* cvsChk_ = nullptr;
    QCheckBox* oneFileOneLineChk_ = nullptr;
    QLineEdit* exportPath_ = nullptr;
    QCheckBox* exportInOneFileChk_ = nullptr;
    QLabel* titleLabel_ = nullptr;
    QPushButton* chooseFolderBtn_ = nullptr;
    QPushButton* exportBtn_ = nullptr;
    QPushButton* cancelBtn_ = nullptr;
    TAVFiltExportFieldsWndCtlr* filterCtlr_ = nullptr;
    TAVExifDataPtr exifData_;
    QStringList customSelectEntities_;
    TAVExportCallbackTarget* callbackTarget_ = nullptr;
    uint64_t count_ = 0;
};
