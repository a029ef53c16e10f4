#pragma once

#include "commlib/TAVBaseTabViewCltr.h"

#include <QHash>
#include <QList>
#include <QPixmap>
#include <QString>
#include <QStringList>

#include <utility>

class QLabel;
class TAVCustomBgColorView;
class TAVImageView;
class QLineEdit;
class VXPopUpButton;

// The exposure tab: the sixteen keys of category 1. Shutter speed (numerator
// and denominator), aperture, sensitivity, focal lengths, subject distance and
// digital zoom are number fields that refuse what is not a number; nine
// enumerated settings are pop-ups of their label tables. Icons beside most
// values show them at a glance. The focus and exposure-program pop-ups offer,
// while open, only what the image's camera supports.
class TAVExposureViewCtlr : public TAVBaseTabViewCltr {
    Q_OBJECT
public:
    explicit TAVExposureViewCtlr(QWidget* parent = nullptr);
    ~TAVExposureViewCtlr() override;

    void setImgExifData(const TAVExifDataPtr& record) override;
    void setEditEnable(bool enable) override;
    std::optional<TAVEntityMap> genDictionayFromSetting() override;
    void refreshModifiedFields() override;
    // A keystroke: a number field refuses what is no number and redraws its
    // icon; the record takes the text when the field's editing ends.
    void controlTextDidChange(QObject* sender) override;
    void commitTypedText() override;
    void clickPopupButton(QComboBox* sender) override;

    void refreshExposureUI();
    // Narrows the focus / exposure-program pop-up about to open.
    void popUpButtonWillDisp(VXPopUpButton* popUp);

    // The rules behind the fields and icons.
    // "1/250" gives ("1", "250"); a side "0" shows as "1"; no "/" gives two empty texts.
    static std::pair<QString, QString> splitExposureTime(const QString& value);
    // The collected value: an empty side is "1" unless both are empty ("/").
    static QString joinExposureTime(const QString& numerator, const QString& denominator);
    // 1..8 by the exposure time in seconds, against inclusive thresholds.
    static int shutterSpeedIconIndex(const QString& numerator, const QString& denominator);
    // 1..5 by the f-number rounded to a whole number.
    static int apertureIconIndex(const QString& text);
    // 1..6 by the ISO rounded to a whole number; an empty text gives 1.
    static int sensitivityIconIndex(const QString& text);

private:
    struct NumberField {
        QLineEdit* field;
        QString key;
        QLabel* label;
        QString remembered; // the last text shown or accepted
    };
    struct PopUp {
        VXPopUpButton* button;
        QString key;
        const QStringList* labels;
        const QStringList* icons;
        QLabel* label;
        QLabel* iconView;
    };

    void buildForm();
    NumberField& addNumberField(const char* name, const QString& key, QLabel* label);
    void addPopUp(const char* name, const QString& key, const QStringList& labels, const QStringList& icons,
        const QString& title);
    void connectUserSignals();
    QList<QWidget*> userControls() const;

    NumberField* numberFieldOf(const QObject* control);
    PopUp* popUpOf(const QObject* control);
    bool isNarrowable(const PopUp& popUp) const;
    void fillPopUp(PopUp& popUp, const QStringList& titles);
    void selectTitle(PopUp& popUp, const QString& title);
    void showField(NumberField& field, const QString& text);
    void takeField(const NumberField& field);
    bool isFieldEdited(const NumberField& field) const;
    QString valueOf(const QString& key) const;
    void writeValue(const QString& value, const QString& key);

    void updateShutterSpeedIcon();
    void updateApertureIcon();
    void updateSensitivityIcon();
    void updatePopUpIcon(const PopUp& popUp);
    void showIcon(QLabel* view, const QString& name);

    QList<NumberField> numberFields_; // numerator, denominator, aperture, sensitivity, then the rest
    QList<PopUp> popUps_;
    QLabel* imgViewShutterSpeed_ = nullptr;
    QLabel* imgViewAperture_ = nullptr;
    QLabel* imgViewSensitity_ = nullptr;
    // The area that holds the form, painted in the clear colour.
    TAVCustomBgColorView* bgView_ = nullptr;
    // Wells beside the three lengths that the tab never changes.
    TAVImageView* imgViewFocalLength_ = nullptr;
    TAVImageView* imgView35mmEquiv_ = nullptr;
    TAVImageView* imgViewDigitalZoom_ = nullptr;
    QHash<QString, QPixmap> iconPixmaps_; // by icon name, at the icon views' size
    QHash<const QLabel*, QString> shownIcons_;
};
