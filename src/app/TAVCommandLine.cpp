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

// Qt's own options, which the application object takes out of the list once
// it exists: those of the first list take the next argument as their value
// (or one joined by "=").
const QStringList kQtOptionsWithValue = {QStringLiteral("platform"), QStringLiteral("platformpluginpath"),
    QStringLiteral("platformtheme"), QStringLiteral("plugin"), QStringLiteral("qwindowgeometry"),
    QStringLiteral("geometry"), QStringLiteral("qwindowicon"), QStringLiteral("icon"), QStringLiteral("qwindowtitle"),
    QStringLiteral("title"), QStringLiteral("session"), QStringLiteral("style"), QStringLiteral("stylesheet"),
    QStringLiteral("display"), QStringLiteral("name"), QStringLiteral("visual")};
const QStringList kQtFlags = {QStringLiteral("reverse"), QStringLiteral("testability"), QStringLiteral("widgetcount"),
    QStringLiteral("dograb"), QStringLiteral("nograb"), QStringLiteral("qdevel"), QStringLiteral("qdebug"),
    QStringLiteral("qmljsdebugger")};

// The arguments without Qt's options, so that ours can be checked before
// the application object asks for a display.
QStringList withoutQtOptions(const QStringList& arguments)
{
    QStringList kept{arguments.value(0)};
    for (qsizetype i = 1; i < arguments.size(); ++i) {
        const QString& argument = arguments.at(i);
        if (argument == QLatin1String("--")) {
            kept << arguments.mid(i);
            break;
        }
        // Qt takes "--platform" as "-platform".
        const QString option = argument.startsWith(QLatin1String("--")) ? argument.mid(2) : argument.mid(1);
        if (!argument.startsWith(QLatin1Char('-')) || option.isEmpty()) {
            kept << argument;
            continue;
        }
        const QString name = option.section(QLatin1Char('='), 0, 0);
        if (kQtOptionsWithValue.contains(name)) {
            if (!option.contains(QLatin1Char('=')))
                ++i;
            continue;
        }
        if (!kQtFlags.contains(name))
            kept << argument;
    }
    return kept;
}

// Tells what the parser refused, with a hint; the program's exit code.
int refuse(const QStringList& arguments, const QCommandLineParser& parser)
{
    const QString program = arguments.isEmpty() ? TAVApplicationIdentity::folderName() : arguments.first();
    print(stderr, QStringLiteral("%1: %2\nTry '%1 --help' for the options.\n").arg(program, parser.errorText()));
    return 2;
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
    // An unknown option is answered here too: without a display the
    // application object would end the program before it could say so.
    Parser ours;
    if (!ours.parser.parse(withoutQtOptions(arguments)))
        return refuse(arguments, ours.parser);
    return std::nullopt;
}

std::optional<int> TAVCommandLine::refuseUnknownOptions(const QStringList& arguments)
{
    Parser options;
    if (options.parser.parse(arguments)) {
        return std::nullopt;
    }
    return refuse(arguments, options.parser);
}
