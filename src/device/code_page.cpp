#include "device/code_page.h"

#include <QtGlobal>

#ifdef Q_OS_WIN
#include <QStringDecoder>
#include <QStringEncoder>
#endif

QByteArray toCodePage(QStringView text)
{
#ifdef Q_OS_WIN
    QStringEncoder encoder(QStringConverter::System);
    return encoder.encode(text);
#else
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
#endif
}

void appendFromCodePage(QString &out, const char *bytes, qsizetype size)
{
#ifdef Q_OS_WIN
    QStringDecoder decoder(QStringConverter::System);
    out += decoder.decode(QByteArrayView(bytes, size));
#else
    out.append(QLatin1String(bytes, size));
#endif
}

QString fromCodePage(QByteArrayView bytes)
{
    QString text;
    appendFromCodePage(text, bytes.data(), bytes.size());
    return text;
}
