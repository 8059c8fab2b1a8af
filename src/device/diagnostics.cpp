#include "device/diagnostics.h"

#include <cstdio>
#include <cstring>

Q_LOGGING_CATEGORY(lcDevice, "vantrel.device")

namespace {

const char *g_program = "vantrel";
QtMessageHandler g_previous = nullptr;

void handleMessage(QtMsgType type, const QMessageLogContext &context, const QString &message)
{
    if (context.category && std::strncmp(context.category, "vantrel.", 8) == 0) {
        std::fprintf(stderr, "%s: %s\n", g_program, message.toUtf8().constData());
        std::fflush(stderr);
        return;
    }
    if (g_previous)
        g_previous(type, context, message);
}

} // namespace

void printDiagnosticsAs(const char *program)
{
    g_program = program;
    QtMessageHandler previous = qInstallMessageHandler(handleMessage);
    if (previous != handleMessage)
        g_previous = previous;
}
