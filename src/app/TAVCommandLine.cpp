#include "app/TAVCommandLine.h"

#include "app/TAVApplicationIdentity.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QFileInfo>

#include <cstdio>

namespace {

struct Parser {
    QCommandLineParser parser;
    QCommandLineOption help = parser.addHelpOption();
    QCommandLineOption version = parser.addVersionOption();

    Parser()
    {
        // "-reverse" or "-visual" (Qt's) must not read as "-r -e -v ...".
        parser.setSingleDashWordOptionMode(QCommandLineParser::ParseAsLongOptions);
        parser.setApplicationDescription(
            QStringLiteral("Edit the EXIF, IPTC and XMP metadata of photos, one by one or many at once.\n"
                           "Qt's own options (-platform, -style ...) are accepted as well."));
    }
};

void print(FILE* stream, const QString& text)
{
    std::fputs(text.toLocal8Bit().constData(), stream);
    std::fflush(stream);
}

} // namespace

std::optional<int> TAVCommandLine::answerBeforeStart(const QStringList& arguments)
{
    Parser options;
    // Qt's own options are still in the list and count as unknown here; only
    // the two that end the program are looked at.
    options.parser.parse(arguments);
    if (options.parser.isSet(options.help) || options.parser.isSet(QStringLiteral("help-all"))) {
        // Without an application object the parser cannot name the program.
        const QString program = QFileInfo(arguments.value(0, TAVApplicationIdentity::folderName())).fileName();
        print(stdout, options.parser.helpText().replace(QStringLiteral("<executable_name>"), program));
        return 0;
    }
    if (options.parser.isSet(options.version)) {
        print(stdout,
            TAVApplicationIdentity::displayName() + QLatin1Char(' ') + QCoreApplication::applicationVersion()
                + QLatin1Char('\n'));
        return 0;
    }
    return std::nullopt;
}

std::optional<int> TAVCommandLine::refuseUnknownOptions(const QStringList& arguments)
{
    Parser options;
    if (options.parser.parse(arguments)) {
        return std::nullopt;
    }
    const QString program = arguments.isEmpty() ? TAVApplicationIdentity::folderName() : arguments.first();
    print(
        stderr, QStringLiteral("%1: %2\nTry '%1 --help' for the options.\n").arg(program, options.parser.errorText()));
    return 2;
}
