#include "app/TAVSaveFailureReport.h"

#include "foundation/UiServices.h"

#include <QStringList>

void TAVSaveFailureReport::add(const QString& fileName, const QString& reason)
{
    failures_.append({fileName, reason});
}

QString TAVSaveFailureReport::title() const
{
    return failures_.size() == 1 ? QStringLiteral("An image could not be saved")
                                 : QStringLiteral("%1 images could not be saved").arg(failures_.size());
}

QString TAVSaveFailureReport::message() const
{
    QStringList lines;
    for (qsizetype i = 0; i < failures_.size() && i < kListedFiles; ++i)
        lines << failures_.at(i).fileName + QStringLiteral(": ") + failures_.at(i).reason;
    const qsizetype others = failures_.size() - kListedFiles;
    if (others == 1)
        lines << QStringLiteral("and 1 other image.");
    else if (others > 1)
        lines << QStringLiteral("and %1 other images.").arg(others);
    return lines.join(QLatin1Char('\n'));
}

void TAVSaveFailureReport::show(QObject* window) const
{
    UiServices* ui = UiServices::shared();
    if (isEmpty() || !ui)
        return;
    UiServices::AlertRequest request;
    request.title = title();
    request.message = message();
    request.buttons << QStringLiteral("Dismiss");
    request.style = UiServices::AlertStyle::Warning;
    request.parent = window;
    ui->runAlert(request);
}
