#include "records/record_writer.h"

#include "records/private_access.h"
#include "session/board_session.h"
#include "session/session_texts.h"

#include <QDateTime>
#include <QDir>

#include <algorithm>
#include <charconv>
#include <cstring>
#include <optional>

namespace {

const QByteArray kCsvHeader = "time,t_ms,board,kind,channel,pin,value,level,text\n";
const QByteArray kCsvScaledHeader = "time,t_ms,board,kind,channel,pin,value,level,text,scaled,unit\n";

const char *severityWord(std::int32_t severity)
{
    static const char *const kWords[] = {"info", "warning", "critical"};
    return kWords[std::clamp(severity, 0, 2)];
}

qint64 floorDiv(qint64 value, qint64 divisor)
{
    return value / divisor - (value % divisor < 0 ? 1 : 0);
}

// A value with a fixed number of decimals, as QString::number(value, 'f', decimals) writes it, without a QString.
void appendFixed(QByteArray &out, double value, int decimals)
{
    char digits[64];
    const auto result = std::to_chars(digits, digits + sizeof digits, value, std::chars_format::fixed, decimals);
    if (result.ec == std::errc())
        out.append(digits, result.ptr - digits);
    else
        out.append(QByteArray::number(value, 'f', decimals));
}

void appendNumber(QByteArray &out, qint64 value)
{
    char digits[24];
    const auto end = std::to_chars(digits, digits + sizeof digits, value).ptr;
    out.append(digits, end - digits);
}

// Writes one record straight into the buffer's room, made once for the longest the record can be: a record
// costs a few hundred instructions instead of a library call per field.
class Appender
{
public:
    Appender(QByteArray &out, qsizetype mostBytes)
        : m_out(out)
    {
        const qsizetype start = out.size();
        out.resize(start + mostBytes);
        m_at = out.data() + start;
    }
    ~Appender() { m_out.resize(m_at - m_out.constData()); }
    Appender(const Appender &) = delete;
    Appender &operator=(const Appender &) = delete;

    // Where the next byte goes.
    const char *at() const { return m_at; }
    void add(char c) { *m_at++ = c; }
    template<std::size_t N>
    void add(const char (&text)[N])
    {
        std::memcpy(m_at, text, N - 1);
        m_at += N - 1;
    }
    void add(const char *text) { add(text, qsizetype(std::strlen(text))); }
    void add(const char *bytes, qsizetype size)
    {
        std::memcpy(m_at, bytes, size_t(size));
        m_at += size;
    }
    void add(const QByteArray &bytes) { add(bytes.constData(), bytes.size()); }
    void number(qint64 value)
    {
        // Most numbers are a digit or two: a pin, a channel, a level, a step.
        if (value >= 0 && value < 100) {
            if (value >= 10)
                *m_at++ = char('0' + value / 10);
            *m_at++ = char('0' + value % 10);
            return;
        }
        m_at = std::to_chars(m_at, m_at + 24, value).ptr;
    }
    // A JSON string literal: quotes, escapes for '"', '\\' and control characters, UTF-8 for the rest (a lone
    // half of a UTF-16 pair becomes U+FFFD). At most 6 bytes per UTF-16 unit, plus the quotes.
    void jsonString(QStringView text)
    {
        add('"');
        const char16_t *p = text.utf16();
        const char16_t *end = p + text.size();
        for (; p < end; ++p) {
            const char16_t c = *p;
            if (c < 0x80) {
                if (c == u'"' || c == u'\\') {
                    add('\\');
                    add(char(c));
                } else if (c < 0x20 || c == 0x7F) {
                    static const char hex[] = "0123456789abcdef";
                    add("\\u00");
                    add(hex[c >> 4]);
                    add(hex[c & 0xF]);
                } else {
                    add(char(c));
                }
                continue;
            }
            char32_t code = c;
            if (QChar::isHighSurrogate(c) && p + 1 < end && QChar::isLowSurrogate(p[1]))
                code = QChar::surrogateToUcs4(c, *++p);
            else if (QChar::isSurrogate(c))
                code = 0xFFFD;
            utf8(code);
        }
        add('"');
    }

private:
    void utf8(char32_t code)
    {
        if (code < 0x800) {
            add(char(0xC0 | (code >> 6)));
        } else if (code < 0x10000) {
            add(char(0xE0 | (code >> 12)));
            add(char(0x80 | ((code >> 6) & 0x3F)));
        } else {
            add(char(0xF0 | (code >> 18)));
            add(char(0x80 | ((code >> 12) & 0x3F)));
            add(char(0x80 | ((code >> 6) & 0x3F)));
        }
        add(char(0x80 | (code & 0x3F)));
    }

    QByteArray &m_out;
    char *m_at;
};

} // namespace

void appendCsvField(QByteArray &out, QStringView text)
{
    // Quoted only when it must be, so serial numbers and kinds read as they are.
    const bool plain = std::all_of(text.begin(), text.end(),
                                   [](QChar c) { return c != u',' && c != u'"' && c != u'\n' && c != u'\r'; });
    if (plain && !text.isEmpty() && text.front() != u' ' && text.back() != u' ')
        out.append(text.toUtf8());
    else if (!text.isEmpty())
        out.append(csvQuoted(text));
}

QByteArray csvQuoted(QStringView text)
{
    QByteArray field = text.toUtf8();
    field.replace('"', "\"\"");
    field.prepend('"');
    field.append('"');
    return field;
}

void appendJsonQuoted(QByteArray &out, QStringView text)
{
    Appender(out, 2 + 6 * text.size()).jsonString(text);
}

QByteArray jsonQuoted(QStringView text)
{
    QByteArray out;
    out.reserve(text.size() + 2);
    appendJsonQuoted(out, text);
    return out;
}

RecordWriter::RecordWriter(RecordFormat format)
    : m_format(format)
{}

RecordWriter::~RecordWriter()
{
    close();
}

bool RecordWriter::open(const QString &path, QString *error, bool append)
{
    close();
    m_file.setFileName(path);
    m_path = path;
    m_failed = false;
    m_errorNumber = 0;
    m_error.clear();
    m_writtenBytes = 0;
    // Unbuffered: a failing write is seen at once, not at a later flush.
    const QIODevice::OpenMode mode = QIODevice::Unbuffered | (append ? QIODevice::ReadWrite | QIODevice::Append
                                                                     : QIODevice::WriteOnly | QIODevice::Truncate);
    if (!m_file.open(mode)) {
        *error = m_file.errorString();
        return false;
    }
    m_shared = false;
    m_writtenBytes = m_file.size();
    if (append)
        endCutLine();
    return true;
}

bool RecordWriter::openShared(const QString &path, QString *error)
{
    close();
    m_failed = false;
    m_errorNumber = 0;
    m_error.clear();
    if (!openPrivateForAppend(m_file, path, error))
        return false;
    m_shared = true;
    m_path = path;
    // Another writer's line is seen whole or not at all.
    const AppendLock lock(m_file);
    m_writtenBytes = m_file.size();
    endCutLine();
    return true;
}

void RecordWriter::endCutLine()
{
    if (m_writtenBytes > 0 && m_file.seek(m_writtenBytes - 1)) {
        char last = '\n';
        m_file.getChar(&last);
        m_file.seek(m_writtenBytes);
        if (last != '\n')
            m_buffer.prepend('\n');
    }
}

bool RecordWriter::open(std::FILE *stream)
{
    close();
    m_path.clear();
    m_shared = false;
    m_failed = false;
    m_errorNumber = 0;
    m_error.clear();
    return m_file.open(stream, QIODevice::WriteOnly | QIODevice::Unbuffered, QFileDevice::DontCloseHandle);
}

void RecordWriter::close()
{
    if (!m_file.isOpen())
        return;
    flush();
    m_file.close();
}

void RecordWriter::setCalibration(const BoardCalibration &calibration)
{
    m_calibration = calibration;
    m_scaled = !calibration.isIdentity() || std::any_of(m_boardCalibrations.begin(), m_boardCalibrations.end(),
                                                        [](const auto &board) { return !board.second.isIdentity(); });
}

void RecordWriter::setCalibration(const QString &board, const BoardCalibration &calibration)
{
    m_boardCalibrations[board] = calibration;
    m_scaled = m_scaled || !calibration.isIdentity();
    m_calibrationBoard.clear();
    m_currentCalibration = &m_calibration;
}

void RecordWriter::chooseCalibration(QStringView board)
{
    if (board == m_calibrationBoard && !board.isEmpty())
        return;
    m_calibrationBoard = board.toString();
    const auto found = m_boardCalibrations.find(m_calibrationBoard);
    m_currentCalibration = found != m_boardCalibrations.end() ? &found->second : &m_calibration;
}

void RecordWriter::header()
{
    if (m_format == RecordFormat::Csv)
        m_buffer.append(m_scaled ? kCsvScaledHeader : kCsvHeader);
}

const char *RecordWriter::kindName(SessionEvent::Kind kind)
{
    switch (kind) {
    case SessionEvent::Kind::Reading:
        return "adc";
    case SessionEvent::Kind::PinLevel:
        return "pin";
    case SessionEvent::Kind::LineReceived:
        return "line";
    case SessionEvent::Kind::CommandSent:
        return "command";
    case SessionEvent::Kind::Selected:
        return "selected";
    case SessionEvent::Kind::OpenFailed:
        return "open_failed";
    case SessionEvent::Kind::Lost:
        return "lost";
    case SessionEvent::Kind::Back:
        return "back";
    case SessionEvent::Kind::Closed:
        return "closed";
    case SessionEvent::Kind::StatusText:
        return "status";
    case SessionEvent::Kind::Gap:
        return "gap";
    case SessionEvent::Kind::AlarmRaised:
        return "alarm_raised";
    case SessionEvent::Kind::AlarmAcknowledged:
        return "alarm_acknowledged";
    case SessionEvent::Kind::AlarmCleared:
        return "alarm_cleared";
    case SessionEvent::Kind::LogLine:
    case SessionEvent::Kind::AnalogPoll:
    case SessionEvent::Kind::SetupChanged:
    case SessionEvent::Kind::BytesReceived:
        break;
    }
    return nullptr;
}

bool RecordWriter::record(const SessionEvent &event)
{
    return record(event, event.source ? QStringView(event.source->serial()) : QStringView());
}

bool RecordWriter::record(const SessionEvent &event, QStringView board)
{
    Fields fields;
    QString gapText;
    QString alarmText;
    fields.kind = kindName(event.kind);
    if (!fields.kind)
        return false;
    switch (event.kind) {
    case SessionEvent::Kind::Reading:
        fields.channel = event.index;
        fields.value = event.value;
        fields.hasValue = true;
        break;
    case SessionEvent::Kind::PinLevel:
        fields.pin = event.index;
        fields.value = event.value;
        fields.hasValue = true;
        break;
    case SessionEvent::Kind::OpenFailed:
        fields.text = event.detail;
        fields.hasText = true;
        break;
    case SessionEvent::Kind::Gap:
        gapText = texts::gapRecord(event.text, event.detail);
        fields.channel = event.index;
        fields.text = gapText;
        fields.hasText = true;
        break;
    case SessionEvent::Kind::CommandSent:
        fields.typed = event.detail;
        fields.text = event.text;
        fields.hasText = true;
        break;
    case SessionEvent::Kind::LineReceived:
    case SessionEvent::Kind::StatusText:
        fields.text = event.text;
        fields.hasText = true;
        break;
    case SessionEvent::Kind::AlarmRaised:
    case SessionEvent::Kind::AlarmAcknowledged:
    case SessionEvent::Kind::AlarmCleared:
        fields.severity = severityWord(event.value);
        fields.alarm = event.text;
        alarmText = event.text.toString() + QStringLiteral(" (") + QLatin1String(fields.severity) +
                    QStringLiteral("): ") + event.detail.toString();
        fields.text = alarmText;
        fields.hasText = true;
        if (!event.flag)
            fields.channel = event.index;
        break;
    default:
        break;
    }
    append(event.stamp, board, fields);
    return true;
}

QString pollText(std::int32_t channels, int periodMs)
{
    QString text = QStringLiteral("adc");
    for (int channel = 1; channel < 32; ++channel) {
        if (channels & (1 << channel))
            text += u' ' + QString::number(channel);
    }
    return text + QStringLiteral(" every %1 ms").arg(periodMs);
}

void RecordWriter::poll(const SessionEvent &request, QStringView board)
{
    const QString text = pollText(request.value, request.index);
    Fields fields;
    fields.kind = "poll";
    fields.pollChannels = request.value;
    fields.pollPeriodMs = request.index;
    // JSON says it in numbers; text and CSV in words.
    fields.text = text;
    fields.hasText = m_format != RecordFormat::Jsonl;
    append(request.stamp, board, fields);
}

void RecordWriter::match(const SessionEvent &line)
{
    Fields fields;
    fields.kind = "match";
    fields.text = line.text;
    fields.hasText = true;
    append(line.stamp, line.source ? QStringView(line.source->serial()) : QStringView(), fields);
}

QByteArray RecordWriter::takePending()
{
    QByteArray taken;
    taken.swap(m_buffer);
    m_pendingRecords = 0;
    return taken;
}

void RecordWriter::line(const QByteArray &bytes)
{
    m_buffer.append(bytes).append('\n');
}

void RecordWriter::appendTime(qint64 wallMs)
{
    const qint64 second = floorDiv(wallMs, 1000);
    if (second != m_cachedSecond) {
        m_cachedSecond = second;
        const QDateTime local = QDateTime::fromMSecsSinceEpoch(second * 1000);
        m_cachedPrefix = local.toString(QStringLiteral("yyyy-MM-dd'T'HH:mm:ss")).toLatin1();
        const int offset = local.offsetFromUtc();
        const int minutes = std::abs(offset) / 60;
        char text[16];
        std::snprintf(text, sizeof text, "%c%02d:%02d", offset < 0 ? '-' : '+', minutes / 60, minutes % 60);
        m_cachedOffset = text;
    }
    const int ms = int(wallMs - second * 1000);
    Appender out(m_buffer, m_cachedPrefix.size() + 4 + m_cachedOffset.size());
    out.add(m_cachedPrefix);
    out.add('.');
    out.add(char('0' + ms / 100));
    out.add(char('0' + ms / 10 % 10));
    out.add(char('0' + ms % 10));
    out.add(m_cachedOffset);
}

const QByteArray &RecordWriter::boardField(QStringView board)
{
    // Records of one board come one after another: its field is made once (an empty board's too).
    if (m_boardGeneration == 0 || board != m_cachedBoard) {
        ++m_boardGeneration;
        m_cachedBoard = board.toString();
        switch (m_format) {
        case RecordFormat::Text:
            m_cachedBoardField = board.toUtf8();
            break;
        case RecordFormat::Csv:
            m_cachedBoardField.clear();
            appendCsvField(m_cachedBoardField, board);
            break;
        case RecordFormat::Jsonl:
            m_cachedBoardField = jsonQuoted(board);
            break;
        }
    }
    return m_cachedBoardField;
}

void RecordWriter::append(const EventStamp &stamp, QStringView board, const Fields &fields)
{
    ++m_count;
    if (!m_boardCalibrations.empty())
        chooseCalibration(board);
    ++m_pendingRecords;
    const qint64 tMs = stamp.monoMs - m_originMs;
    const bool isPin = fields.pin != 0;
    QByteArray &out = m_buffer;
    switch (m_format) {
    case RecordFormat::Text:
        appendNumber(out, tMs);
        out.append(' ');
        if (m_boardInText)
            out.append(boardField(board)).append(' ');
        out.append(fields.kind);
        if (fields.hasValue) {
            out.append(' ');
            appendNumber(out, isPin ? fields.pin : fields.channel);
            out.append(' ');
            appendNumber(out, fields.value);
            appendScaled(fields);
        } else if (fields.hasText) {
            if (fields.channel != 0) {
                out.append(' ');
                appendNumber(out, fields.channel);
            }
            out.append(' ').append(fields.text.toUtf8());
        }
        out.append('\n');
        break;
    case RecordFormat::Csv:
        appendTime(stamp.wallMs);
        out.append(',');
        appendNumber(out, tMs);
        out.append(',').append(boardField(board)).append(',').append(fields.kind);
        // channel,pin,value,level,text
        if (fields.hasValue && !isPin) {
            out.append(',');
            appendNumber(out, fields.channel);
            out.append(",,");
            appendNumber(out, fields.value);
            out.append(",,");
        } else if (fields.hasValue) {
            out.append(",,");
            appendNumber(out, fields.pin);
            out.append(",,");
            appendNumber(out, fields.value);
            out.append(',');
        } else if (fields.channel != 0) {
            out.append(',');
            appendNumber(out, fields.channel);
            out.append(",,,,");
        } else {
            out.append(",,,,,");
        }
        if (fields.hasText)
            appendCsvField(out, fields.text);
        if (m_scaled)
            appendScaled(fields);
        out.append('\n');
        break;
    case RecordFormat::Jsonl: {
        const QByteArray &prefix = jsonPrefix(stamp, board);
        Appender record(out, 300 + prefix.size() + (fields.hasText ? 2 + 6 * fields.text.size() : 0) +
                                 6 * fields.typed.size());
        record.add(prefix);
        record.add(",\"kind\":\"");
        record.add(fields.kind);
        record.add('"');
        if (fields.hasValue) {
            record.add(isPin ? ",\"pin\":" : ",\"channel\":");
            record.number(isPin ? fields.pin : fields.channel);
            record.add(isPin ? ",\"level\":" : ",\"value\":");
            record.number(fields.value);
        } else if (fields.channel != 0) {
            record.add(",\"channel\":");
            record.number(fields.channel);
        }
        if (fields.severity) {
            record.add(",\"alarm\":");
            record.jsonString(fields.alarm);
            record.add(",\"severity\":\"");
            record.add(fields.severity);
            record.add('"');
        }
        if (fields.hasText) {
            record.add(",\"text\":");
            record.jsonString(fields.text);
        }
        if (!fields.typed.isEmpty()) {
            record.add(",\"typed\":");
            record.jsonString(fields.typed);
        }
        if (fields.pollPeriodMs > 0) {
            record.add(",\"channels\":[");
            bool first = true;
            for (int channel = 1; channel < 32; ++channel) {
                if (!(fields.pollChannels & (1 << channel)))
                    continue;
                if (!first)
                    record.add(',');
                first = false;
                record.number(channel);
            }
            record.add("],\"period_ms\":");
            record.number(fields.pollPeriodMs);
        }
        // A reading in units ends after its scaled fields, added once the room made here is given back.
        if (!(m_scaled && fields.hasValue && !isPin))
            record.add("}\n");
        break;
    }
    }
    if (m_format == RecordFormat::Jsonl && m_scaled && fields.hasValue && !isPin) {
        appendScaled(fields);
        out.append("}\n");
    }
}

const QByteArray &RecordWriter::jsonPrefix(const EventStamp &stamp, QStringView board)
{
    // Every event of one read carries the same stamp: the fields up to the board are made once for it.
    const QByteArray &boardText = boardField(board);
    if (stamp.wallMs != m_prefixStamp.wallMs || stamp.monoMs != m_prefixStamp.monoMs ||
        m_prefixBoardGeneration != m_boardGeneration || m_prefixOrigin != m_originMs) {
        m_prefixStamp = stamp;
        m_prefixBoardGeneration = m_boardGeneration;
        m_prefixOrigin = m_originMs;
        QByteArray prefix;
        std::swap(prefix, m_buffer); // appendTime writes to the buffer
        m_buffer.append("{\"time\":\"");
        appendTime(stamp.wallMs);
        m_buffer.append("\",\"t_ms\":");
        appendNumber(m_buffer, stamp.monoMs - m_originMs);
        if (m_monotonicField) {
            m_buffer.append(",\"mono_ms\":");
            appendNumber(m_buffer, stamp.monoMs);
        }
        m_buffer.append(",\"board\":").append(boardText);
        std::swap(prefix, m_buffer);
        m_prefix = prefix;
    }
    return m_prefix;
}

bool RecordWriter::momentable(const SessionEvent &event)
{
    switch (event.kind) {
    case SessionEvent::Kind::Reading:
    case SessionEvent::Kind::PinLevel:
        return true;
    case SessionEvent::Kind::LineReceived:
        return event.text.size() <= kLongestMomentText;
    default:
        return false;
    }
}

namespace {

// Whether `line` is the report of `said` (a reading or level) written plainly: "adc C V", "pin P L" with L 0 or 1.
// `numbers` are its number and value as just written for it, "C,V".
bool saidInItsOwnWords(const SessionEvent &said, const SessionEvent &line, QByteArrayView numbers)
{
    if (line.kind != SessionEvent::Kind::LineReceived || line.stamp.monoMs != said.stamp.monoMs ||
        line.stamp.wallMs != said.stamp.wallMs)
        return false;
    const QStringView text = line.text;
    if (text.size() != 4 + numbers.size())
        return false;
    const char *const keyword = said.kind == SessionEvent::Kind::Reading ? "adc " : "pin ";
    for (qsizetype i = 0; i < text.size(); ++i) {
        const char word = i < 4 ? keyword[i] : numbers[i - 4] == ',' ? ' ' : numbers[i - 4];
        if (text[i].unicode() != char16_t(word))
            return false;
    }
    return true;
}

} // namespace

void RecordWriter::moment(std::span<const SessionEvent> events, QStringView board)
{
    if (events.empty())
        return;
    if (!m_boardCalibrations.empty())
        chooseCalibration(board);
    m_count += qint64(events.size());
    m_pendingRecords += qint64(events.size());
    const QByteArray &prefix = jsonPrefix(events.front().stamp, board);
    m_buffer.append(prefix).append(",\"kind\":\"moment\",\"events\":[");
    EventStamp stamp = events.front().stamp;
    // An event with the ["at",N] before it, its scaled value and closing bracket apart: at most 96 bytes and 6 a
    // character of its text.
    const auto budget = [](const SessionEvent &event) {
        return 96 + 6 * event.text.size();
    };
    // Writes the event at `at` (or the run of readings of one stamp starting there, when `group`); returns the
    // index after what it wrote.
    const auto add = [&events, &stamp](Appender &item, std::size_t at, bool group) {
        const SessionEvent &event = events[at];
        if (at > 0)
            item.add(',');
        if (event.stamp.monoMs != stamp.monoMs || event.stamp.wallMs != stamp.wallMs) {
            // How much later; the wall clock's own step after it when it differs.
            item.add("[\"at\",");
            item.number(event.stamp.monoMs - stamp.monoMs);
            if (event.stamp.wallMs - stamp.wallMs != event.stamp.monoMs - stamp.monoMs) {
                item.add(',');
                item.number(event.stamp.wallMs - stamp.wallMs);
            }
            item.add("],");
            stamp = event.stamp;
        }
        if (event.kind == SessionEvent::Kind::LineReceived) {
            item.add("[\"line\",");
            item.jsonString(event.text);
            return at + 1;
        }
        std::size_t end = at + 1;
        if (group && event.kind == SessionEvent::Kind::Reading) {
            while (end < events.size() && events[end].kind == SessionEvent::Kind::Reading &&
                   events[end].stamp.monoMs == stamp.monoMs && events[end].stamp.wallMs == stamp.wallMs)
                ++end;
        }
        if (end - at > 1) {
            // Readings of one stamp: their channels, then their values.
            item.add("[\"adc\",[");
            for (std::size_t i = at; i < end; ++i) {
                if (i > at)
                    item.add(',');
                item.number(events[i].index);
            }
            item.add("],[");
            for (std::size_t i = at; i < end; ++i) {
                if (i > at)
                    item.add(',');
                item.number(events[i].value);
            }
            item.add(']');
            return end;
        }
        item.add(event.kind == SessionEvent::Kind::Reading ? "[\"adc\"," : "[\"pin\",");
        const char *const numbers = item.at();
        item.number(event.index);
        item.add(',');
        item.number(event.value);
        // The line that said it, in just these words, is a mark on it rather than a text of its own.
        if (group && end < events.size() &&
            saidInItsOwnWords(event, events[end], QByteArrayView(numbers, item.at() - numbers))) {
            item.add(",1");
            return end + 1;
        }
        return end;
    };
    if (!m_scaled) {
        // Room for the whole moment at once: one resize for the line, not two an event.
        qsizetype most = 4;
        for (const SessionEvent &event : events)
            most += budget(event);
        Appender line(m_buffer, most);
        for (std::size_t at = 0; at < events.size();) {
            at = add(line, at, true);
            line.add(']');
        }
        line.add("]}\n");
        return;
    }
    // Readings in units one by one: a scaled value and unit after each count.
    for (std::size_t at = 0; at < events.size(); ++at) {
        {
            Appender item(m_buffer, budget(events[at]));
            add(item, at, false);
        }
        const SessionEvent &event = events[at];
        if (event.kind == SessionEvent::Kind::Reading) {
            const ChannelCalibration &calibration = m_currentCalibration->channel(event.index);
            m_buffer.append(',');
            appendFixed(m_buffer, calibration.value(event.value), calibration.decimals);
            m_buffer.append(',');
            appendJsonQuoted(m_buffer, calibration.unit);
        }
        m_buffer.append(']');
    }
    m_buffer.append("]}\n");
}

void RecordWriter::appendScaled(const Fields &fields)
{
    if (!m_scaled)
        return;
    const bool reading = fields.hasValue && fields.pin == 0;
    const ChannelCalibration &calibration = m_currentCalibration->channel(fields.channel);
    QByteArray &out = m_buffer;
    switch (m_format) {
    case RecordFormat::Text:
        if (reading && !calibration.isIdentity())
            out.append(' ').append(calibration.text(fields.value).toUtf8());
        break;
    case RecordFormat::Csv:
        out.append(',');
        if (reading) {
            appendFixed(out, calibration.value(fields.value), calibration.decimals);
            out.append(',');
            appendCsvField(out, calibration.unit);
        } else {
            out.append(',');
        }
        break;
    case RecordFormat::Jsonl:
        if (reading) {
            out.append(",\"scaled\":");
            appendFixed(out, calibration.value(fields.value), calibration.decimals);
            out.append(",\"unit\":");
            appendJsonQuoted(out, calibration.unit);
        }
        break;
    }
}

bool RecordWriter::flush()
{
    if (m_failed || !m_file.isOpen()) {
        m_buffer.clear();
        m_pendingRecords = 0;
        return !m_failed;
    }
    if (m_buffer.isEmpty())
        return true;
    // Others may have added to a shared file: its size is where this write starts.
    std::optional<AppendLock> lock;
    if (m_shared) {
        lock.emplace(m_file);
        m_writtenBytes = m_file.size();
    }
    errno = 0;
    const qint64 written = m_file.write(m_buffer);
    // A stream opened on a FILE* keeps its own buffer: handed on now, and a full disk is seen now.
    if (written != m_buffer.size() || !m_file.flush()) {
        m_errorNumber = errno;
        // The system's own words ("No space left on device", "File too large"), and the file they are about.
        QString reason = m_errorNumber ? QString::fromLocal8Bit(std::strerror(m_errorNumber)) : m_file.errorString();
        if (!m_path.isEmpty())
            reason = QDir::toNativeSeparators(m_path) + QStringLiteral(": ") + reason;
        fail(reason);
        return false;
    }
    m_writtenBytes += written;
    m_written += m_pendingRecords;
    m_pendingRecords = 0;
    m_buffer.resize(0); // keeps its room for the next records
    return true;
}

void RecordWriter::fail(const QString &reason)
{
    m_failed = true;
    m_error = reason.isEmpty() ? QStringLiteral("the file could not be written") : reason;
    // A record cut short is taken back, so a file ends with a whole record (a pipe cannot be, and needs not); in a
    // shared file only while nobody else has added after it.
    if (!m_file.fileName().isEmpty())
        m_file.resize(m_writtenBytes);
    else if (m_shared && m_file.size() - m_writtenBytes < m_buffer.size())
        m_file.resize(m_writtenBytes);
    m_file.close();
    m_buffer.clear();
    m_pendingRecords = 0;
}
