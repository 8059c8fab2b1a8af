#pragma once

#include <QString>

// True when `folder` refuses a new file for lack of rights: no write permission on it (EACCES), or an
// operation it does not permit at all (EPERM: an immutable folder, some network shares). A full disk or a missing
// folder is no refusal. Probes by making a file there, removed again at once.
bool refusesNewFiles(const QString &folder);
