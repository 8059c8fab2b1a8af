#include "records/safe_text.h"

namespace {

bool isSafeCharacter(QChar c)
{
    return (c.unicode() < 0x80 && c.isLetterOrNumber()) || c == u'-' || c == u'_' || c == u'.';
}

} // namespace

bool isSafeName(QStringView name)
{
    if (name.isEmpty() || name.size() > kMaxSafeName || name == u"." || name == u"..")
        return false;
    for (const QChar c : name) {
        if (!isSafeCharacter(c))
            return false;
    }
    return true;
}

QString safeNameOf(const QString &name)
{
    QString safe = name;
    for (QChar &c : safe) {
        if (!isSafeCharacter(c))
            c = u'_';
    }
    if (safe.isEmpty() || safe == u"." || safe == u"..")
        safe.prepend(u'_');
    return safe;
}

namespace {

void appendEscaped(QString &out, QChar c, bool inQuotes)
{
    const char16_t u = c.unicode();
    if (u == u'\r')
        out += QLatin1String("\\r");
    else if (u == u'\n')
        out += QLatin1String("\\n");
    else if (u == u'\t')
        out += QLatin1String("\\t");
    else if (u < 0x20 || u == 0x7f || (u >= 0x80 && u < 0xa0))
        out += QStringLiteral("\\x%1").arg(int(u), 2, 16, QLatin1Char('0'));
    // Unicode's own line and paragraph separators, and the marks that turn a text's direction around.
    else if (u == 0x2028 || u == 0x2029 || (u >= 0x202a && u <= 0x202e) || (u >= 0x2066 && u <= 0x2069))
        out += QStringLiteral("\\u%1").arg(int(u), 4, 16, QLatin1Char('0'));
    else if (inQuotes && (u == u'"' || u == u'\\')) {
        out += u'\\';
        out += c;
    } else
        out += c;
}

} // namespace

QString escapedControls(const QString &text)
{
    QString out;
    out.reserve(text.size());
    for (const QChar c : text)
        appendEscaped(out, c, false);
    return out;
}

QString quotedText(const QString &text, qsizetype maxChars)
{
    QString out(1, u'"');
    for (const QChar c : QStringView(text).left(maxChars))
        appendEscaped(out, c, true);
    out += u'"';
    if (text.size() > maxChars)
        out += QLatin1String("...");
    return out;
}
