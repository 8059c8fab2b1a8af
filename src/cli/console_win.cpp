#include "cli/console.h"

#include <qt_windows.h>

void prepareConsole()
{
    SetConsoleOutputCP(CP_UTF8);
}
