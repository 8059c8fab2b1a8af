#include "windows/alarms/form_alarms.h"

#include "host/board_host.h"
#include "windows/channels_dialog.h"
#include "windows/control_names.h"
#include "windows/workspace.h"

#include <QDateTime>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QPushButton>
#include <QTableWidget>
#include <QVBoxLayout>

#include <algorithm>

namespace {

const QStringList kActiveColumns{"Board", "Alarm", "Severity", "State", "Since"};
const QStringList kHistoryColumns{"Time", "Board", "Alarm", "Event", "Severity", "What was seen"};

QString timeText(qint64 wallMs)
{
    return QDateTime::fromMSecsSinceEpoch(wallMs).toString(QStringLiteral("yyyy-MM-dd HH:mm:ss.zzz"));
}

QString eventWord(SessionEvent::Kind kind)
{
    switch (kind) {
    case SessionEvent::Kind::AlarmRaised:
        return QStringLiteral("raised");
    case SessionEvent::Kind::AlarmAcknowledged:
        return QStringLiteral("acknowledged");
    default:
        return QStringLiteral("cleared");
    }
}

QTableWidget *makeTable(const QStringList &columns, const QString &name, const QString &accessibleName, QWidget *parent)
{
    auto *table = new QTableWidget(0, int(columns.size()), parent);
    nameControl(table, name, accessibleName);
    table->setHorizontalHeaderLabels(columns);
    table->verticalHeader()->hide();
    table->setSelectionBehavior(QAbstractItemView::SelectRows);
    table->setSelectionMode(QAbstractItemView::SingleSelection);
    table->setEditTriggers(QAbstractItemView::NoEditTriggers);
    table->horizontalHeader()->setSectionResizeMode(QHeaderView::ResizeToContents);
    table->horizontalHeader()->setStretchLastSection(true);
    return table;
}

void setRow(QTableWidget *table, int row, const QStringList &texts)
{
    for (int column = 0; column < texts.size(); ++column)
        table->setItem(row, column, new QTableWidgetItem(texts[column]));
}

} // namespace

formAlarms::formAlarms(Workspace &workspace, QWidget *parent)
    : ChildWindow(workspace, kView, parent)
{
    setObjectName(QStringLiteral("formAlarms"));
    setWindowTitle(QStringLiteral("Alarms"));
    buildControls();
    connect(&workspace.host(), &BoardHost::alarmsChanged, this, &formAlarms::refresh);
    connect(&workspace.host(), &BoardHost::boardsChanged, this, &formAlarms::refresh);
    m_clock.setInterval(1000);
    connect(&m_clock, &QTimer::timeout, this, &formAlarms::fillActive);
    m_clock.start();
    refresh();
}

void formAlarms::buildControls()
{
    m_active = makeTable(kActiveColumns, QStringLiteral("activeAlarms"), QStringLiteral("Active alarms"), this);
    m_history = makeTable(kHistoryColumns, QStringLiteral("alarmHistory"), QStringLiteral("Alarm history"), this);
    m_acknowledge = makeNamedButton(QStringLiteral("A&cknowledge"), "acknowledge", this);
    m_acknowledge->setToolTip(QStringLiteral("Acknowledge the alarm selected"));
    connect(m_acknowledge, &QPushButton::clicked, this, &formAlarms::acknowledgeSelected);
    m_acknowledgeAll = makeNamedButton(QStringLiteral("Acknowledge &All"), "acknowledgeAll", this);
    m_acknowledgeAll->setToolTip(QStringLiteral("Acknowledge every active alarm"));
    connect(m_acknowledgeAll, &QPushButton::clicked, this, &formAlarms::acknowledgeAll);
    m_channels = makeNamedButton(QStringLiteral("C&hannels..."), "channels", this);
    m_channels->setToolTip(QStringLiteral("The calibration and alarm rules of the board selected"));
    connect(m_channels, &QPushButton::clicked, this, &formAlarms::editChannels);

    auto *activeLabel = new QLabel(QStringLiteral("Acti&ve"), this);
    activeLabel->setBuddy(m_active);
    auto *historyLabel = new QLabel(QStringLiteral("&History"), this);
    historyLabel->setBuddy(m_history);
    auto *buttons = new QHBoxLayout;
    buttons->addWidget(m_acknowledge);
    buttons->addWidget(m_acknowledgeAll);
    buttons->addStretch(1);
    buttons->addWidget(m_channels);
    auto *layout = new QVBoxLayout(this);
    layout->addWidget(activeLabel);
    layout->addWidget(m_active, 1);
    layout->addLayout(buttons);
    layout->addWidget(historyLabel);
    layout->addWidget(m_history, 2);
    setTabOrder(m_active, m_acknowledge);
    setTabOrder(m_acknowledge, m_acknowledgeAll);
    setTabOrder(m_acknowledgeAll, m_channels);
    setTabOrder(m_channels, m_history);
}

QSize formAlarms::sizeHint() const
{
    const QFontMetrics metrics(font());
    return {metrics.horizontalAdvance(QStringLiteral("2026-12-09 17:03:56.930 DEMO0002 Supply low acknowledged "
                                                     "critical Supply 1.25 V below 4.75 V")) +
                80,
            metrics.height() * 24};
}

void formAlarms::refresh()
{
    fillActive();
    fillHistory();
    const bool any = m_active->rowCount() > 0;
    m_acknowledge->setEnabled(any);
    m_acknowledgeAll->setEnabled(any);
}

void formAlarms::fillActive()
{
    struct Row {
        QString board;
        const AlarmEngine::Alarm *alarm;
    };
    std::vector<Row> rows;
    BoardHost &host = workspace().host();
    for (const QString &serial : host.knownBoards()) {
        for (const AlarmEngine::Alarm &alarm : host.board(serial).alarms.alarms()) {
            if (alarm.active)
                rows.push_back({serial, &alarm});
        }
    }
    // Those still to be acknowledged first, the gravest first, then the oldest.
    std::stable_sort(rows.begin(), rows.end(), [](const Row &a, const Row &b) {
        return std::tuple(a.alarm->acknowledged, -int(a.alarm->rule.severity), a.alarm->raisedWallMs) <
               std::tuple(b.alarm->acknowledged, -int(b.alarm->rule.severity), b.alarm->raisedWallMs);
    });
    const QString selected = m_active->currentRow() >= 0 && m_active->item(m_active->currentRow(), AlarmColumn)
                                 ? m_active->item(m_active->currentRow(), AlarmColumn)->text()
                                 : QString();
    m_active->setRowCount(int(rows.size()));
    for (int row = 0; row < int(rows.size()); ++row) {
        const AlarmEngine::Alarm &alarm = *rows[std::size_t(row)].alarm;
        const QString state = alarm.acknowledged  ? QStringLiteral("acknowledged")
                              : alarm.sinceMs < 0 ? QStringLiteral("raised (condition gone)")
                                                  : QStringLiteral("raised");
        setRow(m_active, row,
               {rows[std::size_t(row)].board, alarm.rule.name, severityName(alarm.rule.severity), state,
                timeText(alarm.raisedWallMs)});
        if (alarm.rule.name == selected)
            m_active->setCurrentCell(row, AlarmColumn);
    }
}

void formAlarms::fillHistory()
{
    struct Row {
        QString board;
        const AlarmEngine::Record *record;
    };
    std::vector<Row> rows;
    BoardHost &host = workspace().host();
    for (const QString &serial : host.knownBoards()) {
        // Newest first, so that events of one moment keep their order too.
        const std::deque<AlarmEngine::Record> &history = host.board(serial).alarms.history();
        for (auto record = history.rbegin(); record != history.rend(); ++record)
            rows.push_back({serial, &*record});
    }
    std::stable_sort(rows.begin(), rows.end(),
                     [](const Row &a, const Row &b) { return a.record->stamp.wallMs > b.record->stamp.wallMs; });
    if (rows.size() > std::size_t(kHistoryRows))
        rows.resize(std::size_t(kHistoryRows));
    m_history->setRowCount(int(rows.size()));
    for (int row = 0; row < int(rows.size()); ++row) {
        const AlarmEngine::Record &record = *rows[std::size_t(row)].record;
        setRow(m_history, row,
               {timeText(record.stamp.wallMs), rows[std::size_t(row)].board, record.name, eventWord(record.kind),
                severityName(record.severity), record.detail});
    }
}

void formAlarms::acknowledgeSelected()
{
    const int row = m_active->currentRow();
    if (row < 0 || !m_active->item(row, BoardColumn))
        return;
    workspace().host().acknowledgeAlarm(m_active->item(row, BoardColumn)->text(),
                                        m_active->item(row, AlarmColumn)->text());
}

void formAlarms::acknowledgeAll()
{
    BoardHost &host = workspace().host();
    for (const QString &serial : host.knownBoards())
        host.acknowledgeAllAlarms(serial);
}

void formAlarms::editChannels()
{
    // The board of the alarm selected, else the one the windows work on.
    const int row = m_active->currentRow();
    const QString serial = row >= 0 && m_active->item(row, BoardColumn) ? m_active->item(row, BoardColumn)->text()
                                                                        : workspace().session().serial();
    if (serial.isEmpty()) {
        workspace().setStatusText(QStringLiteral("Choose a board first: calibration and rules are kept per board"));
        return;
    }
    ::editChannels(workspace().host(), serial, this);
}
