#pragma once

#include "cli/cli_options.h"
#include "cli/records.h"
#include "session/board_session.h"
#include "session/front_end.h"

#include <QDeadlineTimer>
#include <QElapsedTimer>
#include <QObject>

#include <bitset>
#include <cstdio>

class Driver;
class QEventLoop;

// The headless front end of a board session: runs one vantrel-cli command (list, send or monitor) to its end.
// Records go to `out`, errors to `err`, one line each. The board is opened as a selection opens it and always
// closed at the end.
class CliRunner : public QObject, public SessionFrontEnd
{
    Q_OBJECT

public:
    CliRunner(Driver &driver, CliOptions options, std::FILE *out, std::FILE *err, AppState &state = appState());

    // Runs the command and returns the exit code; while it waits, it runs an event loop and polls every kPollMs.
    int run();
    // Ends a run in progress as SIGINT or SIGTERM does: monitoring is switched off and the board closed.
    void requestStop();

    static constexpr int kPollMs = 100;

    // Records written so far.
    qint64 records() const { return m_records.count(); }

    // SessionFrontEnd
    void logLine(const QString &) override {}
    void setStatusText(const QString &) override {}
    void showPinLevel(int pin, bool high) override;
    void showReading(int channel, std::int32_t value) override;
    void blankReading(int) override {}
    bool analogRequestsOn() override { return m_channels.any(); }
    bool isChannelTicked(int channel) override { return m_channels.test(std::size_t(channel)); }
    bool isPinMonitored(int pin) override { return m_pins.test(std::size_t(pin)); }
    void lineReceived(const QString &line, const Report &report, bool consumed) override;

private:
    enum class Outcome { Done, Matched, Stopped, Lost, Expired, OutputClosed };

    int list();
    int send();
    int monitor();
    bool openBoard();
    bool sendSurvivingLoss(const QString &text);
    Outcome pollUntil(QDeadlineTimer deadline, bool stopOnMatch);
    int finish(int exitCode);
    void error(const QString &text);
    qint64 now() const { return m_elapsed.elapsed(); }

    CliOptions m_options;
    BoardSession m_session;
    std::FILE *m_out;
    std::FILE *m_err;
    RecordWriter m_records;
    std::bitset<kLastChannel + 1> m_channels;
    std::bitset<kLastPin + 1> m_pins;
    QElapsedTimer m_elapsed;
    QEventLoop *m_loop = nullptr;
    bool m_stopRequested = false;
    bool m_matched = false;
};
