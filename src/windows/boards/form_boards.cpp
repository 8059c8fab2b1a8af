#include "windows/boards/form_boards.h"

#include "device/driver.h"
#include "host/board_host.h"
#include "windows/channels_dialog.h"
#include "windows/control_names.h"
#include "windows/workspace.h"

#include <QAction>
#include <QDateTime>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLabel>
#include <QPushButton>
#include <QTableWidget>
#include <QVBoxLayout>

namespace {

const QString kGeometryKey = QStringLiteral("boards/geometry");
const QStringList kColumns{"Board", "Kept open", "State", "Last reading"};
constexpr int kClockMs = 1000;

} // namespace

formBoards::formBoards(Workspace &workspace, QWidget *parent)
    : ChildWindow(workspace, kView, parent)
{
    setObjectName(QStringLiteral("formBoards"));
    setWindowTitle(QStringLiteral("Boards"));
    buildControls();
    connect(&workspace.host(), &BoardHost::boardsChanged, this, &formBoards::refresh);
    m_clock.setInterval(kClockMs);
    // States change on the network too (a board held from elsewhere): looked at again every second.
    connect(&m_clock, &QTimer::timeout, this, &formBoards::refresh);
    m_clock.start();
    rescan();
}

void formBoards::buildControls()
{
    m_table = new QTableWidget(0, ColumnCount, this);
    nameControl(m_table, QStringLiteral("boardsTable"), QStringLiteral("Boards"));
    m_table->setHorizontalHeaderLabels(kColumns);
    m_table->verticalHeader()->hide();
    m_table->setSelectionBehavior(QAbstractItemView::SelectItems);
    m_table->setSelectionMode(QAbstractItemView::SingleSelection);
    m_table->setEditTriggers(QAbstractItemView::NoEditTriggers);
    m_table->horizontalHeader()->setSectionResizeMode(QHeaderView::ResizeToContents);
    m_table->horizontalHeader()->setStretchLastSection(true);
    m_table->setToolTip(QStringLiteral("Space ticks or unticks Kept open for the board selected"));
    m_table->installEventFilter(this);
    connect(m_table, &QTableWidget::itemChanged, this, &formBoards::itemChanged);

    m_rescan = makeNamedButton(QStringLiteral("&Re-Scan"), "rescan", this);
    m_rescan->setToolTip(QStringLiteral("List the attached boards again"));
    connect(m_rescan, &QPushButton::clicked, this, &formBoards::rescan);
    m_channels = makeNamedButton(QStringLiteral("C&hannels\u2026"), "channels", this);
    m_channels->setToolTip(QStringLiteral("The calibration and alarm rules of the board selected"));
    connect(m_channels, &QPushButton::clicked, this, &formBoards::editChannelsOfCurrent);
    // The same from the board's row, by the context menu (or its key).
    auto *channels = new QAction(QStringLiteral("C&hannels\u2026"), m_table);
    connect(channels, &QAction::triggered, this, &formBoards::editChannelsOfCurrent);
    m_table->addAction(channels);
    m_table->setContextMenuPolicy(Qt::ActionsContextMenu);
    m_message = new QLabel(this);
    nameControl(m_message, QStringLiteral("message"), QStringLiteral("Message"));
    m_message->setWordWrap(true);

    auto *buttons = new QHBoxLayout;
    buttons->addWidget(m_rescan);
    buttons->addWidget(m_channels);
    buttons->addWidget(m_message, 1);
    auto *layout = new QVBoxLayout(this);
    layout->addWidget(m_table, 1);
    layout->addLayout(buttons);
    setTabOrder(m_table, m_rescan);
    setTabOrder(m_rescan, m_channels);
}

QSize formBoards::sizeHint() const
{
    // Room for a serial number, the longest state and a time, without scrolling.
    const QFontMetrics metrics(font());
    return {metrics.horizontalAdvance(QStringLiteral("DEMO0001 open in the background 00:00:00 Kept open")) + 100,
            metrics.height() * 12};
}

QString formBoards::message() const
{
    return m_message->text();
}

void formBoards::rescan()
{
    m_attached = workspace().host().scan();
    m_attached.removeAll(QString());
    refresh();
}

QString formBoards::stateText(const QString &serial)
{
    BoardHost &host = workspace().host();
    const BoardSession *session = host.sessionOf(serial);
    if (!session) {
        if (const QString holder = host.driver().heldElsewhereBy(serial); !holder.isEmpty())
            return QStringLiteral("held remotely by ") + holder;
        return m_attached.contains(serial) ? QString() : QStringLiteral("not attached");
    }
    if (session->isLost())
        return QStringLiteral("lost");
    return session == &host.foreground() ? QStringLiteral("open") : QStringLiteral("open in the background");
}

void formBoards::refresh()
{
    BoardHost &host = workspace().host();
    QStringList boards = m_attached;
    for (const QString &open : host.openBoards()) {
        if (!boards.contains(open))
            boards.append(open);
    }
    for (const QString &kept : host.knownBoards()) {
        if (host.isKeptOpen(kept) && !boards.contains(kept))
            boards.append(kept);
    }
    // The row chosen stays chosen; at first, the board the other windows work on.
    const QString current =
        m_table->currentItem() ? m_table->item(m_table->currentRow(), BoardColumn)->text() : host.foreground().serial();
    const int currentColumn = m_table->currentColumn();
    m_filling = true;
    m_table->setRowCount(int(boards.size()));
    for (int row = 0; row < boards.size(); ++row) {
        const QString &serial = boards[row];
        const auto cell = [this, row](int column) {
            QTableWidgetItem *item = m_table->item(row, column);
            if (!item) {
                item = new QTableWidgetItem;
                item->setFlags(Qt::ItemIsEnabled | Qt::ItemIsSelectable);
                m_table->setItem(row, column, item);
            }
            return item;
        };
        cell(BoardColumn)->setText(serial);
        cell(StateColumn)->setText(stateText(serial));
        cell(LastReadingColumn);
        QTableWidgetItem *kept = cell(KeptOpenColumn);
        kept->setFlags(Qt::ItemIsEnabled | Qt::ItemIsSelectable | Qt::ItemIsUserCheckable);
        kept->setCheckState(host.isKeptOpen(serial) ? Qt::Checked : Qt::Unchecked);
        kept->setToolTip(QStringLiteral("Keep %1 open in the background when another board is selected").arg(serial));
        kept->setData(Qt::AccessibleTextRole,
                      host.isKeptOpen(serial) ? QStringLiteral("kept open") : QStringLiteral("not kept open"));
    }
    m_filling = false;
    updateTimes();
    const int row = int(boards.indexOf(current));
    if (row >= 0)
        m_table->setCurrentCell(row, std::max(0, currentColumn));
    else if (!boards.isEmpty() && !m_table->currentItem())
        m_table->setCurrentCell(0, BoardColumn);
    m_channels->setEnabled(!currentBoard().isEmpty());
}

QString formBoards::currentBoard() const
{
    const int row = m_table->currentRow();
    return row >= 0 && m_table->item(row, BoardColumn) ? m_table->item(row, BoardColumn)->text() : QString();
}

void formBoards::editChannelsOfCurrent()
{
    const QString serial = currentBoard();
    if (!serial.isEmpty())
        editChannels(workspace().host(), serial, this);
}

void formBoards::updateTimes()
{
    const BoardHost &host = workspace().host();
    m_filling = true;
    for (int row = 0; row < m_table->rowCount(); ++row) {
        const HostedBoard *board = host.findBoard(m_table->item(row, BoardColumn)->text());
        QString text;
        if (board && board->lastReadingWallMs >= 0)
            text = QDateTime::fromMSecsSinceEpoch(board->lastReadingWallMs).toString(QStringLiteral("HH:mm:ss"));
        QTableWidgetItem *item = m_table->item(row, LastReadingColumn);
        if (item->text() != text)
            item->setText(text);
    }
    m_filling = false;
}

void formBoards::itemChanged(QTableWidgetItem *item)
{
    if (m_filling || item->column() != KeptOpenColumn)
        return;
    const QString serial = m_table->item(item->row(), BoardColumn)->text();
    const bool kept = item->checkState() == Qt::Checked;
    QString error;
    if (!workspace().host().setKeptOpen(serial, kept, &error)) {
        m_message->setText(error.isEmpty() ? QStringLiteral("%1 could not be kept open.").arg(serial) : error);
        refresh();
        return;
    }
    m_message->clear();
}

bool formBoards::eventFilter(QObject *watched, QEvent *event)
{
    // Space on any cell of a row ticks or unticks that board's Kept open.
    if (watched == m_table && event->type() == QEvent::KeyPress &&
        static_cast<QKeyEvent *>(event)->key() == Qt::Key_Space && m_table->currentRow() >= 0) {
        QTableWidgetItem *kept = m_table->item(m_table->currentRow(), KeptOpenColumn);
        kept->setCheckState(kept->checkState() == Qt::Checked ? Qt::Unchecked : Qt::Checked);
        return true;
    }
    return ChildWindow::eventFilter(watched, event);
}

void formBoards::showEvent(QShowEvent *event)
{
    ChildWindow::showEvent(event);
    placeFromSettings(kGeometryKey);
}

void formBoards::closing()
{
    keepPlaceInSettings(kGeometryKey);
    m_clock.stop();
}
