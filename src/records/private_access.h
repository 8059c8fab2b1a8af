#pragma once

#include <QFile>
#include <QString>

#include <optional>

// Keeps a file or folder we own to the user who runs the program. POSIX: mode 0700 for a folder, 0600 for a file.
// Windows has no such modes: the folder gets an access list of its own (not inherited from above it) that gives the
// user alone full control, which the files made in it inherit. False when the system refused.
bool keepToOwner(const QString &path, bool folder);

// Why an existing folder is no place for private files: another user owns it, or others may write in it (and so
// replace what is kept there). Nothing when it is fit, or where the system keeps no such modes (Windows: the
// folder's access list is set by keepToOwner).
std::optional<QString> unfitPrivateFolder(const QString &path);

// Opens a file to add to its end, made readable by its owner alone when it is new. Never through a symbolic link,
// and only a regular file of this user's; false with the reason.
bool openPrivateForAppend(QFile &file, const QString &path, QString *error);

// Held while adding to a file opened so that others (another program journaling the same board) may add to it too,
// and while reading where it ends: their additions never land in one another, and an addition under way is never
// taken for a line cut short (a file grows a page at a time while one is written). POSIX appends whole writes at
// the end; the lock (flock on POSIX, one beyond the file's end on Windows) keeps the writers one at a time.
class AppendLock
{
public:
    explicit AppendLock(QFile &file);
    ~AppendLock();
    AppendLock(const AppendLock &) = delete;
    AppendLock &operator=(const AppendLock &) = delete;

private:
    QFile &m_file;
    bool m_locked = false;
};
