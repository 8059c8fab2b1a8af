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

qsizetype countOutsideCodePage(QStringView text)
{
    qsizetype outside = 0;
#ifdef Q_OS_WIN
    for (qsizetype i = 0; i < text.size(); ++i) {
        const bool pair = text[i].isHighSurrogate() && i + 1 < text.size() && text[i + 1].isLowSurrogate();
        const QStringView character = text.sliced(i, pair ? 2 : 1);
        if (character.front().unicode() >= 0x80) {
            QStringEncoder encoder(QStringConverter::System, QStringConverter::Flag::Stateless);
            const QByteArray bytes = encoder.encode(character);
            if (encoder.hasError() || bytes.size() != 1 || bytes == "?")
                ++outside;
        }
        if (pair)
            ++i;
    }
#else
    for (qsizetype i = 0; i < text.size(); ++i) {
        const char16_t c = text[i].unicode();
        if (c < 0x100)
            continue;
        ++outside;
        if (QChar::isHighSurrogate(c) && i + 1 < text.size() && text[i + 1].isLowSurrogate())
            ++i;
    }
#endif
    return outside;
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
