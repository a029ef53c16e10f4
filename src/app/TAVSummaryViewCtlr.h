#pragma once

#include "commlib/TAVBaseTabViewCltr.h"

#include <QHash>
#include <QList>
#include <QString>

#include <atomic>
#include <memory>

class QCheckBox;
class QComboBox;
class QLabel;
class QLineEdit;
class QPlainTextEdit;
class TFDatePicker;

// The summary tab: a preview of the image, the creation date and time, camera,
// lens, texts and keywords of category 0, and the two settings that act on the
// creation date at save time (the date/time shift and applying the date to the
// file's own dates). A choice goes into the shown record at once; typed text
// (fields, dates, shift counts) when its field's text is taken.
class TAVSummaryViewCtlr : public TAVBaseTabViewCltr {
    Q_OBJECT
public:
    explicit TAVSummaryViewCtlr(QWidget* parent = nullptr);
    ~TAVSummaryViewCtlr() override;

    void setImgExifData(const TAVExifDataPtr& record) override;
    void setEditEnable(bool enable) override;
    std::optional<TAVEntityMap> genDictionayFromSetting() override;
    void refreshModifiedFields() override;
    // A keystroke: restyles the field's label, refuses a shift count that
    // is no count; nothing reaches the record yet.
    void controlTextDidChange(QObject* sender) override;
    void commitTypedText() override;

    void refreshSummaryUI();

    // What the main window reads beside the record.
    bool isApplyToFileCreatedDatetime() const;
    bool isSetTimeoffset() const;
    // None while the shift box is off.
    std::optional<TAVTimeOffsetInfo> getDatetimeOffsetInfo() const;
    bool isKeywordsOverwrited() const;

    // The path whose picture the preview shows (or is loading).
    const QString& curDispImagePath() const { return curDispImagePath_; }
    // The path whose picture is on screen (empty while it is loading).
    const QString& shownPreviewPath() const { return shownPreviewPath_; }
    // Decodes the pictures of `paths` for the preview ahead of time, side by
    // side on the pool, so that stepping on to them shows them at once: a
    // large photo takes longer to decode than a step through the list, so one
    // photo decoded ahead is not enough. Only the latest photos asked for are
    // decoded.
    void preparePreview(const QStringList& paths);

    static constexpr int kPreviewWidth = 240;
    static constexpr int kPreviewHeight = 180;

private:
    // A text control, the key it edits in category 0 and the label styled by it.
    struct Field {
        QWidget* control;
        QString key;
        QLabel* label;
    };

    void buildForm();
    QLabel* addLabel(const QString& text);
    QLineEdit* addLineEdit(const char* name);
    QPlainTextEdit* addTextView(const char* name);
    TFDatePicker* addDatePicker(bool date);
    void connectUserSignals();
    // The controls whose signals mean a user edit.
    QList<QWidget*> userControls() const;

    void textDidChange(QPlainTextEdit* view);
    // Hands a field's typed text to the record, when it differs from what the
    // field showed.
    void takeField(const Field& field);
    void takeDatePicker(TFDatePicker* picker);
    void takeCount(QLineEdit* count);
    bool refuseCount(QLineEdit* count);
    bool isFieldEdited(const QWidget* control) const;
    void rememberShownTexts();
    void clickTimeOffset();
    void clickTimeOffsetUnitPopup();
    void clickApplyToFileCreate();
    void clickOverwrite();
    void checkDatetimeOffsetChanged();
    void announceDiscreteChange();

    void refreshPreview();
    void showPreviewImage(const QImage& image, const QString& path = QString());
    // The longer side of the preview's picture in device pixels.
    int previewSide() const;
    // Its name towards the image cache.
    QString cacheViewName() const;
    void refreshDates();
    void refreshTimeOffset();
    void showCount(QLineEdit* field, int32_t count);
    void enableOffsetControls();
    static QString textOf(const QWidget* control);
    QString typedTextOf(const QWidget* control) const;
    QString valueOf(const QString& key) const;
    QString toolTipOf(const QString& key) const;
    QString pickerText(const TFDatePicker* picker) const;

    TFDatePicker* fldCreateDate_ = nullptr;
    TFDatePicker* fldCreateTime_ = nullptr;
    QLabel* lblCreateDate_ = nullptr;
    QLabel* lblCreateTime_ = nullptr;
    QLineEdit* fldImageSize_ = nullptr;
    QPlainTextEdit* tvKeywords_ = nullptr;
    QList<Field> fields_; // the twelve text controls; the image size has no label
    QCheckBox* chkOverwrite_ = nullptr;
    QCheckBox* btnTimeOffset_ = nullptr;
    QLineEdit* fldOffsetDateValue_ = nullptr;
    QComboBox* popupDayUnit_ = nullptr;
    QLineEdit* fldOffsetTimeValue_ = nullptr;
    QComboBox* popupTimeUnit_ = nullptr;
    // What each shift count field last held that was accepted.
    QHash<const QLineEdit*, QString> acceptedCounts_;
    QCheckBox* applyToFileCreate_ = nullptr;
    QLabel* imageView_ = nullptr;
    QString curDispImagePath_;
    QString shownPreviewPath_;
    // Bumped for every new preview, so loads that nobody waits for any more
    // are skipped before they decode anything.
    std::shared_ptr<std::atomic<uint64_t>> previewGeneration_;
    // The same for the picture decoded ahead.
    std::shared_ptr<std::atomic<uint64_t>> aheadGeneration_;
    bool editEnabled_ = true;
};
