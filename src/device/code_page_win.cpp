#include "device/code_page.h"

#include <qt_windows.h>

#include <array>
#include <unordered_map>

namespace {

// The ANSI code page as a table, built once: each byte's character, and the characters that have a byte. A byte
// that is no character on its own (a lead byte of a double-byte code page) reads as the character of its value.
struct AnsiCodePage {
    std::array<char16_t, 256> character{};
    std::unordered_map<char16_t, char> byte;
};

const AnsiCodePage &ansi()
{
    static const AnsiCodePage page = [] {
        AnsiCodePage made;
        for (int b = 0; b < 256; ++b) {
            const char in = char(b);
            wchar_t out[2] = {};
            const int n = MultiByteToWideChar(CP_ACP, MB_ERR_INVALID_CHARS, &in, 1, out, 2);
            made.character[b] = n == 1 ? char16_t(out[0]) : char16_t(b);
            made.byte.emplace(made.character[b], in);
        }
        return made;
    }();
    return page;
}

} // namespace

QByteArray toCodePage(QStringView text)
{
    const AnsiCodePage &page = ansi();
    QByteArray bytes;
    bytes.reserve(text.size());
    for (qsizetype i = 0; i < text.size(); ++i) {
        const char16_t c = text[i].unicode();
        const auto found = page.byte.find(c);
        if (found != page.byte.end()) {
            bytes.append(found->second);
            continue;
        }
        // A character outside the code page becomes one '?', also when it takes two UTF-16 units.
        if (QChar::isHighSurrogate(c) && i + 1 < text.size() && text[i + 1].isLowSurrogate())
            ++i;
        bytes.append('?');
    }
    return bytes;
}

qsizetype countOutsideCodePage(QStringView text)
{
    const AnsiCodePage &page = ansi();
    qsizetype outside = 0;
    for (qsizetype i = 0; i < text.size(); ++i) {
        const char16_t c = text[i].unicode();
        if (page.byte.count(c))
            continue;
        ++outside;
        if (QChar::isHighSurrogate(c) && i + 1 < text.size() && text[i + 1].isLowSurrogate())
            ++i;
    }
    return outside;
}

void appendFromCodePage(QString &out, const char *bytes, qsizetype size)
{
    const AnsiCodePage &page = ansi();
    const qsizetype start = out.size();
    out.resize(start + size);
    QChar *to = out.data() + start;
    for (qsizetype i = 0; i < size; ++i)
        to[i] = QChar(page.character[static_cast<unsigned char>(bytes[i])]);
}

QString fromCodePage(QByteArrayView bytes)
{
    QString text;
    appendFromCodePage(text, bytes.data(), bytes.size());
    return text;
}
