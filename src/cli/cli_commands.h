#pragma once

#include "cli/cli_context.h"

class PlanRun;
struct SessionEvent;

// One vantrel-cli command: runs to its end on the context and returns the exit code. A stop (a signal) reaches it
// through the context.
class CliCommand
{
public:
    explicit CliCommand(CliContext &context)
        : m_context(context)
    {}
    virtual ~CliCommand() = default;
    CliCommand(const CliCommand &) = delete;
    CliCommand &operator=(const CliCommand &) = delete;

    virtual int run() = 0;

protected:
    CliContext &m_context;
};

// list: the attached boards' serial numbers, one a line; exit 3 when there is none.
class CliList : public CliCommand
{
public:
    using CliCommand::CliCommand;
    int run() override;
};

// send: the commands and scripts named, in order, to one board; then what it answers, until the line expected
// (exit 1 when none came in time) or for the wait. A board lost ends it (exit 4) unless it is waited for.
class CliSend : public CliCommand
{
public:
    using CliCommand::CliCommand;
    int run() override;

private:
    bool sendSurvivingLoss(CliContext::Board &board, const QString &text);
    void answered(CliContext::Board &board, const SessionEvent &event);
    // A board lost, or back after a loss: "lost SERIAL" or "back SERIAL", or its record in CSV and JSON Lines.
    void lostOrBack(const SessionEvent &event);
};

// monitor: the readings, pin levels, other lines and gaps of one or more boards as records, for a time, until a
// line expected, or until stopped.
class CliMonitor : public CliCommand
{
public:
    using CliCommand::CliCommand;
    int run() override;

private:
    void take(CliContext::Board &board, const SessionEvent &event);
};

// journal: a board's journal read back in time order, as text or records; exit 3 when it has none. With --list:
// the boards with a journal.
class CliJournal : public CliCommand
{
public:
    using CliCommand::CliCommand;
    int run() override;

private:
    int list();
};

// test: a plan run on one board, each step printed as it ends, the verdict, and the reports asked for.
class CliTest : public CliCommand
{
public:
    using CliCommand::CliCommand;
    int run() override;

private:
    void printStep(const PlanRun &run, int index);
};

// serve: the boards on an MQTT broker until stopped.
class CliServe : public CliCommand
{
public:
    using CliCommand::CliCommand;
    int run() override;
};
