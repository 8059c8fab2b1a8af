#include "cli/console.h"

#include <csignal>

void prepareConsole()
{
    std::signal(SIGPIPE, SIG_IGN);
    std::signal(SIGXFSZ, SIG_IGN);
}
