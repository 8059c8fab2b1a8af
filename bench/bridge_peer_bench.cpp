#include "bridge_peer_bench.h"

#include "bench_broker.h"

#include <QByteArray>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QStandardPaths>

#include <mosquitto.h>

#include <atomic>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <random>
#include <thread>

#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <termios.h>
#include <unistd.h>

namespace {

using namespace std::chrono_literals;

// Every reading line is this long ("adc C VVV\r\n"): lines are counted from bytes.
constexpr int kLineBytes = 11;

// The board's end of a pseudo-terminal: readings of 8 channels written at a rate (0: as fast as they are taken),
// what the bridge sends read and dropped, on a thread of its own.
class Board
{
public:
    bool open()
    {
        char name[256] = {};
        if (::openpty(&m_far, &m_near, name, nullptr, nullptr) != 0)
            return false;
        termios raw{};
        ::tcgetattr(m_near, &raw);
        ::cfmakeraw(&raw);
        ::tcsetattr(m_near, TCSANOW, &raw);
        ::fcntl(m_far, F_SETFL, ::fcntl(m_far, F_GETFL) | O_NONBLOCK);
        m_name = QString::fromLocal8Bit(name);
        std::mt19937 random(3);
        for (int i = 0; i < 100'000; ++i)
            m_stream +=
                "adc " + QByteArray::number(1 + i % 8) + ' ' + QByteArray::number(100 + random() % 156) + "\r\n";
        return true;
    }

    ~Board()
    {
        if (m_thread.joinable())
            stop();
        if (m_far >= 0) {
            ::close(m_far);
            ::close(m_near);
        }
    }

    QString portName() const { return m_name; }

    void start(double readingsPerSecond)
    {
        m_rate = readingsPerSecond;
        m_thread = std::thread([this] { run(); });
    }

    // The readings written.
    qint64 stop()
    {
        m_stop = true;
        m_thread.join();
        return m_written / kLineBytes;
    }

private:
    void run()
    {
        const auto started = std::chrono::steady_clock::now();
        qsizetype at = 0;
        char dropped[4096];
        while (!m_stop) {
            while (::read(m_far, dropped, sizeof dropped) > 0) {
            }
            const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
            qint64 due = m_rate > 0 ? qint64(seconds * m_rate) * kLineBytes - m_written : 64 * 1024;
            if (due <= 0) {
                std::this_thread::sleep_for(2ms); // a converter's burst
                continue;
            }
            due = std::min<qint64>({due, 64 * 1024, m_stream.size() - at});
            const ssize_t done = ::write(m_far, m_stream.constData() + at, size_t(due));
            if (done > 0) {
                m_written += done;
                at = (at + done) % m_stream.size();
            } else {
                // The bridge's side is full: on again as soon as it has taken some (a sleep would cap the rate).
                pollfd room{m_far, POLLOUT, 0};
                ::poll(&room, 1, 1);
            }
        }
    }

    int m_far = -1;
    int m_near = -1;
    QString m_name;
    QByteArray m_stream;
    double m_rate = 0;
    std::thread m_thread;
    std::atomic<bool> m_stop{false};
    qint64 m_written = 0;
};

// Counts the messages on the readings' topics of every bridge, on the library's own thread.
class Counter
{
public:
    bool start(int port)
    {
        m_client = mosquitto_new(nullptr, true, this);
        mosquitto_message_callback_set(m_client, [](mosquitto *, void *self, const mosquitto_message *) {
            static_cast<Counter *>(self)->m_count.fetch_add(1, std::memory_order_relaxed);
        });
        if (mosquitto_connect(m_client, "127.0.0.1", port, 30) != MOSQ_ERR_SUCCESS)
            return false;
        mosquitto_subscribe(m_client, nullptr, "+/+/adc/+", 0);
        return mosquitto_loop_start(m_client) == MOSQ_ERR_SUCCESS;
    }

    ~Counter()
    {
        if (m_client) {
            mosquitto_disconnect(m_client);
            mosquitto_loop_stop(m_client, true);
            mosquitto_destroy(m_client);
        }
    }

    qint64 count() const { return m_count.load(std::memory_order_relaxed); }

private:
    mosquitto *m_client = nullptr;
    std::atomic<qint64> m_count{0};
};

double cpuSecondsOf(qint64 pid)
{
    QFile stat(QStringLiteral("/proc/%1/stat").arg(pid));
    if (!stat.open(QIODevice::ReadOnly))
        return -1;
    const QList<QByteArray> fields = stat.readAll().split(')').last().trimmed().split(' ');
    return fields.size() > 12
               ? double(fields[11].toLongLong() + fields[12].toLongLong()) / double(::sysconf(_SC_CLK_TCK))
               : -1;
}

struct BridgeRun {
    double cpuSeconds = -1;
    qint64 written = 0;
    qint64 delivered = 0;
    double deliveredPerSecond = 0; // past the first two seconds
};

// One bridge program on a fresh pseudo-terminal, PORT in its arguments naming it, fed for `seconds`.
BridgeRun runBridge(const QString &program, QStringList arguments, int brokerPort, double readingsPerSecond,
                    int seconds)
{
    BridgeRun result;
    Board board;
    Counter counter;
    if (!board.open() || !counter.start(brokerPort))
        return result;
    arguments.replaceInStrings(QStringLiteral("PORT"), board.portName());
    QProcess bridge;
    bridge.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    bridge.setStandardOutputFile(QProcess::nullDevice());
    bridge.start(program, arguments);
    if (!bridge.waitForStarted())
        return result;
    std::this_thread::sleep_for(2500ms); // connected, its port open
    const double cpuStart = cpuSecondsOf(bridge.processId());
    const qint64 countStart = counter.count();
    board.start(readingsPerSecond);
    std::this_thread::sleep_for(2s);
    const qint64 countSteady = counter.count();
    std::this_thread::sleep_for(std::chrono::seconds(seconds - 2));
    const qint64 countEnd = counter.count();
    result.written = board.stop();
    std::this_thread::sleep_for(1s); // what was written is taken and sent
    const double cpuEnd = cpuSecondsOf(bridge.processId());
    result.delivered = counter.count() - countStart;
    result.deliveredPerSecond = double(countEnd - countSteady) / double(seconds - 2);
    if (cpuStart >= 0 && cpuEnd >= 0)
        result.cpuSeconds = cpuEnd - cpuStart;
    ::kill(pid_t(bridge.processId()), SIGTERM);
    if (!bridge.waitForFinished(5000))
        bridge.kill();
    return result;
}

// What the broker carries from mosquitto_pub -l to one subscriber, in messages per second.
double ceilingMessagesPerSecond(int brokerPort)
{
    constexpr int kMessages = 200'000;
    Counter counter;
    if (!counter.start(brokerPort))
        return -1;
    std::this_thread::sleep_for(300ms);
    QProcess publisher;
    publisher.start(QStringLiteral("mosquitto_pub"),
                    {"-h", "127.0.0.1", "-p", QString::number(brokerPort), "-l", "-t", "ceiling/BENCH/adc/1"});
    if (!publisher.waitForStarted())
        return -1;
    QByteArray lines;
    for (int i = 0; i < kMessages; ++i)
        lines += QByteArray::number(100 + i % 156) + '\n';
    QElapsedTimer timer;
    timer.start();
    publisher.write(lines);
    publisher.closeWriteChannel();
    while (counter.count() < kMessages && !timer.hasExpired(60'000)) {
        publisher.waitForBytesWritten(10);
        std::this_thread::sleep_for(1ms);
    }
    const double rate = double(counter.count()) / (double(timer.nsecsElapsed()) / 1e9);
    publisher.waitForFinished(5000);
    return rate;
}

// Debian's own, where its packages put the modules (not whichever python3 comes first on PATH).
const QString kPython = QStringLiteral("/usr/bin/python3");

bool pythonPeerReady(QString *skipped)
{
    QProcess check;
    check.start(kPython, {"-c", "import serial, paho.mqtt.client"});
    if (check.waitForFinished(10'000) && check.exitStatus() == QProcess::NormalExit && check.exitCode() == 0)
        return true;
    *skipped = QStringLiteral("needs python3-serial and python3-paho-mqtt (VANTREL_BENCH_PEER=1 ./scripts/bootstrap)");
    return false;
}

} // namespace

void bridgePeerBench()
{
    BenchBroker broker;
    QString skipped;
    if (!broker.start(&skipped)) {
        std::printf("bridge_cpu_s_per_100k_readings: skipped (%s)\n", qPrintable(skipped));
        return;
    }
    mosquitto_lib_init();
    const int port = broker.port();
    const QString url = QStringLiteral("mqtt://127.0.0.1:%1").arg(port);
    const QStringList ours{"--driver=serial", "--port", "PORT", "serve", "--broker", url, "--adc", "1-8"};
    constexpr double kRate = 5000;
    constexpr int kSeconds = 20;

    const BridgeRun own = runBridge(QStringLiteral(VANTREL_CLI_PATH), ours, port, kRate, kSeconds);
    const double ownFigure = own.cpuSeconds / double(own.written) * 100'000;
    std::printf("bridge_cpu_s_per_100k_readings: %.2f CPU s (vantrel-cli serve on a pty, %lld readings of 8 channels "
                "at %.0f/s for %d s, %lld delivered to a subscriber)\n",
                ownFigure, static_cast<long long>(own.written), kRate, kSeconds, static_cast<long long>(own.delivered));
    std::fflush(stdout);
    if (pythonPeerReady(&skipped)) {
        const BridgeRun peer =
            runBridge(kPython, {QStringLiteral(VANTREL_PEER_BRIDGE), "PORT", "127.0.0.1", QString::number(port)}, port,
                      kRate, kSeconds);
        const double peerFigure = peer.cpuSeconds / double(peer.written) * 100'000;
        std::printf("bridge_cpu_s_per_100k_readings_peer: %.2f CPU s (pyserial + paho-mqtt on the same stream, %lld "
                    "delivered); ours is %.3fx of it\n",
                    peerFigure, static_cast<long long>(peer.delivered), ownFigure / peerFigure);
    } else {
        std::printf("bridge_cpu_s_per_100k_readings_peer: skipped (%s)\n", qPrintable(skipped));
    }
    std::fflush(stdout);

    const BridgeRun fastest = runBridge(QStringLiteral(VANTREL_CLI_PATH), ours, port, 0, 12);
    const double ceiling = ceilingMessagesPerSecond(port);
    std::printf("bridge_delivered_share_of_ceiling: %.2f (%.0f readings/s delivered at the fastest pty rate; "
                "mosquitto_pub -l carries %.0f messages/s through the same broker)\n",
                fastest.deliveredPerSecond / ceiling, fastest.deliveredPerSecond, ceiling);
    std::fflush(stdout);
}
