#include "bench_broker.h"

#include <QFile>
#include <QStandardPaths>
#include <QThread>

#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

int freeLoopbackPort()
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

bool BenchBroker::start(QString *skipped)
{
    QString broker = QStandardPaths::findExecutable(QStringLiteral("mosquitto"), {"/usr/sbin", "/usr/local/sbin"});
    if (broker.isEmpty())
        broker = QStandardPaths::findExecutable(QStringLiteral("mosquitto"));
    if (broker.isEmpty()) {
        *skipped = QStringLiteral("no mosquitto; scripts/bootstrap installs it");
        return false;
    }
    m_port = freeLoopbackPort();
    QFile config(m_folder.filePath(QStringLiteral("broker.conf")));
    config.open(QIODevice::WriteOnly);
    config.write(QStringLiteral("listener %1 127.0.0.1\nallow_anonymous true\nmax_queued_messages "
                                "0\nmax_inflight_messages 1000\nset_tcp_nodelay true\n")
                     .arg(m_port)
                     .toLatin1());
    config.close();
    m_process.start(broker, {"-c", config.fileName()});
    if (!m_process.waitForStarted()) {
        *skipped = QStringLiteral("mosquitto did not start");
        return false;
    }
    QThread::msleep(500);
    return true;
}

BenchBroker::~BenchBroker()
{
    m_process.terminate();
    m_process.waitForFinished(5000);
}
