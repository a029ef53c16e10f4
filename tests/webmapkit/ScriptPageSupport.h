#pragma once

#include "support/Patience.h"
#include "webmapkit/JsPageHost.h"

#include <QFile>
#include <QList>
#include <QPair>
#include <QSignalSpy>
#include <QString>
#include <QStringList>
#include <QTest>

// Writes a test page into `folder`: an html wrapper naming the scripts, and the
// scripts themselves (name, source). Returns the wrapper's path.
inline QString writeScriptPage(const QString& folder, const QString& name,
    const QList<QPair<QString, QString>>& scripts, const QStringList& missingScripts = {})
{
    QString html = QStringLiteral("<!DOCTYPE html>\n<html><head>\n");
    for (const auto& [file, source] : scripts) {
        html += QStringLiteral("<script type=\"text/javascript\" src=\"%1\"></script>\n").arg(file);
        QFile out(folder + QLatin1Char('/') + file);
        out.open(QIODevice::WriteOnly);
        out.write(source.toUtf8());
    }
    for (const QString& file : missingScripts) {
        html += QStringLiteral("<script src='%1'></script>\n").arg(file);
    }
    html += QStringLiteral("</head><body></body></html>\n");
    const QString path = folder + QLatin1Char('/') + name;
    QFile out(path);
    out.open(QIODevice::WriteOnly);
    out.write(html.toUtf8());
    return path;
}

// Loads a page and waits until it finished or failed; true when it finished.
inline bool loadScriptPage(JsPageHost& host, const QString& path)
{
    QSignalSpy finished(&host, &ScriptBridge::loadFinished);
    QSignalSpy failed(&host, &ScriptBridge::loadFailed);
    host.load(path);
    (void)QTest::qWaitFor([&]() { return !finished.isEmpty() || !failed.isEmpty(); }, kPatientMs);
    return !finished.isEmpty();
}
