#include "bridge_bench.h"

#include "network/bridge.h"
#include "stream_driver.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QThread>

#include <mosquitto.h>

#include <atomic>
#include <cstdio>
#include <cstring>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

namespace {

int freePort()
{
    const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    ::bind(fd, reinterpret_cast<sockaddr *>(&address), sizeof address);
    ::getsockname(fd, reinterpret_cast<sockaddr *>(&address), &length);
    ::close(fd);
    return ntohs(address.sin_port);
}

// A subscriber that counts on the library's own thread, so that counting never waits for the bridge.
struct Counter {
    std::atomic<qint64> readings{0};
    mosquitto *client = nullptr;

    bool start(int port, int qos)
    {
        client = mosquitto_new(nullptr, true, this);
        mosquitto_message_callback_set(client, [](mosquitto *, void *self, const mosquitto_message *message) {
            if (std::strstr(message->topic, "/adc/"))
                static_cast<Counter *>(self)->readings.fetch_add(1, std::memory_order_relaxed);
        });
        if (mosquitto_connect(client, "127.0.0.1", port, 30) != MOSQ_ERR_SUCCESS)
            return false;
        mosquitto_subscribe(client, nullptr, "vantrel/BENCH001/adc/#", qos);
        return mosquitto_loop_start(client) == MOSQ_ERR_SUCCESS;
    }

    ~Counter()
    {
        if (client) {
            mosquitto_disconnect(client);
            mosquitto_loop_stop(client, true);
            mosquitto_destroy(client);
        }
    }
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

} // namespace

void bridgeBench()
{
    QString broker = QStandardPaths::findExecutable(QStringLiteral("mosquitto"), {"/usr/sbin", "/usr/local/sbin"});
    if (broker.isEmpty())
        broker = QStandardPaths::findExecutable(QStringLiteral("mosquitto"));
    if (broker.isEmpty()) {
        std::printf("bridge_readings_per_s: skipped (no mosquitto; scripts/bootstrap installs it)\n");
        return;
    }
    QTemporaryDir folder;
    const int port = freePort();
    QFile config(folder.filePath(QStringLiteral("broker.conf")));
    config.open(QIODevice::WriteOnly);
    config.write(
        QStringLiteral("listener %1 127.0.0.1\nallow_anonymous true\nmax_queued_messages 0\n").arg(port).toLatin1());
    config.close();
    QProcess process;
    process.start(broker, {"-c", config.fileName()});
    process.waitForStarted();
    QThread::msleep(500);
    mosquitto_lib_init();
    for (const auto &[qos, readings] : {std::pair{0, 400'000}, std::pair{1, 100'000}}) {
        const double rate = readingsPerSecond(port, qos, readings);
        std::printf("bridge_readings_per_s_qos%d: %.0f readings/s (%d readings from the stream driver, every one "
                    "counted at a subscriber)\n",
                    qos, rate, readings);
        std::fflush(stdout);
    }
    process.terminate();
    process.waitForFinished(5000);
}
