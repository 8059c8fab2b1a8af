#include "files/folder_access.h"

#include <QTemporaryFile>

#include <windows.h>

bool refusesNewFiles(const QString &folder)
{
    QTemporaryFile probe(folder + QStringLiteral("/.vantrel-probe-XXXXXX"));
    if (probe.open())
        return false;
    const DWORD error = ::GetLastError();
    return error == ERROR_ACCESS_DENIED || error == ERROR_WRITE_PROTECT;
}
