#pragma once

#include "windows/views.h"

#include <QString>

class BoardSession;
class Dialogs;
class TrendHistory;

// What a child window may ask of the main window that holds it. Windows reach the board only through the session
// and one another only through these services; none of them knows another window's class.
class Workspace
{
public:
    virtual ~Workspace() = default;

    virtual BoardSession &session() = 0;
    virtual Dialogs &dialogs() = 0;
    // Every analog reading of the session, kept whether a trend window exists or not.
    virtual TrendHistory &trendHistory() = 0;

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

    // The session's journal: whether it is being kept, keeping it or not (remembered in the program's settings;
    // turning it on again retries after a failure), and the folder it is kept in.
    virtual bool isJournalKept() const = 0;
    virtual void keepJournal(bool keep) = 0;
    virtual QString journalFolder() const = 0;
};
