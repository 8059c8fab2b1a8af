// View > Arrange Windows: the visible child windows side by side, none over another.
#include "app/form_main.h"

#include "app/window_arrangement.h"

#include <QLayout>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QScreen>
#include <QScrollBar>

namespace {

bool holds(QSize area, QSize needed)
{
    return needed.width() <= area.width() && needed.height() <= area.height();
}

} // namespace

void formMain::arrangeWindows_Click()
{
    std::vector<QMdiSubWindow *> frames;
    std::vector<WindowToPlace> windows;
    for (const ViewSlot &slot : m_views) {
        QMdiSubWindow *frame = subWindowOf(existingChild(slot.spec->view));
        if (!frame || frame->isHidden() || frame->isMinimized())
            continue;
        if (frame->isMaximized())
            frame->showNormal();
        frames.push_back(frame);
        // The frame's own hint leaves out what its window's layout needs.
        const QSize decoration = frame->size() - frame->widget()->size();
        const QSize minimum = (frame->widget()->minimumSizeHint() + decoration)
                                  .expandedTo(frame->minimumSizeHint())
                                  .expandedTo(kSmallestResizable);
        windows.push_back({frame->size(), !slot.spec->fixedFrame, minimum});
    }
    QSize area = m_mdiArea->contentsRect().size();
    WindowArrangement arrangement = arrangeWindows(windows, area);
    if (!holds(area, arrangement.needed) && !isMaximized() && !isFullScreen() && screen()) {
        // Too small for them: first 90 % of the screen, centred on it.
        const QRect available = screen()->availableGeometry();
        const QSize margins = frameGeometry().size() - size();
        const QSize target = (available.size() * 0.9).expandedTo(frameGeometry().size());
        resize(target - margins);
        move(available.center() - QPoint(target.width() / 2, target.height() / 2));
        layout()->activate();
        area = m_mdiArea->contentsRect().size();
        arrangement = arrangeWindows(windows, area);
    }
    // Places are in the unscrolled workspace: scrolled, the scroll bars would carry the windows off when they go.
    m_mdiArea->horizontalScrollBar()->setValue(0);
    m_mdiArea->verticalScrollBar()->setValue(0);
    for (std::size_t i = 0; i < frames.size(); ++i) {
        if (windows[i].resizable)
            frames[i]->setGeometry(arrangement.places[i]);
        else
            frames[i]->move(arrangement.places[i].topLeft());
    }
}
