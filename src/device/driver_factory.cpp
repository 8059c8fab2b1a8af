#include "device/driver_factory.h"

#include "device/d2xx_driver.h"
#include "device/demo_driver.h"
#include "device/serial_driver.h"

std::optional<DriverKind> parseDriverKind(const QString &name)
{
    if (name == QLatin1String("auto"))
        return DriverKind::Auto;
    if (name == QLatin1String("d2xx"))
        return DriverKind::D2xx;
    if (name == QLatin1String("serial"))
        return DriverKind::Serial;
    if (name == QLatin1String("demo"))
        return DriverKind::Demo;
    if (name == QLatin1String("mqtt"))
        return DriverKind::Mqtt;
    if (name == QLatin1String("replay"))
        return DriverKind::Replay;
    return std::nullopt;
}

DriverChoice makeDriver(DriverKind kind, const QStringList &extraPorts)
{
    DriverChoice choice;
    switch (kind) {
    case DriverKind::Demo:
        choice.driver = std::make_unique<DemoDriver>();
        break;
    case DriverKind::D2xx: {
        auto d2xx = std::make_unique<D2xxDriver>();
        choice.notice = d2xx->loadError();
        choice.driver = std::move(d2xx);
        break;
    }
    case DriverKind::Auto: {
        auto d2xx = std::make_unique<D2xxDriver>();
        if (d2xx->isLoaded()) {
            choice.driver = std::move(d2xx);
            break;
        }
        choice.driver = std::make_unique<SerialDriver>(extraPorts);
        break;
    }
    case DriverKind::Serial:
    case DriverKind::Mqtt: // not made here; the serial driver keeps a caller that asks anyway working
    case DriverKind::Replay:
        choice.driver = std::make_unique<SerialDriver>(extraPorts);
        break;
    }
    return choice;
}
