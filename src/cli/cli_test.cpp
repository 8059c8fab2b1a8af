#include "cli/cli_commands.h"

#include "plans/plan_report.h"
#include "plans/plan_run.h"

#include <QEventLoop>

void CliTest::printStep(const PlanRun &run, int index)
{
    const StepResult &result = run.results()[std::size_t(index)];
    // One pass: a step's name or an answer with "%3" in it stays as written.
    m_context.records().line(
        QStringLiteral("%1 %2 (%3 s): %4; expected %5")
            .arg(outcomeText(result.outcome).leftJustified(5), run.plan().steps[std::size_t(index)].name,
                 QString::number(double(result.elapsedMs) / 1000.0, 'f', 3), result.measured, result.expected)
            .toUtf8());
    m_context.records().flush();
}

int CliTest::run()
{
    const CliOptions &options = m_context.options();
    // Limits in units are judged by the board's calibration (that of --alarms over the one the window program keeps
    // for it); a unit it does not give is an error in the plan.
    const BoardCalibration calibration = m_context.host().board(options.boards.value(0)).alarms.calibration();
    if (const QString mismatch = unitMismatch(*options.plan, calibration); !mismatch.isEmpty()) {
        m_context.error(mismatch);
        return m_context.finish(kExitUsage);
    }
    // The plan run asks for the board's polling itself.
    if (!m_context.openBoards(std::nullopt))
        return m_context.finish(kExitNoBoard);
    PlanRun run(*m_context.boards().front().session, *options.plan);
    run.setPollInterval(std::chrono::milliseconds(options.pollMs));
    run.setCalibration(calibration);
    QEventLoop loop;
    std::vector<bool> printed(run.results().size());
    QObject::connect(&run, &PlanRun::stepFinished, [this, &run, &printed](int index) {
        printStep(run, index);
        printed[std::size_t(index)] = true;
    });
    QObject::connect(&run, &PlanRun::finished, &loop, &QEventLoop::quit);
    m_context.onStop = [&run] {
        run.stop();
    };
    run.start();
    if (m_context.stopRequested())
        run.stop();
    if (!run.isFinished())
        loop.exec();
    m_context.onStop = nullptr;
    // Steps that did not end by themselves (skipped, or not run after a loss) are said too.
    for (int index = 0; index < int(printed.size()); ++index) {
        if (!printed[std::size_t(index)])
            printStep(run, index);
    }
    m_context.records().line(run.verdictLine().toUtf8());
    int exitCode = run.passed() ? kExitOk : kExitNotMet;
    if (run.boardLost()) {
        m_context.error(QStringLiteral("board %1 was lost").arg(m_context.boards().front().serial));
        exitCode = kExitLost;
    }
    if (m_context.stopRequested())
        exitCode = m_context.interruptedExit();
    // The reports are written however the run ended.
    const ReportContext context = thisProcessContext();
    for (const QString &file : {options.junitFile, options.reportFile}) {
        if (file.isEmpty())
            continue;
        if (const auto failure = saveReport(file, run, context)) {
            m_context.error(QStringLiteral("report %1 could not be written: %2").arg(file, *failure));
            exitCode = kExitOutput;
        }
    }
    return m_context.finish(exitCode);
}
