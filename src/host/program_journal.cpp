#include "host/program_journal.h"

#include "host/board_host.h"

#include <QSettings>

#include <algorithm>

namespace {

const QString kKeepJournalKey = QStringLiteral("journal/keep");

// How much the journal keeps; a value that is not a positive whole number is ignored.
void readLimits(JournalSettings &settings)
{
    const QSettings stored;
    bool ok = false;
    if (const qint64 mib = stored.value(QStringLiteral("journal/maxTotalMiB")).toLongLong(&ok); ok && mib > 0)
        settings.maxTotalBytes = std::min<qint64>(mib, 1000000) * 1024 * 1024;
    if (const int days = stored.value(QStringLiteral("journal/maxAgeDays")).toInt(&ok); ok && days > 0)
        settings.maxAgeDays = days;
}

} // namespace

void setUpProgramJournal(BoardHost &host, const QString &folder, std::optional<bool> keep, bool everyPoll)
{
    JournalSettings settings;
    settings.everyPoll = everyPoll;
    settings.folder = folder.isEmpty() ? defaultJournalFolder() : folder;
    readLimits(settings);
    host.setUpJournal(settings, keep.value_or(QSettings().value(kKeepJournalKey, true).toBool()));
}

void keepProgramJournal(BoardHost &host, bool keep)
{
    QSettings().setValue(kKeepJournalKey, keep);
    if (!host.journal())
        setUpProgramJournal(host, QString(), keep);
    else
        host.keepJournal(keep);
}

QString programJournalFolder(const BoardHost &host)
{
    return host.journal() ? host.journal()->settings().folder : defaultJournalFolder();
}
