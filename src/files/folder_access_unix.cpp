#include "files/folder_access.h"

#include <QFile>

#include <cerrno>
#include <cstdlib>
#include <unistd.h>

bool refusesNewFiles(const QString &folder)
{
    QByteArray name = QFile::encodeName(folder) + "/.vantrel-probe-XXXXXX";
    const int fd = ::mkstemp(name.data());
    if (fd >= 0) {
        ::close(fd);
        ::unlink(name.constData());
        return false;
    }
    return errno == EACCES || errno == EPERM;
}
