#include "foundation/UiServices.h"

#include <atomic>

namespace {

std::atomic<UiServices*> sharedServices{nullptr};

UiServices::AlertRequest tipsAlert(const QString& title, const QString& message, const QString& firstButton,
    const QString& secondButton, QObject* parent)
{
    UiServices::AlertRequest request;
    request.title = title;
    request.message = message;
    request.buttons << firstButton;
    if (!secondButton.isNull()) {
        request.buttons << secondButton;
    }
    request.parent = parent;
    return request;
}

} // namespace

int UiServices::showTipsAlert(const QString& title, const QString& message, const QString& firstButton,
    const QString& secondButton, QObject* parent)
{
    return runAlert(tipsAlert(title, message, firstButton, secondButton, parent)) == FirstButton ? 1 : 0;
}

void UiServices::showInformation(const QString& title, const QString& message, const QString& button, QObject* parent)
{
    AlertRequest request = tipsAlert(title, message, button, QString(), parent);
    request.style = AlertStyle::Informational;
    runAlert(request);
}

void UiServices::showTipsAlertWithCallback(const QString& title, const QString& message, const QString& firstButton,
    const QString& secondButton, const std::function<void(int)>& callback, QObject* parent)
{
    const int code = runAlert(tipsAlert(title, message, firstButton, secondButton, parent));
    if (callback) {
        callback(code);
    }
}

void UiServices::showSheetModalForWindow(QObject* window, const QString& message, const QString& informativeText,
    AlertStyle style, const QString& cancelButtonTitle, const QStringList& otherButtonTitles,
    const std::function<void(int)>& onDismiss, const std::function<void()>& onCancel)
{
    AlertRequest request;
    request.title = message;
    request.message = informativeText;
    request.buttons << cancelButtonTitle << otherButtonTitles;
    request.style = style;
    request.parent = window;
    runAlertSheet(request, onDismiss, onCancel);
}

QStringList UiServices::chooseFolder(const QString& title, QObject* parent)
{
    OpenPanelRequest request;
    request.chooseFiles = false;
    request.chooseFolders = true;
    request.title = title;
    request.parent = parent;
    return runOpenPanel(request);
}

QStringList UiServices::chooseFiles(const QStringList& fileTypes, bool multiple, const QString& title, QObject* parent)
{
    OpenPanelRequest request;
    request.chooseFiles = true;
    request.allowsMultipleSelection = multiple;
    request.fileTypes = fileTypes;
    request.title = title;
    request.parent = parent;
    return runOpenPanel(request);
}

UiServices* UiServices::shared()
{
    return sharedServices.load();
}

void UiServices::setShared(UiServices* services)
{
    sharedServices.store(services);
}
