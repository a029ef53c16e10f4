// The summary tab's controls, their layout and the user signals they send.
#include "app/TAVSummaryViewCtlr.h"

#include "commlib/TFDatePicker.h"
#include "models/write/TAVExifWriter.h"

#include <QCheckBox>
#include <QComboBox>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QVBoxLayout>

namespace {

QComboBox* unitPopup(const QStringList& units, const char* name, QWidget* parent)
{
    auto* popup = new QComboBox(parent);
    popup->setObjectName(QLatin1String(name));
    popup->addItems(units); // an item's index is its unit code
    return popup;
}

QLineEdit* countField(const char* name, QWidget* parent)
{
    auto* field = new QLineEdit(QStringLiteral("0"), parent);
    field->setObjectName(QLatin1String(name));
    field->setMaximumWidth(60);
    return field;
}

} // namespace

QLabel* TAVSummaryViewCtlr::addLabel(const QString& text)
{
    auto* label = new QLabel(text, this);
    label->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    refreshFieldShow(label, false);
    // An edited field's label turns bold and italic: it has that width from
    // the start, so the form never shifts and clips the fields beside it.
    QFont emphasised = label->font();
    emphasised.setBold(true);
    emphasised.setItalic(true);
    label->setMinimumWidth(QFontMetrics(emphasised).horizontalAdvance(text) + 2);
    return label;
}

QLineEdit* TAVSummaryViewCtlr::addLineEdit(const char* name)
{
    auto* edit = new QLineEdit(this);
    edit->setObjectName(QLatin1String(name));
    return edit;
}

QPlainTextEdit* TAVSummaryViewCtlr::addTextView(const char* name)
{
    auto* view = new QPlainTextEdit(this);
    view->setObjectName(QLatin1String(name));
    view->setTabChangesFocus(true);
    view->setFixedHeight(54);
    return view;
}

TFDatePicker* TAVSummaryViewCtlr::addDatePicker(bool date)
{
    auto* picker = new TFDatePicker(date ? TFDatePicker::Elements::Date : TFDatePicker::Elements::Time, this);
    picker->setObjectName(date ? QStringLiteral("fldCreateDate") : QStringLiteral("fldCreateTime"));
    picker->setCalendarPopover(date);
    picker->setTextColorWhenNil(QColor(150, 150, 150));
    return picker;
}

void TAVSummaryViewCtlr::buildForm()
{
    imageView_ = new QLabel(this);
    imageView_->setObjectName(QStringLiteral("imageView"));
    imageView_->setFixedSize(kPreviewWidth, kPreviewHeight);
    imageView_->setAlignment(Qt::AlignCenter);
    fldImageSize_ = addLineEdit("fldImageSize");
    fldImageSize_->setReadOnly(true);

    auto* grid = new QGridLayout();
    grid->setHorizontalSpacing(8);
    grid->setVerticalSpacing(6);
    int row = 0;
    auto addRow = [&](QLabel* label, QWidget* control) {
        grid->addWidget(label, row, 0, control->inherits("QPlainTextEdit") ? Qt::AlignTop : Qt::Alignment());
        grid->addWidget(control, row++, 1);
    };

    fldCreateDate_ = addDatePicker(true);
    fldCreateTime_ = addDatePicker(false);
    lblCreateDate_ = addLabel(QStringLiteral("Date:"));
    lblCreateTime_ = addLabel(QStringLiteral("Time:"));
    auto* when = new QHBoxLayout();
    lblCreateDate_->setBuddy(fldCreateDate_);
    lblCreateTime_->setBuddy(fldCreateTime_);
    when->addWidget(fldCreateDate_);
    when->addSpacing(12);
    when->addWidget(lblCreateTime_);
    when->addWidget(fldCreateTime_);
    when->addStretch();
    grid->addWidget(lblCreateDate_, row, 0);
    grid->addLayout(when, row++, 1);

    btnTimeOffset_ = new QCheckBox(QStringLiteral("Shift by"), this);
    btnTimeOffset_->setObjectName(QStringLiteral("btnTimeOffset"));
    fldOffsetDateValue_ = countField("fldOffsetDateValue", this);
    popupDayUnit_
        = unitPopup({QStringLiteral("Days"), QStringLiteral("Months"), QStringLiteral("Years")}, "popupDayUnit", this);
    fldOffsetTimeValue_ = countField("fldOffsetTimeValue", this);
    popupTimeUnit_ = unitPopup(
        {QStringLiteral("Hours"), QStringLiteral("Minutes"), QStringLiteral("Seconds")}, "popupTimeUnit", this);
    auto* shift = new QHBoxLayout();
    for (QWidget* control : {static_cast<QWidget*>(fldOffsetDateValue_), static_cast<QWidget*>(popupDayUnit_),
             static_cast<QWidget*>(fldOffsetTimeValue_), static_cast<QWidget*>(popupTimeUnit_)})
        shift->addWidget(control);
    shift->addStretch();
    grid->addWidget(btnTimeOffset_, row, 0, Qt::AlignRight);
    grid->addLayout(shift, row++, 1);
    applyToFileCreate_ = new QCheckBox(QStringLiteral("Also set the file's creation date"), this);
    applyToFileCreate_->setObjectName(QStringLiteral("applyToFileCreate"));
    grid->addWidget(applyToFileCreate_, row++, 1);

    auto field = [&](const char* label, QWidget* control, const char* key) {
        Field entry{control, QLatin1String(key), addLabel(QLatin1String(label))};
        entry.label->setBuddy(control);
        fields_.append(entry);
        addRow(entry.label, control);
    };
    field("Camera:", addLineEdit("fldCamera"), "Exif.Image.Make");
    field("Model:", addLineEdit("fldCameraModel"), "Exif.Image.Model");
    field("Software:", addLineEdit("fldCameraSoftware"), "Exif.Image.Software");
    field("Lens Make:", addLineEdit("fldLensMake"), "Exif.Photo.LensMake");
    field("Lens Model:", addLineEdit("fldLensModel"), "Exif.Photo.LensModel");
    field("Photographer:", addLineEdit("fldPhotographer"), "Exif.Image.Artist");
    field("Title:", addLineEdit("fldTitle"), "Iptc.Application2.ObjectName");
    field("Caption:", addLineEdit("fldCaption"), "Iptc.Application2.Caption");
    field("Description:", addTextView("tvDescription"), "Exif.Image.ImageDescription");
    field("Copyright:", addTextView("tvCopyright"), "Exif.Image.Copyright");
    tvKeywords_ = addTextView("tvKeywords");
    field("Keywords:", tvKeywords_, "Iptc.Application2.Keywords");
    // IPTC cuts long texts; the user learns where the whole text is kept.
    const auto cutNote = [](const char* key, const char* what) {
        return QStringLiteral("IPTC keeps the first %1 bytes of %2; the whole text is kept in XMP.")
            .arg(TAVExifWriter::iptcMaxBytes(QLatin1String(key)))
            .arg(QLatin1String(what));
    };
    for (const Field& entry : fields_) {
        if (entry.key == QLatin1String("Iptc.Application2.ObjectName"))
            entry.control->setToolTip(cutNote("Iptc.Application2.ObjectName", "a title"));
        else if (entry.key == QLatin1String("Iptc.Application2.Caption"))
            entry.control->setToolTip(cutNote("Iptc.Application2.Caption", "a caption"));
        else if (entry.key == QLatin1String("Iptc.Application2.Keywords"))
            entry.control->setToolTip(cutNote("Iptc.Application2.Keywords", "each keyword"));
    }
    chkOverwrite_ = new QCheckBox(QStringLiteral("Replace the file's keywords"), this);
    chkOverwrite_->setObjectName(QStringLiteral("chkOverwrite"));
    chkOverwrite_->setChecked(true);
    grid->addWidget(chkOverwrite_, row++, 1);
    grid->setRowStretch(row, 1);

    auto* side = new QVBoxLayout();
    side->addWidget(imageView_);
    auto* size = new QHBoxLayout();
    size->addWidget(new QLabel(QStringLiteral("Image Size:"), this));
    size->addWidget(fldImageSize_);
    side->addLayout(size);
    side->addStretch();

    auto* layout = new QHBoxLayout(this);
    layout->setContentsMargins(12, 12, 12, 12);
    layout->setSpacing(16);
    layout->addLayout(side);
    layout->addLayout(grid, 1);
}

void TAVSummaryViewCtlr::connectUserSignals()
{
    for (const Field& field : std::as_const(fields_)) {
        if (auto* edit = qobject_cast<QLineEdit*>(field.control)) {
            connect(edit, &QLineEdit::textEdited, this, [this, edit] { controlTextDidChange(edit); });
        } else if (auto* view = qobject_cast<QPlainTextEdit*>(field.control)) {
            connect(view, &QPlainTextEdit::textChanged, this, [this, view] { textDidChange(view); });
        }
        QWidget* control = field.control;
        takeWhenEditingEnds(control, [this, control] {
            for (const Field& entry : std::as_const(fields_)) {
                if (entry.control == control)
                    takeField(entry);
            }
        });
    }
    for (QLineEdit* count : {fldOffsetDateValue_, fldOffsetTimeValue_}) {
        connect(count, &QLineEdit::textEdited, this, [this, count] { controlTextDidChange(count); });
        takeWhenEditingEnds(count, [this, count] { takeCount(count); });
    }
    for (TFDatePicker* picker : {fldCreateDate_, fldCreateTime_}) {
        connect(picker, &TFDatePicker::userDateChanged, this, [this, picker] { controlTextDidChange(picker); });
        takeWhenEditingEnds(picker, [this, picker] { takeDatePicker(picker); });
    }
    connect(btnTimeOffset_, &QCheckBox::clicked, this, [this] { clickTimeOffset(); });
    for (QComboBox* popup : {popupDayUnit_, popupTimeUnit_})
        connect(popup, &QComboBox::activated, this, [this] { clickTimeOffsetUnitPopup(); });
    connect(applyToFileCreate_, &QCheckBox::clicked, this, [this] { clickApplyToFileCreate(); });
    connect(chkOverwrite_, &QCheckBox::clicked, this, [this] { clickOverwrite(); });
}
