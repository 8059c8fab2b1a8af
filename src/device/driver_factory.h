#pragma once

#include <QString>
#include <QStringList>

#include <memory>
#include <optional>

class Driver;

// Mqtt (boards served by a bridge on a broker) is made by the network layer, and Replay (a journal played back) by
// the replay layer, not by makeDriver().
enum class DriverKind { Auto, D2xx, Serial, Demo, Mqtt, Replay };

// "auto", "d2xx", "serial", "demo", "mqtt" or "replay"; nothing for any other name.
std::optional<DriverKind> parseDriverKind(const QString &name);

struct DriverChoice {
    std::unique_ptr<Driver> driver;
    // One line for the operator when the chosen backend cannot work (for example a missing vendor library);
    // empty when all is well.
    QString notice;
    // A server behind the backend (a broker) refused it for a reason that trying again cannot change: the notice
    // says which; the driver lists nothing.
    bool refused = false;
};

// Builds the backend. Auto takes the vendor library when it loads, else the operating system's serial driver.
// `extraPorts` are serial port names listed after the FTDI ports (serial backend only).
DriverChoice makeDriver(DriverKind kind, const QStringList &extraPorts = {});
