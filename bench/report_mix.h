#pragma once

#include <QByteArray>
#include <QList>
#include <QString>

#include <random>

// The traffic of a busy board: 40% level reports of input pins, 40% readings of monitored analog channels and
// 20% lines nobody claims, each ended by CR LF.
class ReportMix
{
public:
    explicit ReportMix(unsigned seed = 1)
        : m_random(seed)
    {}

    QByteArray line()
    {
        const int kind = int(m_random() % 10);
        if (kind < 4)
            return "pin " + QByteArray::number(1 + int(m_random() % 18)) + ' ' +
                   QByteArray::number(int(m_random() % 2));
        if (kind < 8)
            return "adc " + QByteArray::number(1 + int(m_random() % 8)) + ' ' +
                   QByteArray::number(int(m_random() % 256));
        static const QList<QByteArray> others{"ok led on", "Vantrel USB I/O board BENCH001 firmware 3.0",
                                              "error unknown command: hello", "debounce 4 count reset 17"};
        return others[int(m_random() % others.size())];
    }

    // Whole lines, CR LF each, up to `bytes` bytes; `lines` receives how many.
    QByteArray stream(qsizetype bytes, qsizetype *lines = nullptr)
    {
        QByteArray out;
        out.reserve(bytes + 64);
        qsizetype count = 0;
        while (true) {
            const QByteArray next = line() + "\r\n";
            if (out.size() + next.size() > bytes)
                break;
            out += next;
            ++count;
        }
        if (lines)
            *lines = count;
        return out;
    }

private:
    std::mt19937 m_random;
};
