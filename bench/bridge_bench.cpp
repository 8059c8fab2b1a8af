#include "bridge_bench.h"

#include "bench_broker.h"

#include "device/demo_driver.h"
#include "measure.h"
#include "network/bridge.h"
#include "network/remote_driver.h"
#include "session/board_session.h"
#include "session/poller.h"
#include "stream_driver.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QThread>
#include <QTimer>

#include <mosquitto.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <functional>
#include <mutex>
#include <netinet/in.h>
#include <random>
#include <sys/socket.h>
#include <unistd.h>
#include <vector>

namespace {

// A subscriber to the bench board's readings that tells of each on the library's own thread, so that taking
// note never waits for the bridge.
struct ReadingSubscriber {
    std::function<void()> onReading;
    mosquitto *client = nullptr;

    bool start(int port, int qos)
    {
        client = mosquitto_new(nullptr, true, this);
        mosquitto_message_callback_set(client, [](mosquitto *, void *self, const mosquitto_message *message) {
            if (std::strstr(message->topic, "/adc/"))
                static_cast<ReadingSubscriber *>(self)->onReading();
        });
        if (mosquitto_connect(client, "127.0.0.1", port, 30) != MOSQ_ERR_SUCCESS)
            return false;
        mosquitto_int_option(client, MOSQ_OPT_RECEIVE_MAXIMUM, 1000);
        mosquitto_subscribe(client, nullptr, "vantrel/BENCH001/adc/#", qos);
        return mosquitto_loop_start(client) == MOSQ_ERR_SUCCESS;
    }

    ~ReadingSubscriber()
    {
        if (client) {
            mosquitto_disconnect(client);
            mosquitto_loop_stop(client, true);
            mosquitto_destroy(client);
        }
    }
};

// Counts the readings that arrive.
struct Counter {
    std::atomic<qint64> readings{0};
    ReadingSubscriber subscriber{[this] {
        readings.fetch_add(1, std::memory_order_relaxed);
    }};

    bool start(int port, int qos) { return subscriber.start(port, qos); }
};

double readingsPerSecond(int port, int qos, int readings)
{
    StreamDriver driver;
    QByteArray lines;
    for (int i = 0; i < readings; ++i)
        lines += "adc " + QByteArray::number(1 + i % 8) + ' ' + QByteArray::number(i % 256) + "\r\n";
    Counter counter;
    if (!counter.start(port, qos))
        return -1;
    QThread::msleep(200);
    BridgeOptions options;
    options.broker.host = QStringLiteral("127.0.0.1");
    options.broker.port = port;
    options.channels = {1, 2, 3, 4, 5, 6, 7, 8};
    options.qos = qos;
    Bridge bridge(driver, options, stderr);
    if (!bridge.start())
        return -1;
    // Connected before the readings flow.
    QElapsedTimer wait;
    wait.start();
    while (counter.readings.load() == 0 && wait.elapsed() < 3000) {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
        if (bridge.published() > 0)
            break;
    }
    const qint64 before = counter.readings.load();
    driver.refill(lines);
    QElapsedTimer timer;
    timer.start();
    while (counter.readings.load() - before < readings && timer.elapsed() < 60'000)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
    const double seconds = double(timer.nsecsElapsed()) / 1e9;
    const qint64 received = counter.readings.load() - before;
    bridge.stop();
    if (received < readings)
        std::printf("  (QoS %d: %lld of %d readings arrived within 60 s)\n", qos, static_cast<long long>(received),
                    readings);
    return double(received) / seconds;
}

qint64 steadyNs()
{
    return std::chrono::duration_cast<std::chrono::nanoseconds>(std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

double percentile(std::vector<double> values, double share)
{
    if (values.empty())
        return -1;
    std::sort(values.begin(), values.end());
    return values[std::min(values.size() - 1, size_t(share * double(values.size())))];
}

// Readings that come at `perSecond` from the moment the bench starts them; each read notes its time and how many
// readings had been handed over by then.
class PacedDriver : public StreamDriver
{
public:
    static constexpr qsizetype kLineBytes = 11; // "adc C VVV" CR LF

    PacedDriver(int perSecond, int readings)
        : m_perSecond(perSecond)
    {
        for (int i = 0; i < readings; ++i)
            queue += "adc " + QByteArray::number(1 + i % 8) + ' ' + QByteArray::number(100 + i % 156) + "\r\n";
    }

    void begin() { m_startNs = steadyNs(); }

    std::uint32_t getStatus(std::intptr_t, std::uint32_t *rx, std::uint32_t *tx, std::uint32_t *events) override
    {
        *tx = 0;
        *events = 0;
        *rx = std::uint32_t(available() - readAt);
        return FtOk;
    }
    bool readFile(std::intptr_t, char *buffer, std::uint32_t size, std::uint32_t *read) override
    {
        const qsizetype n = std::min<qsizetype>(size, available() - readAt);
        std::memcpy(buffer, queue.constData() + readAt, size_t(n));
        readAt += n;
        *read = std::uint32_t(n);
        if (n > 0)
            reads.push_back({steadyNs(), readAt / kLineBytes});
        return true;
    }

    struct Read {
        qint64 ns;
        qsizetype linesSoFar;
    };
    std::vector<Read> reads;

private:
    qsizetype available() const
    {
        if (m_startNs == 0)
            return 0;
        const qint64 lines = (steadyNs() - m_startNs) * m_perSecond / 1'000'000'000;
        return std::min<qsizetype>(queue.size(), qsizetype(lines) * kLineBytes);
    }

    int m_perSecond;
    qint64 m_startNs = 0;
};

// Notes when each reading arrives.
struct ArrivalClock {
    std::mutex mutex;
    std::vector<qint64> arrivals;
    ReadingSubscriber subscriber{[this] {
        std::lock_guard lock(mutex);
        arrivals.push_back(steadyNs());
    }};

    bool start(int port) { return subscriber.start(port, 0); }
};

void bridgeLatency(int port)
{
    constexpr int kPerSecond = 1000;
    constexpr int kReadings = 20000; // 20 s: one scheduling hiccup of the machine does not make the p99
    PacedDriver driver(kPerSecond, kReadings);
    ArrivalClock clock;
    if (!clock.start(port))
        return;
    BridgeOptions options;
    options.broker.host = QStringLiteral("127.0.0.1");
    options.broker.port = port;
    options.channels = {1, 2, 3, 4, 5, 6, 7, 8};
    Bridge bridge(driver, options, stderr);
    if (!bridge.start())
        return;
    QElapsedTimer wait;
    wait.start();
    while (bridge.published() == 0 && wait.elapsed() < 3000)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
    driver.begin();
    wait.start();
    while (wait.elapsed() < 1000 * kReadings / kPerSecond + 2000) {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
        std::lock_guard lock(clock.mutex);
        if (clock.arrivals.size() >= size_t(kReadings))
            break;
    }
    bridge.stop();
    std::vector<double> latencies;
    std::lock_guard lock(clock.mutex);
    size_t read = 0;
    for (size_t i = 0; i < clock.arrivals.size(); ++i) {
        while (read < driver.reads.size() && driver.reads[read].linesSoFar <= qsizetype(i))
            ++read;
        if (read == driver.reads.size())
            break;
        latencies.push_back(double(clock.arrivals[i] - driver.reads[read].ns) / 1e6);
    }
    std::printf("bridge_latency_ms_p50: %.2f ms, bridge_latency_ms_p99: %.2f ms (%zu of %d readings at %d/s, from "
                "the bridge's read of the line to its arrival at a subscriber)\n",
                percentile(latencies, 0.5), percentile(latencies, 0.99), latencies.size(), kReadings, kPerSecond);
    std::fflush(stdout);
}

// A bridge serving the simulated boards with control allowed, on a thread of its own: the remote driver waits for
// its answers while opening.
class BridgeThread
{
public:
    explicit BridgeThread(int port)
    {
        m_thread.reset(QThread::create([this, port] {
            DemoDriver demo;
            BridgeOptions options;
            options.broker.host = QStringLiteral("127.0.0.1");
            options.broker.port = port;
            options.boards = {QStringLiteral("DEMO0001")};
            options.allowControl = true;
            std::FILE *quiet = std::fopen("/dev/null", "w");
            {
                Bridge bridge(demo, options, quiet);
                bridge.start();
                QEventLoop loop;
                QTimer stop;
                QObject::connect(&stop, &QTimer::timeout, &loop, [this, &loop] {
                    if (m_stop)
                        loop.quit();
                });
                stop.start(20);
                loop.exec();
            }
            std::fclose(quiet);
        }));
        m_thread->start();
    }
    ~BridgeThread()
    {
        m_stop = true;
        m_thread->wait();
    }

private:
    std::unique_ptr<QThread> m_thread;
    std::atomic<bool> m_stop{false};
};

void remoteRoundTrip(int port)
{
    BridgeThread bridge(port);
    QThread::msleep(1000);
    BrokerAddress broker;
    broker.host = QStringLiteral("127.0.0.1");
    broker.port = port;
    RemoteDriver driver(broker, QStringLiteral("vantrel"));
    BoardSession session(driver);
    session.scanDevices();
    session.selectDevice(0);
    if (session.handle() <= 0) {
        std::printf("remote_round_trip_ms_p99: the remote board could not be opened: %s\n",
                    qPrintable(driver.openFailureReason()));
        return;
    }
    qint64 answeredNs = 0;
    const EventStream::Subscription answers = session.events().subscribe([&answeredNs](const SessionEvent &event) {
        if (event.kind == SessionEvent::Kind::LineReceived && event.text.startsWith(QLatin1String("Vantrel USB")))
            answeredNs = steadyNs();
    });
    PollLease polling = session.wantPolling(Poller::kDefaultInterval, QStringLiteral("bench"));
    std::mt19937 random(7);
    std::vector<double> trips;
    for (int i = 0; i < 100; ++i) {
        // Sent at any moment of the poll's cycle.
        QElapsedTimer pause;
        pause.start();
        const int pauseMs = int(random() % 100);
        while (!pause.hasExpired(pauseMs))
            QCoreApplication::processEvents(QEventLoop::AllEvents, 1);
        answeredNs = 0;
        const qint64 sentNs = steadyNs();
        session.sendTyped(u"id");
        QElapsedTimer wait;
        wait.start();
        while (answeredNs == 0 && !wait.hasExpired(2000))
            QCoreApplication::processEvents(QEventLoop::AllEvents, 1);
        if (answeredNs != 0)
            trips.push_back(double(answeredNs - sentNs) / 1e6);
    }
    polling.reset();
    session.closeDevice();
    std::printf("remote_round_trip_ms_p99: %.1f ms (p50 %.1f ms; %zu of 100 typed \"id\" answered in the log "
                "through the broker and the bridge; the poll interval %d ms)\n",
                percentile(trips, 0.99), percentile(trips, 0.5), trips.size(), Poller::kDefaultIntervalMs);
    std::fflush(stdout);
}

void rssWithTheBrokerDown()
{
    StreamDriver driver;
    QByteArray lines;
    for (int i = 0; i < 200'000; ++i)
        lines += "adc " + QByteArray::number(1 + i % 8) + ' ' + QByteArray::number(i % 256) + "\r\n";
    BridgeOptions options;
    options.broker.host = QStringLiteral("127.0.0.1");
    options.broker.port = freeLoopbackPort(); // nobody there
    options.channels = {1, 2, 3, 4, 5, 6, 7, 8};
    std::FILE *quiet = std::fopen("/dev/null", "w");
    const double before = rssMb();
    double peak = before;
    {
        Bridge bridge(driver, options, quiet);
        bridge.start();
        QElapsedTimer timer;
        timer.start();
        qint64 nextSample = 0;
        while (!timer.hasExpired(60'000)) {
            if (driver.readAt == driver.queue.size())
                driver.refill(lines);
            QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
            if (timer.elapsed() >= nextSample) {
                peak = std::max(peak, rssMb());
                nextSample += 500;
            }
        }
        std::printf("bridge_rss_mb_broker_down_60s: %.0f MB above the start at the peak (queue bound %lld MiB; "
                    "%lld messages dropped by the bound in 60 s at the stream driver's fastest rate)\n",
                    peak - before, static_cast<long long>(options.maxQueuedBytes >> 20),
                    static_cast<long long>(bridge.dropped()));
        bridge.stop();
    }
    std::fclose(quiet);
    std::fflush(stdout);
}

// The peak resident size so far in MB (Linux), after resetPeakRss().
double peakRssMb()
{
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly))
        return -1;
    for (const QByteArray &line : status.readAll().split('\n')) {
        if (line.startsWith("VmHWM:"))
            return line.mid(6).trimmed().split(' ').first().toDouble() / 1024.0;
    }
    return -1;
}

void resetPeakRss()
{
    QFile clear(QStringLiteral("/proc/self/clear_refs"));
    if (clear.open(QIODevice::WriteOnly))
        clear.write("5");
}

// A 10 MB payload on a control topic, published by another process: what it costs the bridge at the peak.
void rssWithA10MbPayload(int port)
{
    StreamDriver driver;
    BridgeOptions options;
    options.broker.host = QStringLiteral("127.0.0.1");
    options.broker.port = port;
    options.channels = {1};
    std::FILE *quiet = std::fopen("/dev/null", "w");
    Bridge bridge(driver, options, quiet);
    bridge.start();
    QElapsedTimer settle;
    settle.start();
    while (!settle.hasExpired(1500))
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
    // Read by the publisher from a file: not a byte of it in this process's memory.
    QTemporaryDir folder;
    QFile payload(folder.filePath(QStringLiteral("payload")));
    payload.open(QIODevice::WriteOnly);
    for (int i = 0; i < 10; ++i)
        payload.write(QByteArray(1'000'000, 'a'));
    payload.close();
    resetPeakRss();
    const double before = rssMb();
    QProcess publisher;
    publisher.start(QStringLiteral("mosquitto_pub"), {"-h", "127.0.0.1", "-p", QString::number(port), "-t",
                                                      "vantrel/BENCH001/send", "-f", payload.fileName()});
    QElapsedTimer timer;
    timer.start();
    while (!timer.hasExpired(3000))
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
    publisher.waitForFinished(5000);
    const double peak = peakRssMb();
    std::printf("bridge_rss_mb_peak_10mb_payload: %.1f MB above the start at the peak (a 10,000,000-byte payload on "
                "vantrel/BENCH001/send, published by mosquitto_pub; peak read from VmHWM after clear_refs)\n",
                before < 0 || peak < 0 ? -1.0 : peak - before);
    std::fflush(stdout);
    bridge.stop();
    std::fclose(quiet);
}

} // namespace

void bridgeBench()
{
    BenchBroker broker;
    QString skipped;
    if (!broker.start(&skipped)) {
        std::printf("bridge_readings_per_s: skipped (%s)\n", qPrintable(skipped));
        return;
    }
    const int port = broker.port();
    mosquitto_lib_init();
    rssWithA10MbPayload(port);
    for (const auto &[qos, readings] : {std::pair{0, 400'000}, std::pair{1, 100'000}}) {
        const double rate = readingsPerSecond(port, qos, readings);
        std::printf("bridge_readings_per_s_qos%d: %.0f readings/s (%d readings from the stream driver, every one "
                    "counted at a subscriber)\n",
                    qos, rate, readings);
        std::fflush(stdout);
    }
    bridgeLatency(port);
    remoteRoundTrip(port);
    rssWithTheBrokerDown();
}
