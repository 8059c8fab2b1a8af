#pragma once

#include <QDate>
#include <QList>
#include <QString>
#include <QStringList>

#include <optional>

struct JournalSettings;

// The journal's files: FOLDER/BOARD/2026-12-07.jsonl, then 2026-12-07.1.jsonl, ... for the same day; each
// compressed (2026-12-07.jsonl.gz) once its day is over.

// A board's folder. Characters a file name cannot safely hold become '_'; a board without a serial number is
// kept under "_".
QString journalBoardFolder(const QString &root, const QString &board);
QString journalFileName(const QString &boardFolder, QDate day, int index);

struct JournalFile {
    QString path;
    QDate day;
    int index = 0;
    qint64 size = 0;
    bool compressed = false; // .jsonl.gz
};
// The journal files in one board's folder, oldest first (by day, then number).
QList<JournalFile> journalFiles(const QString &boardFolder);
// The number of the day's last file in the folder; 0 when there is none.
int lastJournalIndex(const QString &boardFolder, QDate day);

// Makes the folder (and those above it that are missing) readable by its owner only; the reason on failure.
std::optional<QString> makePrivateFolder(const QString &path);

// Deletes, oldest first, the files of every board that are older than maxAgeDays before `today` or beyond
// maxTotalBytes in all; never one of `inUse`, nor one of `today` (another process may be writing it), nor a
// symbolic link.
void pruneJournal(const JournalSettings &settings, QDate today, const QStringList &inUse);

// Compresses one board's files of days before `today` that nobody has written to for a while; the first failure's
// reason (the others are tried again next time).
std::optional<QString> compressClosedJournalFiles(const QString &boardFolder, QDate today, const QStringList &inUse);
