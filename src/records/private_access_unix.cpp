#include "records/private_access.h"

#include <QFile>

bool keepToOwner(const QString &path, bool folder)
{
    const QFileDevice::Permissions owner = QFileDevice::ReadOwner | QFileDevice::WriteOwner;
    return QFile::setPermissions(path, folder ? owner | QFileDevice::ExeOwner : owner);
}
