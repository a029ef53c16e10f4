#include "gps/TAVGPSViewController.h"

#include "commlib/TAVCustomBgColorView.h"
#include "commlib/VXTipsView.h"
#include "gps/LocalSearchService.h"
#include "gps/TAVGPSFormatter.h"
#include "gps/VXMapView.h"
#include "webmapkit/GMKMapView.h"
#include "webmapkit/HttpTileSource.h"

#include <QButtonGroup>
#include <QComboBox>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPalette>
#include <QPushButton>
#include <QStandardItemModel>
#include <QStyle>
#include <QVBoxLayout>

#include <algorithm>

namespace {

// A part is wide enough for the longest text it usually holds: cut on the
// left, a file's decimal minutes "35.8465" would read as "5.8465", another
// place.
QLineEdit* partField(QWidget* parent, int width, const QString& longest)
{
    auto* field = new QLineEdit(parent);
    const int frame = field->style()->pixelMetric(QStyle::PM_DefaultFrameWidth, nullptr, field);
    // The line edit keeps two pixels of its own on each side of the text.
    const int chrome = 2 * frame + 4 + 2;
    field->setFixedWidth(std::max(width, field->fontMetrics().horizontalAdvance(longest) + chrome));
    field->setAlignment(Qt::AlignRight);
    return field;
}

// A value the tab shows and the save never writes (the version, the
// altitude and its reference): it can be selected and copied, not typed
// into, and lies on the form's own colour rather than an input's.
QLineEdit* shownField(QWidget* parent)
{
    auto* field = new QLineEdit(parent);
    field->setReadOnly(true);
    QPalette palette = field->palette();
    for (const QPalette::ColorGroup group : {QPalette::Active, QPalette::Inactive}) {
        palette.setColor(group, QPalette::Base, palette.color(group, QPalette::Window));
    }
    field->setPalette(palette);
    return field;
}

QLabel* unitLabel(QWidget* parent, const QString& text)
{
    auto* label = new QLabel(text, parent);
    label->setFixedWidth(10);
    return label;
}

} // namespace

void TAVGPSViewController::buildAxis(Axis& a, bool latitude)
{
    a.latitude = latitude;
    a.valueLabel = new QLabel(latitude ? QStringLiteral("Latitude:") : QStringLiteral("Longitude:"), this);
    a.refLabel = new QLabel(QStringLiteral("Ref:"), this);
    // Files store minutes with decimals too (36 35.8465 0), and seconds
    // show to a ten-thousandth.
    a.degree = partField(this, 44, QStringLiteral("000"));
    a.minute = partField(this, 64, QStringLiteral("59.99999"));
    a.second = partField(this, 64, QStringLiteral("59.9999"));
    a.decimal = partField(this, 96, QStringLiteral("-000.000000"));
    a.popup = new QComboBox(this);
    a.popup->addItems({QString(), latitude ? QStringLiteral("North") : QStringLiteral("East"),
        latitude ? QStringLiteral("South") : QStringLiteral("West")});
    a.popup->setMinimumWidth(80);
    a.formatter = new TAVGPSFormatter(a.decimal);
    a.formatter->setDelegate(this);
    a.decimal->setValidator(a.formatter);
}

void TAVGPSViewController::connectAxis(Axis& a)
{
    for (QLineEdit* field : {a.degree, a.minute, a.second, a.decimal}) {
        connect(field, &QLineEdit::textEdited, this, [this, field] { controlTextDidChange(field); });
    }
    for (QLineEdit* field : {a.degree, a.minute, a.second}) {
        connect(field, &QLineEdit::editingFinished, this, [this, &a, field] { dmsFieldEditingFinished(a, field); });
    }
    connect(a.decimal, &QLineEdit::editingFinished, this, [this, &a] { decimalFieldEditingFinished(a); });
    connect(a.popup, &QComboBox::activated, this, [this, &a] { directionChosen(a); });
}

void TAVGPSViewController::buildForm()
{
    buildAxis(lat_, true);
    buildAxis(lon_, false);

    fldGpsVersion_ = shownField(this);
    fldGpsAltitudeRef_ = shownField(this);
    fldGpsAltitude_ = shownField(this);
    auto* grid = new QGridLayout;
    grid->setHorizontalSpacing(6);
    grid->addWidget(new QLabel(QStringLiteral("Version:"), this), 0, 0, Qt::AlignRight);
    grid->addWidget(fldGpsVersion_, 0, 1, 1, 6);
    grid->addWidget(new QLabel(QStringLiteral("Altitude Ref:"), this), 0, 7, Qt::AlignRight);
    grid->addWidget(fldGpsAltitudeRef_, 0, 8);
    grid->addWidget(new QLabel(QStringLiteral("Altitude:"), this), 0, 9, Qt::AlignRight);
    grid->addWidget(fldGpsAltitude_, 0, 10);
    grid->addWidget(new QLabel(QStringLiteral("m"), this), 0, 11);
    for (Axis* a : {&lat_, &lon_}) {
        const int row = a->latitude ? 1 : 2;
        grid->addWidget(a->valueLabel, row, 0, Qt::AlignRight);
        grid->addWidget(a->degree, row, 1);
        grid->addWidget(unitLabel(this, QStringLiteral("°")), row, 2);
        grid->addWidget(a->minute, row, 3);
        grid->addWidget(unitLabel(this, QStringLiteral("'")), row, 4);
        grid->addWidget(a->second, row, 5);
        grid->addWidget(unitLabel(this, QStringLiteral("\"")), row, 6);
        grid->addWidget(a->refLabel, row, 7, Qt::AlignRight);
        grid->addWidget(a->popup, row, 8);
        grid->addWidget(new QLabel(QStringLiteral("Decimal:"), this), row, 9, Qt::AlignRight);
        grid->addWidget(a->decimal, row, 10);
    }
    grid->setColumnStretch(12, 1);

    fldSearch_ = new QLineEdit(this);
    fldSearch_->setPlaceholderText(QStringLiteral("Search a place or an address"));
    fldSearch_->setClearButtonEnabled(true);
    btnNewLocate_ = new QPushButton(QStringLiteral("Add Pin"), this);
    btnClearGPS_ = new QPushButton(QStringLiteral("Clear"), this);
    staitcLocateModel_ = new QStandardItemModel(this);
    for (const QString& title :
        {QStringLiteral("My Location"), QStringLiteral("Photo Location"), QStringLiteral("New Location")}) {
        staitcLocateModel_->appendRow(new QStandardItem(title));
    }
    staitcLocate_ = new QComboBox(this);
    staitcLocate_->setModel(staitcLocateModel_);
    mapTypes_ = new QButtonGroup(this);
    auto* bar = new QHBoxLayout;
    bar->addWidget(fldSearch_, 1);
    bar->addWidget(btnNewLocate_);
    bar->addWidget(btnClearGPS_);
    bar->addWidget(staitcLocate_);
    int type = 0;
    for (const QString& title : {QStringLiteral("Standard"), QStringLiteral("Satellite"), QStringLiteral("Hybrid")}) {
        auto* button = new QPushButton(title, this);
        button->setCheckable(true);
        button->setChecked(type == 0);
        mapTypes_->addButton(button, type++);
        bar->addWidget(button);
    }

    // The fields and the search bar lie on the mask view, the map below it.
    maskView_ = new TAVCustomBgColorView(this);
    maskView_->setObjectName(QStringLiteral("maskView"));
    auto* form = new QVBoxLayout(maskView_);
    form->addLayout(grid);
    form->addLayout(bar);
    auto* layout = new QVBoxLayout(this);
    layout->setSpacing(0);
    layout->addWidget(maskView_);
    layout->addWidget(appleMapView_, 1);

    // The web map only answers address searches; it is never shown.
    webMapView_->hide();

    connect(fldSearch_, &QLineEdit::returnPressed, this, &TAVGPSViewController::clickSearch);
    connect(btnNewLocate_, &QPushButton::clicked, this, &TAVGPSViewController::clickAddPin);
    connect(btnClearGPS_, &QPushButton::clicked, this, &TAVGPSViewController::clickClearGPS);
    connect(staitcLocate_, &QComboBox::activated, this, &TAVGPSViewController::clickPopBtnStaticLocate);
    connect(mapTypes_, &QButtonGroup::idClicked, this, &TAVGPSViewController::setMapType);
    connectAxis(lat_);
    connectAxis(lon_);
}
