// The presets pop-up: applying, storing, updating, deleting and managing
// named sets of tag values.
#include "app/TAVMainWindowCtlr.h"

#include "app/TAVDetailViewCtlr.h"
#include "app/TAVExposureViewCtlr.h"
#include "app/TAVPhotosViewCltr.h"
#include "app/TAVSummaryViewCtlr.h"
#include "commlib/TAVBaseTabViewCltr.h"
#include "foundation/UiServices.h"
#include "tools/TAVManangePresetsWindowController.h"
#include "tools/TAVNewPresetWindowCtlr.h"
#include "tools/TAVPrestManager.h"

#include <QComboBox>
#include <QSet>
#include <QStandardItemModel>
#include <QTimer>

namespace {

constexpr int kFirstPresetTag = 6;
constexpr int kDeleteItem = 3;
constexpr int kUpdateItem = 4;
constexpr int kEditItem = 5;

} // namespace

void TAVMainWindowCtlr::reloadPresets()
{
    maryPresets_ = TAVPrestManager::sharedInstance()->loadPresets().value_or(QList<TAVExifDataPtr>());
}

void TAVMainWindowCtlr::refreshPreset()
{
    for (int row = presetsModel_->rowCount() - 1; row >= 0; --row) {
        if (presetsModel_->item(row)->data(Qt::UserRole).toInt() >= kFirstPresetTag)
            presetsModel_->removeRow(row);
    }
    TAVExifDataPtr setting;
    int tag = kFirstPresetTag;
    for (const TAVExifDataPtr& preset : maryPresets_) {
        auto* item = new QStandardItem(preset->strName());
        item->setData(tag++, Qt::UserRole);
        presetsModel_->appendRow(item);
        // The later of several default presets wins.
        if (preset->isDefault()) {
            setting = preset->copy();
            setting->removeModifyFlag();
        }
    }
    defaultSetting_ = setting ? setting : getClearEmptyExifData();
}

void TAVMainWindowCtlr::refreshPresetButtons()
{
    btnPresets_->setEnabled(hasImportedImage());
    const QString name = curExifData_ ? curExifData_->strName() : QString();
    const int named = name.isEmpty() ? -1 : btnPresets_->findText(name);
    btnPresets_->setCurrentIndex(named >= kFirstPresetTag ? named : 0);
    presetsModel_->item(0)->setEnabled(true);
    presetsModel_->item(2)->setEnabled(true);
    presetsModel_->item(kEditItem)->setEnabled(!maryPresets_.isEmpty());
    const int tag = btnPresets_->currentData(Qt::UserRole).toInt();
    if (tag >= kFirstPresetTag || tag == 0) {
        presetsModel_->item(kDeleteItem)->setEnabled(tag != 0);
        presetsModel_->item(kUpdateItem)->setEnabled(tag != 0);
    }
}

// Acts on the user's choices only (`activated`): selecting from code never comes here.
void TAVMainWindowCtlr::clickPresets(int index)
{
    commitTypedText();
    const QString title = btnPresets_->itemText(index);
    btnPresets_->setCurrentIndex(0);
    if (title == QLatin1String("Save Preset As...")) {
        QTimer::singleShot(0, this, [this] { openNewPresetSheet(); });
    } else if (title == QLatin1String("Delete Preset...")) {
        TAVPrestManager::sharedInstance()->deletePreset(curExifData_->strName());
        reloadPresets();
        refreshPreset();
        updateSelectedImageToPreset(nullptr);
    } else if (title == QLatin1String("Update Presets...")) {
        const TAVExifDataPtr updated = presetUpdateFromShownRecord();
        TAVPrestManager::sharedInstance()->updatePreset(updated, updated->strName());
        reloadPresets();
        updateSelectedImageToPreset(updated);
    } else if (title == QLatin1String("Presets")) {
        updateSelectedImageToPreset(nullptr);
    } else if (title == QLatin1String("Edit Presets...")) {
        presetCltr_ = std::make_unique<TAVManangePresetsWindowController>();
        presetCltr_->setDelegate(this);
        QTimer::singleShot(0, this, [this] {
            if (presetCltr_)
                beginSheetWindow(presetCltr_->window());
        });
    } else {
        btnPresets_->setCurrentIndex(index);
        updateSelectedImageToPreset(TAVPrestManager::sharedInstance()->presetWithName(title));
    }
    refreshUI();
}

// The shown record of several images holds "" for every key they disagree
// on: storing all of it would blank those tags wherever the preset goes. The
// update keeps the keys the preset held and adds what the shown record marks
// modified or cleared, with the shown values of those.
TAVExifDataPtr TAVMainWindowCtlr::presetUpdateFromShownRecord() const
{
    const QString name = curExifData_->strName();
    const TAVExifDataPtr stored = TAVPrestManager::sharedInstance()->presetWithName(name);
    TAVCategoryMaps maps;
    const TAVCategoryMaps& shown = curExifData_->mdicUserSetExifDataInfo();
    for (auto category = shown.cbegin(); category != shown.cend(); ++category) {
        TAVEntityMap kept = stored ? stored->mdicUserSetExifDataInfo().value(category.key()) : TAVEntityMap();
        for (auto entry = category.value().cbegin(); entry != category.value().cend(); ++entry) {
            const TAVEntityPtr& from = entry.value();
            if (!from || !(from->isModified() || from->isClear()))
                continue;
            TAVEntityPtr copy = TAVEntity::entityWithValue(from->value(), from->key());
            copy->setIsModified(from->isModified());
            // A field the user emptied is a clear: applied elsewhere, the
            // preset removes that tag instead of leaving it as it was.
            copy->setIsClear(from->isClear() || from->value().isEmpty());
            kept.insert(entry.key(), copy);
        }
        maps.insert(category.key(), kept);
    }
    TAVExifDataPtr updated = TAVExifData::create();
    updated->setMdicUserSetExifDataInfo(maps);
    updated->setStrName(name);
    updated->setIsDefault(stored && stored->isDefault());
    updated->setIsApplyToFileCreatedDateTime(curExifData_->isApplyToFileCreatedDateTime());
    updated->setCreatedDateTimeOffset(curExifData_->createdDateTimeOffset());
    return updated;
}

void TAVMainWindowCtlr::leaveGuessesOutOfPreset(TAVExifData& setting)
{
    // The texts the selected photos show as read on a guess; a tab shows
    // them under their own key or through another (the description shows
    // the caption of a photo without one), so they are known by their text.
    QSet<QString> guessed;
    for (const TAVImageObjectPtr& image : std::as_const(marySelectedImgs_)) {
        for (const TAVEntityPtr& row : image ? image->exifData()->maryOrgExifData() : TAVEntityList()) {
            if (row && row->isReadOnAGuess())
                guessed.insert(row->value());
        }
    }
    QStringList leftOut;
    for (int32_t category = TAVExifData::CategorySummary; category <= TAVExifData::CategoryOther; ++category) {
        TAVEntityMap map = setting.mdicUserSetExifDataInfo().value(TAVExifData::getKeyStrForType(category));
        for (auto entry = map.begin(); entry != map.end();) {
            const TAVEntityPtr& entity = entry.value();
            const bool isGuess = entity && !entity->isModified() && !entity->value().isEmpty()
                && (entity->isReadOnAGuess() || guessed.contains(entity->value()));
            if (isGuess) {
                leftOut.append(entity->key());
                entry = map.erase(entry);
            } else {
                ++entry;
            }
        }
        setting.setImageExifData(map, category);
    }
    if (leftOut.isEmpty())
        return;
    if (UiServices* ui = UiServices::shared()) {
        ui->showTipsAlert(QStringLiteral("Tips"),
            QStringLiteral("The photo does not declare the character set of these texts, so they are shown as read on "
                           "a guess and are left out of the preset: %1")
                .arg(leftOut.join(QStringLiteral(", "))),
            QStringLiteral("OK"), QString(), mainWindow_);
    }
}

void TAVMainWindowCtlr::openNewPresetSheet()
{
    newPresetWndCltr_.reset();
    TAVExifDataPtr setting = collectCurrentSettingToExifData();
    setting->setStrName(QString());
    // The tabs hand every value over as one to take; the sheet shows as
    // edited only what the user edited in the shown record.
    const TAVCategoryMaps& maps = setting->mdicUserSetExifDataInfo();
    for (int32_t category = TAVExifData::CategorySummary; category <= TAVExifData::CategoryOther; ++category) {
        for (const TAVEntityPtr& entity : maps.value(TAVExifData::getKeyStrForType(category))) {
            if (entity)
                entity->setIsModified(curExifData_ && curExifData_->isModifiedForKey(entity->key(), category));
        }
    }
    leaveGuessesOutOfPreset(*setting);
    newPresetWndCltr_ = std::make_unique<TAVNewPresetWindowCtlr>(setting);
    newPresetWndCltr_->setDelegate(this);
    beginSheetWindow(newPresetWndCltr_->window());
}

void TAVMainWindowCtlr::updateSelectedImageToPreset(const TAVExifDataPtr& preset)
{
    for (const auto& image : marySelectedImgs_) {
        if (preset) {
            image->applyToNewExifDataSetting(*preset);
            image->exifData()->setStrName(preset->strName());
        } else {
            // Back to the values read and no name.
            image->restore();
            image->exifData()->setStrName(QString());
        }
    }
}

TAVExifDataPtr TAVMainWindowCtlr::collectCurrentSettingToExifData()
{
    TAVExifDataPtr record = getClearEmptyExifData();
    const QList<std::pair<TAVBaseTabViewCltr*, int32_t>> tabs{{summary_, TAVExifData::CategorySummary},
        {exposure_, TAVExifData::CategoryExposure}, {gps_, TAVExifData::CategoryGps},
        {detail_, TAVExifData::CategoryOther}};
    for (const auto& [tab, category] : tabs) {
        if (!tab)
            continue;
        if (const std::optional<TAVEntityMap> values = tab->genDictionayFromSetting())
            record->setImageExifData(*values, category);
    }
    const int position = btnPresets_->currentIndex();
    record->setStrName(position >= kEditItem ? btnPresets_->itemText(position) : QString());
    record->setIsApplyToFileCreatedDateTime(summary_->isApplyToFileCreatedDatetime());
    record->setCreatedDateTimeOffset(summary_->getDatetimeOffsetInfo());
    return record;
}

void TAVMainWindowCtlr::clickCancelSavePresetName()
{
    if (newPresetWndCltr_ && newPresetWndCltr_->isWindowLoaded())
        endSheetWindow(newPresetWndCltr_->window());
    btnPresets_->setCurrentIndex(0);
    refreshPresetButtons();
}

void TAVMainWindowCtlr::didNewPresetWindowCltrFinished(bool cancelled, const TAVExifDataPtr& result)
{
    if (cancelled || !result) {
        clickCancelSavePresetName();
        return;
    }
    if (TAVPrestManager::sharedInstance()->addPreset(result)) {
        reloadPresets();
        refreshPreset();
    } else {
        if (UiServices* ui = UiServices::shared())
            ui->showTipsAlert(QStringLiteral("Error"), QStringLiteral("Sorry, save the preset faild, please try again"),
                QStringLiteral("OK"), QString(), mainWindow_);
        btnPresets_->setCurrentIndex(0);
    }
    if (newPresetWndCltr_ && newPresetWndCltr_->isWindowLoaded())
        endSheetWindow(newPresetWndCltr_->window());
    refreshPresetButtons();
}

void TAVMainWindowCtlr::managePresetsWindowCtlrDidFinishEdit(TAVManangePresetsWindowController*)
{
    reloadPresets();
    refreshPreset();
    refreshUI();
}

void TAVMainWindowCtlr::managePresetsWindowCtlrDidRenameOld(const QString& oldName, const QString& newName)
{
    if (curExifData_ && curExifData_->strName() == oldName)
        curExifData_->setStrName(newName);
    reloadPresets();
    refreshPreset();
    refreshUI();
}

void TAVMainWindowCtlr::managePresetsWindowCtlrDidDeletePreset(const TAVExifDataPtr& preset)
{
    if (!preset || !curExifData_ || curExifData_->strName() != preset->strName())
        return;
    reloadPresets();
    refreshPreset();
    updateSelectedImageToPreset(nullptr);
    refreshUI();
}
