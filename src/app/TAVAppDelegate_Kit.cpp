// Starting the crash-reporting and analytics kit. It runs only with an API
// key; without one nothing of the kit starts and nothing of it reaches the disk.
#include "app/TAVAppDelegate.h"

#include "app/TAVCrashSendPrompt.h"
#include "app/TAVKitLifecycleBridge.h"
#include "app/TAVKitPlatformDefaults.h"
#include "foundation/AppInfo.h"
#include "foundation/Dispatch.h"
#include "foundation/UserDefaults.h"
#include "kit/core/CWURLSession.h"
#include "kit/core/CWUserDefaults.h"
#include "kit/core/KBKitRegistry.h"
#include "kit/core/KBMainBundle.h"
#include "kit/core/Kitbase.h"
#include "kit/crash/Crashwatch.h"
#include "kit/support/KBKitThreads.h"
#include "kit/support/KBMainQueue.h"
#include "kit/tally/Tally.h"
#include "webmapkit/MapPageErrorMonitor.h"

#include <QGuiApplication>

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include <exception>
#include <vector>

namespace {

// The API key of app-info, unless the environment variable LUMETTA_APIKEY is
// set (an empty value switches a built-in key off).
QString configuredAPIKey()
{
    if (qEnvironmentVariableIsSet("LUMETTA_APIKEY")) {
        return qEnvironmentVariable("LUMETTA_APIKEY");
    }
    return AppInfo::builtIn().value(QStringLiteral("Kitbase")).toObject().value(QStringLiteral("APIKey")).toString();
}

// The kit's debug mode turns certificate pinning off, so it is on only when
// the user asks for it: LUMETTA_KITDEBUG set to anything but "" or "0".
bool kitDebugRequested()
{
    const QString value = qEnvironmentVariable("LUMETTA_KITDEBUG");
    return !value.isEmpty() && value != QStringLiteral("0");
}

// The app-info dictionary the kit reads, carrying the key in effect.
nlohmann::json kitInfoDictionary(const QString& apiKey)
{
    const QByteArray text = QJsonDocument(AppInfo::builtIn()).toJson(QJsonDocument::Compact);
    nlohmann::json info = nlohmann::json::parse(text.constData(), nullptr, false);
    if (!info.is_object()) {
        info = nlohmann::json::object();
    }
    info["Kitbase"]["APIKey"] = apiKey.toStdString();
    return info;
}

// A page's message as the kit reads it: any value, as JSON.
nlohmann::json kitJsonOf(const QVariant& body)
{
    const QByteArray text = QJsonDocument(QJsonArray::fromVariantList({body})).toJson(QJsonDocument::Compact);
    const nlohmann::json wrapped = nlohmann::json::parse(text.constData(), nullptr, false);
    return wrapped.is_array() && !wrapped.empty() ? wrapped[0] : nlohmann::json();
}

} // namespace

void TAVAppDelegate::routeMapPageErrorsToKit()
{
    // An uncaught error of a map page becomes the kit's JavaScript exception.
    MapPageErrorMonitor::install([](const QVariant& body) {
        Crashwatch::sharedInstance().userContentControllerDidReceiveScriptMessage(kitJsonOf(body));
    });
}

void TAVAppDelegate::startKit()
{
    if (!kitEnabled_ || kitStarted_) {
        return;
    }
    const QString apiKey = configuredAPIKey();
    if (apiKey.isEmpty()) {
        qCInfo(lcAppDelegate, "No API key is configured; the kit stays off");
        return;
    }
    kitStarted_ = true;
    CWUserDefaults::setPlatformDefaults(std::make_shared<TAVKitPlatformDefaults>(UserDefaults::standard()));
    KBMainBundle::setInfoDictionary(kitInfoDictionary(apiKey));
    KBMainQueue::setExecutor([](std::function<void()> block) { Dispatch::asyncMain(std::move(block)); });
    KBKitRegistry::shared()->registerKit(Crashwatch::kitDescriptor());
    KBKitRegistry::shared()->registerKit(Tally::kitDescriptor());
    TAVCrashSendPrompt::install();
    if (auto* application = qobject_cast<QGuiApplication*>(QCoreApplication::instance())) {
        new TAVKitLifecycleBridge(application);
    }
    const std::vector<KBKitReference> kits{Crashwatch::kitDescriptor(), Tally::kitDescriptor()};
    try {
        Kitbase::with(kits);
        Kitbase::sharedSDK().setDebug(kitDebugRequested());
        routeMapPageErrorsToKit();
    } catch (const std::exception& error) {
        // A faulty kit configuration must not take the application down.
        qCWarning(lcAppDelegate, "The kit did not start: %s", error.what());
    }
}

bool TAVAppDelegate::stopKit()
{
    if (!kitStarted_ || kitStopped_) {
        return kitThreadsEnded_;
    }
    kitStopped_ = true;
    // The GUI loop goes away with the application; the kit's main-queue
    // work runs on its own thread until the kit's threads end.
    KBMainQueue::setExecutor({});
    // The kit's threads must end before the statics their work uses are
    // destroyed at exit (OpenSSL's among them, which a request in its TLS
    // handshake reads). The requests go first, so that their cancellations
    // are reported along with what is queued (the termination event), which
    // gets a short while to run.
    const bool requestsEnded = CWURLSession::endAllWorkers(kKitQuitGrace);
    kitThreadsEnded_ = KBKitThreads::end(kKitQuitGrace) && requestsEnded;
    if (!kitThreadsEnded_) {
        qCWarning(lcAppDelegate, "The kit's threads did not end at quit; ending without destroying what they use");
    }
    return kitThreadsEnded_;
}
