#include "windows/trend/form_trend.h"

#include "device/driver.h"
#include "files/file_saving.h"
#include "host/board_host.h"
#include "replay/replay_driver.h"
#include "session/board_session.h"
#include "windows/channels_dialog.h"
#include "windows/control_names.h"
#include "windows/dialogs.h"
#include "windows/trend/trend_export.h"
#include "windows/trend/trend_plot.h"
#include "windows/workspace.h"

#include <QComboBox>
#include <QDateTime>
#include <QDir>
#include <QFileInfo>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QPushButton>
#include <QSettings>
#include <QTableWidget>
#include <QVBoxLayout>

#include <cmath>

namespace {

constexpr int kRefreshMs = 250;
const QStringList kColumns{"Channel", "Last", "Min",    "Max", "Mean", "Count",
                           "At A",    "At B", "\u0394", "Low", "High", "Outside"};

// Limits in counts kept by earlier versions for every board alike: each board takes them once as its limit rules.
QString legacyLimitKey(int channel, const char *which)
{
    return QStringLiteral("trend/limits/%1/%2").arg(channel).arg(QLatin1String(which));
}

QString adoptedKey(const QString &serial)
{
    return QStringLiteral("trend/limitsAdopted/") + QString::fromLatin1(serial.toUtf8().toPercentEncoding());
}

// A limit as typed: a number (with the channel's unit after it, or not), or empty for none; anything else is not a
// limit.
struct Limit {
    bool valid = false;
    std::optional<double> value;
};

Limit parseLimit(const QString &text, const ChannelCalibration &units)
{
    QString trimmed = text.trimmed();
    if (!units.unit.isEmpty() && trimmed.endsWith(units.unit))
        trimmed = trimmed.chopped(units.unit.size()).trimmed();
    if (trimmed.isEmpty())
        return {true, std::nullopt};
    bool ok = false;
    const double value = trimmed.toDouble(&ok);
    if (!ok || !std::isfinite(value) || std::abs(value) > 1e12)
        return {};
    return {true, value};
}

QString limitText(std::optional<double> limit, const ChannelCalibration &units)
{
    if (!limit)
        return QString();
    const QString number = QString::number(*limit, 'g', 12);
    return units.unit.isEmpty() ? number : number + u' ' + units.unit;
}

} // namespace

formTrend::formTrend(Workspace &workspace, QWidget *parent)
    : ChildWindow(workspace, kView, parent)
{
    setObjectName(QStringLiteral("formTrend"));
    buildControls();
    m_refresh.setInterval(kRefreshMs);
    connect(&m_refresh, &QTimer::timeout, this, &formTrend::refresh);
    m_refresh.start();
    setSpan(1);
    connect(&workspace.host(), &BoardHost::boardsChanged, this, &formTrend::boardsChanged);
    // The limits are the shown board's rules: changed in the Channels dialog, they change here.
    connect(&workspace.host(), &BoardHost::alarmsChanged, this, &formTrend::loadLimits);
    connect(&workspace.host(), &BoardHost::calibrationChanged, this, [this](const QString &serial) {
        if (serial == m_board)
            showCalibration();
    });
    boardsChanged();
}

namespace {

// Seconds before now, or the clock: the operator's choice, kept.
const QString kTimeAxisKey = QStringLiteral("trend/timeAxis");

} // namespace

qint64 formTrend::now() const
{
    // On a replay, now is the moment played.
    if (ReplayDriver *replay = replayed())
        return replay->positionMonoMs();
    return monotonicClockMs();
}

qint64 formTrend::wallMinusMono() const
{
    // A replay's stamps follow the recorded wall clock.
    if (replayed())
        return 0;
    return QDateTime::currentMSecsSinceEpoch() - now();
}

ReplayDriver *formTrend::replayed() const
{
    Driver &driver = workspace().host().driver();
    return driver.playedFeed() ? dynamic_cast<ReplayDriver *>(&driver) : nullptr;
}

const TrendHistory &formTrend::history() const
{
    const HostedBoard *board = workspace().host().findBoard(m_board);
    return board ? board->trend : m_noHistory;
}

BoardSession *formTrend::shownSession() const
{
    return workspace().host().sessionOf(m_board);
}

BoardRecording *formTrend::shownRecording() const
{
    return m_board.isEmpty() ? nullptr : &workspace().host().board(m_board).recording;
}

void formTrend::boardsChanged()
{
    BoardHost &host = workspace().host();
    if (m_followsForeground && !host.foreground().serial().isEmpty() && host.foreground().serial() != m_board)
        showBoard(host.foreground().serial());
    // Every board with readings kept or open now.
    QStringList boards = host.knownBoards();
    for (const QString &open : host.openBoards()) {
        if (!boards.contains(open))
            boards.append(open);
    }
    boards.removeAll(QString());
    QStringList listed;
    for (int i = 0; i < m_boardChoice->count(); ++i)
        listed.append(m_boardChoice->itemText(i));
    const QSignalBlocker quiet(m_boardChoice);
    if (listed != boards) {
        m_boardChoice->clear();
        m_boardChoice->addItems(boards);
    }
    m_boardChoice->setCurrentIndex(int(boards.indexOf(m_board)));
    updateStatus();
}

void formTrend::chooseBoard(const QString &serial)
{
    m_followsForeground = false;
    showBoard(serial);
}

void formTrend::showBoard(const QString &serial)
{
    if (serial == m_board)
        return;
    m_board = serial;
    m_plot->setHistory(serial.isEmpty() ? m_noHistory : workspace().host().board(serial).trend);
    const QSignalBlocker quiet(m_boardChoice);
    m_boardChoice->setCurrentIndex(m_boardChoice->findText(serial));
    adoptLegacyLimits();
    showCalibration();
    updateTitle();
    updateRecordingLabel();
    refresh();
    updateStatistics();
}

void formTrend::updateTitle()
{
    setWindowTitle(m_board.isEmpty() ? QStringLiteral("Trend") : QStringLiteral("Trend - ") + m_board);
}

void formTrend::buildControls()
{
    auto *controls = new QHBoxLayout;
    auto *boardLabel = new QLabel(QStringLiteral("&Board:"), this);
    m_boardChoice = new QComboBox(this);
    nameControl(m_boardChoice, QStringLiteral("board"), QStringLiteral("Board"));
    m_boardChoice->setSizeAdjustPolicy(QComboBox::AdjustToContents);
    boardLabel->setBuddy(m_boardChoice);
    connect(m_boardChoice, &QComboBox::textActivated, this, &formTrend::chooseBoard);
    updateTitle();
    auto *spanLabel = new QLabel(QStringLiteral("S&pan:"), this);
    m_span = new QComboBox(this);
    nameControl(m_span, QStringLiteral("span"), QStringLiteral("Span"));
    m_span->addItems(
        {QStringLiteral("10 s"), QStringLiteral("1 min"), QStringLiteral("10 min"), QStringLiteral("1 h")});
    m_span->setCurrentIndex(1);
    spanLabel->setBuddy(m_span);
    connect(m_span, &QComboBox::currentIndexChanged, this, &formTrend::setSpan);
    // Under the plot, where its axis is: the row above has no room to spare.
    auto *timeAxisLabel = new QLabel(QStringLiteral("T&ime axis:"), this);
    m_timeAxis = new QComboBox(this);
    nameControl(m_timeAxis, QStringLiteral("timeAxis"), QStringLiteral("Time axis"));
    m_timeAxis->addItems({QStringLiteral("Before now"), QStringLiteral("Clock time")});
    m_timeAxis->setCurrentIndex(QSettings().value(kTimeAxisKey).toString() == u"clock" ? 1 : 0);
    timeAxisLabel->setBuddy(m_timeAxis);
    connect(m_timeAxis, &QComboBox::currentIndexChanged, this, &formTrend::setTimeAxis);
    m_pause = makeNamedButton(QStringLiteral("&Pause"), "pause", this);
    connect(m_pause, &QPushButton::clicked, this, &formTrend::pauseOrResume);
    m_fit = makeNamedButton(QStringLiteral("&Fit"), "fit", this);
    connect(m_fit, &QPushButton::clicked, this, &formTrend::fit);
    m_clear = makeNamedButton(QStringLiteral("C&lear"), "clear", this);
    connect(m_clear, &QPushButton::clicked, this, &formTrend::clear);
    m_record = makeNamedButton(QStringLiteral("&Record\u2026"), "record", this);
    connect(m_record, &QPushButton::clicked, this, &formTrend::recordOrStop);
    m_export = makeNamedButton(QStringLiteral("E&xport\u2026"), "export", this);
    connect(m_export, &QPushButton::clicked, this, &formTrend::exportShown);
    m_channels = makeNamedButton(QStringLiteral("C&hannels\u2026"), "channels", this);
    m_channels->setToolTip(QStringLiteral("The calibration and alarm rules of the board shown"));
    connect(m_channels, &QPushButton::clicked, this, [this] {
        if (m_board.isEmpty())
            return;
        editChannels(workspace().host(), m_board, this);
        updateStatistics();
    });
    controls->addWidget(boardLabel);
    controls->addWidget(m_boardChoice);
    controls->addWidget(spanLabel);
    controls->addWidget(m_span);
    controls->addWidget(m_pause);
    controls->addWidget(m_fit);
    controls->addWidget(m_clear);
    controls->addWidget(m_record);
    controls->addWidget(m_export);
    controls->addWidget(m_channels);
    controls->addStretch(1);

    m_plot = new TrendPlot(m_noHistory, this);
    m_plot->setTimeAxis(m_timeAxis->currentIndex() == 1 ? TrendTimeAxis::Clock : TrendTimeAxis::BeforeNow);
    nameControl(m_plot, QStringLiteral("trendPlot"), QStringLiteral("Trend plot"));
    connect(m_plot, &TrendPlot::viewMovedByHand, this, &formTrend::viewMovedByHand);
    connect(m_plot, &TrendPlot::fitRequested, this, &formTrend::fit);
    connect(m_plot, &TrendPlot::cursorsChanged, this, &formTrend::updateStatistics);

    // The status line: why readings do not come, the cursors' distance, the recording. Each label takes the room
    // its text needs, and the first wraps rather than clip.
    auto *status = new QHBoxLayout;
    m_status = new QLabel(this);
    nameControl(m_status, QStringLiteral("status"), QStringLiteral("Status"));
    m_status->setWordWrap(true);
    m_cursorDelta = new QLabel(this);
    nameControl(m_cursorDelta, QStringLiteral("cursorDelta"), QStringLiteral("Cursor delta"));
    m_recording = new QLabel(this);
    nameControl(m_recording, QStringLiteral("recording"));
    m_recording->setTextInteractionFlags(Qt::TextSelectableByMouse | Qt::TextSelectableByKeyboard);
    status->addWidget(timeAxisLabel);
    status->addWidget(m_timeAxis);
    status->addWidget(m_status, 1);
    status->addWidget(m_cursorDelta);
    status->addWidget(m_recording);

    buildTable();

    auto *layout = new QVBoxLayout(this);
    layout->addLayout(controls);
    layout->addWidget(m_plot, 1);
    layout->addLayout(status);
    layout->addWidget(m_table);
    setTabOrder(m_boardChoice, m_span);
    setTabOrder(m_span, m_pause);
    setTabOrder(m_pause, m_fit);
    setTabOrder(m_fit, m_clear);
    setTabOrder(m_clear, m_record);
    setTabOrder(m_record, m_export);
    setTabOrder(m_export, m_channels);
    setTabOrder(m_channels, m_plot);
    setTabOrder(m_plot, m_timeAxis);
    setTabOrder(m_timeAxis, m_table);
}

void formTrend::buildTable()
{
    m_table = new QTableWidget(kLastChannel, ColumnCount, this);
    nameControl(m_table, QStringLiteral("statistics"), QStringLiteral("Statistics"));
    m_table->setHorizontalHeaderLabels(kColumns);
    m_table->verticalHeader()->hide();
    // Only the limits are edited: a double click, F2 or typing over the cell.
    m_table->setEditTriggers(QAbstractItemView::DoubleClicked | QAbstractItemView::EditKeyPressed |
                             QAbstractItemView::AnyKeyPressed);
    m_table->setSelectionBehavior(QAbstractItemView::SelectItems);
    m_table->setSelectionMode(QAbstractItemView::SingleSelection);
    m_table->horizontalHeader()->setSectionResizeMode(QHeaderView::Stretch);
    m_table->horizontalHeader()->setSectionResizeMode(ChannelColumn, QHeaderView::ResizeToContents);
    m_fillingTable = true;
    for (int row = 0; row < kLastChannel; ++row) {
        const int channel = row + kFirstChannel;
        auto *name = new QTableWidgetItem(QStringLiteral("ADC %1").arg(channel));
        name->setForeground(TrendPlot::channelColour(channel));
        name->setFlags(name->flags() & ~Qt::ItemIsEditable);
        m_table->setItem(row, ChannelColumn, name);
        for (int column = 1; column < ColumnCount; ++column) {
            auto *item = new QTableWidgetItem;
            item->setTextAlignment(Qt::AlignRight | Qt::AlignVCenter);
            if (column != LowColumn && column != HighColumn)
                item->setFlags(item->flags() & ~Qt::ItemIsEditable);
            m_table->setItem(row, column, item);
        }
    }
    m_fillingTable = false;
    connect(m_table, &QTableWidget::itemChanged, this, &formTrend::limitEdited);
    m_table->resizeRowsToContents();
    int height = m_table->horizontalHeader()->sizeHint().height() + 2 * m_table->frameWidth();
    for (int row = 0; row < kLastChannel; ++row)
        height += m_table->rowHeight(row);
    m_table->setFixedHeight(height);
}

const BoardCalibration &formTrend::calibration() const
{
    static const BoardCalibration identity;
    const HostedBoard *shown = workspace().host().findBoard(m_board);
    return shown ? shown->alarms.calibration() : identity;
}

std::vector<AlarmRule> formTrend::rules() const
{
    std::vector<AlarmRule> rules;
    if (const HostedBoard *shown = workspace().host().findBoard(m_board)) {
        for (const AlarmEngine::Alarm &alarm : shown->alarms.alarms())
            rules.push_back(alarm.rule);
    }
    return rules;
}

void formTrend::showCalibration()
{
    m_plot->setCalibration(calibration());
    for (int channel = kFirstChannel; channel <= kLastChannel; ++channel)
        m_table->item(channel - kFirstChannel, ChannelColumn)->setText(m_plot->channelLabel(channel));
    loadLimits();
    updateStatistics();
}

void formTrend::adoptLegacyLimits()
{
    // Taken for good only where the board's rules are kept (not for a run under a rules file).
    if (m_board.isEmpty() || !workspace().host().keepsAlarmSettings())
        return;
    QSettings settings;
    if (settings.value(adoptedKey(m_board)).toBool())
        return;
    settings.setValue(adoptedKey(m_board), true);
    std::vector<AlarmRule> rules = this->rules();
    const std::vector<AlarmRule> before = rules;
    for (int channel = kFirstChannel; channel <= kLastChannel; ++channel) {
        const auto read = [&](const char *which) -> std::optional<double> {
            const Limit limit = parseLimit(settings.value(legacyLimitKey(channel, which)).toString(), {});
            if (!limit.value)
                return std::nullopt;
            return calibration().channel(channel).value(int(*limit.value));
        };
        std::optional<double> low = read("low");
        std::optional<double> high = read("high");
        if ((!low && !high) || limitRule(rules, channel))
            continue;
        // A negative scale turns the highest count into the lowest value.
        if (calibration().channel(channel).scale < 0)
            std::swap(low, high);
        if (low && high && *low > *high)
            continue;
        rules = withLimits(rules, channel, low, high);
    }
    if (rules != before)
        workspace().host().setAlarmRules(m_board, rules);
}

void formTrend::loadLimits()
{
    const std::vector<AlarmRule> rules = this->rules();
    m_fillingTable = true;
    for (int channel = kFirstChannel; channel <= kLastChannel; ++channel) {
        const AlarmRule *rule = limitRule(rules, channel);
        const std::optional<double> low = rule ? rule->below : std::nullopt;
        const std::optional<double> high = rule ? rule->above : std::nullopt;
        m_low[std::size_t(channel)] = low;
        m_high[std::size_t(channel)] = high;
        m_plot->setLimits(channel, low, high);
        const ChannelCalibration &units = calibration().channel(channel);
        m_table->item(channel - kFirstChannel, LowColumn)->setText(limitText(low, units));
        m_table->item(channel - kFirstChannel, HighColumn)->setText(limitText(high, units));
    }
    m_fillingTable = false;
    updateStatistics();
}

bool formTrend::setLimits(int channel, std::optional<double> low, std::optional<double> high)
{
    if (!isChannel(channel) || m_board.isEmpty()) {
        refuseLimit(QStringLiteral("Limits are kept per board: none is shown"));
        return false;
    }
    const std::vector<AlarmRule> rules = withLimits(this->rules(), channel, low, high);
    const AlarmRule *rule = limitRule(rules, channel);
    if (const std::optional<QString> problem = rule ? ruleProblem(*rule) : std::nullopt) {
        refuseLimit(QStringLiteral("ADC %1: %2").arg(channel).arg(*problem));
        return false;
    }
    m_limitMessage.clear();
    if (rules != this->rules())
        workspace().host().setAlarmRules(m_board, rules);
    loadLimits();
    return true;
}

void formTrend::limitEdited(QTableWidgetItem *item)
{
    if (m_fillingTable || (item->column() != LowColumn && item->column() != HighColumn))
        return;
    const int channel = item->row() + kFirstChannel;
    const Limit limit = parseLimit(item->text(), calibration().channel(channel));
    std::optional<double> low = m_low[std::size_t(channel)];
    std::optional<double> high = m_high[std::size_t(channel)];
    // What is not a number, or a low above the high, is put back as it was, and the status line says why.
    if (!limit.valid) {
        const QString unit = calibration().channel(channel).unit;
        refuseLimit(QStringLiteral("ADC %1: \"%2\" is not a limit (a number%3, or nothing for none)")
                        .arg(channel)
                        .arg(item->text().trimmed().left(40))
                        .arg(unit.isEmpty() ? QString() : QStringLiteral(" in %1").arg(unit)));
        return;
    }
    (item->column() == LowColumn ? low : high) = limit.value;
    setLimits(channel, low, high);
}

void formTrend::refuseLimit(const QString &why)
{
    loadLimits(); // put back as it was
    m_limitMessage = why;
    updateStatus();
}

void formTrend::setSpan(int index)
{
    if (index < 0 || index >= int(kSpans.size()))
        return;
    if (m_span->currentIndex() != index)
        m_span->setCurrentIndex(index);
    m_plot->setWindow(m_paused ? m_plot->endMs() : now(), kSpans[std::size_t(index)]);
    updateStatistics();
}

void formTrend::setPaused(bool paused)
{
    m_paused = paused;
    m_pause->setText(m_paused ? QStringLiteral("Res&ume") : QStringLiteral("&Pause"));
}

void formTrend::pauseOrResume()
{
    setPaused(!m_paused);
    if (!m_paused)
        m_plot->setWindow(now(), kSpans[std::size_t(std::max(0, m_span->currentIndex()))]);
    refresh();
}

void formTrend::viewMovedByHand()
{
    // Looking closer stands the view still; readings keep being collected.
    setPaused(true);
    updateStatistics();
}

void formTrend::fit()
{
    TrendView view = m_plot->view();
    view.fitValues();
    view.endMs = now();
    view.spanMs = kSpans[std::size_t(std::max(0, m_span->currentIndex()))];
    m_plot->setView(view);
    setPaused(false);
    refresh();
}

void formTrend::clear()
{
    if (!m_board.isEmpty())
        workspace().host().board(m_board).trend.clear();
    refresh();
    updateStatistics();
}

void formTrend::refresh()
{
    updateStatus();
    // Paused, the view stands still while readings keep being collected; hidden, nobody looks.
    if (!isVisible())
        return;
    // Paused, the labels stand still with the curves: they count back from the moment of the pause.
    if (m_paused)
        return;
    m_plot->setNow(now(), wallMinusMono());
    m_plot->setWindow(now(), m_plot->spanMs());
    updateStatistics();
}

QString formTrend::gapReason() const
{
    const BoardSession *session = shownSession();
    if (!session)
        return QStringLiteral("No readings: no board open");
    const std::optional<GapReason> gap = session->readingsGap();
    if (!gap)
        return QString();
    switch (*gap) {
    case GapReason::BoardLost:
        return QStringLiteral("No readings: the board was lost");
    case GapReason::NoBoard:
        return QStringLiteral("No readings: no board open");
    case GapReason::PollingStopped:
    case GapReason::PollStalled:
        return QStringLiteral("No readings: the board is not polled (the Communications window is closed)");
    case GapReason::RequestsOff:
        return QStringLiteral("No readings: the Analog Levels window is hidden or closed");
    case GapReason::NoChannel:
    case GapReason::ChannelUnticked:
        break;
    }
    return QStringLiteral("No readings: no channel is ticked");
}

void formTrend::updateStatus()
{
    // A refused limit is said until the next limit is taken.
    const QString reason = m_limitMessage.isEmpty() ? gapReason() : m_limitMessage + u'.';
    if (m_status->text() != reason)
        m_status->setText(reason);
}

QString formTrend::statusText() const
{
    return m_status->text();
}

QString formTrend::cursorDeltaText() const
{
    return m_cursorDelta->text();
}

void formTrend::updateStatistics()
{
    const qint64 end = m_plot->endMs();
    const qint64 start = end - m_plot->spanMs();
    const std::optional<qint64> a = m_plot->cursorA();
    const std::optional<qint64> b = m_plot->cursorB();
    const BoardCalibration &calibration = this->calibration();
    m_fillingTable = true;
    for (int row = 0; row < kLastChannel; ++row) {
        const int channel = row + kFirstChannel;
        const std::optional<TrendHistory::Statistics> stats = history().statistics(channel, start, end);
        // The reading a cursor stands on: the last one before it within the shown range and since the last gap.
        const auto valueAt = [&](std::optional<qint64> cursor) -> std::optional<std::int32_t> {
            if (!cursor)
                return std::nullopt;
            const std::optional<TrendHistory::Reading> reading = history().readingAtOrBefore(channel, *cursor);
            if (!reading || reading->ms < start || history().hasGapBetween(reading->ms, *cursor))
                return std::nullopt;
            return reading->value;
        };
        const std::optional<std::int32_t> atA = valueAt(a);
        const std::optional<std::int32_t> atB = valueAt(b);
        // A cursor with no reading to stand on says so, rather than show a value from outside the view.
        const auto cursorText = [](std::optional<qint64> cursor, std::optional<std::int32_t> value) {
            return value ? QString::number(*value) : cursor ? QStringLiteral("\u2014") : QString();
        };
        const bool limited = m_low[std::size_t(channel)] || m_high[std::size_t(channel)];
        QString texts[ColumnCount];
        const ChannelCalibration *units = &calibration.channel(channel);
        if (!units->isIdentity()) {
            // In the channel's unit; a negative scale turns the lowest count into the highest value.
            if (stats) {
                const double low = units->value(stats->min);
                const double high = units->value(stats->max);
                texts[LastColumn] = units->text(stats->last);
                texts[MinColumn] = units->valueText(std::min(low, high));
                texts[MaxColumn] = units->valueText(std::max(low, high));
                texts[MeanColumn] = units->valueText(stats->mean * units->scale + units->offset);
                texts[CountColumn] = QString::number(stats->count);
            }
            texts[AtAColumn] = atA ? units->text(*atA) : cursorText(a, atA);
            texts[AtBColumn] = atB ? units->text(*atB) : cursorText(b, atB);
            texts[DeltaColumn] = atA && atB ? units->valueText(double(*atB - *atA) * units->scale) : QString();
        } else {
            if (stats) {
                texts[LastColumn] = QString::number(stats->last);
                texts[MinColumn] = QString::number(stats->min);
                texts[MaxColumn] = QString::number(stats->max);
                texts[MeanColumn] = QString::number(stats->mean, 'f', 1);
                texts[CountColumn] = QString::number(stats->count);
            }
            texts[AtAColumn] = cursorText(a, atA);
            texts[AtBColumn] = cursorText(b, atB);
            texts[DeltaColumn] = atA && atB ? QString::number(*atB - *atA) : QString();
        }
        if (limited)
            texts[OutsideColumn] = QString::number(history().countOutside(
                channel, start, end, m_low[std::size_t(channel)], m_high[std::size_t(channel)], *units));
        for (int column = LastColumn; column < ColumnCount; ++column) {
            if (column == LowColumn || column == HighColumn)
                continue;
            QTableWidgetItem *item = m_table->item(row, column);
            if (item->text() != texts[column])
                item->setText(texts[column]);
        }
    }
    m_fillingTable = false;
    const QString delta =
        a && b ? QStringLiteral("\u0394t = %1 s").arg(double(*b - *a) / 1000.0, 0, 'f', 3) : QString();
    if (m_cursorDelta->text() != delta)
        m_cursorDelta->setText(delta);
}

bool formTrend::isRecording() const
{
    const BoardRecording *recording = shownRecording();
    return recording && recording->isRecording();
}

void formTrend::recordOrStop()
{
    BoardRecording *recording = shownRecording();
    if (!recording)
        return;
    if (recording->isRecording()) {
        recording->stop();
        m_recordings.remove(m_board);
        updateRecordingLabel();
        return;
    }
    Dialogs &dialogs = workspace().dialogs();
    QString path = dialogs.saveFileName(this, QStringLiteral("Record"), QStringLiteral("CSV files (*.csv)"));
    if (path.isEmpty())
        return;
    if (QFileInfo(path).suffix().isEmpty())
        path += QStringLiteral(".csv");
    QString error;
    if (!recording->start(path, now(), workspace().host().board(m_board).alarms.calibration(), &error)) {
        dialogs.warn(this, QStringLiteral("Readings could not be recorded to \"%1\".\n\n%2")
                               .arg(QDir::toNativeSeparators(path), error));
        return;
    }
    m_recordings.insert(m_board);
    connect(recording, &BoardRecording::progressed, this, &formTrend::updateRecordingLabel, Qt::UniqueConnection);
    connect(recording, &BoardRecording::failed, this, &formTrend::recordingFailed, Qt::UniqueConnection);
    updateRecordingLabel();
}

void formTrend::recordingFailed(const QString &path, qint64 rows, const QString &error)
{
    // What was written stays; the operator hears why the rest was not.
    updateRecordingLabel();
    workspace().dialogs().warn(this, QStringLiteral("Recording to \"%1\" stopped after %2 rows.\n\n%3")
                                         .arg(QDir::toNativeSeparators(path), QString::number(rows), error));
}

void formTrend::updateRecordingLabel()
{
    const BoardRecording *recording = shownRecording();
    if (!recording || recording->path().isEmpty()) {
        m_recording->clear();
        m_record->setText(QStringLiteral("&Record\u2026"));
        return;
    }
    const QString name = QFileInfo(recording->path()).fileName();
    const QString rows = QStringLiteral("%1 rows").arg(recording->written());
    m_recording->setText(recording->isRecording() ? QStringLiteral("Recording to %1: %2").arg(name, rows)
                                                  : QStringLiteral("Recorded to %1: %2").arg(name, rows));
    m_record->setText(recording->isRecording() ? QStringLiteral("Stop &Recording") : QStringLiteral("&Record\u2026"));
}

QString formTrend::exportCaption() const
{
    const qint64 wallMinusMono = this->wallMinusMono();
    const QDateTime from = QDateTime::fromMSecsSinceEpoch(m_plot->endMs() - m_plot->spanMs() + wallMinusMono);
    const QDateTime to = QDateTime::fromMSecsSinceEpoch(m_plot->endMs() + wallMinusMono);
    QStringList channels;
    for (const int channel : exportedChannels())
        channels.append(QString::number(channel));
    const QString board = m_board.isEmpty() ? QStringLiteral("No board") : m_board;
    const QString span = from.date() == to.date()
                             ? from.toString(QStringLiteral("yyyy-MM-dd HH:mm:ss")) + QStringLiteral(" \u2013 ") +
                                   to.toString(QStringLiteral("HH:mm:ss"))
                             : from.toString(QStringLiteral("yyyy-MM-dd HH:mm:ss")) + QStringLiteral(" \u2013 ") +
                                   to.toString(QStringLiteral("yyyy-MM-dd HH:mm:ss"));
    const QString shown = channels.isEmpty() ? QStringLiteral("no channel")
                                             : QStringLiteral("ADC ") + channels.join(QStringLiteral(", "));
    return board + QStringLiteral("   ") + span + QStringLiteral("   ") + shown;
}

void formTrend::setTimeAxis(int index)
{
    const bool clock = index == 1;
    QSettings().setValue(kTimeAxisKey, clock ? QStringLiteral("clock") : QStringLiteral("beforeNow"));
    m_plot->setTimeAxis(clock ? TrendTimeAxis::Clock : TrendTimeAxis::BeforeNow);
}

std::vector<int> formTrend::exportedChannels() const
{
    // The ticked channels; when none is ticked, every channel with a reading in view.
    std::vector<int> channels;
    if (const BoardSession *session = shownSession()) {
        for (int channel = kFirstChannel; channel <= kLastChannel; ++channel) {
            if (session->setup().isTicked(channel))
                channels.push_back(channel);
        }
    }
    if (channels.empty()) {
        for (int channel = kFirstChannel; channel <= kLastChannel; ++channel) {
            if (history().statistics(channel, m_plot->endMs() - m_plot->spanMs(), m_plot->endMs()))
                channels.push_back(channel);
        }
    }
    return channels;
}

void formTrend::exportShown()
{
    QString path = workspace().dialogs().saveFileName(
        this, QStringLiteral("Export"), QStringLiteral("CSV files (*.csv);;PNG images (*.png);;SVG images (*.svg)"));
    if (path.isEmpty())
        return;
    if (QFileInfo(path).suffix().isEmpty())
        path += QStringLiteral(".csv");
    exportTo(path);
}

bool formTrend::exportTo(const QString &path)
{
    const std::optional<TrendExportKind> kind = trendExportKind(path);
    if (!kind) {
        workspace().dialogs().warn(this, QStringLiteral("\"%1\" was not exported: the name must end in .csv, .png or "
                                                        ".svg.")
                                             .arg(QDir::toNativeSeparators(path)));
        return false;
    }
    QByteArray bytes;
    switch (*kind) {
    case TrendExportKind::Csv:
        bytes = trendCsv(history(), exportedChannels(), m_plot->endMs() - m_plot->spanMs(), m_plot->endMs(),
                         wallMinusMono(), calibration());
        break;
    case TrendExportKind::Png:
        bytes = trendPng(*m_plot, exportCaption());
        break;
    case TrendExportKind::Svg:
        bytes = trendSvg(*m_plot, exportCaption());
        break;
    }
    if (const std::optional<QString> failure = saveFileAtomically(path, bytes)) {
        workspace().dialogs().warn(
            this, QStringLiteral("\"%1\" could not be written.\n\n%2").arg(QDir::toNativeSeparators(path), *failure));
        return false;
    }
    return true;
}

namespace {

// The window's place is kept apart from the layout file, which holds only the four original windows.
const QString kGeometryKey = QStringLiteral("trend/geometry");

} // namespace

void formTrend::showEvent(QShowEvent *event)
{
    ChildWindow::showEvent(event);
    refresh();
    placeFromSettings(kGeometryKey);
}

void formTrend::closing()
{
    keepPlaceInSettings(kGeometryKey);
    // Closing stops the recordings made here and closes their files.
    for (const QString &serial : std::as_const(m_recordings))
        workspace().host().board(serial).recording.stop();
    m_recordings.clear();
    m_refresh.stop();
}
