#include "files/file_saving.h"

#include "files/folder_access.h"

#include <QFile>
#include <QFileInfo>
#include <QSaveFile>

namespace {

// For a folder that takes no new file but lets this one be written: the file is rewritten in place, the only way
// it can be saved at all. Its old content is held in memory first, and put back when the rewrite fails part way.
std::optional<QString> rewriteInPlace(const QString &path, const QByteArray &bytes)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadWrite | QIODevice::Unbuffered))
        return file.errorString();
    const QByteArray old = file.readAll();
    if (file.error() != QFileDevice::NoError)
        return file.errorString();
    const auto written = [&file](const QByteArray &content) {
        return file.seek(0) && file.write(content) == content.size() && file.resize(content.size()) &&
               file.error() == QFileDevice::NoError;
    };
    if (written(bytes))
        return std::nullopt;
    const QString reason = file.errorString();
    file.unsetError();
    if (!written(old))
        return QStringLiteral("Not every byte could be written, and the old content could not be put back (%1).")
            .arg(reason);
    return QStringLiteral("Not every byte could be written; the disk may be full (%1). The file was left as it was.")
        .arg(reason);
}

} // namespace

std::optional<QString> saveFileAtomically(const QString &path, const QByteArray &bytes)
{
    // The temporary file would be renamed over a device, pipe or folder of that name and replace it.
    const QFileInfo existing(path);
    if (existing.exists() && !existing.isFile())
        return QStringLiteral("It is not an ordinary file.");
    QSaveFile file(path);
    // Qt's own fallback writes in place for EACCES only, and keeps nothing to put back: ours does both kinds.
    file.setDirectWriteFallback(false);
    // Unbuffered: a buffered QSaveFile can lose the error of its final flush and report a cut-short file as
    // saved (seen on a full disk).
    if (!file.open(QIODevice::WriteOnly | QIODevice::Unbuffered)) {
        const QString reason = file.errorString();
        if (existing.isFile() && refusesNewFiles(existing.absolutePath()))
            return rewriteInPlace(path, bytes);
        return reason;
    }
    if (file.write(bytes) != bytes.size() || file.error() != QFileDevice::NoError) {
        const QString reason =
            QStringLiteral("Not every byte could be written; the disk may be full (%1).").arg(file.errorString());
        file.cancelWriting();
        file.commit();
        return reason;
    }
    if (!file.commit())
        return file.errorString();
    return std::nullopt;
}
