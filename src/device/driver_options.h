#pragma once

#include "device/driver_factory.h"

#include <QCommandLineOption>
#include <QString>
#include <QStringList>

#include <optional>

class QCommandLineParser;

// The options that choose how boards are reached, shared by every executable: --driver=NAME, --demo and --port.
class DriverOptions
{
public:
    // Adds the options to `parser`.
    void addTo(QCommandLineParser &parser) const;

    struct Choice {
        DriverKind kind = DriverKind::Auto;
        QStringList ports;
    };
    // What a parsed command line chose, or nothing with `*error` set to one line saying which option was wrong.
    std::optional<Choice> read(const QCommandLineParser &parser, QString *error) const;

private:
    QCommandLineOption m_driver{QStringLiteral("driver"),
                                QStringLiteral("How boards are reached: auto (the D2XX library when it loads, "
                                               "else the serial driver), d2xx, serial, demo (two simulated "
                                               "boards), mqtt (the boards a bridge serves on --broker) or replay (the "
                                               "journal in --journal played back)."),
                                QStringLiteral("name"), QStringLiteral("auto")};
    QCommandLineOption m_demo{QStringLiteral("demo"), QStringLiteral("Short for --driver=demo.")};
    QCommandLineOption m_port{QStringLiteral("port"),
                              QStringLiteral("Also list this serial port (for example /dev/ttyACM0 or COM7) as a "
                                             "device, after the FTDI ports; serial driver only. May be given more "
                                             "than once."),
                              QStringLiteral("name")};
};
