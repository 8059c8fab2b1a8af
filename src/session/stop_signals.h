#pragma once

#include <QObject>

class QSocketNotifier;

// Turns the requests to end the process (SIGINT, SIGTERM and SIGHUP on Unix; Ctrl+C, Ctrl+Break and closing the console
// on Windows) into a Qt signal, delivered through the event loop of the thread that made the object, so a front
// end can end its session cleanly. At most one object should exist at a time; while it exists, those requests no
// longer end the process by themselves.
class StopSignals : public QObject
{
    Q_OBJECT

public:
    explicit StopSignals(QObject *parent = nullptr);
    ~StopSignals() override;

Q_SIGNALS:
    // `signal` is the signal number: SIGINT, SIGTERM or SIGHUP; on Windows Ctrl+C is SIGINT, and Ctrl+Break, closing
    // the console, logging off and shutting down are SIGTERM.
    void stopRequested(int signal);

private:
    void readSignal();

    QSocketNotifier *m_notifier = nullptr;
};
