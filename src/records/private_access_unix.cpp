#include "records/private_access.h"

#include <QDir>

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

bool keepToOwner(const QString &path, bool folder)
{
    const QFileDevice::Permissions owner = QFileDevice::ReadOwner | QFileDevice::WriteOwner;
    return QFile::setPermissions(path, folder ? owner | QFileDevice::ExeOwner : owner);
}

std::optional<QString> unfitPrivateFolder(const QString &path)
{
    struct stat info {};
    if (::lstat(QFile::encodeName(path).constData(), &info) != 0)
        return std::nullopt; // not there: it will be made
    if (S_ISLNK(info.st_mode))
        return QStringLiteral("it is a symbolic link");
    if (info.st_uid != ::geteuid())
        return QStringLiteral("it belongs to another user");
    if (info.st_mode & (S_IWGRP | S_IWOTH))
        return QStringLiteral("others may write in it (mode %1)").arg(info.st_mode & 07777, 4, 8, QLatin1Char('0'));
    return std::nullopt;
}

bool openPrivateForAppend(QFile &file, const QString &path, QString *error)
{
    const int fd =
        ::open(QFile::encodeName(path).constData(), O_RDWR | O_APPEND | O_CREAT | O_NOFOLLOW | O_CLOEXEC, 0600);
    if (fd < 0) {
        *error =
            errno == ELOOP ? QStringLiteral("it is a symbolic link") : QString::fromLocal8Bit(std::strerror(errno));
        return false;
    }
    struct stat info {};
    QString refusal;
    if (::fstat(fd, &info) != 0)
        refusal = QString::fromLocal8Bit(std::strerror(errno));
    else if (!S_ISREG(info.st_mode))
        refusal = QStringLiteral("it is not a regular file");
    else if (info.st_uid != ::geteuid())
        refusal = QStringLiteral("it belongs to another user");
    else if ((info.st_mode & 0777) != 0600 && ::fchmod(fd, 0600) != 0)
        refusal = QString::fromLocal8Bit(std::strerror(errno));
    if (!refusal.isEmpty() || !file.open(fd, QIODevice::ReadWrite | QIODevice::Append | QIODevice::Unbuffered,
                                         QFileDevice::AutoCloseHandle)) {
        *error = refusal.isEmpty() ? file.errorString() : refusal;
        ::close(fd);
        return false;
    }
    return true;
}

AppendLock::AppendLock(QFile &file)
    : m_file(file)
{
    // Held by the open file, not the process: two journals of one process keep each other out too. A file system
    // without locks still appends whole writes.
    int result = 0;
    do {
        result = ::flock(file.handle(), LOCK_EX);
    } while (result != 0 && errno == EINTR);
    m_locked = result == 0;
}

AppendLock::~AppendLock()
{
    if (m_locked)
        ::flock(m_file.handle(), LOCK_UN);
}
