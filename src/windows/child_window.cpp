#include "windows/child_window.h"

#include "windows/workspace.h"

#include <QCloseEvent>
#include <QSettings>

#include <utility>

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
    // A maximized window that closes leaves the others as they were: the workspace would otherwise show the next
    // one maximized, without its title bar when its frame has no maximize button.
    if (QWidget *frame = parentWidget(); frame && frame->isMaximized())
        frame->showNormal();
    m_workspace.viewClosed(m_view);
    m_closing = true;
    closing();
    event->accept();
}

void ChildWindow::placeFromSettings(const QString &key)
{
    if (std::exchange(m_placed, true))
        return;
    const QRect saved = QSettings().value(key).toRect();
    QWidget *frame = parentWidget();
    if (frame && saved.isValid() && saved.width() <= 10'000 && saved.height() <= 10'000)
        frame->setGeometry(saved);
}

void ChildWindow::keepPlaceInSettings(const QString &key) const
{
    if (const QWidget *frame = parentWidget())
        QSettings().setValue(key, frame->geometry());
}
