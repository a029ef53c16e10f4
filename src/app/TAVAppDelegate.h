#pragma once

#include <QLoggingCategory>
#include <QMenuBar>
#include <QObject>
#include <QPointer>
#include <QString>
#include <QUrl>
#include <QVariantMap>

#include <chrono>
#include <functional>
#include <memory>

class QAction;
class QKeySequence;
class QLockFile;
class QMenu;
class TAVMainWindowCommands;
class TAVPreferenceWindowController;
class VXAboutWindowController;

Q_DECLARE_LOGGING_CATEGORY(lcAppDelegate)

// The application's start-up and its menu: prepares the folders of the
// working copies, loads the tag tables and key lists, registers the user
// defaults, makes and shows the main window, starts the kit and forwards the
// menu's commands to the main window.
class TAVAppDelegate : public QObject {
    Q_OBJECT
public:
    using MainWindowFactory = std::function<std::unique_ptr<TAVMainWindowCommands>()>;

    explicit TAVAppDelegate(QObject* parent = nullptr);
    ~TAVAppDelegate() override;

    // How the main window is made (the plain shell by default).
    void setMainWindowFactory(MainWindowFactory factory) { mainWindowFactory_ = std::move(factory); }
    // Whether applicationDidFinishLaunching starts the kit; the application
    // turns it on, tests leave it off.
    void setKitEnabled(bool enabled) { kitEnabled_ = enabled; }
    // Ends the kit at quit, after the event loop: its threads end before the
    // objects they use go. False when a kit thread is still running after the
    // grace periods: the process must then end without running the statics'
    // destructors. Later calls answer the same.
    bool stopKit();

    // "<cache folder>/Temp", created when missing; null when it cannot be.
    static QString tempRootPath();
    // The working copies' folder inside the temp root.
    static QString tempSrcPath();
    // The lock that keeps a second instance from emptying the first one's Temp.
    static QString instanceLockPath();

    // The first half of start-up. False when another instance is running:
    // the user was told, nothing was touched, and the caller quits.
    bool awakeFromNib();
    void applicationDidFinishLaunching();

    void initTempFolder();
    void creatFolder(const QString& path);
    // Removes the Temp folder that an earlier version kept in `earlierHome`,
    // unless an earlier version is running there.
    static void removeEarlierTempFolder(const QString& earlierHome);
    void loadDefaultValues();
    void loadExifTag();
    void startKit();
    // Every map page's uncaught errors go to the crash kit (once it runs).
    static void routeMapPageErrorsToKit();

    // The seven defaults of the application, as registered.
    static const QVariantMap& applicationDefaults();
    static void registerApplicationDefaults();

    bool applicationShouldTerminateAfterLastWindowClosed() const { return true; }
    bool validateUserInterfaceItem() const { return true; }
    // What the main window answers for a menu item of that title.
    bool validateMenuItem(const QString& title) const;

    // The crash kit's question whether to send the report of a crash of the
    // last run: always yes. Nothing hands this delegate to the kit.
    template <typename Report>
    void crashwatchDidDetectReportForLastExecution(
        const Report& /*report*/, const std::function<void(bool)>& completionHandler)
    {
        answerCrashReport(completionHandler);
    }

    void clickPreFile();
    void clickNextFile();
    void clickClear();
    void clickRestore();
    void clickSave();
    void clickClearAll();
    void clickRestoreAll();
    void clickSaveAll();
    void clickImportFiles();
    void clickPreference();
    void clickAbout();
    void clickHelp();
    void clickRate();
    void clickMoreApps();
    void clickFeedback();
    // Closes every window, the main one after its question about unsaved
    // edits; the application ends once they are all closed.
    void clickQuit();

    // A new mail to the feedback address, when one is configured.
    static bool openFeedbackMail();
    // "mailto:" and the address, percent-escaped as UTF-8.
    static QUrl feedbackMailUrl(const QString& address);
    // Where the help page is written before the desktop opens it.
    static QString helpPagePath();
    // The configured rating page; without one, the application's page in the
    // desktop's software centre ("appstream:" and the bundle identifier, its case kept).
    static QUrl ratingPageUrl();

    TAVMainWindowCommands* mainWndCtlr() const { return mainWndCtlr_.get(); }
    TAVPreferenceWindowController* preferenceWndCtlr() const { return preferenceWndCtlr_.get(); }
    QMenuBar* menuBar() const { return menuBar_; }
    // The menu item of that title (without its "&" mnemonic mark), null when
    // there is none.
    QAction* menuItem(const QString& title) const;
    // An item's title without the mark of its Alt key.
    static QString plainTitle(const QAction* item);

private:
    bool holdInstanceLock();
    void buildMenuBar();
    QMenu* addMenu(const QString& title);
    QAction* addCommand(
        QMenu* menu, const QString& title, void (TAVAppDelegate::*command)(), const QKeySequence& shortcut);
    static void answerCrashReport(const std::function<void(bool)>& completionHandler);
    static bool removeTempRoot(const QString& home);

    // How long the kit's queued work may run at quit, twice at most (the
    // queue, then the blocks still running).
    static constexpr std::chrono::milliseconds kKitQuitGrace{1500};

    MainWindowFactory mainWindowFactory_;
    bool kitEnabled_ = false;
    bool kitStarted_ = false;
    bool kitStopped_ = false;
    bool kitThreadsEnded_ = true;
    std::unique_ptr<QLockFile> instanceLock_;
    std::unique_ptr<TAVMainWindowCommands> mainWndCtlr_;
    std::unique_ptr<TAVPreferenceWindowController> preferenceWndCtlr_;
    std::unique_ptr<VXAboutWindowController> aboutCtlr_;
    QPointer<QMenuBar> menuBar_;
};
