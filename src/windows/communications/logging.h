#pragma once

#include <QString>

class Workspace;

// The log writer: appends one line (CR LF is added) at the very end of the communications log, whatever the
// operator has selected there. Creates the communications window when it does not exist; it then becomes
// visible with its View item unchecked. Does not run other events: the line is painted when the caller returns.
void LogLine(Workspace &workspace, const QString &text);
