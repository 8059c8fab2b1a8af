#pragma once

#include <QString>

// Keeps a file or folder we own to the user who runs the program. POSIX: mode 0700 for a folder, 0600 for a file.
// Windows has no such modes: the folder gets an access list of its own (not inherited from above it) that gives the
// user alone full control, which the files made in it inherit. False when the system refused.
bool keepToOwner(const QString &path, bool folder);
