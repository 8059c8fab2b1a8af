#include "cli/cli_runner.h"

#include "cli/cli_commands.h"

namespace {

std::unique_ptr<CliCommand> makeCommand(CliOptions::Command command, CliContext &context)
{
    switch (command) {
    case CliOptions::Command::List:
        return std::make_unique<CliList>(context);
    case CliOptions::Command::Send:
        return std::make_unique<CliSend>(context);
    case CliOptions::Command::Journal:
        return std::make_unique<CliJournal>(context);
    case CliOptions::Command::Test:
        return std::make_unique<CliTest>(context);
    case CliOptions::Command::Serve:
        return std::make_unique<CliServe>(context);
    case CliOptions::Command::Monitor:
        break;
    }
    return std::make_unique<CliMonitor>(context);
}

} // namespace

CliRunner::CliRunner(Driver &driver, CliOptions options, std::FILE *out, std::FILE *err)
    : m_context(std::make_unique<CliContext>(driver, std::move(options), out, err))
    , m_command(makeCommand(m_context->options().command, *m_context))
{
    static_assert(kPollMs == CliContext::kPollMs);
}

CliRunner::~CliRunner() = default;

int CliRunner::run()
{
    const CliOptions::Command command = m_context->options().command;
    // The commands that open boards keep a journal when asked.
    if (command == CliOptions::Command::Send || command == CliOptions::Command::Monitor ||
        command == CliOptions::Command::Test)
        m_context->keepJournal();
    return m_command->run();
}

qint64 CliRunner::records() const
{
    return m_context->records().count();
}

void CliRunner::requestStop(int signal)
{
    m_context->requestStop(signal);
}
