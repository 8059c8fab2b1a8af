#include "records/journal_files.h"

#include "records/journal.h"
#include "records/private_access.h"
#include "records/safe_text.h"

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
    static const QRegularExpression name(QStringLiteral("^(\\d{4}-\\d{2}-\\d{2})(?:\\.(\\d{1,6}))?\\.jsonl$"));
    QList<JournalFile> files;
    const QFileInfoList entries = QDir(boardFolder).entryInfoList({QStringLiteral("*.jsonl")}, QDir::Files);
    for (const QFileInfo &entry : entries) {
        const QRegularExpressionMatch match = name.match(entry.fileName());
        const QDate day = match.hasMatch() ? QDate::fromString(match.captured(1), Qt::ISODate) : QDate();
        if (!day.isValid())
            continue;
        files.append({entry.filePath(), day, match.captured(2).toInt(), entry.size()});
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
    QDir dir(path);
    if (!dir.exists()) {
        if (!QDir().mkpath(path))
            return QStringLiteral("the folder %1 could not be made").arg(QDir::toNativeSeparators(path));
    }
    const QFileInfo info(path);
    if (!info.isDir() || !info.isWritable())
        return QStringLiteral("the folder %1 cannot be written").arg(QDir::toNativeSeparators(path));
    keepToOwner(path, true);
    return std::nullopt;
}

void pruneJournal(const JournalSettings &settings, QDate today, const QStringList &inUse)
{
    QList<JournalFile> all;
    const QFileInfoList boards = QDir(settings.folder).entryInfoList(QDir::Dirs | QDir::NoDotAndDotDot);
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
        if (inUse.contains(file.path))
            continue;
        if (QFile::remove(file.path))
            total -= file.size;
    }
}
