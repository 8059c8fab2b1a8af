#include "files/user_folders.h"

#include <QSettings>
#include <QStandardPaths>

void useUserFolders()
{
    QSettings::setDefaultFormat(QSettings::IniFormat);
    QSettings::setPath(QSettings::IniFormat, QSettings::UserScope,
                       QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation));
}
