#pragma once

#include "windows/views.h"

#include <QString>

class BoardHost;
class BoardSession;
class Dialogs;
struct AppState;

// What a child window may ask of the main window that holds it. Windows reach the boards only through the host
// and its foreground session, and one another only through these services; none of them knows another window's
// class.
class Workspace
{
public:
    virtual ~Workspace() = default;

    // The boards open and what is kept of each.
    virtual BoardHost &host() = 0;
    // The board the windows work on (the host's foreground).
    virtual BoardSession &session() = 0;
    virtual Dialogs &dialogs() = 0;
    // The window program's record: view flags, the script's unsaved mark.
    virtual AppState &appState() = 0;

    // The log writer: appends one line (CR LF is added) at the very end of the communications log, whatever the
    // operator has selected there. Creates the communications window when it does not exist; it then becomes
    // visible with its View item unchecked. The line is painted when the caller returns.
    virtual void LogLine(const QString &text) = 0;

    // The check mark of a View item.
    virtual bool isViewChecked(View view) const = 0;
    // Shows a child window as its View item does: checked, shown, active, flag 1.
    virtual void showView(View view) = 0;
    // A child window has accepted its close: its View item is unchecked and its flag cleared.
    virtual void viewClosed(View view) = 0;

    // Panel 1 of the status bar.
    virtual void setStatusText(const QString &text) = 0;
};
