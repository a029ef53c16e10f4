#include "app/TAVPreferenceWindowController.h"

#include "app/TAVAppDelegate.h"
#include "commlib/VXCommonWindow.h"
#include "foundation/AppInfo.h"
#include "foundation/UserDefaults.h"

#include <QCheckBox>
#include <QHBoxLayout>
#include <QPushButton>
#include <QVBoxLayout>

namespace {

const char* const kKeyProperty = "defaultsKey";

QString labelOf(const QString& outlet)
{
    static const QMap<QString, QString> labels = {
        {QStringLiteral("notMdfDateChk"), QStringLiteral("Keep each file's original dates when saving")},
        {QStringLiteral("rememberPhotolistSize"), QStringLiteral("Remember the size of the photo list's thumbnails")},
        {QStringLiteral("continuSaveChk"), QStringLiteral("Go on saving the other images after an error")},
        {QStringLiteral("alwaysShowIntro"), QStringLiteral("Don't show the introduction at start-up")},
        {QStringLiteral("replayIntro"), QStringLiteral("Turn the introduction's pages automatically")},
    };
    return labels.value(outlet);
}

} // namespace

TAVPreferenceWindowController::TAVPreferenceWindowController(QObject* parent)
    : VXCommonWindowController(parent)
{
}

const QList<QPair<QString, QString>>& TAVPreferenceWindowController::outletKeys()
{
    static const QList<QPair<QString, QString>> outlets = {
        {QStringLiteral("notMdfDateChk"), QStringLiteral("update_file_origine_open_create_modify_date")},
        {QStringLiteral("rememberPhotolistSize"), QStringLiteral("remember_photo_list_size")},
        {QStringLiteral("continuSaveChk"), QStringLiteral("save_continue_after_error")},
        {QStringLiteral("alwaysShowIntro"), QStringLiteral("next_not_show_tips_again")},
        {QStringLiteral("replayIntro"), QStringLiteral("auto_slider_show_tips_again")},
    };
    return outlets;
}

QCheckBox* TAVPreferenceWindowController::checkBox(const QString& outlet)
{
    return window()->findChild<QCheckBox*>(outlet);
}

QWidget* TAVPreferenceWindowController::makeWindow()
{
    auto* window = new VXCommonWindow();
    window->setWindowTitle(QStringLiteral("Preferences"));
    // A helper window: closing the main window still ends the application.
    window->setAttribute(Qt::WA_QuitOnClose, false);
    auto* layout = new QVBoxLayout(window);
    layout->setContentsMargins(20, 20, 20, 16);
    layout->setSpacing(10);
    for (const auto& [outlet, key] : outletKeys()) {
        auto* box = new QCheckBox(labelOf(outlet), window);
        box->setObjectName(outlet);
        box->setProperty(kKeyProperty, key);
        connect(box, &QCheckBox::clicked, this, [this, box] { clickCheckbox(box); });
        layout->addWidget(box);
    }
    layout->addSpacing(8);

    auto* buttons = new QHBoxLayout();
    auto* feedback = new QPushButton(QStringLiteral("Send Feedback"), window);
    feedback->setObjectName(QStringLiteral("feedbackButton"));
    feedback->setAutoDefault(false);
    // Without an address there is nowhere to send it.
    feedback->setVisible(!AppInfo::makerAddress(QStringLiteral("FeedbackAddress")).isEmpty());
    connect(feedback, &QPushButton::clicked, this, &TAVPreferenceWindowController::clickFeedback);
    auto* ok = new QPushButton(QStringLiteral("OK"), window);
    ok->setObjectName(QStringLiteral("okButton"));
    ok->setDefault(true);
    connect(ok, &QPushButton::clicked, this, &TAVPreferenceWindowController::clickOk);
    buttons->addWidget(feedback);
    buttons->addStretch(1);
    buttons->addWidget(ok);
    layout->addLayout(buttons);
    return window;
}

void TAVPreferenceWindowController::windowDidLoad()
{
    updateCheckButtonState();
}

void TAVPreferenceWindowController::updateCheckButtonState()
{
    const UserDefaults& defaults = UserDefaults::standard();
    for (const auto& [outlet, key] : outletKeys()) {
        checkBox(outlet)->setChecked(defaults.boolForKey(key));
    }
}

void TAVPreferenceWindowController::clickCheckbox(QCheckBox* box)
{
    const QString key = box->property(kKeyProperty).toString();
    if (key.isEmpty()) {
        return;
    }
    UserDefaults::standard().setBool(box->isChecked(), key);
    updateCheckButtonState();
}

void TAVPreferenceWindowController::clickOk()
{
    dismissNormalWindow();
}

void TAVPreferenceWindowController::clickFeedback()
{
    TAVAppDelegate::openFeedbackMail();
}
