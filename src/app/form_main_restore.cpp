// Restore at start: the desk as the last run left it (DeskMemory), and the log brought forward when it names a
// recovered script.
#include "app/desk_memory.h"
#include "app/form_main.h"

#include "windows/communications/device_list.h"
#include "windows/communications/form_communications.h"
#include "windows/replay/form_replay.h"
#include "windows/scripting/form_scripting.h"

#include <QFileInfo>
#include <QMdiArea>
#include <QMdiSubWindow>

void formMain::rememberDesk()
{
    if (!m_remembersDesk)
        return;
    DeskMemory memory;
    BoardSession &foreground = session();
    // Only what the board selected was told: the set-up may still hold what an earlier board was told.
    if (foreground.holdsBoard()) {
        memory.board = foreground.serial();
        memory.takeSetup(foreground.toldSinceSelection());
    }
    if (const formScripting *editor = existingView<formScripting>()) {
        const QFileInfo script(editor->windowTitle());
        if (editor->windowTitle() != QLatin1String(kUntitledScript) && script.isFile())
            memory.script = script.absoluteFilePath();
    }
    keepDeskMemory(memory);
}

void formMain::restoreDesk(bool reopenScript)
{
    const DeskMemory memory = readDeskMemory();
    if (!memory.board.isEmpty())
        selectRememberedBoard(memory);
    // The file as it is on disk: unsaved text of last time is in a recovery file, named in the log.
    if (reopenScript && !memory.script.isEmpty() && QFileInfo(memory.script).isFile())
        openScriptFile(memory.script);
}

void formMain::selectRememberedBoard(const DeskMemory &memory)
{
    if (!selectBoard(memory.board))
        return;
    BoardSession &foreground = session();
    if (foreground.serial() != memory.board || foreground.handle() <= 0)
        return;
    for (int channel : memory.tickedChannels)
        foreground.setChannelTicked(channel, true);
    for (int pin : memory.monitoredPins)
        foreground.setPinMonitored(pin, true);
    // Outputs are never driven at start: a fixture may have changed since.
    if (const QString outputs = outputsNotRestoredText(memory); !outputs.isEmpty())
        setStatusText(outputs);
}

bool formMain::selectBoard(const QString &serial)
{
    // Selected as a click on it in the device list selects it; a board not attached now is left alone.
    if (formCommunications *com = existingView<formCommunications>()) {
        com->ScanDevices();
        const QList<QListWidgetItem *> found = com->DevicesList()->findItems(serial, Qt::MatchExactly);
        if (found.isEmpty())
            return false;
        com->DevicesList()->setCurrentItem(found.constFirst());
        com->DevicesList_Click();
        return true;
    }
    const qsizetype position = m_host.scan().indexOf(serial);
    if (position < 0)
        return false;
    m_host.select(std::int32_t(position));
    return true;
}

void formMain::showReplay()
{
    // The first board played back is shown unless the desk of last time chose one of the others.
    if (!session().holdsBoard()) {
        const QStringList boards = m_host.scan();
        if (!boards.isEmpty())
            selectBoard(boards.first());
    }
    showView(formReplay::kView);
}

void formMain::bringRecoveryToFront()
{
    if (!m_recoveryReported)
        return;
    if (QMdiSubWindow *frame = subWindowOf(existingChild(formCommunications::kView)); frame && !frame->isHidden()) {
        m_mdiArea->setActiveSubWindow(frame);
        frame->raise();
    }
}
