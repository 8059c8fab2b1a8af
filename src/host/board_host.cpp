#include "host/board_host.h"

#include "alarms/alarm_settings.h"
#include "device/driver.h"
#include "device/ftdi.h"
#include "device/report.h"

#include <QTimer>

#include <algorithm>

namespace {

const QString kKeptOpen = QStringLiteral("kept open");

} // namespace

BoardHost::BoardHost(Driver &driver, HostOptions options, QObject *parent)
    : QObject(parent)
    , m_driver(driver)
    , m_options(options)
{}

BoardHost::~BoardHost()
{
    closeAll();
}

BoardHost::Hosted &BoardHost::host(std::unique_ptr<BoardSession> session)
{
    auto hosted = std::make_unique<Hosted>();
    hosted->session = std::move(session);
    hosted->session->setReconnect(m_reconnect);
    Hosted *raw = hosted.get();
    using Kind = SessionEvent::Kind;
    hosted->subscription =
        raw->session->events().subscribe([this, raw](const SessionEvent &event) { follow(*raw, event); },
                                         eventKinds({Kind::Selected, Kind::Reading, Kind::PinLevel, Kind::LineReceived,
                                                     Kind::Gap, Kind::Lost, Kind::Back, Kind::Closed, Kind::AnalogPoll,
                                                     Kind::AlarmRaised, Kind::AlarmAcknowledged, Kind::AlarmCleared}));
    if (m_journal)
        m_journal->attach(*raw->session);
    m_sessions.push_back(std::move(hosted));
    return *raw;
}

BoardSession &BoardHost::foreground()
{
    if (!m_foreground) {
        m_foreground = &host(std::make_unique<BoardSession>(m_driver));
        // The foreground first: it is the board the windows show.
        std::rotate(m_sessions.begin(), m_sessions.end() - 1, m_sessions.end());
    }
    return *m_foreground->session;
}

void BoardHost::follow(Hosted &hosted, const SessionEvent &event)
{
    switch (event.kind) {
    case SessionEvent::Kind::Selected:
        // The session holds another board from now on: its events feed that board's data.
        hosted.board = event.text.isEmpty() ? nullptr : &board(event.text.toString());
        Q_EMIT boardsChanged();
        return;
    case SessionEvent::Kind::Lost:
    case SessionEvent::Kind::Back:
    case SessionEvent::Kind::Closed:
        Q_EMIT boardsChanged();
        break;
    case SessionEvent::Kind::AlarmRaised:
        Q_EMIT alarmsChanged();
        Q_EMIT alarmRaised(hosted.session->serial(), event.text.toString(), event.value, event.detail.toString());
        if (hosted.board)
            sendAlarmCommand(*hosted.board, event.text.toString());
        break;
    case SessionEvent::Kind::AlarmAcknowledged:
    case SessionEvent::Kind::AlarmCleared:
        Q_EMIT alarmsChanged();
        break;
    case SessionEvent::Kind::LineReceived:
        judgeOutputReport(hosted, event);
        return;
    default:
        break;
    }
    HostedBoard *data = hosted.board;
    if (!data)
        return;
    data->alarms.take(event, hosted.session->events());
    if (event.kind == SessionEvent::Kind::Reading) {
        data->lastReadingWallMs = event.stamp.wallMs;
        if (m_options.keepTrend)
            data->trend.append(event.index, event.stamp.monoMs, event.value);
    } else if ((event.kind == SessionEvent::Kind::Gap || event.kind == SessionEvent::Kind::Closed) &&
               m_options.keepTrend) {
        // Where readings stop coming, the trend never joins a line across.
        data->trend.markGap(event.stamp.monoMs);
    }
    data->recording.take(event);
}

BoardHost::Hosted *BoardHost::hostedOf(const BoardSession &session)
{
    for (const auto &hosted : m_sessions) {
        if (hosted->session.get() == &session)
            return hosted.get();
    }
    return nullptr;
}

BoardHost::Hosted *BoardHost::background(const QString &serial)
{
    for (const auto &hosted : m_sessions) {
        if (hosted.get() != m_foreground && hosted->session->serial() == serial && hosted->session->holdsBoard())
            return hosted.get();
    }
    return nullptr;
}

HostedBoard &BoardHost::board(const QString &serial)
{
    for (const auto &known : m_boards) {
        if (known->serial == serial)
            return *known;
    }
    HostedBoard &made = *m_boards.emplace_back(std::make_unique<HostedBoard>(serial));
    setUpAlarms(made);
    return made;
}

void BoardHost::setUpAlarms(HostedBoard &board)
{
    const bool keeps = m_options.alarmSettings || m_options.keptCalibration;
    const BoardCalibration kept = keeps ? loadCalibration(board.serial) : BoardCalibration();
    applyCalibration(board, m_alarmFile ? m_alarmFile->over(kept) : kept);
    if (m_alarmFile)
        board.alarms.setRules(m_alarmFile->rules);
    else if (m_options.alarmSettings)
        board.alarms.setRules(loadAlarmRules(board.serial));
}

void BoardHost::setAlarmFile(const AlarmSetup &setup)
{
    m_alarmFile = setup;
    for (const auto &known : m_boards)
        setUpAlarms(*known);
}

void BoardHost::setCalibration(const QString &serial, const BoardCalibration &calibration)
{
    // Under a rules file, a change holds for the run: the file's own never end up in the board's settings.
    if (keepsAlarmSettings())
        saveCalibration(serial, calibration);
    applyCalibration(board(serial), calibration);
}

void BoardHost::judgeOutputReport(Hosted &hosted, const SessionEvent &event)
{
    // The report of a pin driven from here is no level for the windows (the pin keeps the colour it was given), but
    // a pin rule watches what the board says of it all the same.
    const Report *report = event.report;
    if (!hosted.board || !report || !report->applicable || report->kind != Report::Kind::Pin ||
        !hosted.session->setup().isOutput(report->pin))
        return;
    SessionEvent level = event;
    level.kind = SessionEvent::Kind::PinLevel;
    level.index = report->pin;
    level.value = report->state != 0 ? 1 : 0;
    level.text = {};
    level.report = nullptr;
    hosted.board->alarms.take(level, hosted.session->events());
}

void BoardHost::sendAlarmCommand(const HostedBoard &board, const QString &name)
{
    const auto &alarms = board.alarms.alarms();
    const auto alarm = std::find_if(alarms.begin(), alarms.end(),
                                    [&](const AlarmEngine::Alarm &each) { return each.rule.name == name; });
    if (alarm == alarms.end() || alarm->rule.command.isEmpty() || !alarm->rule.commandConfirmed)
        return;
    // After the raise has gone round (the reading that raised it is still being told): sent as typed, and logged.
    QTimer::singleShot(0, this, [this, serial = board.serial, command = alarm->rule.command] {
        if (BoardSession *session = sessionOf(serial))
            session->sendTyped(command);
    });
}

void BoardHost::applyCalibration(HostedBoard &board, const BoardCalibration &calibration)
{
    board.alarms.setCalibration(calibration);
    if (m_journal)
        m_journal->setCalibration(board.serial, calibration);
    Q_EMIT calibrationChanged(board.serial);
}

void BoardHost::setAlarmRules(const QString &serial, const std::vector<AlarmRule> &rules)
{
    if (keepsAlarmSettings())
        saveAlarmRules(serial, rules);
    // An alarm up under a rule changed or gone is cleared for everyone who was told it (the journal, the window), not
    // dropped; the others stay as they are.
    BoardSession *session = sessionOf(serial);
    board(serial).alarms.clearChanged(rules, QStringLiteral("its rule changed"),
                                      session ? session->stamp() : foreground().stamp(), session,
                                      session ? &session->events() : nullptr);
    board(serial).alarms.setRules(rules);
    Q_EMIT alarmsChanged();
}

bool BoardHost::acknowledgeAlarm(const QString &serial, const QString &name)
{
    BoardSession *session = sessionOf(serial);
    HostedBoard &data = board(serial);
    const EventStamp stamp = session ? session->stamp() : foreground().stamp();
    const bool done = data.alarms.acknowledge(name, stamp, session, session ? &session->events() : nullptr);
    if (done && !session)
        Q_EMIT alarmsChanged(); // no session told it
    return done;
}

int BoardHost::acknowledgeAllAlarms(const QString &serial)
{
    BoardSession *session = sessionOf(serial);
    HostedBoard &data = board(serial);
    const EventStamp stamp = session ? session->stamp() : foreground().stamp();
    const int count = data.alarms.acknowledgeAll(stamp, session, session ? &session->events() : nullptr);
    if (count > 0 && !session)
        Q_EMIT alarmsChanged();
    return count;
}

int BoardHost::activeAlarmCount() const
{
    int count = 0;
    for (const auto &known : m_boards)
        count += known->alarms.activeCount();
    return count;
}

const HostedBoard *BoardHost::findBoard(const QString &serial) const
{
    for (const auto &known : m_boards) {
        if (known->serial == serial)
            return known.get();
    }
    return nullptr;
}

QStringList BoardHost::scan()
{
    return foreground().scanDevices();
}

void BoardHost::setReconnect(bool on)
{
    m_reconnect = on;
    for (const auto &hosted : m_sessions)
        hosted->session->setReconnect(on);
}

QString BoardHost::select(std::int32_t position)
{
    BoardSession &chooser = foreground();
    // With no board kept open, a selection is exactly the one the device list has always made.
    const bool anyKept = !m_keptOpen.isEmpty() || m_sessions.size() > 1;
    if (!anyKept)
        return chooser.selectDevice(position);

    const QString chosen = DeviceSerial(m_driver, position);
    const bool holdsOther = chooser.holdsBoard() && chooser.serial() != chosen;
    if (Hosted *kept = background(chosen)) {
        if (holdsOther && isKeptOpen(chooser.serial()))
            moveToBackground();
        chooser.adopt(*kept->session);
        drop(kept);
        Q_EMIT boardsChanged();
        return chosen;
    }
    if (holdsOther && isKeptOpen(chooser.serial()))
        moveToBackground();
    return chooser.selectDevice(position);
}

void BoardHost::moveToBackground()
{
    BoardSession &from = foreground();
    auto session = std::make_unique<BoardSession>(m_driver);
    BoardSession &to = *session;
    Hosted &hosted = host(std::move(session));
    hosted.board = m_foreground->board;
    m_foreground->board = nullptr;
    hosted.polling = to.wantPolling(Poller::kDefaultInterval, kKeptOpen);
    from.handOver(to);
    Q_EMIT boardsChanged();
}

void BoardHost::drop(Hosted *hosted)
{
    std::erase_if(m_sessions, [hosted](const std::unique_ptr<Hosted> &other) { return other.get() == hosted; });
}

bool BoardHost::setKeptOpen(const QString &serial, bool kept, QString *error)
{
    if (serial.isEmpty())
        return false;
    if (!kept) {
        m_keptOpen.remove(serial);
        if (Hosted *hosted = background(serial)) {
            hosted->session->closeDevice();
            drop(hosted);
        }
        Q_EMIT boardsChanged();
        return true;
    }
    m_keptOpen.insert(serial);
    if (!sessionOf(serial)) {
        const std::vector<BoardSession *> sessions = open({serial}, error);
        BoardSession *opened = sessions.empty() ? nullptr : sessions.front();
        if (!opened) {
            m_keptOpen.remove(serial);
            Q_EMIT boardsChanged();
            return false;
        }
        // Opened to be watched: the channels the operator ticks for the foreground are read here too.
        const BoardSetup &setup = foreground().setup();
        for (int channel = kFirstChannel; channel <= kLastChannel; ++channel)
            opened->setChannelTicked(channel, setup.isTicked(channel));
        opened->setAnalogRequestsOn(setup.tickedChannels.any());
        hostedOf(*opened)->polling = opened->wantPolling(Poller::kDefaultInterval, kKeptOpen);
    }
    Q_EMIT boardsChanged();
    return true;
}

std::vector<BoardSession *> BoardHost::open(const QStringList &serials, QString *error)
{
    const QStringList listed = BoardSession(m_driver).scanDevices();
    for (const QString &serial : serials) {
        if (serial.isEmpty() || !listed.contains(serial)) {
            if (error)
                *error = QStringLiteral("board %1 is not listed").arg(serial);
            return {};
        }
    }
    std::vector<Hosted *> opened;
    for (const QString &serial : serials) {
        Hosted &hosted = host(std::make_unique<BoardSession>(m_driver));
        opened.push_back(&hosted);
        BoardSession &session = *hosted.session;
        session.selectDevice(std::int32_t(listed.indexOf(serial)));
        if (session.handle() > 0)
            continue;
        if (error) {
            const QString reason = m_driver.openFailureReason();
            *error = QStringLiteral("board %1 could not be opened%2")
                         .arg(serial, reason.isEmpty() ? QString() : QStringLiteral(": ") + reason);
        }
        for (Hosted *other : opened) {
            other->session->closeDevice();
            drop(other);
        }
        return {};
    }
    std::vector<BoardSession *> sessions;
    for (Hosted *hosted : opened)
        sessions.push_back(hosted->session.get());
    return sessions;
}

BoardSession *BoardHost::sessionOf(const QString &serial)
{
    for (const auto &hosted : m_sessions) {
        BoardSession &session = *hosted->session;
        if (!serial.isEmpty() && session.serial() == serial && session.holdsBoard())
            return &session;
    }
    return nullptr;
}

QStringList BoardHost::openBoards() const
{
    QStringList serials;
    for (const auto &hosted : m_sessions) {
        const BoardSession &session = *hosted->session;
        if (session.holdsBoard() && !serials.contains(session.serial()))
            serials.append(session.serial());
    }
    return serials;
}

QStringList BoardHost::knownBoards() const
{
    QStringList serials;
    for (const auto &known : m_boards)
        serials.append(known->serial);
    return serials;
}

void BoardHost::setUpJournal(const JournalSettings &settings, bool keep)
{
    // A journal played back is not journaled again (into the folder it is read from, as often as not).
    if (m_driver.playedFeed())
        return;
    m_journal = std::make_unique<Journal>(settings);
    connect(m_journal.get(), &Journal::stopped, this, &BoardHost::journalStopped);
    for (const auto &hosted : m_sessions)
        m_journal->attach(*hosted->session);
    for (const auto &known : m_boards)
        m_journal->setCalibration(known->serial, known->alarms.calibration());
    if (keep)
        keepJournal(true);
}

bool BoardHost::isJournalKept() const
{
    return m_journal && m_journal->isRunning();
}

void BoardHost::keepJournal(bool keep)
{
    if (!m_journal)
        return;
    if (!keep) {
        m_journal->stop();
        return;
    }
    if (QString reason; !m_journal->start(&reason))
        Q_EMIT journalStopped(reason);
}

void BoardHost::closeAll()
{
    for (const auto &hosted : m_sessions) {
        hosted->session->closeDevice();
        hosted->polling.reset();
    }
    for (const auto &known : m_boards)
        known->recording.stop();
}
