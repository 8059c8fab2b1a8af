#include "app/options.h"

#include <QCommandLineParser>
#include <QCoreApplication>

#include <cstdio>
#include <cstdlib>

namespace {

[[noreturn]] void usageError(const QCommandLineParser &parser, const QString &message)
{
    std::fprintf(stderr, "vantrel-control: %s\n\n%s", qPrintable(message), qPrintable(parser.helpText()));
    std::exit(2);
}

} // namespace

Options parseOptions(const QStringList &arguments)
{
    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral("Test and demo console for the Vantrel USB I/O board."));
    const QCommandLineOption helpOption = parser.addHelpOption();
    const QCommandLineOption versionOption = parser.addVersionOption();
    const QCommandLineOption driverOption(
        QStringLiteral("driver"),
        QStringLiteral("How boards are reached: auto (the D2XX library when it loads, else the serial driver), "
                       "d2xx, serial or demo (two simulated boards)."),
        QStringLiteral("name"), QStringLiteral("auto"));
    const QCommandLineOption demoOption(QStringLiteral("demo"), QStringLiteral("Short for --driver=demo."));
    const QCommandLineOption portOption(
        QStringLiteral("port"),
        QStringLiteral("Also list this serial port (for example /dev/ttyACM0 or COM7) as a device, after the "
                       "FTDI ports; serial driver only. May be given more than once."),
        QStringLiteral("name"));
    parser.addOptions({driverOption, demoOption, portOption});

    if (!parser.parse(arguments))
        usageError(parser, parser.errorText());
    if (parser.isSet(helpOption))
        parser.showHelp(0);
    if (parser.isSet(versionOption))
        parser.showVersion();
    if (!parser.positionalArguments().isEmpty())
        usageError(parser, QStringLiteral("unexpected argument: %1").arg(parser.positionalArguments().first()));

    Options options;
    const QString driverName = parser.value(driverOption);
    const std::optional<DriverKind> kind = parseDriverKind(driverName);
    if (!kind)
        usageError(parser, QStringLiteral("unknown driver \"%1\": use auto, d2xx, serial or demo").arg(driverName));
    options.driver = *kind;
    if (parser.isSet(demoOption)) {
        if (parser.isSet(driverOption) && options.driver != DriverKind::Demo)
            usageError(parser, QStringLiteral("--demo contradicts --driver=%1").arg(driverName));
        options.driver = DriverKind::Demo;
    }
    options.ports = parser.values(portOption);
    return options;
}
