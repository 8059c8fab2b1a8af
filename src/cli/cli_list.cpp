#include "cli/cli_commands.h"

int CliList::run()
{
    const QStringList serials = m_context.host().scan();
    for (const QString &serial : serials)
        m_context.records().line(serial.toUtf8());
    if (serials.isEmpty()) {
        m_context.error(QStringLiteral("no boards found"));
        return m_context.finish(kExitNoBoard);
    }
    return m_context.finish(kExitOk);
}
