#include "CommandLine.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <cstdio>

std::optional<int> CommandLine::Answer(int argc, char* argv[])
{
    QStringList arguments;
    for (int i = 0; i < argc; ++i)
        arguments << QString::fromLocal8Bit(argv[i]);
    QCommandLineParser parser;
    parser.setApplicationDescription(
        QStringLiteral("Sets the computer's clock from a public time server.\n"
                       "Qt's own options, such as -platform and -style, are also accepted."));
    // -platform is one of Qt's options, not -p -l -a ...
    parser.setSingleDashWordOptionMode(QCommandLineParser::ParseAsLongOptions);
    const QCommandLineOption help({QStringLiteral("h"), QStringLiteral("help")},
                                  QStringLiteral("Show this help and exit."));
    const QCommandLineOption version({QStringLiteral("v"), QStringLiteral("version")},
                                     QStringLiteral("Show the version and exit."));
    parser.addOptions({help, version});
    // Qt's options are not known yet: they count as unknown here, and ours
    // are found all the same.
    parser.parse(arguments);
    if (parser.isSet(help)) {
        // Names the program in the usage line as it was started.
        const QCoreApplication app(argc, argv);
        std::fputs(parser.helpText().toLocal8Bit().constData(), stdout);
        return 0;
    }
    if (parser.isSet(version)) {
        std::puts("quorvane " QUORVANE_VERSION);
        return 0;
    }
    // Without a display (over SSH) Qt would end the program before anything
    // could tell its options from a mistake; none of them helps there anyway.
    const bool display = qEnvironmentVariableIsSet("DISPLAY") ||
                         qEnvironmentVariableIsSet("WAYLAND_DISPLAY") ||
                         qEnvironmentVariableIsSet("QT_QPA_PLATFORM") ||
                         arguments.contains(QStringLiteral("-platform"));
    return display ? std::nullopt : Reject(arguments);
}

std::optional<int> CommandLine::Reject(const QStringList& arguments)
{
    if (arguments.size() < 2)
        return std::nullopt;
    std::fprintf(stderr, "quorvane: unknown argument '%s'; run 'quorvane --help' for the options\n",
                 arguments.at(1).toLocal8Bit().constData());
    return 2;
}
