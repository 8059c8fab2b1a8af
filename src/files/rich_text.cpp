#include "files/rich_text.h"

#include "device/code_page.h"

#include <QByteArray>

#include <algorithm>
#include <array>
#include <vector>

namespace {

// Groups introduced by these control words hold no text of the document.
constexpr std::array<const char *, 24> kSkippedDestinations{
    "fonttbl", "colortbl", "stylesheet", "info",     "pict",      "object",    "header",       "footer",
    "headerl", "headerr",  "footerl",    "footerr",  "footnote",  "filetbl",   "listtable",    "listoverridetable",
    "revtbl",  "rsidtbl",  "generator",  "xmlnstbl", "themedata", "datastore", "latentstyles", "pgdsctbl"};

constexpr int kMaxDepth = 1024;

struct GroupState {
    bool skip = false;
    int unicodeSkip = 1; // characters after \uN that stand in for it
};

bool isLetter(char c)
{
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
}

bool isDigit(char c)
{
    return c >= '0' && c <= '9';
}

int hexValue(char c)
{
    if (isDigit(c))
        return c - '0';
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    return -1;
}

class RichTextReader
{
public:
    explicit RichTextReader(QByteArrayView bytes)
        : m_bytes(bytes)
    {
        m_groups.push_back({});
    }

    QString read()
    {
        while (m_at < m_bytes.size()) {
            const char c = m_bytes[m_at++];
            switch (c) {
            case '{':
                openGroup();
                break;
            case '}':
                closeGroup();
                break;
            case '\\':
                controlSequence();
                break;
            case '\r':
            case '\n':
                break;
            default:
                emitByte(c);
            }
        }
        return m_text;
    }

private:
    GroupState &state() { return m_groups.back(); }

    void openGroup()
    {
        ++m_depth;
        if (m_depth < kMaxDepth)
            m_groups.push_back(state());
    }

    void closeGroup()
    {
        if (m_depth == 0)
            return;
        if (m_depth < kMaxDepth)
            m_groups.pop_back();
        --m_depth;
    }

    void emitText(QChar c)
    {
        if (state().skip)
            return;
        if (m_pendingFallback > 0) {
            --m_pendingFallback;
            return;
        }
        m_text += c;
    }

    void emitByte(char byte)
    {
        const char bytes[1] = {byte};
        emitText(fromCodePage(QByteArrayView(bytes, 1)).at(0));
    }

    void controlSequence()
    {
        if (m_at >= m_bytes.size())
            return;
        const char c = m_bytes[m_at];
        if (!isLetter(c)) {
            ++m_at;
            controlSymbol(c);
            return;
        }
        const qsizetype start = m_at;
        while (m_at < m_bytes.size() && isLetter(m_bytes[m_at]) && m_at - start < 32)
            ++m_at;
        const QByteArray word = m_bytes.sliced(start, m_at - start).toByteArray();
        bool hasParameter = false;
        long long parameter = 0;
        bool negative = false;
        if (m_at < m_bytes.size() && m_bytes[m_at] == '-' && m_at + 1 < m_bytes.size() && isDigit(m_bytes[m_at + 1])) {
            negative = true;
            ++m_at;
        }
        for (int digits = 0; m_at < m_bytes.size() && isDigit(m_bytes[m_at]); ++digits, ++m_at) {
            hasParameter = true;
            if (digits < 10)
                parameter = parameter * 10 + (m_bytes[m_at] - '0');
        }
        if (negative)
            parameter = -parameter;
        if (m_at < m_bytes.size() && m_bytes[m_at] == ' ')
            ++m_at;
        controlWord(word, hasParameter, parameter);
    }

    void controlSymbol(char c)
    {
        switch (c) {
        case '\\':
        case '{':
        case '}':
            emitText(QLatin1Char(c));
            break;
        case '~':
            emitText(QChar(0xA0));
            break;
        case '_':
            emitText(u'-');
            break;
        case '*':
            state().skip = true;
            break;
        case '\'': {
            const int high = m_at < m_bytes.size() ? hexValue(m_bytes[m_at]) : -1;
            const int low = m_at + 1 < m_bytes.size() ? hexValue(m_bytes[m_at + 1]) : -1;
            if (high >= 0 && low >= 0) {
                m_at += 2;
                emitByte(char(high * 16 + low));
            }
            break;
        }
        case '\r':
        case '\n':
            emitText(u'\n');
            break;
        default:
            break;
        }
    }

    void controlWord(const QByteArray &word, bool hasParameter, long long parameter)
    {
        if (word == "par" || word == "line") {
            emitText(u'\n');
        } else if (word == "tab") {
            emitText(u'\t');
        } else if (word == "uc" && hasParameter) {
            state().unicodeSkip = int(std::clamp<long long>(parameter, 0, 8));
        } else if (word == "u" && hasParameter) {
            long long code = parameter < 0 ? parameter + 65536 : parameter;
            code = std::clamp<long long>(code, 0, 0xFFFF);
            emitText(QChar(char16_t(code)));
            m_pendingFallback = state().unicodeSkip;
        } else if (word == "emdash") {
            emitText(QChar(0x2014));
        } else if (word == "endash") {
            emitText(QChar(0x2013));
        } else if (word == "bullet") {
            emitText(QChar(0x2022));
        } else if (word == "lquote" || word == "rquote") {
            emitText(u'\'');
        } else if (word == "ldblquote" || word == "rdblquote") {
            emitText(u'"');
        } else if (std::any_of(kSkippedDestinations.begin(), kSkippedDestinations.end(),
                               [&](const char *name) { return word == name; })) {
            state().skip = true;
        }
    }

    QByteArrayView m_bytes;
    qsizetype m_at = 0;
    std::vector<GroupState> m_groups;
    int m_depth = 0;
    int m_pendingFallback = 0;
    QString m_text;
};

} // namespace

bool isRichText(QByteArrayView bytes)
{
    return bytes.startsWith("{\\rtf");
}

QString richTextToPlainText(QByteArrayView bytes)
{
    return RichTextReader(bytes).read();
}
