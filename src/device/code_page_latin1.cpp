#include "device/code_page.h"

#include <QtGlobal>

// ISO-8859-1: byte b is character U+00b, and back.

QByteArray toCodePage(QStringView text)
{
    QByteArray bytes(text.size(), Qt::Uninitialized);
    char *out = bytes.data();
    qsizetype n = 0;
    for (qsizetype i = 0; i < text.size(); ++i) {
        const char16_t c = text[i].unicode();
        if (c < 0x100) {
            out[n++] = static_cast<char>(c);
            continue;
        }
        // A character outside the code page becomes one '?', also when it takes two UTF-16 units.
        if (QChar::isHighSurrogate(c) && i + 1 < text.size() && text[i + 1].isLowSurrogate())
            ++i;
        out[n++] = '?';
    }
    bytes.truncate(n);
    return bytes;
}

qsizetype countOutsideCodePage(QStringView text)
{
    qsizetype outside = 0;
    for (qsizetype i = 0; i < text.size(); ++i) {
        const char16_t c = text[i].unicode();
        if (c < 0x100)
            continue;
        ++outside;
        if (QChar::isHighSurrogate(c) && i + 1 < text.size() && text[i + 1].isLowSurrogate())
            ++i;
    }
    return outside;
}

void appendFromCodePage(QString &out, const char *bytes, qsizetype size)
{
    out.append(QLatin1String(bytes, size));
}

QString fromCodePage(QByteArrayView bytes)
{
    QString text;
    appendFromCodePage(text, bytes.data(), bytes.size());
    return text;
}
