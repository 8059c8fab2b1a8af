#include "windows/communications/form_communications.h"

#include "device/board_commands.h"
#include "host/board_host.h"
#include "host/program_journal.h"
#include "records/journal_files.h"
#include "session/board_session.h"
#include "session/poller.h"
#include "windows/communications/command_box_history.h"
#include "windows/communications/device_list.h"
#include "windows/communications/log_view.h"
#include "windows/control_names.h"
#include "windows/dialogs.h"
#include "windows/twips.h"
#include "windows/workspace.h"

#include <QAction>
#include <QDesktopServices>
#include <QDir>
#include <QFileInfo>
#include <QGroupBox>
#include <QKeyEvent>
#include <QLineEdit>
#include <QPushButton>
#include <QSettings>
#include <QUrl>

#include <array>

namespace {

const QString kIncludeTimesKey = QStringLiteral("log/includeTimes");

struct ButtonSpec {
    const char *name;
    const char *caption;
    int left, top, width, height;
    void (formCommunications::*handler)();
};

// The buttons of the "Device Selection" frame, positions in twips within the frame.
const std::array<ButtonSpec, 5> kButtons{{
    {"rescanDevices", "Re-Scan Devices", 240, 1560, 2895, 375, &formCommunications::rescanDevices_Click},
    {"LedOn", "Led On", 3600, 360, 1215, 372, &formCommunications::LedOn_Click},
    {"LedOff", "Led Off", 3600, 960, 1215, 372, &formCommunications::LedOff_Click},
    {"IdRequest", "Identity", 5280, 360, 1215, 375, &formCommunications::IdRequest_Click},
    {"Reset", "Reset", 5280, 960, 1215, 372, &formCommunications::Reset_Click},
}};

QGroupBox *makeFrame(QWidget *parent, const char *name, const char *caption, QRect geometry)
{
    auto *frame = new QGroupBox(QString::fromLatin1(caption), parent);
    nameControl(frame, QString::fromLatin1(name));
    frame->setGeometry(geometry);
    return frame;
}

} // namespace

formCommunications::formCommunications(Workspace &workspace, QWidget *parent)
    : ChildWindow(workspace, kView, parent)
{
    setObjectName(QStringLiteral("formCommunications"));
    setWindowTitle(QStringLiteral("Communications"));
    setFixedSize(twipsSize(7680, 6900));
    buildControls();

    BoardSession &session = workspace.session();
    m_logLines = session.events().subscribe(
        [this](const SessionEvent &event) {
            // Shared, not copied: a board can send a million lines a second.
            if (event.textString)
                m_logbox->appendLine(*event.textString, event.stamp.wallMs);
            else
                m_logbox->appendLine(event.text.toString(), event.stamp.wallMs);
        },
        eventKinds({SessionEvent::Kind::LogLine}));
    m_polling = session.wantPolling(Poller::kDefaultInterval, QStringLiteral("communications window"));

    // A new window starts with no partial line.
    session.pendingLine.clear();

    // Load.
    ScanDevices();
}

formCommunications::~formCommunications() = default;

void formCommunications::buildControls()
{
    m_deviceSelectionFrame =
        makeFrame(this, "DeviceSelectionFrame", "Device Selection", twipsRect(120, 120, 7455, 2175));
    m_devicesList = new DeviceList(m_deviceSelectionFrame);
    nameControl(m_devicesList, QStringLiteral("DevicesList"), QStringLiteral("Devices"));
    m_devicesList->setToolTip(QStringLiteral("Select a device to talk to"));
    m_devicesList->setGeometry(twipsRect(240, 360, 2895, 1035));
    connect(m_devicesList, &DeviceList::entryChosen, this, &formCommunications::DevicesList_Click);

    QHash<QString, QPushButton *> buttons;
    for (const ButtonSpec &spec : kButtons) {
        auto *button = new QPushButton(QString::fromLatin1(spec.caption), m_deviceSelectionFrame);
        nameControl(button, QString::fromLatin1(spec.name));
        button->setGeometry(twipsRect(spec.left, spec.top, spec.width, spec.height));
        button->setAutoDefault(false);
        connect(button, &QPushButton::clicked, this, spec.handler);
        buttons.insert(button->objectName(), button);
    }

    m_loggingFrame = makeFrame(this, "Frame5", "Communications Logging", twipsRect(120, 2400, 7455, 3255));
    m_logbox = new LogView(m_loggingFrame);
    nameControl(m_logbox, QStringLiteral("Logbox"), QStringLiteral("Communications log"));
    m_logbox->setGeometry(twipsRect(240, 360, 6975, 2655));
    connect(m_logbox, &LogView::saveRequested, this, &formCommunications::saveLog);
    auto *keepJournal = new QAction(QStringLiteral("Keep &Journal"), this);
    keepJournal->setObjectName(QStringLiteral("keepJournal"));
    keepJournal->setCheckable(true);
    connect(keepJournal, &QAction::triggered, this,
            [this](bool keep) { keepProgramJournal(workspace().host(), keep); });
    auto *openJournal = new QAction(QStringLiteral("Open Journal &Folder"), this);
    openJournal->setObjectName(QStringLiteral("openJournalFolder"));
    connect(openJournal, &QAction::triggered, this, &formCommunications::openJournalFolder);
    connect(m_logbox, &LogView::contextMenuShown, this,
            [this, keepJournal] { keepJournal->setChecked(workspace().host().isJournalKept()); });
    m_logbox->addContextAction(keepJournal);
    m_logbox->addContextAction(openJournal);

    m_commandFrame = makeFrame(this, "Frame4", "Imediate Command Input", twipsRect(120, 5760, 7455, 975));
    m_command = new QLineEdit(m_commandFrame);
    nameControl(m_command, QStringLiteral("command"), QStringLiteral("Command"));
    m_command->setGeometry(twipsRect(240, 360, 6975, 375));
    m_command->installEventFilter(this);
    // The search line opens just under the command box, over the frame's lower edge.
    m_commandHistory = new CommandBoxHistory(m_command, this, twipsRect(360, 6510, 6975, 375));

    // Tab order: the log first, so it holds the focus when the window opens.
    const QList<QWidget *> order{m_logbox,
                                 m_devicesList,
                                 buttons.value(QStringLiteral("IdRequest")),
                                 buttons.value(QStringLiteral("Reset")),
                                 buttons.value(QStringLiteral("LedOff")),
                                 buttons.value(QStringLiteral("LedOn")),
                                 m_command,
                                 buttons.value(QStringLiteral("rescanDevices"))};
    for (qsizetype i = 0; i + 1 < order.size(); ++i)
        setTabOrder(order[i], order[i + 1]);
    m_logbox->setFocus();
}

void formCommunications::ScanDevices()
{
    const QStringList serials = workspace().host().scan();
    m_devicesList->clear();
    if (serials.isEmpty())
        m_devicesList->addItem(QStringLiteral("No devices found."));
    else
        m_devicesList->addItems(serials);
    m_devicesList->setCurrentRow(-1);
}

void formCommunications::DevicesList_Click()
{
    // "No devices found." is position 0 too: a board attached since the scan is opened, and with none the open
    // fails and says so.
    workspace().host().select(std::max(0, m_devicesList->currentRow()));
}

void formCommunications::command_KeyDown(int KeyCode)
{
    if (KeyCode != 13)
        return;
    const QString text = m_command->text();
    workspace().session().sendTyped(text);
    m_commandHistory->sent(text);
}

bool formCommunications::eventFilter(QObject *watched, QEvent *event)
{
    if (watched == m_command && event->type() == QEvent::KeyPress) {
        const auto *key = static_cast<QKeyEvent *>(event);
        // The main and the keypad Enter key both have key code 13; Shift, Ctrl and Alt do not matter.
        if (key->key() == Qt::Key_Return || key->key() == Qt::Key_Enter) {
            command_KeyDown(13);
            return true;
        }
    }
    return QWidget::eventFilter(watched, event);
}

void formCommunications::send(const QString &command)
{
    workspace().session().send(command);
}

Poller *formCommunications::TimerBackgound() const
{
    return &workspace().session().poller();
}

void formCommunications::saveLog()
{
    Dialogs &dialogs = workspace().dialogs();
    // Off unless chosen: the log's own lines are the file's default.
    bool withTimes = QSettings().value(kIncludeTimesKey, false).toBool();
    const QString path =
        dialogs.saveFileNameWithOption(this, QStringLiteral("Save Log As"), QStringLiteral("Log Files (*.log *.txt)"),
                                       QStringLiteral("Include times"), &withTimes);
    if (path.isEmpty())
        return;
    QSettings().setValue(kIncludeTimesKey, withTimes);
    QString error;
    if (!m_logbox->saveTo(path, &error, withTimes)) {
        dialogs.warn(
            this,
            QStringLiteral("The log could not be saved to \"%1\".\n\n%2").arg(QDir::toNativeSeparators(path), error));
    }
}

void formCommunications::openJournalFolder()
{
    // The board's own folder when it has one already, else the journal's.
    const QString folder = programJournalFolder(workspace().host());
    const QString board = journalBoardFolder(folder, workspace().session().selectedSerial());
    const QString shown = QFileInfo(board).isDir() ? board : folder;
    QDir().mkpath(shown);
    QDesktopServices::openUrl(QUrl::fromLocalFile(shown));
}

void formCommunications::rescanDevices_Click()
{
    ScanDevices();
}

void formCommunications::IdRequest_Click()
{
    send(identityCommand());
}

void formCommunications::LedOn_Click()
{
    send(ledCommand(true));
}

void formCommunications::LedOff_Click()
{
    send(ledCommand(false));
}

void formCommunications::Reset_Click()
{
    send(resetCommand());
}

void formCommunications::TimerBackgound_Timer()
{
    TimerBackgound()->pollNow();
}

void formCommunications::closing()
{
    // The board stays open; this window no longer asks for its polling.
    m_polling.reset();
    m_logLines.reset();
}
