#include "records/log_model.h"

#include "session/wall_time.h"

#include <algorithm>

LogModel::LogModel(qsizetype maxLines, qsizetype maxCharacters)
    : m_maxLines(std::max<qsizetype>(1, maxLines))
    , m_maxCharacters(std::max<qsizetype>(1, maxCharacters))
{}

void LogModel::append(const QString &text, qint64 wallMs)
{
    m_lines.push_back(text);
    m_wallMs.push_back(wallMs);
    m_lineStarts.push_back(m_nextLineStart);
    m_nextLineStart += text.size() + 1;
    m_characters += text.size();
    ++m_count;
    // The oldest lines go when either bound is passed; the newest line always stays.
    while (m_count > 1 && (m_count > m_maxLines || m_characters > m_maxCharacters)) {
        m_characters -= m_lines.front().size();
        m_lines.pop_front();
        m_wallMs.pop_front();
        m_lineStarts.pop_front();
        --m_count;
        ++m_dropped;
    }
    m_widest = std::max(m_widest, text.size());
}

QString LogModel::text() const
{
    QString all;
    qsizetype size = 0;
    for (const QString &line : m_lines)
        size += line.size() + 2;
    all.reserve(size);
    for (const QString &line : m_lines) {
        all += line;
        all += QLatin1String("\r\n");
    }
    return all;
}

QString LogModel::textWithTimes() const
{
    QString all;
    for (std::size_t i = 0; i < m_lines.size(); ++i) {
        all += wallTimeText(m_wallMs[i]);
        all += u' ';
        all += m_lines[i];
        all += QLatin1String("\r\n");
    }
    return all;
}

QString LogModel::textBetween(Position from, Position to) const
{
    if (to.line < firstKeptLine() || lineCount() == 0)
        return {};
    if (from.line < firstKeptLine())
        from = {firstKeptLine(), 0};
    QString text;
    for (qint64 l = from.line; l <= to.line && l - firstKeptLine() < lineCount(); ++l) {
        const QString &current = line(qsizetype(l - firstKeptLine()));
        const qsizetype start = l == from.line ? std::min(from.column, current.size()) : 0;
        const qsizetype end = l == to.line ? std::min(to.column, current.size()) : current.size();
        text += QStringView(current).mid(start, end - start);
        if (l != to.line)
            text += u'\n';
    }
    return text;
}

qint64 LogModel::offsetOfLine(qsizetype index) const
{
    return m_lineStarts[std::size_t(index)] - m_lineStarts.front();
}

qint64 LogModel::offsetOfAbsoluteStart(qint64 absoluteStart) const
{
    return m_lineStarts.empty() ? 0 : std::max<qint64>(0, absoluteStart - m_lineStarts.front());
}

qsizetype LogModel::lineAtOffset(qint64 offset, qint64 *lineStart) const
{
    if (offset < 0 || offset >= characterCount())
        return -1;
    const qint64 absolute = offset + m_lineStarts.front();
    const auto next = std::upper_bound(m_lineStarts.begin(), m_lineStarts.end(), absolute);
    const auto index = qsizetype(next - m_lineStarts.begin()) - 1;
    if (lineStart)
        *lineStart = offsetOfLine(index);
    return index;
}

LogModel::Position LogModel::positionOfOffset(qint64 offset) const
{
    if (lineCount() == 0 || offset <= 0)
        return {firstKeptLine(), 0};
    qint64 start = 0;
    const qint64 clamped = std::min(offset, characterCount() - 1);
    const qsizetype index = lineAtOffset(clamped, &start);
    return {firstKeptLine() + index, qsizetype(clamped - start)};
}

qint64 LogModel::offsetOf(Position position) const
{
    if (lineCount() == 0 || position.line < firstKeptLine())
        return 0;
    const auto index = qsizetype(std::min<qint64>(position.line - firstKeptLine(), lineCount() - 1));
    return offsetOfLine(index) + std::min(position.column, line(index).size());
}

LogModel::Position LogModel::end() const
{
    if (lineCount() == 0)
        return {firstKeptLine(), 0};
    return {firstKeptLine() + lineCount() - 1, line(lineCount() - 1).size()};
}

QString LogModel::textBetween(qint64 start, qint64 end) const
{
    start = std::clamp<qint64>(start, 0, characterCount());
    end = std::clamp<qint64>(end, start, characterCount());
    QString text;
    qint64 lineStart = 0;
    for (qsizetype index = lineAtOffset(start, &lineStart); index >= 0 && index < lineCount() && lineStart < end;
         ++index) {
        const QString &current = line(index);
        const qint64 from = std::max<qint64>(0, start - lineStart);
        const qint64 to = std::min<qint64>(current.size() + 1, end - lineStart);
        text += QStringView(current).mid(from, std::min<qint64>(to, current.size()) - from);
        if (to > current.size())
            text += u'\n';
        lineStart += current.size() + 1;
    }
    return text;
}
