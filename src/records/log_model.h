#pragma once

#include <QString>

#include <deque>

// The communications log's lines: a ring of at most maxLines() lines and maxCharacters() characters in all (the
// oldest go first; the newest line always stays). Appending is O(1) and shares the text. Lines are addressed by
// their index among the kept ones, or by a Position that names a line by the count of lines ever appended before
// it, so it still names the same line after older ones are dropped. Assistive technology addresses the log by
// character offsets from the start of the oldest kept line, each line followed by one '\n'.
class LogModel
{
public:
    static constexpr qsizetype kMaxLines = 200'000;
    static constexpr qsizetype kMaxCharacters = 32 * 1024 * 1024;

    struct Position {
        qint64 line = 0; // lines appended before this one, ever
        qsizetype column = 0;
        auto operator<=>(const Position &) const = default;
    };

    explicit LogModel(qsizetype maxLines = kMaxLines, qsizetype maxCharacters = kMaxCharacters);

    // `wallMs` is when the line was logged (the event's stamp), milliseconds since 1970 UTC.
    void append(const QString &line, qint64 wallMs = 0);

    qsizetype lineCount() const { return m_count; }
    const QString &line(qsizetype index) const { return m_lines[std::size_t(index)]; }
    // Lines dropped from the front so far: the Position line of the oldest kept line.
    qint64 firstKeptLine() const { return m_dropped; }
    // The longest line ever kept, in characters.
    qsizetype widestLine() const { return m_widest; }

    // Every kept line followed by CR LF.
    QString text() const;
    // The same, each line after its time (wallTimeText) and one blank.
    QString textWithTimes() const;
    qint64 wallMsOf(qsizetype index) const { return m_wallMs[std::size_t(index)]; }
    // The text from `from` to `to` (from <= to), '\n' between lines; parts already dropped are left out.
    QString textBetween(Position from, Position to) const;

    // Offsets: every kept character, each line followed by one '\n'.
    qint64 characterCount() const { return m_characters + lineCount(); }
    QString textBetween(qint64 start, qint64 end) const;
    // The kept line holding `offset` (its '\n' included), with its first offset; -1 past the end.
    qsizetype lineAtOffset(qint64 offset, qint64 *lineStart = nullptr) const;
    qint64 offsetOfLine(qsizetype index) const;
    // Where the next line will start, counted in characters since the first line ever; and such a count as an
    // offset from the oldest kept line (for announcing appended text).
    qint64 nextLineStart() const { return m_nextLineStart; }
    qint64 offsetOfAbsoluteStart(qint64 absoluteStart) const;

    Position positionOfOffset(qint64 offset) const;
    qint64 offsetOf(Position position) const;
    // The end of the last kept line.
    Position end() const;

private:
    qsizetype m_maxLines;
    qsizetype m_maxCharacters;
    std::deque<QString> m_lines;
    std::deque<qint64> m_wallMs;
    std::deque<qint64> m_lineStarts; // offset of each kept line since the first line ever, '\n' counted
    qint64 m_nextLineStart = 0;
    qsizetype m_count = 0;
    qsizetype m_characters = 0;
    qint64 m_dropped = 0;
    qsizetype m_widest = 0;
};
