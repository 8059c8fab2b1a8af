#include "network/login_name.h"

#include <QByteArray>
#include <QFile>

#include <pwd.h>
#include <unistd.h>

#include <vector>

QString systemLoginName()
{
    long size = ::sysconf(_SC_GETPW_R_SIZE_MAX);
    std::vector<char> buffer(std::size_t(size > 0 ? size : 16384));
    passwd entry{};
    passwd *found = nullptr;
    if (::getpwuid_r(::geteuid(), &entry, buffer.data(), buffer.size(), &found) != 0 || !found || !found->pw_name)
        return QString();
    return QFile::decodeName(QByteArray(found->pw_name));
}
