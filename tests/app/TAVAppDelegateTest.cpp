#include "app/TAVAppDelegate.h"
#include "app/TAVKitPlatformDefaults.h"
#include "app/TAVMainWindowCommands.h"
#include "app/TAVPreferenceWindowController.h"
#include "commlib/QtWorkspace.h"
#include "foundation/FileServices.h"
#include "foundation/UserDefaults.h"
#include "foundation/VXFileLocalManager.h"
#include "models/tables/TAVCVSParaser.h"

#include "support/FakeUiServices.h"
#include "support/FakeWorkspace.h"
#include "support/Gallery.h"
#include "support/Patience.h"
#include "support/QtPrinters.h"
#include "support/TempFolder.h"

#include <QApplication>
#include <QCheckBox>
#include <QDesktopServices>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLockFile>
#include <QMainWindow>
#include <QMenu>
#include <QProcess>
#include <QSet>
#include <QTest>

#include <gtest/gtest.h>

#include <functional>

namespace {

// Stands in for the main window: records the commands it receives and
// refuses the titles it is told to.
class RecordingMainWindow : public TAVMainWindowCommands {
public:
    QWidget* window() override { return &window_; }
    void showWindow() override { window_.show(); }
    void clickPre() override { calls << "clickPre"; }
    void clickNext() override { calls << "clickNext"; }
    void clickClear() override { calls << "clickClear"; }
    void clickRestore() override { calls << "clickRestore"; }
    void clickSave() override { calls << "clickSave"; }
    void clickClearAll() override { calls << "clickClearAll"; }
    void clickRestoreAll() override { calls << "clickRestoreAll"; }
    void clickSaveAll() override { calls << "clickSaveAll"; }
    void clickImportFiles() override { calls << "clickImportFiles"; }
    bool validateMenuItem(const QString& title) override { return !refused.contains(title); }

    QStringList calls;
    QStringList refused;

private:
    QMainWindow window_;
};

// Receives the URLs the desktop would open with a mail program.
class MailHandler : public QObject {
    Q_OBJECT
public:
    Q_INVOKABLE void openUrl(const QUrl& url) { received << url.toEncoded(); }
    QList<QByteArray> received;
};

// Sets an environment variable for the rest of the scope.
struct EnvironmentGuard {
    EnvironmentGuard(const char* name, const QByteArray& value)
        : name(name)
    {
        qputenv(name, value);
    }
    ~EnvironmentGuard() { qunsetenv(name); }
    const char* name;
};

class AppDelegateTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        UiServices::setShared(&ui_);
        Workspace::setShared(&workspace_);
        home_ = VXFileLocalManager::appCacheDirectory();
        ASSERT_FALSE(home_.isEmpty());
    }
    void TearDown() override
    {
        Workspace::setShared(nullptr);
        UiServices::setShared(nullptr);
    }

    // A delegate whose main window is a recording stand-in; `onCreate` runs
    // when the main window is made.
    std::unique_ptr<TAVAppDelegate> makeDelegate(const std::function<void()>& onCreate = {})
    {
        auto delegate = std::make_unique<TAVAppDelegate>();
        delegate->setMainWindowFactory([this, onCreate] {
            if (onCreate) {
                onCreate();
            }
            auto window = std::make_unique<RecordingMainWindow>();
            mainWindow_ = window.get();
            return window;
        });
        return delegate;
    }

    QString tempRoot() const { return home_ + QStringLiteral("/Temp"); }

    static void writeFile(const QString& path)
    {
        ASSERT_TRUE(FileServices::createFolder(QFileInfo(path).absolutePath()));
        ASSERT_TRUE(FileServices::writeFileAtomically(path, "data"));
    }

    FakeUiServices ui_;
    FakeWorkspace workspace_;
    QString home_;
    RecordingMainWindow* mainWindow_ = nullptr;
};

} // namespace

TEST_F(AppDelegateTest, StartEmptiesTempWithoutFollowingLinks)
{
    TempFolder outside;
    writeFile(outside.filePath(QStringLiteral("keep.jpg")));
    writeFile(tempRoot() + QStringLiteral("/old.jpg"));
    writeFile(tempRoot() + QStringLiteral("/src_temp/copy.jpg"));
    writeFile(tempRoot() + QStringLiteral("/nested/deeper/file.jpg"));
    ASSERT_TRUE(QFile::link(outside.path(), tempRoot() + QStringLiteral("/link-out")));

    const auto onlyAnEmptySrcTemp = [this, &outside](const char* run) {
        const QFileInfo root(tempRoot());
        EXPECT_TRUE(root.isDir() && !root.isSymLink()) << run;
        EXPECT_EQ(FileServices::contentsOfFolder(tempRoot()), QStringList{"src_temp"}) << run;
        EXPECT_TRUE(FileServices::contentsOfFolder(TAVAppDelegate::tempSrcPath()).isEmpty()) << run;
        EXPECT_EQ(FileServices::contentsOfFolder(outside.path()), QStringList{"keep.jpg"}) << run;
    };
    {
        auto delegate = makeDelegate();
        ASSERT_TRUE(delegate->awakeFromNib());
        onlyAnEmptySrcTemp("first run");
        EXPECT_FALSE(TAVCVSParaser::tagsByKey().isEmpty()) << "tag tables loaded";
        EXPECT_TRUE(mainWindow_->window()->isVisible());
    }
    // Temp itself a link to the outside folder, then a dangling one.
    ASSERT_TRUE(QDir(tempRoot()).removeRecursively());
    ASSERT_TRUE(QFile::link(outside.path(), tempRoot()));
    {
        auto delegate = makeDelegate();
        ASSERT_TRUE(delegate->awakeFromNib());
        onlyAnEmptySrcTemp("Temp a link");
    }
    ASSERT_TRUE(QDir(tempRoot()).removeRecursively());
    ASSERT_TRUE(QFile::link(outside.filePath(QStringLiteral("gone")), tempRoot()));
    auto delegate = makeDelegate();
    ASSERT_TRUE(delegate->awakeFromNib());
    onlyAnEmptySrcTemp("Temp a dangling link");
}

TEST_F(AppDelegateTest, ASecondInstanceIsToldAndLeavesTempAlone)
{
    writeFile(tempRoot() + QStringLiteral("/src_temp/in-use.jpg"));
    {
        QLockFile running(TAVAppDelegate::instanceLockPath());
        ASSERT_TRUE(running.tryLock(0));
        auto second = makeDelegate();
        EXPECT_FALSE(second->awakeFromNib());
        ASSERT_EQ(ui_.alerts().size(), 1);
        EXPECT_EQ(ui_.alerts()[0].title, QStringLiteral("Lumetta is already running"));
        EXPECT_EQ(ui_.alerts()[0].style, UiServices::AlertStyle::Informational);
        EXPECT_EQ(ui_.alerts()[0].message, QStringLiteral("Lumetta is already running."));
        EXPECT_EQ(ui_.alerts()[0].buttons, QStringList{"OK"});
        EXPECT_TRUE(QFile::exists(tempRoot() + QStringLiteral("/src_temp/in-use.jpg")));
        EXPECT_EQ(second->mainWndCtlr(), nullptr);
    }

    // The lock of an instance that died is taken over.
    QProcess gone;
    gone.start(QStringLiteral("true"), {});
    ASSERT_TRUE(gone.waitForStarted());
    const QByteArray deadPid = QByteArray::number(gone.processId());
    ASSERT_TRUE(gone.waitForFinished());
    TempFolder scratch;
    {
        QLockFile model(scratch.filePath(QStringLiteral("model.lock")));
        ASSERT_TRUE(model.tryLock(0));
        QFile written(scratch.filePath(QStringLiteral("model.lock")));
        ASSERT_TRUE(written.open(QIODevice::ReadOnly));
        QByteArray contents = written.readAll();
        contents.replace(0, contents.indexOf('\n'), deadPid);
        ASSERT_TRUE(FileServices::writeFileAtomically(TAVAppDelegate::instanceLockPath(), contents));
    }
    auto next = makeDelegate();
    EXPECT_TRUE(next->awakeFromNib());
    EXPECT_EQ(ui_.alerts().size(), 1);
    EXPECT_FALSE(QFile::exists(tempRoot() + QStringLiteral("/src_temp/in-use.jpg")));
}

TEST_F(AppDelegateTest, DefaultsAreRegisteredBeforeTheMainWindowAndPreferencesStoreExplicitly)
{
    UserDefaults& defaults = UserDefaults::standard();
    QVariantMap opposite;
    for (const auto& [outlet, key] : TAVPreferenceWindowController::outletKeys()) {
        defaults.removeObjectForKey(key);
        opposite.insert(key, !TAVAppDelegate::applicationDefaults().value(key).toBool());
    }
    defaults.registerDefaults(opposite);

    bool rememberSeenByMainWindow = false;
    auto delegate = makeDelegate(
        [&] { rememberSeenByMainWindow = defaults.boolForKey(QStringLiteral("remember_photo_list_size")); });
    ASSERT_TRUE(delegate->awakeFromNib());
    delegate->applicationDidFinishLaunching();
    EXPECT_TRUE(rememberSeenByMainWindow);
    EXPECT_TRUE(defaults.boolForKey(QStringLiteral("NSApplicationCrashOnExceptions")));

    delegate->menuItem(QStringLiteral("Preferences..."))->trigger();
    TAVPreferenceWindowController* preferences = delegate->preferenceWndCtlr();
    ASSERT_NE(preferences, nullptr);
    EXPECT_TRUE(preferences->window()->isVisible());
    EXPECT_FALSE(preferences->notMdfDateChk()->isChecked());
    EXPECT_TRUE(preferences->rememberPhotolistSize()->isChecked());
    EXPECT_TRUE(preferences->continuSaveChk()->isChecked());
    EXPECT_FALSE(preferences->alwaysShowIntro()->isChecked());
    EXPECT_TRUE(preferences->replayIntro()->isChecked());
    EXPECT_TRUE(Gallery::capture(preferences->window(), QStringLiteral("preferences-window")));

    QTest::mouseClick(preferences->rememberPhotolistSize(), Qt::LeftButton);
    TAVAppDelegate::registerApplicationDefaults();
    EXPECT_TRUE(defaults.hasStoredValueForKey(QStringLiteral("remember_photo_list_size")));
    EXPECT_FALSE(defaults.boolForKey(QStringLiteral("remember_photo_list_size"))) << "stored NO beats registered YES";
    delegate->clickPreference();
    EXPECT_NE(delegate->preferenceWndCtlr(), preferences) << "a fresh window each time";
    EXPECT_FALSE(delegate->preferenceWndCtlr()->rememberPhotolistSize()->isChecked());
    QTest::mouseClick(delegate->preferenceWndCtlr()->rememberPhotolistSize(), Qt::LeftButton);
    EXPECT_TRUE(defaults.boolForKey(QStringLiteral("remember_photo_list_size")));
    EXPECT_TRUE(defaults.hasStoredValueForKey(QStringLiteral("remember_photo_list_size"))) << "an explicit YES";
}

TEST_F(AppDelegateTest, MenuCommandsReachTheMainWindowOnlyWhenValid)
{
    auto delegate = makeDelegate();
    ASSERT_TRUE(delegate->awakeFromNib());
    const QList<QPair<QString, QString>> forwarded = {
        {"Previous", "clickPre"},
        {"Next", "clickNext"},
        {"Clear", "clickClear"},
        {"Restore", "clickRestore"},
        {"Save", "clickSave"},
        {"Clear All", "clickClearAll"},
        {"Restore All", "clickRestoreAll"},
        {"Save All", "clickSaveAll"},
        {"Import Files...", "clickImportFiles"},
    };
    for (const auto& [title, command] : forwarded) {
        QAction* item = delegate->menuItem(title);
        ASSERT_NE(item, nullptr) << title.toStdString();
        item->trigger();
        EXPECT_EQ(mainWindow_->calls.value(mainWindow_->calls.size() - 1), command);
    }
    EXPECT_EQ(mainWindow_->calls.size(), forwarded.size());

    mainWindow_->refused = QStringList{"Save"};
    QAction* save = delegate->menuItem(QStringLiteral("Save"));
    auto* fileMenu = qobject_cast<QMenu*>(save->parent());
    ASSERT_NE(fileMenu, nullptr);
    emit fileMenu->aboutToShow();
    EXPECT_FALSE(save->isEnabled());
    EXPECT_TRUE(delegate->menuItem(QStringLiteral("Save All"))->isEnabled());
    save->trigger();
    emit fileMenu->aboutToHide();
    EXPECT_TRUE(save->isEnabled()) << "closed, the shortcut reaches the check";
    QTest::keyClick(mainWindow_->window(), Qt::Key_S, Qt::ControlModifier);
    save->trigger();
    EXPECT_EQ(mainWindow_->calls.size(), forwarded.size()) << "refused Save stays inert";
}

TEST_F(AppDelegateTest, HelpFeedbackAndRateOpenTheirPagesOrAreNotShown)
{
    const EnvironmentGuard address("LUMETTA_FEEDBACKADDRESS", "f\xC3\xAB@example.org");
    qunsetenv("LUMETTA_RATINGURL");
    qunsetenv("LUMETTA_HOMEPAGEURL");
    auto delegate = makeDelegate();
    ASSERT_TRUE(delegate->awakeFromNib());

    delegate->menuItem(QStringLiteral("Lumetta Help"))->trigger();
    ASSERT_EQ(workspace_.openedFiles(), QStringList{TAVAppDelegate::helpPagePath()});
    EXPECT_TRUE(TAVAppDelegate::helpPagePath().endsWith(QStringLiteral("/Help/Frequently Asked Questions.html")));
    QFile page(TAVAppDelegate::helpPagePath());
    ASSERT_TRUE(page.open(QIODevice::ReadOnly));
    EXPECT_TRUE(page.readAll().contains("<h1>Frequently Asked Questions</h1>"));

    EXPECT_TRUE(delegate->menuItem(QStringLiteral("Rate Lumetta"))->isVisible()) << "the software centre's page";
    EXPECT_FALSE(delegate->menuItem(QStringLiteral("More Apps"))->isVisible());
    ASSERT_TRUE(delegate->menuItem(QStringLiteral("Send Feedback"))->isVisible());

    // The real workspace hands the mail to the desktop's handler of "mailto".
    QtWorkspace desktop;
    Workspace::setShared(&desktop);
    MailHandler mail;
    QDesktopServices::setUrlHandler(QStringLiteral("mailto"), &mail, "openUrl");
    delegate->menuItem(QStringLiteral("Send Feedback"))->trigger();
    QDesktopServices::unsetUrlHandler(QStringLiteral("mailto"));
    EXPECT_EQ(mail.received, QList<QByteArray>{"mailto:f%C3%AB@example.org"});
}

// In the real window: Rate opens the application's page in the software
// centre unless a rating page is configured; Help, when no program takes
// its page, says where the page is.
TEST_F(AppDelegateTest, RateOpensTheSoftwareCentreAndHelpSaysWhereItsPageIs)
{
    qunsetenv("LUMETTA_RATINGURL");
    TAVAppDelegate delegate;
    ASSERT_TRUE(delegate.awakeFromNib());
    QAction* rate = delegate.menuItem(QStringLiteral("Rate Lumetta"));
    ASSERT_TRUE(rate && rate->isVisible());
    rate->trigger();
    ASSERT_EQ(workspace_.openedUrls().size(), 1);
    EXPECT_EQ(workspace_.openedUrls().last().scheme(), "appstream");
    // The identifier reaches the desktop exactly as spelled, capitals included.
    EXPECT_EQ(
        workspace_.openedUrls().last().toString(QUrl::FullyEncoded), QStringLiteral("appstream:" LUMETTA_DESKTOP_ID));
    {
        const EnvironmentGuard configured("LUMETTA_RATINGURL", "https://rate.example.org/lumetta");
        rate->trigger();
        EXPECT_EQ(workspace_.openedUrls().last(), QUrl(QStringLiteral("https://rate.example.org/lumetta")));
    }

    workspace_.setAccepts(false);
    QWidget* window = delegate.mainWndCtlr()->window();
    window->show();
    window->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(window, kPatientMs));
    QTest::keyClick(window, Qt::Key_F1);
    ASSERT_EQ(workspace_.openedFiles(), QStringList{TAVAppDelegate::helpPagePath()}) << "F1 asked for the page";
    ASSERT_EQ(ui_.alerts().size(), 1);
    EXPECT_EQ(ui_.alerts().last().title, "The help page could not be opened");
    EXPECT_TRUE(ui_.alerts().last().message.endsWith(TAVAppDelegate::helpPagePath()));
    EXPECT_TRUE(QFile::exists(TAVAppDelegate::helpPagePath())) << "it is there to be opened by hand";
    EXPECT_EQ(ui_.alerts().last().parent, window);

    workspace_.setAccepts(true);
    delegate.menuItem(QStringLiteral("Lumetta Help"))->trigger();
    EXPECT_EQ(ui_.alerts().size(), 1) << "a page that opened needs no word";
}

TEST(TAVKitPlatformDefaults, TheKitReadsAndRemovesTheApplicationsValues)
{
    TempFolder folder;
    UserDefaults defaults(folder.filePath(QStringLiteral("defaults.ini")));
    defaults.setString(QStringLiteral("5c2a-uuid"), QStringLiteral("org.lumetta.kit.core.installation-uuid"));
    defaults.setObject(QStringList{"a", "b"}, QStringLiteral("list"));
    defaults.registerDefaults({{QStringLiteral("registered"), 2.5}});
    TAVKitPlatformDefaults platform(defaults);

    EXPECT_EQ(platform.objectForKey("org.lumetta.kit.core.installation-uuid"), nlohmann::json("5c2a-uuid"));
    EXPECT_EQ(platform.objectForKey("list"), (nlohmann::json{"a", "b"}));
    EXPECT_EQ(platform.objectForKey("registered"), nlohmann::json(2.5));
    EXPECT_EQ(platform.objectForKey("never-set"), std::nullopt);
    platform.removeObjectForKey("org.lumetta.kit.core.installation-uuid");
    EXPECT_TRUE(platform.synchronize());
    EXPECT_FALSE(UserDefaults(folder.filePath(QStringLiteral("defaults.ini")))
                     .hasStoredValueForKey(QStringLiteral("org.lumetta.kit.core.installation-uuid")));
}

#include "TAVAppDelegateTest.moc"

// Every menu and item is reached with the keyboard alone: its own Alt letter,
// and the keys the menus always had.
TEST_F(AppDelegateTest, EveryMenuAndItemHasItsOwnAltLetterInTheRealWindow)
{
    TAVAppDelegate delegate;
    ASSERT_TRUE(delegate.awakeFromNib());
    QWidget* window = delegate.mainWndCtlr()->window();
    window->show();
    window->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(window, kPatientMs));

    const auto letterOf = [](const QString& title) {
        const qsizetype mark = title.indexOf(QLatin1Char('&'));
        return mark < 0 || mark + 1 >= title.size() ? QChar() : title.at(mark + 1).toLower();
    };
    QSet<QChar> menuLetters;
    for (QAction* menuAction : delegate.menuBar()->actions()) {
        const QChar letter = letterOf(menuAction->text());
        EXPECT_FALSE(letter.isNull()) << menuAction->text().toStdString();
        EXPECT_FALSE(menuLetters.contains(letter)) << menuAction->text().toStdString();
        menuLetters.insert(letter);
        QSet<QChar> itemLetters;
        for (QAction* item : menuAction->menu()->actions()) {
            if (item->isSeparator())
                continue;
            const QChar itemLetter = letterOf(item->text());
            EXPECT_FALSE(itemLetter.isNull()) << item->text().toStdString();
            EXPECT_FALSE(itemLetters.contains(itemLetter)) << item->text().toStdString();
            itemLetters.insert(itemLetter);
        }
    }
    EXPECT_EQ(delegate.menuItem(QStringLiteral("Save"))->shortcut(), QKeySequence(QKeySequence::Save));
    EXPECT_EQ(delegate.menuItem(QStringLiteral("Import Files..."))->shortcut(), QKeySequence(QKeySequence::Open));
    EXPECT_EQ(delegate.menuItem(QStringLiteral("Save All"))->shortcut(), QKeySequence("Ctrl+Shift+S"));

    // Alt+F opens the File menu; I there runs Import Files.
    QAction* import = delegate.menuItem(QStringLiteral("Import Files..."));
    int imports = 0;
    QObject::connect(import, &QAction::triggered, [&imports] { ++imports; });
    QTest::keyClick(window, Qt::Key_F, Qt::AltModifier);
    ASSERT_TRUE(QTest::qWaitFor([] { return QApplication::activePopupWidget() != nullptr; }, kPatientMs));
    auto* fileMenu = qobject_cast<QMenu*>(QApplication::activePopupWidget());
    ASSERT_NE(fileMenu, nullptr);
    EXPECT_EQ(TAVAppDelegate::plainTitle(fileMenu->menuAction()), QStringLiteral("File"));
    EXPECT_TRUE(Gallery::capture(fileMenu, QStringLiteral("file-menu-alt-letters")));
    QTest::keyClick(fileMenu, Qt::Key_I);
    EXPECT_EQ(imports, 1);
    EXPECT_EQ(QApplication::activePopupWidget(), nullptr);
}
