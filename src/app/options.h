#pragma once

#include "device/driver_factory.h"

#include <QStringList>

// What the command line asks for.
struct Options {
    DriverKind driver = DriverKind::Auto;
    QStringList ports;
};

// Parses the arguments. --help and --version print and exit with 0; a usage error prints one line and the
// usage on stderr and exits with 2.
Options parseOptions(const QStringList &arguments);
