#include "files/file_saving.h"

#include <QFileInfo>
#include <QSaveFile>

std::optional<QString> saveFileAtomically(const QString &path, const QByteArray &bytes)
{
    // The temporary file would be renamed over a device, pipe or folder of that name and replace it.
    const QFileInfo existing(path);
    if (existing.exists() && !existing.isFile())
        return QStringLiteral("It is not an ordinary file.");
    QSaveFile file(path);
    // A folder that takes no new file (but lets this one be rewritten) cannot hold the temporary file: there the
    // file is written in place, which is the only way it can be saved at all.
    file.setDirectWriteFallback(true);
    // Unbuffered: a buffered QSaveFile can lose the error of its final flush and report a cut-short file as
    // saved (seen on a full disk).
    if (!file.open(QIODevice::WriteOnly | QIODevice::Unbuffered))
        return file.errorString();
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
