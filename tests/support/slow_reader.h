#pragma once

#include <QByteArray>
#include <QtGlobal>

#include <atomic>
#include <chrono>
#include <mutex>
#include <thread>

#include <poll.h>
#include <unistd.h>

// The board's end of a pseudo-terminal, read slowly on a thread of its own: at most `chunk` bytes every
// `pauseMs`, the way a slow link takes what the program sends.
class SlowReader
{
public:
    SlowReader(int fd, qsizetype chunk, int pauseMs)
        : m_thread([this, fd, chunk, pauseMs] {
            QByteArray buffer(chunk, Qt::Uninitialized);
            while (!m_stop) {
                // Never blocked in a read, so it always notices when to stop.
                pollfd ready{fd, POLLIN, 0};
                if (::poll(&ready, 1, pauseMs) > 0 && (ready.revents & POLLIN)) {
                    const ssize_t n = ::read(fd, buffer.data(), size_t(chunk));
                    if (n > 0) {
                        const std::lock_guard<std::mutex> lock(m_mutex);
                        m_bytes.append(buffer.constData(), n);
                    }
                }
                std::this_thread::sleep_for(std::chrono::milliseconds(pauseMs));
            }
        })
    {}
    ~SlowReader()
    {
        m_stop = true;
        m_thread.join();
    }
    SlowReader(const SlowReader &) = delete;
    SlowReader &operator=(const SlowReader &) = delete;

    QByteArray bytes() const
    {
        const std::lock_guard<std::mutex> lock(m_mutex);
        return m_bytes;
    }
    qsizetype size() const { return bytes().size(); }

private:
    mutable std::mutex m_mutex;
    QByteArray m_bytes;
    std::atomic<bool> m_stop{false};
    std::thread m_thread;
};
