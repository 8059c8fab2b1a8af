#pragma once

#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

#include <memory>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

// A client process that is stopped when it goes out of scope.
class ClientProcess : public QProcess
{
public:
    ~ClientProcess() override
    {
        kill();
        waitForFinished(5000);
    }
};

// A broker of the test's own on a free loopback port, and the bridge and the broker's clients as processes.
class BrokerFixture
{
protected:
    QTemporaryDir m_dir;
    std::unique_ptr<QProcess> m_broker;
    int m_port = 0;

    static int freePort()
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

    QString url() const { return QStringLiteral("mqtt://127.0.0.1:%1").arg(m_port); }

    // A broker on `port`; `extra` lines of configuration replace anonymous access.
    std::unique_ptr<QProcess> startBroker(int port, const QByteArray &extra = "allow_anonymous true\n")
    {
        const QString config = m_dir.filePath(QStringLiteral("broker-%1.conf").arg(port));
        QFile file(config);
        if (!file.open(QIODevice::WriteOnly))
            return nullptr;
        file.write(QStringLiteral("listener %1 127.0.0.1\n").arg(port).toLatin1() + extra);
        file.close();
        auto broker = std::make_unique<QProcess>();
        broker->start(QStringLiteral(MOSQUITTO), {"-c", config});
        broker->waitForStarted();
        QTest::qWait(500);
        return broker;
    }

    // A broker on `port` that admits only `users` (name, password), under `acl`; nothing when its files could not be
    // made.
    std::unique_ptr<QProcess> startBrokerWithAccess(int port, const QList<std::pair<QString, QString>> &users,
                                                    const QByteArray &acl)
    {
        // The broker reads these after it has dropped to its own user, when started as root.
        const auto readable = QFile::ReadOwner | QFile::WriteOwner | QFile::ReadGroup | QFile::ReadOther;
        QFile::setPermissions(m_dir.path(), readable | QFile::ExeOwner | QFile::ExeGroup | QFile::ExeOther);
        const QString passwords = m_dir.filePath(QStringLiteral("passwords-%1").arg(port));
        for (const auto &[user, password] : users) {
            QStringList arguments{"-b", passwords, user, password};
            if (!QFile::exists(passwords))
                arguments.prepend("-c");
            if (QProcess::execute(QStringLiteral(MOSQUITTO_PASSWD), arguments) != 0)
                return nullptr;
        }
        const QString aclPath = m_dir.filePath(QStringLiteral("acl-%1").arg(port));
        QFile aclFile(aclPath);
        if (!aclFile.open(QIODevice::WriteOnly) || aclFile.write(acl) != acl.size())
            return nullptr;
        aclFile.close();
        for (const QString &file : {passwords, aclPath})
            QFile::setPermissions(file, readable);
        return startBroker(
            port,
            QStringLiteral("allow_anonymous false\npassword_file %1\nacl_file %2\n").arg(passwords, aclPath).toUtf8());
    }

    void startOwnBroker()
    {
        m_port = freePort();
        m_broker = startBroker(m_port);
    }

    void stopOwnBroker()
    {
        m_broker->terminate();
        m_broker->waitForFinished(5000);
    }

    // A subscriber printing "topic payload" lines for everything under `pattern`.
    std::unique_ptr<QProcess> subscribe(const QString &pattern = QStringLiteral("vantrel/#"))
    {
        auto sub = std::make_unique<ClientProcess>();
        sub->start(QStringLiteral(MOSQUITTO_SUB),
                   {"-h", "127.0.0.1", "-p", QString::number(m_port), "-v", "-t", pattern});
        sub->waitForStarted();
        QTest::qWait(300);
        return sub;
    }

    bool publish(const QString &topic, const QByteArray &payload)
    {
        QProcess pub;
        pub.start(QStringLiteral(MOSQUITTO_PUB),
                  {"-h", "127.0.0.1", "-p", QString::number(m_port), "-t", topic, "-m", QString::fromUtf8(payload)});
        return pub.waitForFinished(5000) && pub.exitCode() == 0;
    }

    // `payload` published `times` times, through the client's standard input (a payload of any size).
    bool publishMany(const QString &topic, const QByteArray &payload, int times)
    {
        QProcess pub;
        pub.start(QStringLiteral(MOSQUITTO_PUB),
                  {"-h", "127.0.0.1", "-p", QString::number(m_port), "-t", topic, times == 1 ? "-s" : "-l"});
        if (!pub.waitForStarted())
            return false;
        for (int i = 0; i < times; ++i)
            pub.write(times == 1 ? payload : payload + '\n');
        pub.closeWriteChannel();
        return pub.waitForFinished(30000) && pub.exitCode() == 0;
    }

    std::unique_ptr<QProcess> serve(const QStringList &arguments)
    {
        auto bridge = std::make_unique<QProcess>();
        bridge->start(QStringLiteral(VANTREL_CLI), QStringList{"--demo", "serve", "--broker", url()} + arguments);
        bridge->waitForStarted();
        return bridge;
    }

    static bool seen(QProcess &process, QByteArray &buffer, const QByteArray &text)
    {
        buffer += process.readAllStandardOutput();
        return buffer.contains(text);
    }
};
