#include "pty_bench.h"
#include "host/program_journal.h"
#include "session/poller.h"

#include "app/form_main.h"
#include "device/ftdi.h"
#include "device/serial_driver.h"
#include "measure.h"
#include "records/journal.h"
#include "report_mix.h"
#include "windows/communications/form_communications.h"
#include "windows/dialogs.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTimer>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <optional>
#include <thread>
#include <vector>

#include <pthread.h>

#include <fcntl.h>
#include <pty.h>
#include <sys/resource.h>
#include <termios.h>
#include <unistd.h>

namespace {

double threadCpuSeconds()
{
    rusage usage{};
    getrusage(RUSAGE_THREAD, &usage);
    return double(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
           double(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

// CPU seconds the program's thread of this name has used so far, to the nanosecond (the scheduler's own count, through
// the thread's CPU clock); nothing when there is no such thread.
std::optional<double> namedThreadCpuSeconds(const QByteArray &name)
{
    for (const QString &task : QDir(QStringLiteral("/proc/self/task")).entryList(QDir::Dirs | QDir::NoDotAndDotDot)) {
        QFile comm(QStringLiteral("/proc/self/task/%1/comm").arg(task));
        if (!comm.open(QIODevice::ReadOnly) || comm.readAll().trimmed() != name)
            continue;
        // A thread's CPU clock, as the kernel numbers it: the thread id, inverted, with the per-thread scheduler bits.
        const clockid_t clock = clockid_t((~unsigned(task.toInt()) << 3) | 6);
        timespec used{};
        if (::clock_gettime(clock, &used) == 0)
            return double(used.tv_sec) + double(used.tv_nsec) / 1e9;
    }
    return std::nullopt;
}

// Writes report lines into the board's end of the pseudo-terminal at a given rate (0: as fast as it can), in
// bursts 10 ms apart, on a thread of its own; its own CPU time is kept apart from the program's.
class Writer
{
public:
    static constexpr int kBurstMicroseconds = 10'000;

    Writer(int fd, double bytesPerSecond)
        : m_fd(fd)
        , m_rate(bytesPerSecond)
    {
        ReportMix mix;
        m_stream = mix.stream(4 * 1024 * 1024);
    }

    void start()
    {
        m_thread = std::thread([this] {
            pthread_setname_np(pthread_self(), "pty-writer");
            run();
        });
    }

    void stop()
    {
        m_stop = true;
        m_thread.join();
    }

    qint64 written() const { return m_written; }
    double cpuSeconds() const { return m_cpu; }

private:
    void run()
    {
        QElapsedTimer clock;
        clock.start();
        qsizetype at = 0;
        while (!m_stop) {
            qint64 due = m_rate > 0 ? qint64(double(clock.nsecsElapsed()) / 1e9 * m_rate) - m_written : 64 * 1024;
            if (due <= 0) {
                // A USB serial converter hands over what it received in bursts, a few milliseconds apart.
                ::usleep(kBurstMicroseconds);
                continue;
            }
            due = std::min<qint64>(due, 64 * 1024);
            const qint64 n = std::min<qint64>(due, m_stream.size() - at);
            const ssize_t done = ::write(m_fd, m_stream.constData() + at, size_t(n));
            if (done > 0) {
                m_written += done;
                at = (at + done) % m_stream.size();
            } else {
                ::usleep(1000); // the program's side is full: back-pressure
            }
        }
        m_cpu = threadCpuSeconds();
    }

    int m_fd;
    double m_rate;
    QByteArray m_stream;
    std::thread m_thread;
    std::atomic<bool> m_stop{false};
    std::atomic<qint64> m_written{0};
    double m_cpu = 0;
};

// The whole program on the near end of a pseudo-terminal, started in a scratch folder, its board selected.
struct PtyProgram {
    int far = -1;
    int near = -1;
    QTemporaryDir directory;
    std::unique_ptr<SerialDriver> driver;
    Dialogs dialogs;
    std::unique_ptr<formMain> main;

    PtyProgram()
    {
        char name[256] = {};
        if (::openpty(&far, &near, name, nullptr, nullptr) != 0)
            return;
        termios raw{};
        ::tcgetattr(near, &raw);
        ::cfmakeraw(&raw);
        ::tcsetattr(near, TCSANOW, &raw);
        ::fcntl(far, F_SETFL, ::fcntl(far, F_GETFL) | O_NONBLOCK);
        QDir::setCurrent(directory.path());
        driver = std::make_unique<SerialDriver>(QStringList{QString::fromLocal8Bit(name)});
        main = std::make_unique<formMain>(*driver, dialogs);
        main->show();
        main->session().scanDevices();
        main->session().selectDevice(DeviceCount(*driver) - 1);
        QCoreApplication::processEvents();
    }

    ~PtyProgram()
    {
        main.reset();
        driver.reset();
        if (far >= 0)
            ::close(far);
        if (near >= 0)
            ::close(near);
    }

    bool ok() const { return main != nullptr; }
};

struct RunFigures {
    double cpuSecondsPerMb = 0;
    double handledMbPerSecond = 0;
    double rssMbMax = 0;
    double tickMsMax = 0;
    double lagMsMax = 0;
    double catchupMs = 0;
    double journalCpuSecondsPerMb = -1; // the journal's own thread; -1 when it was not found
};

// One run of the program on a pseudo-terminal: the board selected, lines arriving for `seconds`, then the time
// until the last byte written has been handled.
RunFigures run(double bytesPerSecond, int seconds, bool probeLag, bool journal = false)
{
    PtyProgram program;
    if (!program.ok())
        return {};
    QTemporaryDir journalFolder;
    if (journal)
        setUpProgramJournal(program.main->host(), journalFolder.path(), true);
    formCommunications *com = program.main->view<formCommunications>();
    BoardSession &session = program.main->session();

    RunFigures figures;
    // The program's own poll, timed; and a probe of how late the event loop answers.
    const Poller *poller = com->TimerBackgound();
    QObject::connect(poller, &Poller::polled, [&figures, poller] {
        figures.tickMsMax = std::max(figures.tickMsMax, double(poller->lastPollNs()) / 1e6);
    });
    QElapsedTimer probeClock;
    QTimer probe;
    probe.setTimerType(Qt::PreciseTimer);
    probe.setInterval(10);
    QObject::connect(&probe, &QTimer::timeout, [&] {
        figures.lagMsMax = std::max(figures.lagMsMax, double(probeClock.nsecsElapsed()) / 1e6 - 10);
        probeClock.start();
    });
    // Sampled seldom: reading /proc costs CPU of its own.
    QTimer memory;
    memory.setInterval(500);
    QObject::connect(&memory, &QTimer::timeout, [&] { figures.rssMbMax = std::max(figures.rssMbMax, rssMb()); });

    Writer writer(program.far, bytesPerSecond);
    const qint64 startBytes = session.bytesReceived();
    const double cpuStart = processCpuSeconds();
    const std::optional<double> journalStart = namedThreadCpuSeconds("journal");
    QElapsedTimer wall;
    wall.start();
    probeClock.start();
    if (probeLag)
        probe.start();
    memory.start();
    writer.start();
    QEventLoop loop;
    QTimer::singleShot(seconds * 1000, &loop, &QEventLoop::quit);
    loop.exec();
    writer.stop();
    const double busySeconds = double(wall.nsecsElapsed()) / 1e9;
    const qint64 handledWhileWriting = session.bytesReceived() - startBytes;

    // Catching up: until every byte written has been handled (at most a minute).
    QElapsedTimer catchup;
    catchup.start();
    while (session.bytesReceived() - startBytes < writer.written() && catchup.elapsed() < 60'000)
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 50);
    // ... and what the journal holds of them is written: its work belongs to this run.
    if (Journal *kept = program.main->host().journal())
        kept->flush();
    figures.catchupMs = double(catchup.nsecsElapsed()) / 1e6;
    const double cpu = processCpuSeconds() - cpuStart - writer.cpuSeconds();
    const double mb = double(session.bytesReceived() - startBytes) / 1e6;
    figures.cpuSecondsPerMb = mb > 0 ? cpu / mb : 0;
    const std::optional<double> journalEnd = namedThreadCpuSeconds("journal");
    if (journalStart && journalEnd && mb > 0)
        figures.journalCpuSecondsPerMb = (*journalEnd - *journalStart) / mb;
    figures.handledMbPerSecond = double(handledWhileWriting) / 1e6 / busySeconds;
    figures.rssMbMax = std::max(figures.rssMbMax, rssMb());
    probe.stop();
    memory.stop();
    return figures;
}

// The same stream, at the same rate, into a peer serial terminal (gtkterm on a virtual display): its CPU seconds
// per MB, or nothing with the reason it could not run.
std::optional<double> peerCpuSecondsPerMb(double bytesPerSecond, int seconds, QString *skipped)
{
    if (::geteuid() != 0 || QStandardPaths::findExecutable(QStringLiteral("gtkterm")).isEmpty() ||
        QStandardPaths::findExecutable(QStringLiteral("xvfb-run")).isEmpty() ||
        !QFile::exists(QStringLiteral("/sys/class/tty/ttyS0"))) {
        *skipped = QStringLiteral("needs root (a mount namespace of its own), gtkterm, xvfb-run and a ttyS0 in sysfs");
        return std::nullopt;
    }
    int far = -1;
    int near = -1;
    char name[256] = {};
    if (::openpty(&far, &near, name, nullptr, nullptr) != 0) {
        *skipped = QStringLiteral("no pseudo-terminal");
        return std::nullopt;
    }
    termios raw{};
    ::tcgetattr(near, &raw);
    ::cfmakeraw(&raw);
    ::tcsetattr(near, TCSANOW, &raw);
    ::fcntl(far, F_SETFL, ::fcntl(far, F_GETFL) | O_NONBLOCK);
    // Its settings written beforehand, so that it asks nothing at its first start.
    QTemporaryDir config;
    QFile settings(config.filePath(QStringLiteral(".gtktermrc")));
    if (settings.open(QIODevice::WriteOnly)) {
        settings.write("[default]\nport = " + QByteArray(name) +
                       "\nspeed = 115200\nbits = 8\nstopbits = 1\nparity = none\nflow = none\n"
                       "wait_delay = 0\nwait_char = -1\necho = False\ncrlfauto = False\ntimestamp = False\n"
                       "font = \"Monospace 12\"\nterm_block_cursor = True\nterm_rows = 80\nterm_columns = 25\n"
                       "term_scrollback = 10000\nterm_visual_bell = True\n");
        settings.close();
    }
    const QString pidFile = config.filePath(QStringLiteral("pid"));
    QProcess peer;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("XDG_CONFIG_HOME"), config.path());
    environment.insert(QStringLiteral("LD_PRELOAD"), QStringLiteral(VANTREL_PEER_SHIM));
    peer.setProcessEnvironment(environment);
    peer.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    peer.setWorkingDirectory(QDir::tempPath()); // the program's own folder is gone by the time it ends
    peer.start(QStringLiteral("xvfb-run"),
               {QStringLiteral("-a"), QStringLiteral("unshare"), QStringLiteral("-m"),
                QStringLiteral(VANTREL_PEER_SCRIPT), QString::fromLocal8Bit(name), pidFile, QStringLiteral("gtkterm"),
                QStringLiteral("-p"), QString::fromLocal8Bit(name), QStringLiteral("-s"), QStringLiteral("115200")});
    // Started, its port open and its window shown.
    std::this_thread::sleep_for(std::chrono::seconds(4));
    QFile pidText(pidFile);
    const int pid = pidText.open(QIODevice::ReadOnly) ? pidText.readAll().trimmed().toInt() : 0;
    const auto cpuOf = [pid] {
        QFile stat(QStringLiteral("/proc/%1/stat").arg(pid));
        if (!stat.open(QIODevice::ReadOnly))
            return -1.0;
        const QList<QByteArray> fields = stat.readAll().split(')').last().trimmed().split(' ');
        return fields.size() > 12
                   ? double(fields[11].toLongLong() + fields[12].toLongLong()) / double(::sysconf(_SC_CLK_TCK))
                   : -1.0;
    };
    const double cpuStart = pid > 0 ? cpuOf() : -1;
    std::optional<double> figure;
    if (cpuStart >= 0) {
        Writer writer(far, bytesPerSecond);
        writer.start();
        std::this_thread::sleep_for(std::chrono::seconds(seconds));
        writer.stop();
        std::this_thread::sleep_for(std::chrono::seconds(1)); // what was written is read
        const double cpu = cpuOf() - cpuStart;
        const double mb = double(writer.written()) / 1e6;
        // A terminal that stopped reading took in no more than the pseudo-terminal holds.
        if (cpu >= 0 && mb > 0.5 * bytesPerSecond * seconds / 1e6)
            figure = cpu / mb;
        else
            *skipped = QStringLiteral("gtkterm did not read the stream (%1 MB taken)").arg(mb, 0, 'f', 2);
    } else {
        *skipped = QStringLiteral("gtkterm did not start");
    }
    if (pid > 0)
        ::kill(pid, SIGTERM);
    peer.waitForFinished(10'000);
    ::close(far);
    ::close(near);
    return figure;
}

double idleShare(int seconds)
{
    PtyProgram program;
    if (!program.ok())
        return -1;
    const double cpuStart = processCpuSeconds();
    QElapsedTimer wall;
    wall.start();
    QEventLoop loop;
    QTimer::singleShot(seconds * 1000, &loop, &QEventLoop::quit);
    loop.exec();
    return (processCpuSeconds() - cpuStart) / (double(wall.nsecsElapsed()) / 1e9);
}

} // namespace

void ptyRateBench(double bytesPerSecond, int seconds)
{
    const RunFigures figures = run(bytesPerSecond, seconds, false);
    std::printf("pty_cpu_s_per_mb at %.0f B/s: %.3f CPU s/MB, %.2f MB/s handled (%d s)\n", bytesPerSecond,
                figures.cpuSecondsPerMb, figures.handledMbPerSecond, seconds);
}

namespace {

// One run in a process of its own (this program, as a child): its figures, or nothing when it failed.
struct ChildRun {
    QProcess process;

    void start(double bytesPerSecond, int seconds, bool journal)
    {
        process.setStandardErrorFile(QProcess::nullDevice());
        process.start(QCoreApplication::applicationFilePath(),
                      {QStringLiteral("--pty-child"), QString::number(bytesPerSecond), QString::number(seconds),
                       journal ? QStringLiteral("journal") : QStringLiteral("no-journal")});
    }

    std::optional<RunFigures> figures(int seconds)
    {
        if (!process.waitForFinished((seconds + 120) * 1000) || process.exitStatus() != QProcess::NormalExit ||
            process.exitCode() != 0)
            return std::nullopt;
        const QList<QByteArray> words = process.readAllStandardOutput().trimmed().split(' ');
        if (words.size() != 3)
            return std::nullopt;
        RunFigures figures;
        figures.cpuSecondsPerMb = words[0].toDouble();
        figures.journalCpuSecondsPerMb = words[1].toDouble();
        figures.handledMbPerSecond = words[2].toDouble();
        return figures;
    }
};

// The program with the journal and without it, each in its own process, at the same time on the same machine: what
// the machine does to one it does to the other (run in turn, one run's CPU figure moves by 15 % at 100 KB/s and the
// median of seven pairs by more than 10 %). Pairs that failed are left out.
std::vector<std::pair<RunFigures, RunFigures>> journalPairs(double bytesPerSecond, int seconds, int pairs)
{
    std::vector<std::pair<RunFigures, RunFigures>> figures;
    for (int i = 0; i < pairs; ++i) {
        ChildRun off;
        ChildRun on;
        off.start(bytesPerSecond, seconds, false);
        on.start(bytesPerSecond, seconds, true);
        const std::optional<RunFigures> without = off.figures(seconds);
        const std::optional<RunFigures> with = on.figures(seconds);
        if (without && with)
            figures.emplace_back(*without, *with);
    }
    return figures;
}

} // namespace

int ptyChild(const QStringList &arguments)
{
    if (arguments.size() != 3)
        return 2;
    const RunFigures figures =
        run(arguments[0].toDouble(), arguments[1].toInt(), false, arguments[2] == QLatin1String("journal"));
    if (figures.cpuSecondsPerMb <= 0)
        return 1;
    std::printf("%.6f %.6f %.6f\n", figures.cpuSecondsPerMb, figures.journalCpuSecondsPerMb,
                figures.handledMbPerSecond);
    return 0;
}

void ptyJournalBench()
{
    constexpr int kPairs = 7;
    const auto pairs = journalPairs(100'000, 20, kPairs);
    if (pairs.empty()) {
        std::printf("pty_cpu_s_per_mb_100k_journal_on: skipped (no pair of runs finished)\n");
        return;
    }
    std::vector<double> off;
    std::vector<double> on;
    std::vector<double> ratio;
    std::vector<double> journalThread;
    for (const auto &[without, with] : pairs) {
        off.push_back(without.cpuSecondsPerMb);
        on.push_back(with.cpuSecondsPerMb);
        ratio.push_back(with.cpuSecondsPerMb / without.cpuSecondsPerMb);
        journalThread.push_back(with.journalCpuSecondsPerMb);
    }
    const auto [fewest, most] = std::minmax_element(ratio.begin(), ratio.end());
    std::printf("pty_cpu_s_per_mb_100k_journal_off: %.3f CPU s/MB (median of %zu, side by side with on)\n", median(off),
                pairs.size());
    std::printf("pty_cpu_s_per_mb_100k_journal_on: %.3f CPU s/MB (median of %zu; %+.0f%%; pair by pair %+.0f%%, "
                "from %+.0f%% to %+.0f%%)\n",
                median(on), pairs.size(), 100.0 * (median(on) / median(off) - 1.0), 100.0 * (median(ratio) - 1.0),
                100.0 * (*fewest - 1.0), 100.0 * (*most - 1.0));
    if (*std::min_element(journalThread.begin(), journalThread.end()) < 0)
        std::printf("pty_journal_thread_cpu_100k: skipped (no thread named journal in one of the runs)\n");
    else
        std::printf("pty_journal_thread_cpu_100k: %.1f ms/MB, %.1f%% of the program's CPU without the journal (median "
                    "of %zu; %.1f to %.1f ms/MB)\n",
                    median(journalThread) * 1000, 100.0 * median(journalThread) / median(off), pairs.size(),
                    *std::min_element(journalThread.begin(), journalThread.end()) * 1000,
                    *std::max_element(journalThread.begin(), journalThread.end()) * 1000);
    std::fflush(stdout);
    // At the fastest rate: what the program drains with the journal, as a share of what it drains without.
    std::vector<double> fastOff;
    std::vector<double> fastOn;
    for (const auto &[without, with] : journalPairs(0, 20, kPairs)) {
        fastOff.push_back(without.handledMbPerSecond);
        fastOn.push_back(with.handledMbPerSecond);
    }
    if (fastOff.empty()) {
        std::printf("pty_max_mb_s_journal_on_share: skipped (no pair of runs finished)\n");
        return;
    }
    std::printf("pty_max_mb_s_journal_on_share: %.2f (%.2f MB/s with the journal, %.2f without; medians of %zu, side "
                "by side)\n",
                median(fastOn) / median(fastOff), median(fastOn), median(fastOff), fastOff.size());
    std::fflush(stdout);
}

void ptyPeerBench()
{
    // Run by run in turn, so both see the same machine.
    std::vector<double> ours;
    std::vector<double> peer;
    QString skipped;
    for (int i = 0; i < 3 && skipped.isEmpty(); ++i) {
        ours.push_back(run(100'000, 20, false).cpuSecondsPerMb);
        if (const std::optional<double> figure = peerCpuSecondsPerMb(100'000, 20, &skipped))
            peer.push_back(*figure);
    }
    if (!skipped.isEmpty()) {
        std::printf("pty_cpu_share_of_gtkterm_100k: skipped (%s)\n", qPrintable(skipped));
        return;
    }
    std::sort(ours.begin(), ours.end());
    std::sort(peer.begin(), peer.end());
    std::printf("pty_cpu_share_of_gtkterm_100k: %.2fx (%.3f vs gtkterm's %.3f CPU s/MB on the same stream at 100 KB/s; "
                "medians of 3 runs of 20 s each, in turn)\n",
                ours[1] / peer[1], ours[1], peer[1]);
    std::fflush(stdout);
}

void ptyBench()
{
    const RunFigures fastest = run(0, 20, true);
    std::printf("pty_max_mb_s: %.2f MB/s (writer as fast as it can, 20 s)\n", fastest.handledMbPerSecond);
    std::printf("pty_rss_mb_after_20s_max: %.1f MB (largest resident size during the run)\n", fastest.rssMbMax);
    std::printf("pty_catchup_ms_after_stop: %.0f ms (last byte handled after the writer stopped)\n", fastest.catchupMs);
    std::printf("tick_ms_max: %.1f ms (longest poll tick during the fastest run)\n", fastest.tickMsMax);
    std::printf("pty_lag_ms_max: %.1f ms (longest the event loop was late during the fastest run)\n", fastest.lagMsMax);
    std::fflush(stdout);
    // CPU figures vary by some 10% from run to run on a shared machine: the median of three.
    const auto cpuPerMb = [](double rate) {
        std::vector<double> figures;
        for (int i = 0; i < 3; ++i)
            figures.push_back(run(rate, 20, false).cpuSecondsPerMb);
        std::sort(figures.begin(), figures.end());
        return figures[1];
    };
    std::printf("pty_cpu_s_per_mb_100k: %.3f CPU s/MB (100 KB/s, median of 3 runs of 20 s)\n", cpuPerMb(100'000));
    std::fflush(stdout);
    ptyJournalBench();
    std::fflush(stdout);
    ptyPeerBench();
    std::printf("pty_cpu_s_per_mb_1200k: %.3f CPU s/MB (1.2 MB/s, median of 3 runs of 20 s)\n", cpuPerMb(1'200'000));
    std::printf("idle_cpu_share: %.4f of one core (board open, nothing arriving, 10 s)\n", idleShare(10));
    std::fflush(stdout);
}
