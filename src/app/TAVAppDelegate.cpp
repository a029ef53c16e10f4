#include "app/TAVAppDelegate.h"

#include "app/TAVMainWindowCommands.h"
#include "app/TAVMainWindowCtlr.h"
#include "app/TAVPreferenceWindowController.h"
#include "commlib/VXAboutWindowController.h"
#include "foundation/AppInfo.h"
#include "foundation/FileServices.h"
#include "foundation/UiServices.h"
#include "foundation/UserDefaults.h"
#include "foundation/VXFileLocalManager.h"
#include "foundation/Workspace.h"
#include "models/tables/TAVKeyLists.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QLockFile>
#include <QWidget>

#include <algorithm>

Q_LOGGING_CATEGORY(lcAppDelegate, "lumetta.app.start")

TAVAppDelegate::TAVAppDelegate(QObject* parent)
    : QObject(parent)
    , mainWindowFactory_([] { return std::make_unique<TAVMainWindowCtlr>(tempSrcPath()); })
{
}

TAVAppDelegate::~TAVAppDelegate()
{
    stopKit();
}

bool TAVAppDelegate::awakeFromNib()
{
    if (!holdInstanceLock()) {
        return false;
    }
    // Registered before the main window is made: its photo list reads
    // "remember_photo_list_size" while it is set up.
    registerApplicationDefaults();
    initTempFolder();
    loadDefaultValues();
    if (QWidget* keyWindow = QApplication::activeWindow()) {
        keyWindow->setGeometry(keyWindow->geometry());
        keyWindow->update();
    }
    mainWndCtlr_ = mainWindowFactory_();
    buildMenuBar();
    mainWndCtlr_->showWindow();
    return true;
}

void TAVAppDelegate::applicationDidFinishLaunching()
{
    UserDefaults::standard().registerDefaults({{QStringLiteral("NSApplicationCrashOnExceptions"), true}});
    startKit();
    registerApplicationDefaults();
}

bool TAVAppDelegate::holdInstanceLock()
{
    const QString home = VXFileLocalManager::appCacheDirectory();
    if (home.isEmpty()) {
        return true;
    }
    auto lock = std::make_unique<QLockFile>(instanceLockPath());
    // Only a dead holder makes a lock stale, however old it is.
    lock->setStaleLockTime(0);
    if (lock->tryLock(0)) {
        instanceLock_ = std::move(lock);
        return true;
    }
    if (lock->error() == QLockFile::LockFailedError) {
        qCWarning(lcAppDelegate, "Another instance holds %s", qUtf8Printable(instanceLockPath()));
        if (UiServices* ui = UiServices::shared()) {
            ui->showInformation(QStringLiteral("Lumetta is already running"),
                QStringLiteral("Lumetta is already running."), QStringLiteral("OK"));
        }
        return false;
    }
    qCWarning(lcAppDelegate, "Cannot take the instance lock %s (error %d); starting without it",
        qUtf8Printable(instanceLockPath()), int(lock->error()));
    return true;
}

QString TAVAppDelegate::instanceLockPath()
{
    // Beside the Temp folder it guards.
    return VXFileLocalManager::appCacheDirectory() + QStringLiteral("/instance.lock");
}

void TAVAppDelegate::loadDefaultValues()
{
    loadExifTag();
    TAVKeyLists::loadDefaultValues();
}

void TAVAppDelegate::loadExifTag()
{
    TAVKeyLists::loadExifTag();
}

const QVariantMap& TAVAppDelegate::applicationDefaults()
{
    static const QVariantMap defaults = {
        {QStringLiteral("NSApplicationCrashOnExceptions"), true},
        {QStringLiteral("update_file_origine_open_create_modify_date"), false},
        {QStringLiteral("save_continue_after_error"), true},
        {QStringLiteral("remember_photo_list_size"), true},
        {QStringLiteral("next_not_show_tips_again"), false},
        {QStringLiteral("auto_slider_show_tips_again"), true},
        {QStringLiteral("photo_list_size_key"), 0.5},
    };
    return defaults;
}

void TAVAppDelegate::registerApplicationDefaults()
{
    UserDefaults::standard().registerDefaults(applicationDefaults());
}

bool TAVAppDelegate::validateMenuItem(const QString& title) const
{
    return mainWndCtlr_ ? mainWndCtlr_->validateMenuItem(title) : true;
}

void TAVAppDelegate::answerCrashReport(const std::function<void(bool)>& completionHandler)
{
    qCInfo(lcAppDelegate, "crash now");
    if (completionHandler) {
        completionHandler(true);
    }
}

void TAVAppDelegate::clickPreFile()
{
    if (mainWndCtlr_) {
        mainWndCtlr_->clickPre();
    }
}

void TAVAppDelegate::clickNextFile()
{
    if (mainWndCtlr_) {
        mainWndCtlr_->clickNext();
    }
}

void TAVAppDelegate::clickClear()
{
    if (mainWndCtlr_) {
        mainWndCtlr_->clickClear();
    }
}

void TAVAppDelegate::clickRestore()
{
    if (mainWndCtlr_) {
        mainWndCtlr_->clickRestore();
    }
}

void TAVAppDelegate::clickSave()
{
    if (mainWndCtlr_) {
        mainWndCtlr_->clickSave();
    }
}

void TAVAppDelegate::clickClearAll()
{
    if (mainWndCtlr_) {
        mainWndCtlr_->clickClearAll();
    }
}

void TAVAppDelegate::clickRestoreAll()
{
    if (mainWndCtlr_) {
        mainWndCtlr_->clickRestoreAll();
    }
}

void TAVAppDelegate::clickSaveAll()
{
    if (mainWndCtlr_) {
        mainWndCtlr_->clickSaveAll();
    }
}

void TAVAppDelegate::clickQuit()
{
    // A window that refuses (Cancel, or Save still running) keeps the
    // application; the main window closes itself once its save is done, and
    // the last window closed ends the application.
    QApplication::closeAllWindows();
    const QWidgetList windows = QApplication::topLevelWidgets();
    if (std::none_of(windows.begin(), windows.end(), [](const QWidget* window) { return window->isVisible(); }))
        QCoreApplication::quit();
}

void TAVAppDelegate::clickImportFiles()
{
    if (mainWndCtlr_) {
        mainWndCtlr_->clickImportFiles();
    }
}

void TAVAppDelegate::clickPreference()
{
    preferenceWndCtlr_ = std::make_unique<TAVPreferenceWindowController>();
    preferenceWndCtlr_->showNormalWindow();
}

void TAVAppDelegate::clickAbout()
{
    if (!aboutCtlr_) {
        aboutCtlr_ = std::make_unique<VXAboutWindowController>();
    }
    aboutCtlr_->showWindow();
}

QString TAVAppDelegate::helpPagePath()
{
    // Written out again at each opening: a throw-away file.
    return VXFileLocalManager::appCacheDirectory() + QStringLiteral("/Help/Frequently Asked Questions.html");
}

void TAVAppDelegate::clickHelp()
{
    Q_INIT_RESOURCE(apphelp);
    QFile page(QStringLiteral(":/help/Frequently Asked Questions.html"));
    if (!page.open(QIODevice::ReadOnly)) {
        qCWarning(lcAppDelegate, "The help page is missing from the resources");
        return;
    }
    const QString path = helpPagePath();
    QString error;
    if (!FileServices::createFolder(path.section(QLatin1Char('/'), 0, -2))
        || !FileServices::writeFileAtomically(path, page.readAll(), &error)) {
        qCWarning(lcAppDelegate, "Cannot write the help page %s: %s", qUtf8Printable(path), qUtf8Printable(error));
        return;
    }
    Workspace* workspace = Workspace::shared();
    if (workspace && workspace->openFile(path)) {
        return;
    }
    // No browser took the page: the user can still open it by hand.
    qCWarning(lcAppDelegate, "No program opened the help page %s", qUtf8Printable(path));
    if (UiServices* ui = UiServices::shared()) {
        UiServices::AlertRequest alert;
        alert.title = QStringLiteral("The help page could not be opened");
        alert.message = QStringLiteral("No program to show web pages answered. The page is here:\n%1")
                            .arg(QDir::toNativeSeparators(path));
        alert.buttons = {QStringLiteral("OK")};
        alert.style = UiServices::AlertStyle::Informational;
        alert.parent = mainWndCtlr_ ? mainWndCtlr_->window() : nullptr;
        ui->runAlert(alert);
    }
}

QUrl TAVAppDelegate::ratingPageUrl()
{
    const QString address = AppInfo::makerAddress(QStringLiteral("RatingURL"));
    // "appstream:" and the identifier as a path: an "appstream://" address
    // would carry the identifier as a host name, which URLs lower-case, and
    // software centres look the component up by its exact identifier.
    return address.isEmpty() ? QUrl(QStringLiteral("appstream:") + AppInfo::bundleIdentifier()) : QUrl(address);
}

void TAVAppDelegate::clickRate()
{
    if (Workspace::shared()) {
        Workspace::shared()->openUrl(ratingPageUrl());
    }
}

void TAVAppDelegate::clickMoreApps()
{
    const QString address = AppInfo::makerAddress(QStringLiteral("HomepageURL"));
    if (!address.isEmpty() && Workspace::shared()) {
        Workspace::shared()->openUrl(QUrl(address));
    }
}

void TAVAppDelegate::clickFeedback()
{
    openFeedbackMail();
}

bool TAVAppDelegate::openFeedbackMail()
{
    const QString address = AppInfo::makerAddress(QStringLiteral("FeedbackAddress"));
    if (address.isEmpty() || !Workspace::shared()) {
        return false;
    }
    return Workspace::shared()->openUrl(feedbackMailUrl(address));
}

QUrl TAVAppDelegate::feedbackMailUrl(const QString& address)
{
    // Everything outside the characters a mail address may show as they are
    // is escaped, non-ASCII letters as their UTF-8 bytes.
    const QByteArray escaped = QUrl::toPercentEncoding(address, QByteArrayLiteral("!$&'()*+,-./:;=?@_~"));
    return QUrl::fromEncoded(QByteArrayLiteral("mailto:") + escaped, QUrl::StrictMode);
}
