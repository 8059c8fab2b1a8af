#pragma once

#include <QByteArray>
#include <QString>
#include <QStringView>

#include <optional>

// Script files: the editor's text as plain 8-bit text in the code page (see code_page.h), CR LF between lines,
// nothing added before the first or after the last character. The editor keeps '\n' between its lines.

// The editor text with CR LF between its lines.
QString editorTextWithCrLf(QStringView editorText);
// The bytes of a script file for an editor text.
QByteArray scriptFileBytes(QStringView editorText);
// The editor text for the bytes of a file. CR LF, a lone CR and a lone LF each end a line. A file in Rich Text
// Format is shown as its plain text.
QString editorTextFromFile(QByteArrayView bytes);

// Writes the editor text to `path` through a temporary file, so a failed save leaves the file that was there
// untouched. Returns the system's reason on failure. A file written is remembered (see below).
std::optional<QString> saveScriptFile(const QString &path, QStringView editorText);

// Larger files are refused with a reason: a command script is far smaller, and the editor would take many
// seconds to lay such a file out.
inline constexpr qint64 kMaxScriptFileSize = 4 * 1024 * 1024;

struct LoadedScript {
    QString editorText;
    QString error; // the system's reason when the file could not be read
    bool ok = false;
};
// Reads a script file; a file read is remembered (see below).
LoadedScript loadScriptFile(const QString &path);

// A script named to the runner: "-" is standard input; a pipe, a device or /dev/stdin is read to its end like a
// file (at most kMaxScriptFileSize bytes).
LoadedScript readScriptArgument(const QString &pathOrDash);

// Whether this run has read or written the script file at `path`: a file that the program never touched is not
// replaced without asking.
bool isKnownScriptFile(const QString &path);
