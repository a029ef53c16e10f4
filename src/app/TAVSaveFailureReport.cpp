#include "app/TAVSaveFailureReport.h"

#include "foundation/UiServices.h"

namespace {

// The first lines as they are, then a line counting the rest.
QString listedLines(QStringList lines, const QString& noun)
{
    const qsizetype others = lines.size() - TAVSaveFailureReport::kListedFiles;
    if (others > 0) {
        lines.resize(TAVSaveFailureReport::kListedFiles);
        lines << (others == 1 ? QStringLiteral("and 1 other %1.").arg(noun)
                              : QStringLiteral("and %1 other %2s.").arg(others).arg(noun));
    }
    return lines.join(QLatin1Char('\n'));
}

void showAlert(const QString& title, const QString& message, UiServices::AlertStyle style, QObject* window)
{
    UiServices* ui = UiServices::shared();
    if (!ui)
        return;
    UiServices::AlertRequest request;
    request.title = title;
    request.message = message;
    request.buttons << QStringLiteral("Dismiss");
    request.style = style;
    request.parent = window;
    ui->runAlert(request);
}

} // namespace

void TAVSaveFailureReport::add(const QString& fileName, const QString& reason)
{
    failures_.append({fileName, reason});
}

void TAVSaveFailureReport::addUnshifted(const QString& fileName)
{
    unshifted_.append(fileName);
}

QString TAVSaveFailureReport::title() const
{
    return failures_.size() == 1 ? QStringLiteral("An image could not be saved")
                                 : QStringLiteral("%1 images could not be saved").arg(failures_.size());
}

QString TAVSaveFailureReport::message() const
{
    QStringList lines;
    for (const Failure& failure : failures_)
        lines << failure.fileName + QStringLiteral(": ") + failure.reason;
    return listedLines(lines, QStringLiteral("image"));
}

QString TAVSaveFailureReport::unshiftedTitle() const
{
    return unshifted_.size() == 1
        ? QStringLiteral("A photo was not shifted: it holds no date")
        : QStringLiteral("%1 photos were not shifted: they hold no date").arg(unshifted_.size());
}

QString TAVSaveFailureReport::unshiftedMessage() const
{
    return listedLines(unshifted_, QStringLiteral("photo"));
}

void TAVSaveFailureReport::show(QObject* window) const
{
    if (!failures_.isEmpty())
        showAlert(title(), message(), UiServices::AlertStyle::Warning, window);
    if (!unshifted_.isEmpty())
        showAlert(unshiftedTitle(), unshiftedMessage(), UiServices::AlertStyle::Informational, window);
}
