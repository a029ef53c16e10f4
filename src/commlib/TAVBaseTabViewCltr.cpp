#include "commlib/TAVBaseTabViewCltr.h"

#include "commlib/VXButtonStyle.h"

#include "foundation/NotificationHub.h"

#include <QAbstractButton>
#include <QAbstractSpinBox>
#include <QApplication>
#include <QComboBox>
#include <QEvent>
#include <QLabel>
#include <QLineEdit>

namespace {

// Only the GUI thread reads or writes it, so it needs no lock.
bool gPendingEdits = false;

constexpr qreal kFieldPointSize = 11.0;

} // namespace

const QString TAVBaseTabViewCltr::kNotiFileMetadataHasChanged = QStringLiteral("notiFileMetadataHasChanged");

TAVBaseTabViewCltr::TAVBaseTabViewCltr(QWidget* parent)
    : QWidget(parent)
{
}

TAVBaseTabViewCltr::~TAVBaseTabViewCltr() = default;

bool TAVBaseTabViewCltr::isPendingEdits()
{
    return gPendingEdits;
}

void TAVBaseTabViewCltr::setPendingEdits(bool pending)
{
    gPendingEdits = pending;
}

void TAVBaseTabViewCltr::setImgExifData(const TAVExifDataPtr& record)
{
    imgExifData_ = record;
}

std::optional<TAVEntityMap> TAVBaseTabViewCltr::genDictionayFromSetting()
{
    return std::nullopt;
}

void TAVBaseTabViewCltr::setEditEnable(bool enable)
{
    (void)enable;
}

void TAVBaseTabViewCltr::refreshModifiedFields()
{
}

void TAVBaseTabViewCltr::commitTypedText()
{
}

void TAVBaseTabViewCltr::setTakenText(const QWidget* field, const QString& text)
{
    takenTexts_.insert(field, text);
}

bool TAVBaseTabViewCltr::isTextEdited(const QWidget* field, const QString& text) const
{
    return takenTexts_.value(field) != text;
}

void TAVBaseTabViewCltr::takeWhenEditingEnds(QWidget* field, const std::function<void()>& take)
{
    if (auto* edit = qobject_cast<QLineEdit*>(field)) {
        connect(edit, &QLineEdit::editingFinished, this, take);
    } else if (auto* box = qobject_cast<QAbstractSpinBox*>(field)) {
        connect(box, &QAbstractSpinBox::editingFinished, this, take);
    } else {
        // A text view has no end of editing of its own: Return is a line break.
        focusOutTakes_.insert(field, take);
        field->installEventFilter(this);
    }
}

bool TAVBaseTabViewCltr::eventFilter(QObject* watched, QEvent* event)
{
    if (event->type() == QEvent::FocusOut && !watched->signalsBlocked()) {
        const auto take = focusOutTakes_.constFind(watched);
        if (take != focusOutTakes_.constEnd()) {
            take.value()();
        }
    }
    return QWidget::eventFilter(watched, event);
}

bool TAVBaseTabViewCltr::isFieldModified(QWidget* control) const
{
    (void)control;
    return false;
}

void TAVBaseTabViewCltr::clickPopupButton(QComboBox* sender)
{
    (void)sender;
    setPendingEdits(true);
}

void TAVBaseTabViewCltr::controlTextDidChange(QObject* sender)
{
    (void)sender;
    setPendingEdits(true);
}

void TAVBaseTabViewCltr::notiFileMetadataChanged(bool needRefresh)
{
    const QVariantMap userInfo{
        {QStringLiteral("hasModify"), isPendingEdits()}, {QStringLiteral("needRefresh"), needRefresh}};
    NotificationHub::defaultHub().post(kNotiFileMetadataHasChanged, this, userInfo);
}

void TAVBaseTabViewCltr::refreshFieldShow(QWidget* control, bool modified)
{
    if (control == nullptr) {
        return;
    }
    QFont font = QApplication::font();
    font.setPointSizeF(kFieldPointSize);
    font.setBold(modified);
    font.setItalic(modified);
    const QColor colour = modified ? QColor(Qt::blue) : QColor(Qt::black);

    if (auto* button = qobject_cast<QAbstractButton*>(control)) {
        button->setFont(font);
        VXButtonStyle::setTitleColor(button, colour);
        return;
    }
    const bool isLabel = qobject_cast<QLabel*>(control) != nullptr;
    if (!isLabel && qobject_cast<QLineEdit*>(control) == nullptr) {
        return;
    }
    control->setFont(font);
    QPalette palette = control->palette();
    const QPalette::ColorRole role = isLabel ? QPalette::WindowText : QPalette::Text;
    for (const QPalette::ColorGroup group : {QPalette::Active, QPalette::Inactive}) {
        palette.setColor(group, role, colour);
    }
    control->setPalette(palette);
}
