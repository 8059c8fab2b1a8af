#include "device/driver_options.h"

#include <QCommandLineParser>

void DriverOptions::addTo(QCommandLineParser &parser) const
{
    parser.addOptions({m_driver, m_demo, m_port});
}

std::optional<DriverOptions::Choice> DriverOptions::read(const QCommandLineParser &parser, QString *error) const
{
    Choice choice;
    const QString name = parser.value(m_driver);
    const std::optional<DriverKind> kind = parseDriverKind(name);
    if (!kind) {
        *error = QStringLiteral("unknown driver \"%1\": use auto, d2xx, serial, demo, mqtt or replay").arg(name);
        return std::nullopt;
    }
    choice.kind = *kind;
    if (parser.isSet(m_demo)) {
        if (parser.isSet(m_driver) && choice.kind != DriverKind::Demo) {
            *error = QStringLiteral("--demo contradicts --driver=%1").arg(name);
            return std::nullopt;
        }
        choice.kind = DriverKind::Demo;
    }
    choice.ports = parser.values(m_port);
    return choice;
}
