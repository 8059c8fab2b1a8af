#pragma once

#include <QByteArray>
#include <QString>
#include <QStringView>

#include <optional>

// Script files: the editor's text as plain text, CR LF between lines, nothing added before the first or after the
// last character. A script is 8-bit text in the code page (see code_page.h), or UTF-8 when its file was UTF-8 or
// it holds characters the code page lacks; a file keeps its encoding. The editor keeps '\n' between its lines.

enum class ScriptEncoding {
    CodePage,
    Utf8,
    Utf8WithMark, // UTF-8 whose file starts with a byte order mark, which it keeps
};

// The editor text with CR LF between its lines.
QString editorTextWithCrLf(QStringView editorText);
// The bytes of a script file for an editor text.
QByteArray scriptFileBytes(QStringView editorText, ScriptEncoding encoding = ScriptEncoding::CodePage);
// The editor text for the bytes of a file. CR LF, a lone CR and a lone LF each end a line. A file in Rich Text
// Format is shown as its plain text. Bytes that are valid UTF-8 and not all ASCII are read as UTF-8 (an 8-bit file
// with accented letters practically never is); everything else one character per byte, as the code page has it.
QString editorTextFromFile(QByteArrayView bytes, ScriptEncoding *encoding = nullptr);
// Whether every character of the text can be written in the encoding.
bool fitsScriptEncoding(QStringView editorText, ScriptEncoding encoding);

// Writes the editor text to `path` through a temporary file, so a failed save leaves the file that was there
// untouched. Returns the system's reason on failure. A file written is remembered (see below).
std::optional<QString> saveScriptFile(const QString &path, QStringView editorText,
                                      ScriptEncoding encoding = ScriptEncoding::CodePage);

// Larger files are refused with a reason: a command script is far smaller, and the editor would take many
// seconds to lay such a file out.
inline constexpr qint64 kMaxScriptFileSize = 4 * 1024 * 1024;

struct LoadedScript {
    QString editorText;
    ScriptEncoding encoding = ScriptEncoding::CodePage;
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
