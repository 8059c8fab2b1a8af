#pragma once

#include <QLoggingCategory>

// Problems of the driver layer that the operator should hear about (a port that may not be opened, a vendor
// library that does not load). Front ends decide where warnings go; by default they reach stderr.
Q_DECLARE_LOGGING_CATEGORY(lcDevice)

// Prints the program's own warnings (categories "vantrel.*") on stderr as one line each, "program: message";
// everything else goes on as before.
void printDiagnosticsAs(const char *program);
