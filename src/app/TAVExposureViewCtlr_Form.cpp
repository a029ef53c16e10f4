// The exposure tab's controls, their layout and the user signals they send.
#include "app/TAVExposureViewCtlr.h"

#include "app/TAVImageView.h"
#include "commlib/TAVCustomBgColorView.h"
#include "commlib/VXPopUpButton.h"

#include "models/tables/TAVKeyLists.h"

#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>

// The icons live in the shared library's resources; a static library's
// resources are registered only when someone asks for them by name.
static void registerExposureIcons()
{
    Q_INIT_RESOURCE(ExposureIcons);
}

namespace {

constexpr int kIconSide = 32;

QLabel* iconView(const char* name, QWidget* parent)
{
    auto* view = new QLabel(parent);
    view->setObjectName(QLatin1String(name));
    view->setFixedSize(kIconSide, kIconSide);
    return view;
}

TAVImageView* imageWell(const char* name, QWidget* parent)
{
    auto* well = new TAVImageView(parent);
    well->setObjectName(QLatin1String(name));
    well->setFixedSize(kIconSide, kIconSide);
    return well;
}

QLabel* unitLabel(const QString& unit, QWidget* parent)
{
    auto* label = new QLabel(unit, parent);
    label->setMinimumWidth(24);
    return label;
}

} // namespace

TAVExposureViewCtlr::TAVExposureViewCtlr(QWidget* parent)
    : TAVBaseTabViewCltr(parent)
{
    registerExposureIcons();
    buildForm();
    connectUserSignals();
    refreshExposureUI();
}

TAVExposureViewCtlr::NumberField& TAVExposureViewCtlr::addNumberField(
    const char* name, const QString& key, QLabel* label)
{
    auto* field = new QLineEdit(this);
    field->setObjectName(QLatin1String(name));
    field->setMaximumWidth(90);
    if (label)
        label->setBuddy(field);
    numberFields_.append(NumberField{field, key, label, QStringLiteral("")});
    return numberFields_.last();
}

void TAVExposureViewCtlr::addPopUp(
    const char* name, const QString& key, const QStringList& labels, const QStringList& icons, const QString& title)
{
    auto* button = new VXPopUpButton(this);
    button->setObjectName(QLatin1String(name));
    button->addItems(labels);
    button->setCurrentIndex(0);
    button->setMinimumWidth(170);
    auto* label = new QLabel(title, this);
    label->setBuddy(button);
    label->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    refreshFieldShow(label, false);
    popUps_.append(PopUp{button, key, &labels, &icons, label, iconView(name, this)});
}

void TAVExposureViewCtlr::buildForm()
{
    auto label = [this](const QString& text) {
        auto* made = new QLabel(text, this);
        made->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
        refreshFieldShow(made, false);
        return made;
    };
    QLabel* shutterLabel = label(QStringLiteral("Shutter Speed:"));
    addNumberField("fldShutterSpeed", QStringLiteral("Exif.Photo.ExposureTime"), shutterLabel);
    addNumberField("fldShutterSpeed2", QStringLiteral("Exif.Photo.ExposureTime"), nullptr);
    addNumberField("fldAperture", QStringLiteral("Exif.Photo.FNumber"), label(QStringLiteral("Aperture:")));
    addNumberField("fldSensitity", QStringLiteral("Exif.Photo.ISOSpeedRatings"), label(QStringLiteral("ISO:")));
    addNumberField(
        "fldSubDis", QStringLiteral("Exif.Photo.SubjectDistance"), label(QStringLiteral("Subject Distance:")));
    addNumberField("fldFocalLength", QStringLiteral("Exif.Photo.FocalLength"), label(QStringLiteral("Focal Length:")));
    addNumberField(
        "fld35mmEquiv", QStringLiteral("Exif.Photo.FocalLengthIn35mmFilm"), label(QStringLiteral("35mm Equivalent:")));
    addNumberField(
        "fldDigitalZoom", QStringLiteral("Exif.Photo.DigitalZoomRatio"), label(QStringLiteral("Digital Zoom:")));
    numberFields_[2].field->setPlaceholderText(QStringLiteral("f-number"));
    imgViewShutterSpeed_ = iconView("imgViewShutterSpeed", this);
    imgViewAperture_ = iconView("imgViewAperture", this);
    imgViewSensitity_ = iconView("imgViewSensitity", this);
    imgViewFocalLength_ = imageWell("imgViewFocalLength", this);
    imgView35mmEquiv_ = imageWell("imgView35mmEquiv", this);
    imgViewDigitalZoom_ = imageWell("imgViewDigitalZoom", this);
    TAVImageView* wells[] = {imgViewFocalLength_, imgView35mmEquiv_, imgViewDigitalZoom_};

    auto* numbers = new QGridLayout();
    numbers->setHorizontalSpacing(8);
    numbers->setVerticalSpacing(8);
    auto* shutter = new QHBoxLayout();
    shutter->addWidget(numberFields_[0].field);
    shutter->addWidget(new QLabel(QStringLiteral("/"), this));
    shutter->addWidget(numberFields_[1].field);
    shutter->addWidget(unitLabel(QStringLiteral("s"), this));
    numbers->addWidget(imgViewShutterSpeed_, 0, 0);
    numbers->addWidget(shutterLabel, 0, 1);
    numbers->addLayout(shutter, 0, 2);
    QLabel* icons[] = {imgViewAperture_, imgViewSensitity_};
    const QString units[] = {QString(), QString(), QString(), QString(), QStringLiteral("m"), QStringLiteral("mm"),
        QStringLiteral("mm"), QStringLiteral("x")};
    for (qsizetype i = 2; i < numberFields_.size(); ++i) {
        const int row = int(i) - 1;
        if (i < 4)
            numbers->addWidget(icons[i - 2], row, 0);
        else if (i >= 5)
            numbers->addWidget(wells[i - 5], row, 0);
        numbers->addWidget(numberFields_[i].label, row, 1);
        auto* line = new QHBoxLayout();
        line->addWidget(numberFields_[i].field);
        line->addWidget(unitLabel(units[i], this));
        line->addStretch();
        numbers->addLayout(line, row, 2);
    }
    numbers->setRowStretch(int(numberFields_.size()), 1);

    addPopUp("popBtnFlash", QStringLiteral("Exif.Photo.Flash"), TAVKeyLists::flashLabels(), TAVKeyLists::flashIcons(),
        QStringLiteral("Flash:"));
    addPopUp("popBtnShootingMode", QStringLiteral("Exif.Photo.ExposureProgram"), TAVKeyLists::exposureProgramLabels(),
        TAVKeyLists::exposureProgramIcons(), QStringLiteral("Shooting Mode:"));
    addPopUp("popBtnMetering", QStringLiteral("Exif.Photo.MeteringMode"), TAVKeyLists::meteringModeLabels(),
        TAVKeyLists::meteringModeIcons(), QStringLiteral("Metering:"));
    addPopUp("popBtnFocus", QStringLiteral("Exif.Photo.SubjectDistanceRange"), TAVKeyLists::focusModeLabels(),
        TAVKeyLists::focusModeIcons(), QStringLiteral("Focus:"));
    addPopUp("popBtnSensor", QStringLiteral("Exif.Photo.SensingMethod"), TAVKeyLists::sensingMethodLabels(),
        TAVKeyLists::sensingMethodIcons(), QStringLiteral("Sensor:"));
    addPopUp("popBtnWhiteBalance", QStringLiteral("Exif.Photo.WhiteBalance"), TAVKeyLists::whiteBalanceLabels(),
        TAVKeyLists::whiteBalanceIcons(), QStringLiteral("White Balance:"));
    addPopUp("popBtnContrast", QStringLiteral("Exif.Photo.Contrast"), TAVKeyLists::contrastLabels(),
        TAVKeyLists::contrastIcons(), QStringLiteral("Contrast:"));
    addPopUp("popBtnSaturation", QStringLiteral("Exif.Photo.Saturation"), TAVKeyLists::saturationLabels(),
        TAVKeyLists::saturationIcons(), QStringLiteral("Saturation:"));
    addPopUp("popBtnSharpness", QStringLiteral("Exif.Photo.Sharpness"), TAVKeyLists::sharpnessLabels(),
        TAVKeyLists::sharpnessIcons(), QStringLiteral("Sharpness:"));
    auto* choices = new QGridLayout();
    choices->setHorizontalSpacing(8);
    choices->setVerticalSpacing(6);
    for (qsizetype i = 0; i < popUps_.size(); ++i) {
        choices->addWidget(popUps_[i].iconView, int(i), 0);
        choices->addWidget(popUps_[i].label, int(i), 1);
        choices->addWidget(popUps_[i].button, int(i), 2);
    }
    choices->setRowStretch(int(popUps_.size()), 1);

    // The form lies on the tab's coloured view, which lets the tab's own
    // background show through.
    bgView_ = new TAVCustomBgColorView(this);
    bgView_->setObjectName(QStringLiteral("bgView"));
    bgView_->setBgColor(Qt::transparent);
    auto* layout = new QHBoxLayout(bgView_);
    layout->setContentsMargins(12, 12, 12, 12);
    layout->setSpacing(28);
    layout->addLayout(numbers);
    layout->addLayout(choices);
    layout->addStretch();
    auto* whole = new QHBoxLayout(this);
    whole->setContentsMargins(0, 0, 0, 0);
    whole->addWidget(bgView_);
}

void TAVExposureViewCtlr::connectUserSignals()
{
    for (const NumberField& field : std::as_const(numberFields_)) {
        QLineEdit* edit = field.field;
        connect(edit, &QLineEdit::textEdited, this, [this, edit] { controlTextDidChange(edit); });
        takeWhenEditingEnds(edit, [this, edit] {
            if (const NumberField* typed = numberFieldOf(edit))
                takeField(*typed);
        });
    }
    for (const PopUp& popUp : std::as_const(popUps_)) {
        VXPopUpButton* button = popUp.button;
        connect(button, &QComboBox::activated, this, [this, button] { clickPopupButton(button); });
        connect(button, &VXPopUpButton::willPopUp, this, [this, button] { popUpButtonWillDisp(button); });
    }
}
