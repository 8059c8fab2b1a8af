#include "files/script_file.h"

#include "device/code_page.h"
#include "files/file_saving.h"
#include "files/rich_text.h"

#include <QFile>
#include <QFileInfo>
#include <QSet>
#include <QStringDecoder>

#include <algorithm>

QString editorTextWithCrLf(QStringView editorText)
{
    QString text;
    text.reserve(editorText.size() + editorText.count(u'\n'));
    for (const QChar c : editorText) {
        if (c == u'\n')
            text += QLatin1String("\r\n");
        else
            text += c;
    }
    return text;
}

namespace {

const QByteArray kUtf8Mark = QByteArray("\xEF\xBB\xBF");

} // namespace

QByteArray scriptFileBytes(QStringView editorText, ScriptEncoding encoding)
{
    const QString text = editorTextWithCrLf(editorText);
    switch (encoding) {
    case ScriptEncoding::CodePage:
        break;
    case ScriptEncoding::Utf8:
        return text.toUtf8();
    case ScriptEncoding::Utf8WithMark:
        return kUtf8Mark + text.toUtf8();
    }
    return toCodePage(text);
}

bool fitsScriptEncoding(QStringView editorText, ScriptEncoding encoding)
{
    return encoding != ScriptEncoding::CodePage || countOutsideCodePage(editorText) == 0;
}

namespace {

bool isUtf8WithNonAscii(QByteArrayView bytes)
{
    const bool ascii = std::all_of(bytes.begin(), bytes.end(), [](char c) { return (c & 0x80) == 0; });
    if (ascii)
        return false;
    QStringDecoder decoder(QStringConverter::Utf8, QStringConverter::Flag::Stateless);
    [[maybe_unused]] const QString decoded = decoder.decode(bytes);
    return !decoder.hasError();
}

} // namespace

QString editorTextFromFile(QByteArrayView bytes, ScriptEncoding *encoding)
{
    if (encoding)
        *encoding = ScriptEncoding::CodePage;
    if (isRichText(bytes))
        return richTextToPlainText(bytes);
    const bool utf8 = isUtf8WithNonAscii(bytes);
    const bool marked = utf8 && bytes.startsWith(kUtf8Mark);
    if (utf8 && encoding)
        *encoding = marked ? ScriptEncoding::Utf8WithMark : ScriptEncoding::Utf8;
    const QString raw = utf8 ? QString::fromUtf8(marked ? bytes.sliced(kUtf8Mark.size()) : bytes) : fromCodePage(bytes);
    QString text;
    text.reserve(raw.size());
    for (qsizetype i = 0; i < raw.size(); ++i) {
        const QChar c = raw[i];
        if (c == u'\r') {
            text += u'\n';
            if (i + 1 < raw.size() && raw[i + 1] == u'\n')
                ++i;
        } else {
            text += c;
        }
    }
    return text;
}

namespace {

QSet<QString> &knownScriptFiles()
{
    static QSet<QString> paths;
    return paths;
}

void rememberScriptFile(const QString &path)
{
    knownScriptFiles().insert(QFileInfo(path).absoluteFilePath());
}

} // namespace

bool isKnownScriptFile(const QString &path)
{
    return knownScriptFiles().contains(QFileInfo(path).absoluteFilePath());
}

std::optional<QString> saveScriptFile(const QString &path, QStringView editorText, ScriptEncoding encoding)
{
    std::optional<QString> error = saveFileAtomically(path, scriptFileBytes(editorText, encoding));
    if (!error)
        rememberScriptFile(path);
    return error;
}

LoadedScript loadScriptFile(const QString &path)
{
    LoadedScript loaded;
    const QFileInfo info(path);
    if (info.isDir()) {
        loaded.error = QStringLiteral("It is a folder, not a file.");
        return loaded;
    }
    // Devices and pipes could be read forever.
    if (info.exists() && !info.isFile()) {
        loaded.error = QStringLiteral("It is not an ordinary file.");
        return loaded;
    }
    if (info.size() > kMaxScriptFileSize) {
        loaded.error = QStringLiteral("The file is %1 MB; scripts of up to %2 MB can be opened.")
                           .arg(info.size() / (1024 * 1024))
                           .arg(kMaxScriptFileSize / (1024 * 1024));
        return loaded;
    }
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        loaded.error = file.errorString();
        return loaded;
    }
    const QByteArray bytes = file.readAll();
    if (file.error() != QFileDevice::NoError) {
        loaded.error = file.errorString();
        return loaded;
    }
    loaded.editorText = editorTextFromFile(bytes, &loaded.encoding);
    loaded.ok = true;
    rememberScriptFile(path);
    return loaded;
}

LoadedScript readScriptArgument(const QString &pathOrDash)
{
    const QFileInfo info(pathOrDash);
    if (pathOrDash != u"-" && (!info.exists() || info.isFile() || info.isDir()))
        return loadScriptFile(pathOrDash);
    LoadedScript loaded;
    QFile stream;
    const bool opened = pathOrDash == u"-" ? stream.open(stdin, QIODevice::ReadOnly, QFileDevice::DontCloseHandle)
                                           : (stream.setFileName(pathOrDash), stream.open(QIODevice::ReadOnly));
    if (!opened) {
        loaded.error = stream.errorString();
        return loaded;
    }
    // A stream says its size only by ending: one byte past the limit is enough to refuse it.
    QByteArray bytes;
    while (bytes.size() <= kMaxScriptFileSize) {
        const QByteArray chunk = stream.read(64 * 1024);
        if (chunk.isEmpty())
            break;
        bytes += chunk;
    }
    if (stream.error() != QFileDevice::NoError) {
        loaded.error = stream.errorString();
        return loaded;
    }
    if (bytes.size() > kMaxScriptFileSize) {
        loaded.error = QStringLiteral("It holds more than %1 MB; scripts of up to %1 MB can be sent.")
                           .arg(kMaxScriptFileSize / (1024 * 1024));
        return loaded;
    }
    loaded.editorText = editorTextFromFile(bytes);
    loaded.ok = true;
    return loaded;
}
