#pragma once

#include <QObject>
#include <QString>
#include <QTimer>

#include <functional>
#include <map>

// What the bridge says on standard error about the messages it gets: every line built from network data with its
// control characters escaped (the callers quote payloads with quotedText), and refusals of one kind said at most once
// a second: the first in full, the others counted and said as one line when the second is over ("refused 19999
// more opens in the last second"), so that a flood of messages cannot flood the terminal.
class Audit : public QObject
{
    Q_OBJECT

public:
    using Say = std::function<void(const QString &)>;
    explicit Audit(Say say, QObject *parent = nullptr);
    ~Audit() override;

    // A line said as it is, its control characters escaped.
    void say(const QString &line);
    // A refusal of the kind `what` ("opens", "control messages"), plural, as the count's line names them.
    void refused(const QString &what, const QString &line);
    // Says what is still counted (at a stop).
    void flush();

    qint64 refusals() const { return m_refusals; }
    static constexpr int kIntervalMs = 1000;

private:
    std::map<QString, qint64> m_held; // kind -> refusals not said since its last line
    Say m_say;
    QTimer m_second;
    qint64 m_refusals = 0;
};
