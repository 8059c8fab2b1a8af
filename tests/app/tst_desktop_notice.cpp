#include "app/desktop_notice.h"

#include <QDBusConnection>
#include <QProcess>
#include <QTest>
#include <QVariantMap>

// Stands in for the desktop's notification service: keeps what it was told.
class NotificationService : public QObject
{
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.freedesktop.Notifications")

public:
    struct Told {
        QString summary;
        QString body;
        int urgency = -1;
    };
    QList<Told> told;

public Q_SLOTS:
    uint Notify(const QString &, uint, const QString &, const QString &summary, const QString &body,
                const QStringList &, const QVariantMap &hints, int)
    {
        told.append({summary, body, hints.value(QStringLiteral("urgency")).toInt()});
        return uint(told.size());
    }
};

// An alarm's desktop notice reaches the notification service on the session bus, without waiting for it.
class TestDesktopNotice : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase()
    {
        m_bus.start(QStringLiteral(DBUS_DAEMON), {"--session", "--nofork", "--print-address=1"});
        QVERIFY(m_bus.waitForStarted());
        QVERIFY(m_bus.waitForReadyRead(10'000));
        const QByteArray address = m_bus.readLine().trimmed();
        QVERIFY(!address.isEmpty());
        // Before the program's first use of the session bus: it is this one.
        qputenv("DBUS_SESSION_BUS_ADDRESS", address);
        m_serviceBus = std::make_unique<QDBusConnection>(
            QDBusConnection::connectToBus(QString::fromUtf8(address), QStringLiteral("service")));
        QVERIFY(m_serviceBus->isConnected());
        QVERIFY(m_serviceBus->registerObject(QStringLiteral("/org/freedesktop/Notifications"), &m_service,
                                             QDBusConnection::ExportAllSlots));
        QVERIFY(m_serviceBus->registerService(QStringLiteral("org.freedesktop.Notifications")));
    }

    void cleanupTestCase()
    {
        m_serviceBus.reset();
        QDBusConnection::disconnectFromBus(QStringLiteral("service"));
        m_bus.kill();
        m_bus.waitForFinished();
    }

    void aNoticeReachesTheService_data()
    {
        QTest::addColumn<bool>("urgent");
        QTest::addColumn<int>("urgency");
        QTest::newRow("critical") << true << 2;
        QTest::newRow("warning") << false << 1;
    }

    void aNoticeReachesTheService()
    {
        QFETCH(bool, urgent);
        QFETCH(int, urgency);
        m_service.told.clear();
        notifyDesktop(QStringLiteral("DEMO0002: Supply low"), QStringLiteral("Supply 1.25 V below 4.75 V for 500 ms"),
                      urgent);
        QTRY_COMPARE(m_service.told.size(), 1);
        QCOMPARE(m_service.told.first().summary, QStringLiteral("DEMO0002: Supply low"));
        QCOMPARE(m_service.told.first().body, QStringLiteral("Supply 1.25 V below 4.75 V for 500 ms"));
        QCOMPARE(m_service.told.first().urgency, urgency);
    }

    void noServiceIsNoHarm()
    {
        m_serviceBus->unregisterService(QStringLiteral("org.freedesktop.Notifications"));
        m_service.told.clear();
        notifyDesktop(QStringLiteral("a"), QStringLiteral("b"), true);
        QTest::qWait(200);
        QVERIFY(m_service.told.isEmpty());
    }

private:
    QProcess m_bus;
    NotificationService m_service;
    std::unique_ptr<QDBusConnection> m_serviceBus;
};

QTEST_GUILESS_MAIN(TestDesktopNotice)
#include "tst_desktop_notice.moc"
