#pragma once

#include <QProcess>
#include <QString>
#include <QTemporaryDir>

// A mosquitto of the bench's own on a free loopback port, stopped when it goes.
class BenchBroker
{
public:
    // False (and the reason) without mosquitto or when it does not start.
    bool start(QString *skipped);
    int port() const { return m_port; }
    ~BenchBroker();

private:
    QTemporaryDir m_folder;
    QProcess m_process;
    int m_port = 0;
};

// A TCP port nobody listens on now.
int freeLoopbackPort();
