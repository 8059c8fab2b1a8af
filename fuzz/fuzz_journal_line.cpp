// The journal's line reader on any bytes: the direct road and the JSON parser take and refuse the same lines and
// read the same fields from them; and a journal made of the bytes plays back to its end through a session,
// without a crash or a loop that does not end.
#include "records/journal_line.h"
#include "replay/replay_driver.h"
#include "session/board_session.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <algorithm>
#include <cstdlib>

namespace {

bool same(const JournalLine &a, const JournalLine &b)
{
    return a.kind == b.kind && a.wallMs == b.wallMs && a.hasMono == b.hasMono && a.monoMs == b.monoMs &&
           a.channel == b.channel && a.pin == b.pin && a.value == b.value && a.hasValue == b.hasValue &&
           a.level == b.level && a.text == b.text && a.channels == b.channels && a.periodMs == b.periodMs &&
           std::equal(a.events.begin(), a.events.end(), b.events.begin(), b.events.end(), same);
}

const QString &journalFolder()
{
    static QTemporaryDir *directory = new QTemporaryDir;
    static const QString folder = directory->filePath(QStringLiteral("journal"));
    return folder;
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int *, char ***)
{
    static int argc = 1;
    static char name[] = "fuzzer";
    static char *argv[] = {name, nullptr};
    new QCoreApplication(argc, argv);
    QDir().mkpath(journalFolder() + QStringLiteral("/B1"));
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QByteArray bytes(reinterpret_cast<const char *>(data), qsizetype(size));
    JournalLine fast;
    JournalLine slow;
    for (const QByteArray &line : bytes.split('\n')) {
        const bool read = decodeJournalLine(line, fast);
        if (read != decodeJournalLineSlowly(line, slow))
            std::abort();
        if (read && !same(fast, slow))
            std::abort();
    }

    // The same bytes as a day of a board's journal, played as fast as it goes.
    {
        QFile file(journalFolder() + QStringLiteral("/B1/2026-12-07.jsonl"));
        if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate) || file.write(bytes) != bytes.size())
            std::abort();
    }
    ReplayOptions options;
    options.folder = journalFolder();
    options.speed = ReplayDriver::kFastest;
    ReplayDriver driver(options);
    BoardSession session(driver);
    session.scanDevices();
    session.selectDevice(0);
    // Every line plays in at most a few polls each.
    const qsizetype most = 16 + 4 * bytes.count('\n');
    for (qsizetype poll = 0; poll < most && !driver.isFinished(); ++poll)
        session.poll();
    if (!driver.isFinished())
        std::abort();
    return 0;
}
