#pragma once

#include <QByteArray>
#include <QString>

#include <optional>

// Writes `bytes` as the whole new content of `path` through a temporary file beside it, renamed over the old
// file only when every byte is on disk. A failure (missing folder, no permission, full disk) leaves the file
// that was there untouched and returns the system's reason. In a folder that refuses new files but lets the
// file itself be written, the file is rewritten in place instead. A path that names something other than an ordinary
// file (a device, a pipe, a folder) is refused.
std::optional<QString> saveFileAtomically(const QString &path, const QByteArray &bytes);
