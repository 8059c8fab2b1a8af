#pragma once

#include <QString>

// Why others than the user running the test could reach `path`, or an empty text when none can: POSIX, mode 0700
// for a folder and 0600 for a file; Windows, an access list whose one entry is the user's (protected from the
// folders above, for a folder).
QString othersMayReach(const QString &path, bool folder);

// False where the system takes access lists and modes but does not keep them (Wine, on folders).
bool accessIsKeptOnDisk();
