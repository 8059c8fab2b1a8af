// Prints the receive path's figures, one per line as "name: value unit (median of N runs)".
// Build and run it with scripts/bench; it is not a test and checks nothing.

#include "app/form_main.h"
#ifdef VANTREL_BRIDGE_BENCH
#include "bridge_bench.h"
#include "bridge_peer_bench.h"
#endif
#include "alarms/alarm_engine.h"
#include "alarms/alarm_file.h"
#include "app/options.h"
#include "cli/cli_runner.h"
#include "device/driver_factory.h"
#include "measure.h"
#include "replay_bench.h"
#include "report_mix.h"
#ifdef VANTREL_PTY_BENCH
#include "pty_bench.h"
#endif
#include "device/demo_board.h"
#include "device/demo_driver.h"
#include "plans/plan_reader.h"
#include "plans/plan_run.h"
#include "records/journal.h"
#include "records/journal_files.h"
#include "records/journal_gzip.h"
#include "records/trend_history.h"
#include "session/poller.h"
#include "stream_driver.h"
#include "windows/analog_levels/form_analog_levels.h"
#include "windows/communications/device_list.h"
#include "windows/communications/form_communications.h"
#include "windows/dialogs.h"
#include "windows/trend/trend_export.h"
#include "windows/trend/trend_plot.h"

#include <QApplication>
#include <QCheckBox>
#include <QDeadlineTimer>
#include <QDir>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QPixmap>
#include <QProcess>
#include <QTemporaryDir>
#include <QTimer>

#include <algorithm>
#include <cstdio>
#include <ctime>
#include <vector>

namespace {

// The same monotonic clock in every process, so a child's time can be compared with its parent's.
qint64 monotonicNs()
{
    return QDeadlineTimer::current().deadlineNSecs();
}

void print(const char *name, double value, const char *unit, int runs)
{
    std::printf("%s: %.*f %s (median of %d runs)\n", name, value >= 100 ? 0 : 2, value, unit, runs);
    std::fflush(stdout);
}

// A program run on the streaming board: main window, all four child windows, the board selected and every
// analog channel monitored.
struct Bench {
    QTemporaryDir directory;
    StreamDriver driver;
    Dialogs dialogs;
    std::unique_ptr<formMain> main;
    formCommunications *com = nullptr;

    Bench()
    {
        QDir::setCurrent(directory.path());
        main = std::make_unique<formMain>(driver, dialogs);
        main->show();
        com = main->view<formCommunications>();
        com->DevicesList()->setCurrentRow(0);
        com->DevicesList_Click();
        for (int channel = 1; channel <= 8; ++channel)
            main->view<formAnalogLevels>()->CheckADC(channel)->setChecked(true);
        QCoreApplication::processEvents();
    }

    void fillLog(int lines)
    {
        for (int i = 0; i < lines; ++i)
            main->LogLine(QStringLiteral("received : filler line ") + QString::number(i));
        QCoreApplication::processEvents();
    }

    // One tick and the repaint that follows it.
    double tickMs(const QByteArray &bytes)
    {
        driver.refill(bytes);
        QElapsedTimer timer;
        timer.start();
        com->TimerBackgound_Timer();
        QCoreApplication::processEvents();
        return double(timer.nsecsElapsed()) / 1e6;
    }
};

void interpreterLinesPerSecond()
{
    Bench bench;
    ReportMix mix;
    std::vector<QString> lines;
    for (int i = 0; i < 200'000; ++i)
        lines.push_back(QString::fromLatin1(mix.line()));
    std::vector<double> rates;
    for (int run = 0; run < 5; ++run) {
        QElapsedTimer timer;
        timer.start();
        for (const QString &line : lines) {
            bench.main->session().pendingLine = line;
            bench.main->session().interpretLine();
        }
        rates.push_back(double(lines.size()) / (double(timer.nsecsElapsed()) / 1e9));
        QCoreApplication::processEvents();
    }
    print("interpreter_lines_per_s", median(rates), "lines/s", 5);
}

void tick120kb()
{
    Bench bench;
    bench.fillLog(100'000);
    ReportMix mix;
    std::vector<double> times;
    constexpr int kRuns = 31;
    for (int run = 0; run < kRuns; ++run)
        times.push_back(bench.tickMs(mix.stream(120 * 1024)));
    print("tick_ms_median_120kb", median(times), "ms", kRuns);
    std::printf("tick_ms_max_120kb: %.2f ms (largest of %d runs)\n", *std::max_element(times.begin(), times.end()),
                kRuns);
}

void endToEnd()
{
    Bench bench;
    ReportMix mix;
    std::vector<QByteArray> chunks;
    std::vector<qsizetype> chunkLines;
    for (int i = 0; i < 16; ++i) {
        qsizetype lines = 0;
        chunks.push_back(mix.stream(120 * 1024, &lines));
        chunkLines.push_back(lines);
    }
    std::vector<double> rates;
    for (int run = 0; run < 3; ++run) {
        qint64 lines = 0;
        QElapsedTimer timer;
        timer.start();
        std::size_t next = 0;
        while (timer.elapsed() < 10'000 / 3) {
            bench.tickMs(chunks[next]);
            lines += chunkLines[next];
            next = (next + 1) % chunks.size();
        }
        rates.push_back(double(lines) / (double(timer.nsecsElapsed()) / 1e9));
    }
    print("end_to_end_lines_per_s", median(rates), "lines/s", 3);
}

void logAppend()
{
    Bench bench;
    constexpr int kLines = 10'000'000;
    constexpr int kBlock = 1'000'000;
    double first = 0;
    double last = 0;
    for (int block = 0; block < kLines / kBlock; ++block) {
        QElapsedTimer timer;
        timer.start();
        for (int i = 0; i < kBlock; ++i)
            bench.main->LogLine(QStringLiteral("received : adc 3 ") + QString::number(i & 255));
        const double ns = double(timer.nsecsElapsed()) / kBlock;
        if (block == 0)
            first = ns;
        last = ns;
        // The view catches up after each handler in the program; here after each block.
        QCoreApplication::processEvents();
    }
    std::printf("log_append_ns_first: %.1f ns (mean of %d lines)\n", first, kBlock);
    std::printf("log_append_ns_last: %.1f ns (mean of %d lines)\n", last, kBlock);
    std::printf("rss_mb_after_10m_lines: %.1f MB (after %d lines)\n", rssMb(), kLines);
    std::fflush(stdout);
}

void cpuAtLinkSpeed()
{
    // The board streams 1.2 MB/s; the program runs its own 100 ms timer and event loop.
    Bench bench;
    ReportMix mix;
    const QByteArray stream = mix.stream(24 * 1024 * 1024);
    constexpr double kBytesPerSecond = 1.2e6;
    QElapsedTimer wall;
    wall.start();
    qsizetype delivered = 0;
    QTimer feeder;
    feeder.setInterval(10);
    QObject::connect(&feeder, &QTimer::timeout, [&] {
        const qsizetype due = qsizetype(double(wall.nsecsElapsed()) / 1e9 * kBytesPerSecond);
        if (due > delivered && due <= stream.size()) {
            bench.driver.queue.append(stream.constData() + delivered, due - delivered);
            delivered = due;
        }
    });
    bench.driver.refill({});
    feeder.start();
    const double cpuStart = processCpuSeconds();
    QEventLoop loop;
    QTimer::singleShot(10'000, &loop, &QEventLoop::quit);
    loop.exec();
    const double share = (processCpuSeconds() - cpuStart) / (double(wall.nsecsElapsed()) / 1e9);
    std::printf("cpu_share_at_1_2_mb_s: %.3f of one core (over 10 s, including the simulated board)\n", share);
    std::fflush(stdout);
}

void trend()
{
    // An hour of eight channels at ten readings a second, all in view, 1000 pixels wide.
    TrendHistory history;
    constexpr qint64 kHourMs = 3'600'000;
    std::vector<std::int32_t> levels;
    for (qint64 ms = 0; ms < kHourMs; ms += 100) {
        for (int channel = 1; channel <= 8; ++channel)
            levels.push_back(DemoBoard::analogLevel(channel, ms));
    }
    QElapsedTimer timer;
    timer.start();
    qint64 appended = 0;
    for (qint64 ms = 0; ms < kHourMs; ms += 100) {
        for (int channel = 1; channel <= 8; ++channel, ++appended)
            history.append(channel, ms, levels[std::size_t(appended)]);
    }
    std::printf("trend_append_ns: %.1f ns (mean of %lld readings)\n", double(timer.nsecsElapsed()) / double(appended),
                static_cast<long long>(appended));

    TrendPlot plot(history);
    plot.resize(1000, 300);
    const int extra = 1000 - (plot.width() - plot.fontMetrics().horizontalAdvance(QStringLiteral("255.5")) - 20);
    plot.resize(1000 + extra, 300); // the plot area itself 1000 pixels wide
    plot.setWindow(kHourMs, kHourMs);
    QPixmap canvas(plot.size());
    std::vector<double> times;
    constexpr int kRuns = 31;
    for (int run = 0; run < kRuns; ++run) {
        timer.start();
        plot.render(&canvas);
        times.push_back(double(timer.nsecsElapsed()) / 1e6);
    }
    print("trend_paint_ms", median(times), "ms", kRuns);

    // Zoomed to ten minutes in the middle of the hour, as the wheel leaves it.
    TrendView view = plot.view();
    view.showRange(kHourMs / 2 - 300'000, kHourMs / 2 + 300'000);
    plot.setView(view);
    times.clear();
    for (int run = 0; run < kRuns; ++run) {
        timer.start();
        plot.render(&canvas);
        times.push_back(double(timer.nsecsElapsed()) / 1e6);
    }
    print("trend_zoom_paint_ms", median(times), "ms", kRuns);

    // The whole hour exported, every channel.
    plot.setWindow(kHourMs, kHourMs);
    constexpr int kExportRuns = 3;
    for (const char *kind : {"csv", "svg"}) {
        times.clear();
        qsizetype bytes = 0;
        for (int run = 0; run < kExportRuns; ++run) {
            timer.start();
            bytes = kind == std::string_view("csv") ? trendCsv(history, {1, 2, 3, 4, 5, 6, 7, 8}, 0, kHourMs, 0).size()
                                                    : trendSvg(plot).size();
            times.push_back(double(timer.nsecsElapsed()) / 1e6);
        }
        std::printf("trend_export_ms_1h_%s: %.0f ms (median of %d runs, %lld bytes)\n", kind, median(times),
                    kExportRuns, static_cast<long long>(bytes));
    }
    std::fflush(stdout);
}

// Records per second of the headless runner on a board that always has a queue waiting: monitor, CSV records to
// /dev/null, with what more is asked (a rules file).
double cliMonitorRate(const QStringList &more, double *seconds)
{
    class Flood : public StreamDriver
    {
    public:
        std::uint32_t getStatus(std::intptr_t handle, std::uint32_t *rx, std::uint32_t *tx,
                                std::uint32_t *events) override
        {
            if (readAt >= queue.size())
                readAt = 0;
            return StreamDriver::getStatus(handle, rx, tx, events);
        }
    };
    Flood driver;
    ReportMix mix;
    driver.refill(mix.stream(16 * 1024 * 1024));
    const ParsedCliOptions parsed =
        parseCliOptions(QStringList{"vantrel-cli", "monitor", "--board", "BENCH001", "--adc", "1-8", "--pins", "1-18",
                                    "--format", "csv", "--seconds", "5"} +
                        more);
    std::FILE *sink = std::fopen("/dev/null", "w");
    CliRunner runner(driver, parsed.options, sink, stderr);
    QElapsedTimer timer;
    timer.start();
    runner.run();
    *seconds = double(timer.nsecsElapsed()) / 1e9;
    std::fclose(sink);
    return double(runner.records()) / *seconds;
}

void cliMonitor()
{
    double seconds = 0;
    const double rate = cliMonitorRate({}, &seconds);
    std::printf("cli_monitor_lines_per_s: %.0f records/s (monitor --format csv to /dev/null, %.0f s of a full "
                "queue)\n",
                rate, seconds);
    std::fflush(stdout);
}

// 64 rules, 8 on each channel: a low and a high limit, some held long, some latched, in a unit. Quiet: limits the
// readings never cross (a bench that is well); else limits that random readings cross every few readings (a storm).
QByteArray sixtyFourRules(bool quiet, int rules = 64)
{
    const double low = quiet ? -1.0 : 0.5;
    const double high = quiet ? 7.0 : 5.5;
    QByteArray text;
    for (int channel = 1; channel <= 8; ++channel)
        text += QStringLiteral("[calibration.%1]\nscale = 0.025\nunit = \"V\"\n").arg(channel).toUtf8();
    for (int rule = 0; rule < rules; ++rule) {
        const int channel = rule % 8 + 1;
        text += QStringLiteral("[[alarm]]\nname = \"rule %1\"\nchannel = %2\nbelow = %3\nabove = %4\nfor_ms = %5\n"
                               "latched = %6\n")
                    .arg(rule)
                    .arg(channel)
                    .arg(low + 0.05 * (rule / 8))
                    .arg(high + 0.05 * (rule / 8))
                    .arg(rule % 3 * 250)
                    .arg(rule % 2 ? "true" : "false")
                    .toUtf8();
    }
    return text;
}

void alarmsBench()
{
    const auto read = readAlarmsText(sixtyFourRules(false), QStringLiteral("bench.toml"));
    const AlarmSetup &setup = std::get<AlarmSetup>(read);
    // The engine alone: a reading of each channel in turn, within the limits but for a dip to 0.25 V now and then
    // (a sagging supply), which raises the rules held 0 ms and clears them with the next reading.
    std::vector<double> perReading;
    constexpr int kRuns = 5;
    for (int run = 0; run < kRuns; ++run) {
        AlarmEngine engine;
        engine.setCalibration(setup.over(BoardCalibration()));
        engine.setRules(setup.rules);
        EventStream stream;
        SessionEvent event;
        event.kind = SessionEvent::Kind::Reading;
        constexpr int kReadings = 2'000'000;
        QElapsedTimer timer;
        timer.start();
        for (int i = 0; i < kReadings; ++i) {
            event.stamp.monoMs = i / 8;
            event.index = i % 8 + 1;
            event.value = i % 10'000 < 8 ? 10 : 100 + (i / 8 * 7919) % 100;
            engine.take(event, stream);
        }
        perReading.push_back(double(timer.nsecsElapsed()) / kReadings);
    }
    print("alarm_eval_ns_per_reading", median(perReading), "ns", kRuns);

    // The runner end to end, without rules and with the 64 (quiet, then storming).
    QTemporaryDir folder;
    const auto rulesFile = [&](const QString &name, const QByteArray &text) {
        const QString path = folder.filePath(name);
        QFile file(path);
        file.open(QIODevice::WriteOnly);
        file.write(text);
        return path;
    };
    // The rules' cost is measured against the same calibration without rules: the scaled fields the calibration
    // adds to every record are the calibration's cost, not the rules'.
    const QString calibrated = rulesFile(QStringLiteral("calibrated.toml"), sixtyFourRules(true, 0));
    const QString quiet = rulesFile(QStringLiteral("quiet.toml"), sixtyFourRules(true));
    const QString storm = rulesFile(QStringLiteral("storm.toml"), sixtyFourRules(false));
    double seconds = 0;
    std::vector<double> without;
    std::vector<double> calibratedOnly;
    std::vector<double> withQuiet;
    std::vector<double> withStorm;
    constexpr int kRounds = 5;
    for (int run = 0; run < kRounds; ++run) {
        without.push_back(cliMonitorRate({}, &seconds));
        calibratedOnly.push_back(cliMonitorRate({"--alarms", calibrated}, &seconds));
        withQuiet.push_back(cliMonitorRate({"--alarms", quiet}, &seconds));
        withStorm.push_back(cliMonitorRate({"--alarms", storm}, &seconds));
    }
    print("cli_monitor_lines_per_s_no_rules", median(without), "records/s", kRounds);
    print("cli_monitor_lines_per_s_calibrated_no_rules", median(calibratedOnly), "records/s", kRounds);
    print("cli_monitor_lines_per_s_64_rules", median(withQuiet), "records/s", kRounds);
    print("cli_monitor_lines_per_s_64_rules_storm", median(withStorm), "records/s", kRounds);
    std::printf("alarm_rules_cost: %.1f %% of the records per second against the same calibration without rules "
                "(%.1f %% in a storm of alarms); the calibration's scaled fields: %.1f %%\n",
                100.0 * (median(calibratedOnly) - median(withQuiet)) / median(calibratedOnly),
                100.0 * (median(calibratedOnly) - median(withStorm)) / median(calibratedOnly),
                100.0 * (median(without) - median(calibratedOnly)) / median(without));
    std::fflush(stdout);
}

void eventFanout()
{
    // One event handed to one more subscriber: the cost a new consumer (journal, bridge, recorder) adds.
    StreamDriver driver;
    BoardSession session(driver);
    SessionEvent event;
    event.kind = SessionEvent::Kind::Reading;
    event.index = 3;
    event.value = 137;
    volatile std::int64_t sink = 0;
    const auto nsPerEvent = [&](int subscribers) {
        std::vector<EventStream::Subscription> held;
        for (int i = 0; i < subscribers; ++i)
            held.push_back(session.events().subscribe([&sink](const SessionEvent &e) { sink = sink + e.value; }));
        constexpr int kEvents = 2'000'000;
        QElapsedTimer timer;
        timer.start();
        for (int i = 0; i < kEvents; ++i)
            session.events().publish(event);
        return double(timer.nsecsElapsed()) / kEvents;
    };
    std::vector<double> perSubscriber;
    constexpr int kRuns = 5;
    for (int run = 0; run < kRuns; ++run)
        perSubscriber.push_back((nsPerEvent(9) - nsPerEvent(1)) / 8);
    print("event_fanout_ns_per_subscriber", median(perSubscriber), "ns", kRuns);
}

// A board streaming into a session that a running journal keeps, in a scratch folder; reads are handed over as
// the session hands them, one BytesReceived event each.
struct JournalRig {
    JournalRig()
    {
        session.scanDevices();
        session.selectDevice(0);
        journal.attach(session);
        journal.start();
    }
    static JournalSettings settingsIn(const QTemporaryDir &folder)
    {
        JournalSettings settings;
        settings.folder = folder.path();
        return settings;
    }
    SessionEvent read() const
    {
        SessionEvent event;
        event.kind = SessionEvent::Kind::BytesReceived;
        event.source = &session;
        return event;
    }

    QTemporaryDir folder;
    StreamDriver driver;
    BoardSession session{driver};
    Journal journal{settingsIn(folder)};
};

void journalEventsPerSecond()
{
    // Events handed to the journal and written to disk, per second, from the first handed over to the last on disk.
    JournalRig rig;
    // What reads bring: lines and readings of ticked channels, half each, a thousand to a read.
    constexpr int kLinesPerRead = 1000;
    QByteArray read;
    for (int i = 0; i < kLinesPerRead; ++i)
        read += i % 2 ? "adc " + QByteArray::number(1 + i % 8) + ' ' + QByteArray::number(i & 255) + "\r\n"
                      : QByteArray("unknown command: hello\r\n");
    SessionEvent event = rig.read();
    event.stamp = {monotonicClockMs(), QDateTime::currentMSecsSinceEpoch()};
    event.index = 0x1fe; // channels 1 to 8 ticked
    event.bytes = read;
    const int kEvents = qEnvironmentVariableIntValue("VANTREL_JOURNAL_EVENTS") > 0
                            ? qEnvironmentVariableIntValue("VANTREL_JOURNAL_EVENTS")
                            : 2'000'000;
    QElapsedTimer timer;
    timer.start();
    for (int i = 0; i < kEvents / kLinesPerRead; ++i) {
        ++event.stamp.monoMs;
        ++event.stamp.wallMs;
        rig.session.events().publish(event);
    }
    rig.journal.flush();
    const double seconds = double(timer.nsecsElapsed()) / 1e9;
    std::printf("journal_events_per_s: %.0f events/s (%d lines and readings handed over and written, %.2f s)\n",
                kEvents / seconds, kEvents, seconds);
    std::fflush(stdout);
}

void journalCpuPerMbOfReports()
{
    // What the journal costs a busy board's traffic (the pty bench's report mix, in reads of 1 KB as a 100 KB/s
    // stream arrives), the writing included: the whole process's CPU a MB, handed over to on disk.
    JournalRig rig;
    constexpr qsizetype kMb = 64;
    constexpr qsizetype kRead = 1024;
    const QByteArray stream = ReportMix().stream(kMb * 1024 * 1024);
    SessionEvent event = rig.read();
    const double cpuStart = processCpuSeconds();
    for (qsizetype at = 0; at + kRead <= stream.size(); at += kRead) {
        event.stamp = {monotonicClockMs(), QDateTime::currentMSecsSinceEpoch()};
        event.bytes = QByteArrayView(stream.constData() + at, kRead);
        rig.session.events().publish(event);
    }
    rig.journal.stop();
    print("journal_cpu_ms_per_mb_reports", (processCpuSeconds() - cpuStart) * 1000 / double(kMb), "ms", 1);
}

void journalBytesPerHour()
{
    // An hour of 8 channels read 10 times a second from the simulated board, on a simulated clock: what the journal
    // takes on disk as written, and once its day is over and compressed.
    QTemporaryDir folder;
    qint64 nowMs = 0;
    const qint64 wallStart = QDateTime(QDate(2026, 12, 7), QTime(9, 0)).toMSecsSinceEpoch();
    DemoDriver driver([&nowMs] { return nowMs; });
    BoardSession session(
        driver, [&nowMs] { return nowMs; }, [&nowMs, wallStart] { return wallStart + nowMs; });
    session.scanDevices();
    session.selectDevice(0);
    const PollLease lease = session.wantPolling(std::chrono::milliseconds(100), "bench");
    session.setAnalogRequestsOn(true);
    for (int channel = 1; channel <= 8; ++channel)
        session.setChannelTicked(channel, true);
    JournalSettings settings;
    settings.folder = folder.path();
    Journal journal(settings);
    journal.attach(session);
    journal.start();
    for (int poll = 0; poll < 36'000; ++poll) {
        nowMs += 100;
        session.poll();
    }
    journal.stop();
    qint64 plain = 0;
    qint64 compressed = 0;
    const QString boardFolder = journalBoardFolder(folder.path(), QStringLiteral("DEMO0001"));
    for (const JournalFile &file : journalFiles(boardFolder)) {
        plain += file.size;
        compressJournalFile(file.path);
    }
    for (const JournalFile &file : journalFiles(boardFolder))
        compressed += file.size;
    print("journal_bytes_per_hour_8ch", double(plain) / 1e6, "MB", 1);
    print("journal_bytes_per_hour_8ch_compressed", double(compressed) / 1e6, "MB", 1);
    std::printf("journal_days_within_1gib_8ch: %.0f days compressed (%.1f as written)\n",
                1024.0 * 1024 * 1024 / (24.0 * double(compressed)), 1024.0 * 1024 * 1024 / (24.0 * double(plain)));
    std::fflush(stdout);
}

void planLoad()
{
    // A 10,000-step plan, every kind of step, read and checked.
    QByteArray text = "name = \"Long plan\"\nboard = \"DEMO0002\"\n";
    for (int i = 0; i < 2500; ++i) {
        text += "[[step]]\nname = \"Identity " + QByteArray::number(i) +
                "\"\nsend = \"id\"\nexpect = 'firmware 3\\.\\d'\ntimeout_ms = 1000\n"
                "[[step]]\nset_pin = 1\nlevel = 1\nexpect_pin = 10\nexpect_level = 1\n"
                "[[step]]\nadc = 8\nmin = 180\nmax = 220\nsamples = 10\nmean_min = 190\n"
                "[[step]]\nwait_ms = 5\n";
    }
    std::vector<double> times;
    constexpr int kRuns = 5;
    for (int run = 0; run < kRuns; ++run) {
        QElapsedTimer timer;
        timer.start();
        const auto plan = readPlanText(text, QStringLiteral("long.toml"));
        times.push_back(double(timer.nsecsElapsed()) / 1e6);
        if (!std::holds_alternative<TestPlan>(plan) || std::get<TestPlan>(plan).steps.size() != 10'000)
            std::abort();
    }
    print("plan_load_ms", median(times), "ms", kRuns);
}

void planStepOverhead()
{
    // send + expect steps on the demo board polled every 10 ms. The simulated board's answer is there the moment
    // the command is written, so all of a step's time is the engine's and the poll's.
    DemoDriver driver;
    BoardSession session(driver);
    session.scanDevices();
    session.selectDevice(1);
    QByteArray text;
    constexpr int kSteps = 100;
    for (int i = 0; i < kSteps; ++i)
        text += "[[step]]\nsend = \"id\"\nexpect = 'firmware 3'\n";
    PlanRun run(session, std::get<TestPlan>(readPlanText(text, QStringLiteral("steps.toml"))));
    run.setPollInterval(std::chrono::milliseconds(10));
    std::vector<double> perStep;
    QElapsedTimer timer;
    QObject::connect(&run, &PlanRun::stepStarted, [&timer] { timer.start(); });
    QObject::connect(&run, &PlanRun::stepFinished, [&] { perStep.push_back(double(timer.nsecsElapsed()) / 1e6); });
    QEventLoop loop;
    QObject::connect(&run, &PlanRun::finished, &loop, &QEventLoop::quit);
    run.start();
    loop.exec();
    if (!run.passed())
        std::abort();
    print("plan_step_overhead_ms", median(perStep), "ms", int(perStep.size()));
}

void startup(const QString &self)
{
    std::vector<double> times;
    constexpr int kRuns = 7;
    for (int run = 0; run < kRuns; ++run) {
        QProcess child;
        child.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        const qint64 start = monotonicNs();
        child.start(self, {QStringLiteral("--startup-child")});
        child.waitForFinished(30'000);
        const qint64 shown = child.readAllStandardOutput().trimmed().toLongLong();
        times.push_back(double(shown - start) / 1e6);
    }
    print("startup_ms", median(times), "ms", kRuns);
}

// The program's own start, up to the main window and its four child windows shown; prints the time then.
int startupChild(int argc, char *argv[])
{
    Options options;
    {
        QCoreApplication console(argc, argv);
        options = parseOptions({QStringLiteral("vantrel-control"), QStringLiteral("--demo")}).options;
    }
    QApplication application(argc, argv);
    QTemporaryDir directory;
    QDir::setCurrent(directory.path());
    DriverChoice choice = makeDriver(options.driver, options.ports);
    Dialogs dialogs;
    formMain main(*choice.driver, dialogs);
    main.show();
    QCoreApplication::processEvents();
    std::printf("%lld\n", static_cast<long long>(monotonicNs()));
    return 0;
}

} // namespace

int main(int argc, char *argv[])
{
    if (argc > 1 && qstrcmp(argv[1], "--startup-child") == 0)
        return startupChild(1, argv);
    QApplication application(argc, argv);
    const QStringList only = QCoreApplication::arguments().mid(1);
#ifdef VANTREL_PTY_BENCH
    if (only.value(0) == QLatin1String("--pty-child"))
        return ptyChild(only.mid(1));
#endif
    const auto wanted = [&](const char *name) {
        return only.isEmpty() || only.contains(QLatin1String(name));
    };
    if (wanted("interpreter"))
        interpreterLinesPerSecond();
    if (wanted("tick"))
        tick120kb();
    if (wanted("end-to-end"))
        endToEnd();
    if (wanted("cpu"))
        cpuAtLinkSpeed();
    if (wanted("startup"))
        startup(QCoreApplication::applicationFilePath());
    if (wanted("log"))
        logAppend();
    if (wanted("trend"))
        trend();
    if (wanted("cli"))
        cliMonitor();
    if (wanted("events"))
        eventFanout();
    if (wanted("alarms"))
        alarmsBench();
    if (wanted("journal")) {
        journalEventsPerSecond();
        journalCpuPerMbOfReports();
        journalBytesPerHour();
    }
#ifdef VANTREL_BRIDGE_BENCH
    if (wanted("bridge"))
        bridgeBench();
    if (only.contains(QLatin1String("bridge-peer")))
        bridgePeerBench();
#endif
    if (wanted("replay"))
        replayBench();
    if (wanted("plans")) {
        planLoad();
        planStepOverhead();
    }
#ifdef VANTREL_PTY_BENCH
    if (wanted("pty"))
        ptyBench();
    else if (only.contains(QLatin1String("pty-journal")))
        ptyJournalBench();
    else if (only.contains(QLatin1String("pty-peer")))
        ptyPeerBench();
    for (const QString &argument : only) {
        if (argument.startsWith(QLatin1String("pty-rate="))) {
            // pty-rate=BYTES_PER_SECOND[:SECONDS]
            const QStringList parts = argument.mid(9).split(u':');
            ptyRateBench(parts[0].toDouble(), parts.size() > 1 ? parts[1].toInt() : 20);
        }
    }
#endif
    return 0;
}
