#pragma once

#include "alarms/alarm_file.h"
#include "host/hosted_board.h"
#include "records/journal.h"
#include "session/board_session.h"
#include "session/poller.h"

#include <QObject>
#include <QSet>
#include <QString>
#include <QStringList>

#include <memory>
#include <vector>

class Driver;

struct HostOptions {
    bool keepTrend = true;     // keep each board's trend history (the window program); the runner keeps none
    bool alarmSettings = true; // each board's calibration and alarm rules from the program's settings
    // Each board's calibration from the settings, not its rules (the runner: a rules file's calibration goes over
    // it, and its rules are the file's or none).
    bool keptCalibration = false;
};

// The boards a program has open, with what is kept of each: every open board's session, and per board (by serial
// number) its trend history, its recording and its place in the journal. The window program and the runner are
// front ends of it; it knows nothing of either.
//
// The window program works on one board at a time, the foreground (chosen in the device list exactly as a selection
// chooses: the board held is closed, the chosen one opened). A board may be kept open: when another board is
// chosen, it goes on in the background instead of being closed, with its own session, poll lease, journal and trend,
// and choosing it again takes that session's board back without a second open. The runner opens the boards it is
// named, each in a session of its own.
//
// Each hosted board's data is fed from whichever session holds the board now, so it follows the board between the
// foreground and the background.
class BoardHost : public QObject
{
    Q_OBJECT

public:
    explicit BoardHost(Driver &driver, HostOptions options = {}, QObject *parent = nullptr);
    ~BoardHost() override;

    Driver &driver() { return m_driver; }

    // The session the windows work on; made on first use.
    BoardSession &foreground();
    // Chooses the board at `position` of the driver's list as a selection does (see above); the serial number.
    QString select(std::int32_t position);

    // Whether the board stays open in the background when another is chosen. Keeping a board open that is open
    // nowhere opens it in the background (with the foreground's ticked channels); no longer keeping one open in
    // the background closes it. False when the board could not be opened (`error` says why).
    bool setKeptOpen(const QString &serial, bool kept, QString *error = nullptr);
    bool isKeptOpen(const QString &serial) const { return m_keptOpen.contains(serial); }

    // Opens each board in a session of its own (the runner's boards), as a selection opens it, in the order given.
    // Every board is looked for before any is opened: when one is not listed or cannot be opened, none stays open,
    // and the result is empty with the reason.
    std::vector<BoardSession *> open(const QStringList &serials, QString *error);

    // The session that holds `serial` now (the foreground's or one of its own), or null.
    BoardSession *sessionOf(const QString &serial);
    // Every board open now, the foreground's first.
    QStringList openBoards() const;
    // Every board with data kept, in the order first seen.
    QStringList knownBoards() const;
    // A board's data, made on first use.
    HostedBoard &board(const QString &serial);
    const HostedBoard *findBoard(const QString &serial) const;

    // The serial numbers of the attached boards, as the device list shows them.
    QStringList scan();

    // Whether a lost board is looked for and opened again (on by default), for every board opened here.
    void setReconnect(bool on);

    // The journal of every board opened here, from now on: kept in `settings`, running when `keep` says so.
    void setUpJournal(const JournalSettings &settings, bool keep);
    Journal *journal() const { return m_journal.get(); }
    bool isJournalKept() const;
    // Starts or stops the journal; a start that fails is said by journalStopped().
    void keepJournal(bool keep);

    // Calibration and rules from a rules file for every board, over (calibration) or instead of (rules) the
    // settings' own.
    void setAlarmFile(const AlarmSetup &setup);
    // A board's calibration and rules, kept in the settings (when the host takes them from there, and no rules file
    // is in use: then for this run only) and judged from now on.
    void setCalibration(const QString &serial, const BoardCalibration &calibration);
    void setAlarmRules(const QString &serial, const std::vector<AlarmRule> &rules);
    // Whether what setCalibration() and setAlarmRules() are given is kept for the next run.
    bool keepsAlarmSettings() const { return m_options.alarmSettings && !m_alarmFile; }
    // The operator acknowledges a board's alarm by name, or all of them; told on the session that holds the board.
    bool acknowledgeAlarm(const QString &serial, const QString &name);
    int acknowledgeAllAlarms(const QString &serial);
    // Active alarms over every board.
    int activeAlarmCount() const;

    // Closes every board (at the end of the program or the run).
    void closeAll();

Q_SIGNALS:
    // A board opened, closed, went to or came from the background, was lost or came back, or was kept open.
    void boardsChanged();
    // An alarm of some board was raised, acknowledged or cleared (after its event went round).
    void alarmsChanged();
    // A board's calibration was set: what shows its readings in units shows them anew.
    void calibrationChanged(const QString &serial);
    // An alarm was raised on a board (after alarmsChanged): what a desktop notice tells. `severity`: AlarmSeverity.
    void alarmRaised(const QString &serial, const QString &name, int severity, const QString &detail);
    // The journal could not be written and stopped, or could not start.
    void journalStopped(const QString &reason);

private:
    struct Hosted {
        std::unique_ptr<BoardSession> session;
        HostedBoard *board = nullptr; // the data of the board it holds now
        EventStream::Subscription subscription;
        PollLease polling; // background and runner boards: polled while open
    };

    Hosted &host(std::unique_ptr<BoardSession> session);
    void follow(Hosted &hosted, const SessionEvent &event);
    Hosted *hostedOf(const BoardSession &session);
    Hosted *background(const QString &serial);
    // Moves the foreground's board to a background session of its own.
    void moveToBackground();
    void drop(Hosted *hosted);
    void setUpAlarms(HostedBoard &board);
    // The calibration judged, journaled and shown from now on.
    void applyCalibration(HostedBoard &board, const BoardCalibration &calibration);
    void judgeOutputReport(Hosted &hosted, const SessionEvent &event);
    // The command of the alarm raised, when its rule has one the operator confirmed.
    void sendAlarmCommand(const HostedBoard &board, const QString &name);

    Driver &m_driver;
    HostOptions m_options;
    std::vector<std::unique_ptr<Hosted>> m_sessions; // the foreground's first, once made
    Hosted *m_foreground = nullptr;
    std::vector<std::unique_ptr<HostedBoard>> m_boards;
    QSet<QString> m_keptOpen;
    bool m_reconnect = true;
    std::unique_ptr<Journal> m_journal;
    std::optional<AlarmSetup> m_alarmFile;
};
