#pragma once

#include "cli/cli_options.h"

#include <QObject>

#include <cstdio>
#include <memory>

class CliCommand;
class CliContext;
class Driver;

// The headless front end: runs one vantrel-cli command (list, send, monitor, journal, test or serve) to its end on the
// boards of one driver. Records go to `out`, errors to `err`, one line each. The boards are opened as a selection
// opens them and always closed at the end.
class CliRunner : public QObject
{
    Q_OBJECT

public:
    CliRunner(Driver &driver, CliOptions options, std::FILE *out, std::FILE *err);
    ~CliRunner() override;

    // Runs the command and returns the exit code; while it waits, an event loop runs in which the boards are polled
    // every kPollMs.
    int run();
    // Ends a run in progress as a signal does (SIGINT by default): monitoring is switched off and the boards closed.
    // `monitor` without --expect then ends with 0, `monitor --expect` not yet met with 1, anything else with 130
    // (SIGINT) or 143 (SIGTERM, SIGHUP).
    void requestStop(int signal = 2);

    static constexpr int kPollMs = 100;

    // Records written so far.
    qint64 records() const;

private:
    std::unique_ptr<CliContext> m_context;
    std::unique_ptr<CliCommand> m_command;
};
