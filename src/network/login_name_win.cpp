#include "network/login_name.h"

#include <windows.h>

#include <iterator>

QString systemLoginName()
{
    wchar_t name[257] = {};
    DWORD size = DWORD(std::size(name));
    if (!::GetUserNameW(name, &size) || size == 0)
        return QString();
    return QString::fromWCharArray(name, int(size - 1));
}
