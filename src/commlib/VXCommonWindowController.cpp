#include "commlib/VXCommonWindowController.h"

#include "commlib/VXCommonWindow.h"

#include <QDialog>
#include <QWidget>

VXCommonWindowController::VXCommonWindowController(QObject* parent)
    : QObject(parent)
{
}

VXCommonWindowController::~VXCommonWindowController()
{
    // Sheets belong to their own controllers: give them back before our
    // window (their parent) is deleted, or Qt would delete them along with it.
    for (const QPointer<QWidget>& sheet : sheets_) {
        if (sheet && sheet->parentWidget() == window_) {
            releaseSheet(sheet);
        }
    }
    delete window_.data();
}

QWidget* VXCommonWindowController::window()
{
    if (window_.isNull()) {
        window_ = makeWindow();
        windowDidLoad();
    }
    return window_;
}

QWidget* VXCommonWindowController::makeWindow()
{
    return new VXCommonWindow();
}

void VXCommonWindowController::beginSheetWindow(QWidget* sheet)
{
    if (sheet == nullptr || sheet == window()) {
        return;
    }
    Qt::WindowFlags flags = sheet->windowFlags();
    if (!(flags & Qt::Window)) {
        flags |= Qt::Dialog;
    }
    sheet->setParent(window_, flags);
    sheet->setWindowModality(Qt::WindowModal);
    sheets_.removeAll(nullptr);
    if (!sheets_.contains(sheet)) {
        sheets_.append(sheet);
    }
    // open(), never exec(): the caller goes on and the result comes back
    // through the sheet's own signals and delegates.
    if (auto* dialog = qobject_cast<QDialog*>(sheet)) {
        dialog->open();
    } else {
        sheet->show();
    }
}

void VXCommonWindowController::endSheetWindow(QWidget* sheet)
{
    if (sheet == nullptr || !sheets_.contains(sheet) || sheet->parentWidget() != window_) {
        return;
    }
    sheets_.removeAll(sheet);
    releaseSheet(sheet);
}

void VXCommonWindowController::endSheetOfSelfWindow()
{
    if (isSheetUp()) {
        releaseSheet(window_);
    }
}

void VXCommonWindowController::showModeWindow(QWidget* window)
{
    beginSheetWindow(window);
}

void VXCommonWindowController::showNormalWindow()
{
    QWidget* shown = window();
    shown->show();
    shown->raise();
    shown->activateWindow();
}

void VXCommonWindowController::dismissNormalWindow()
{
    if (window_) {
        window_->hide();
    }
}

bool VXCommonWindowController::isSheetUp() const
{
    return window_ && window_->parentWidget() != nullptr && window_->isVisible();
}

void VXCommonWindowController::releaseSheet(QWidget* sheet)
{
    // hide() rather than done(): ending a sheet is not the user's answer.
    sheet->hide();
    sheet->setParent(nullptr, sheet->windowFlags());
}
