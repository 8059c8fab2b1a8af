#pragma once

#include "windows/views.h"

#include <QWidget>

class Workspace;

// What every child window of the main window shares: the workspace it lives in, and a close that unticks its View
// item and clears its view flag. A window may refuse its close (queryClose()); once it has accepted, it is on
// its way out and no longer handed out.
class ChildWindow : public QWidget
{
    Q_OBJECT

public:
    ChildWindow(Workspace &workspace, View view, QWidget *parent = nullptr);

    View view() const { return m_view; }
    bool isClosing() const { return m_closing; }

    // The main window set the window's view flag: 1 while it is shown through its View item, else 0.
    virtual void viewFlagChanged(bool shown) { Q_UNUSED(shown); }

protected:
    Workspace &workspace() const { return m_workspace; }

    // Whether the window may close now; false keeps it open with its View item and flag as they are.
    virtual bool queryClose() { return true; }
    // Runs once the close has been accepted, after the View item and flag are cleared.
    virtual void closing() {}

    void closeEvent(QCloseEvent *event) override;

    // For windows kept out of the layout file: their frame's place in the program's settings under `key`.
    // placeFromSettings() acts once, at the first show; a stored place that is absurd is ignored.
    void placeFromSettings(const QString &key);
    void keepPlaceInSettings(const QString &key) const;

private:
    Workspace &m_workspace;
    View m_view;
    bool m_closing = false;
    bool m_placed = false;
};
