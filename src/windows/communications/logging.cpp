#include "windows/communications/logging.h"

#include "windows/communications/form_communications.h"
#include "windows/communications/log_view.h"
#include "windows/workspace.h"

void LogLine(Workspace &workspace, const QString &text)
{
    workspace.communications()->Logbox()->appendLine(text);
}
