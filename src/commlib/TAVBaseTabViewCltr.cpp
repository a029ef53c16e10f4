#include "commlib/TAVBaseTabViewCltr.h"

#include "commlib/VXButtonStyle.h"

#include "foundation/NotificationHub.h"

#include <QAbstractButton>
#include <QApplication>
#include <QComboBox>
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
