#include "session/stop_signals.h"

#include <qt_windows.h>

#include <csignal>
#include <mutex>

namespace {

std::mutex g_mutex;
StopSignals *g_instance = nullptr;

BOOL WINAPI consoleHandler(DWORD event)
{
    // Runs on a thread of its own: the request is handed to the object's thread, as the POSIX signal it stands for.
    {
        const std::lock_guard lock(g_mutex);
        if (!g_instance)
            return FALSE;
        const int signal = event == CTRL_C_EVENT ? SIGINT : SIGTERM;
        StopSignals *instance = g_instance;
        QMetaObject::invokeMethod(
            instance, [instance, signal] { Q_EMIT instance->stopRequested(signal); }, Qt::QueuedConnection);
    }
    // For a closed console, a log-off or a shut-down, Windows ends the process as soon as this returns: wait, so the
    // main thread closes the board and returns from main, which ends the process with its own exit code.
    if (event == CTRL_CLOSE_EVENT || event == CTRL_LOGOFF_EVENT || event == CTRL_SHUTDOWN_EVENT)
        Sleep(INFINITE);
    return TRUE;
}

} // namespace

StopSignals::StopSignals(QObject *parent)
    : QObject(parent)
{
    const std::lock_guard lock(g_mutex);
    g_instance = this;
    SetConsoleCtrlHandler(consoleHandler, TRUE);
}

StopSignals::~StopSignals()
{
    SetConsoleCtrlHandler(consoleHandler, FALSE);
    const std::lock_guard lock(g_mutex);
    g_instance = nullptr;
}

void StopSignals::readSignal() {}
