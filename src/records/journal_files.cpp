#include "records/journal_files.h"

#include "records/journal.h"
#include "records/journal_gzip.h"
#include "records/private_access.h"
#include "records/safe_text.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>

#include <algorithm>

QString journalBoardFolder(const QString &root, const QString &board)
{
    return root + u'/' + safeNameOf(board);
}

QString journalFileName(const QString &boardFolder, QDate day, int index)
{
    const QString date = day.toString(Qt::ISODate);
    return index == 0 ? QStringLiteral("%1/%2.jsonl").arg(boardFolder, date)
                      : QStringLiteral("%1/%2.%3.jsonl").arg(boardFolder, date).arg(index);
}

QList<JournalFile> journalFiles(const QString &boardFolder)
{
    static const QRegularExpression name(
        QStringLiteral("^(\\d{4}-\\d{2}-\\d{2})(?:\\.(\\d{1,6}))?\\.jsonl(\\.gz)?$"));
    QList<JournalFile> files;
    // Only regular files: a symbolic link is never read, rotated into nor pruned through.
    const QFileInfoList entries = QDir(boardFolder).entryInfoList(
        {QStringLiteral("*.jsonl"), QStringLiteral("*.jsonl.gz")}, QDir::Files | QDir::NoSymLinks);
    for (const QFileInfo &entry : entries) {
        const QRegularExpressionMatch match = name.match(entry.fileName());
        const QDate day = match.hasMatch() ? QDate::fromString(match.captured(1), Qt::ISODate) : QDate();
        if (!day.isValid())
            continue;
        const bool compressed = !match.captured(3).isEmpty();
        // A compression cut short left both: the plain file is whole, the compressed one may not be.
        if (compressed && QFileInfo::exists(entry.filePath().chopped(3)))
            continue;
        files.append({entry.filePath(), day, match.captured(2).toInt(), entry.size(), compressed});
    }
    std::sort(files.begin(), files.end(), [](const JournalFile &a, const JournalFile &b) {
        return a.day != b.day ? a.day < b.day : a.index < b.index;
    });
    return files;
}

int lastJournalIndex(const QString &boardFolder, QDate day)
{
    int last = 0;
    for (const JournalFile &file : journalFiles(boardFolder)) {
        if (file.day == day)
            last = std::max(last, file.index);
    }
    return last;
}

std::optional<QString> makePrivateFolder(const QString &path)
{
    const QString shown = QDir::toNativeSeparators(path);
    // An existing folder others may write in (or own) is refused, not quietly taken over: what it holds may not be
    // ours.
    if (const std::optional<QString> unfit = unfitPrivateFolder(path))
        return QStringLiteral("the folder %1 is not private: %2").arg(shown, *unfit);
    if (!QFileInfo::exists(path) && !QDir().mkpath(path))
        return QStringLiteral("the folder %1 could not be made").arg(shown);
    const QFileInfo info(path);
    if (!info.isDir() || !info.isWritable())
        return QStringLiteral("the folder %1 cannot be written").arg(shown);
    if (!keepToOwner(path, true))
        return QStringLiteral("the folder %1 could not be kept to its owner").arg(shown);
    return std::nullopt;
}

void pruneJournal(const JournalSettings &settings, QDate today, const QStringList &inUse)
{
    QList<JournalFile> all;
    const QFileInfoList boards =
        QDir(settings.folder).entryInfoList(QDir::Dirs | QDir::NoDotAndDotDot | QDir::NoSymLinks);
    for (const QFileInfo &board : boards)
        all += journalFiles(board.filePath());
    std::sort(all.begin(), all.end(), [](const JournalFile &a, const JournalFile &b) {
        return a.day != b.day ? a.day < b.day : a.index < b.index;
    });
    qint64 total = 0;
    for (const JournalFile &file : all)
        total += file.size;
    const QDate oldestKept = today.addDays(-settings.maxAgeDays);
    for (const JournalFile &file : all) {
        const bool tooOld = file.day < oldestKept;
        if (!tooOld && total <= settings.maxTotalBytes)
            break;
        // Today's files may be another process's of the moment.
        if (inUse.contains(file.path) || file.day >= today)
            continue;
        if (QFile::remove(file.path))
            total -= file.size;
    }
}

std::optional<QString> compressClosedJournalFiles(const QString &boardFolder, QDate today, const QStringList &inUse)
{
    // A run may still write yesterday's last records just after midnight: a file is left a minute first.
    constexpr qint64 kQuietMs = 60'000;
    const QDateTime now = QDateTime::currentDateTime();
    std::optional<QString> failure;
    for (const JournalFile &file : journalFiles(boardFolder)) {
        if (file.compressed || file.day >= today || inUse.contains(file.path))
            continue;
        if (QFileInfo(file.path).lastModified().msecsTo(now) < kQuietMs)
            continue;
        if (std::optional<QString> error = compressJournalFile(file.path); error && !failure)
            failure = error;
    }
    return failure;
}
