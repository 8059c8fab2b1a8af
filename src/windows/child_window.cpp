#include "windows/child_window.h"

#include "windows/workspace.h"

#include <QCloseEvent>

ChildWindow::ChildWindow(Workspace &workspace, View view, QWidget *parent)
    : QWidget(parent)
    , m_workspace(workspace)
    , m_view(view)
{
    // Opaque: a change inside the window repaints the window, never the frame and title bar around it.
    setAutoFillBackground(true);
}

void ChildWindow::closeEvent(QCloseEvent *event)
{
    if (!queryClose()) {
        event->ignore();
        return;
    }
    m_workspace.viewClosed(m_view);
    m_closing = true;
    closing();
    event->accept();
}
