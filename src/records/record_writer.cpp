#include "records/record_writer.h"

#include "session/board_session.h"

#include <QDateTime>

#include <algorithm>
#include <charconv>

namespace {

const QByteArray kCsvHeader = "time,t_ms,board,kind,channel,pin,value,level,text\n";

qint64 floorDiv(qint64 value, qint64 divisor)
{
    return value / divisor - (value % divisor < 0 ? 1 : 0);
}

void appendNumber(QByteArray &out, qint64 value)
{
    char digits[24];
    const auto end = std::to_chars(digits, digits + sizeof digits, value).ptr;
    out.append(digits, end - digits);
}

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
    out.append('"');
    qsizetype plainFrom = 0;
    const auto appendPlain = [&](qsizetype to) {
        if (to > plainFrom)
            out.append(text.sliced(plainFrom, to - plainFrom).toUtf8());
    };
    for (qsizetype i = 0; i < text.size(); ++i) {
        const char16_t c = text[i].unicode();
        if (c >= 0x80 || (c >= 0x20 && c != u'"' && c != u'\\' && c != 0x7F)) {
            // Runs of ASCII are copied byte for byte; anything else waits for toUtf8 with its run.
            if (c < 0x80 && plainFrom == i) {
                out.append(char(c));
                plainFrom = i + 1;
            }
            continue;
        }
        appendPlain(i);
        if (c == u'"' || c == u'\\') {
            out.append('\\').append(char(c));
        } else {
            char escape[8];
            std::snprintf(escape, sizeof escape, "\\u%04x", unsigned(c));
            out.append(escape);
        }
        plainFrom = i + 1;
    }
    appendPlain(text.size());
    out.append('"');
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
    m_writtenBytes = m_file.size();
    if (append && m_writtenBytes > 0 && m_file.seek(m_writtenBytes - 1)) {
        char last = '\n';
        m_file.getChar(&last);
        m_file.seek(m_writtenBytes);
        if (last != '\n')
            m_buffer.prepend('\n');
    }
    return true;
}

bool RecordWriter::open(std::FILE *stream)
{
    close();
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

void RecordWriter::header()
{
    if (m_format == RecordFormat::Csv)
        m_buffer.append(kCsvHeader);
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
    case SessionEvent::Kind::LogLine:
    case SessionEvent::Kind::AnalogPoll:
    case SessionEvent::Kind::SetupChanged:
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
    case SessionEvent::Kind::LineReceived:
    case SessionEvent::Kind::CommandSent:
    case SessionEvent::Kind::StatusText:
        fields.text = event.text;
        fields.hasText = true;
        break;
    default:
        break;
    }
    append(event.stamp, board, fields);
    return true;
}

void RecordWriter::match(const SessionEvent &line)
{
    Fields fields;
    fields.kind = "match";
    fields.text = line.text;
    fields.hasText = true;
    append(line.stamp, line.source ? QStringView(line.source->serial()) : QStringView(), fields);
}

void RecordWriter::gap(const EventStamp &stamp, QStringView board, QStringView reason)
{
    Fields fields;
    fields.kind = "gap";
    fields.text = reason;
    fields.hasText = true;
    append(stamp, board, fields);
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
    const char fraction[5] = {'.', char('0' + ms / 100), char('0' + ms / 10 % 10), char('0' + ms % 10), 0};
    m_buffer.append(m_cachedPrefix).append(fraction, 4).append(m_cachedOffset);
}

const QByteArray &RecordWriter::boardField(QStringView board)
{
    // Records of one board come one after another: its field is made once.
    if (board != m_cachedBoard) {
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
        } else if (fields.hasText) {
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
        } else {
            out.append(",,,,,");
        }
        if (fields.hasText)
            appendCsvField(out, fields.text);
        out.append('\n');
        break;
    case RecordFormat::Jsonl:
        out.append("{\"time\":\"");
        appendTime(stamp.wallMs);
        out.append("\",\"t_ms\":");
        appendNumber(out, tMs);
        if (m_monotonicField) {
            out.append(",\"mono_ms\":");
            appendNumber(out, stamp.monoMs);
        }
        out.append(",\"board\":").append(boardField(board));
        out.append(",\"kind\":\"").append(fields.kind).append('"');
        if (fields.hasValue) {
            out.append(isPin ? ",\"pin\":" : ",\"channel\":");
            appendNumber(out, isPin ? fields.pin : fields.channel);
            out.append(isPin ? ",\"level\":" : ",\"value\":");
            appendNumber(out, fields.value);
        }
        if (fields.hasText) {
            out.append(",\"text\":");
            appendJsonQuoted(out, fields.text);
        }
        out.append("}\n");
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
    errno = 0;
    const qint64 written = m_file.write(m_buffer);
    // A stream opened on a FILE* keeps its own buffer: handed on now, and a full disk is seen now.
    if (written != m_buffer.size() || !m_file.flush()) {
        m_errorNumber = errno;
        fail(m_file.errorString());
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
    // A record cut short is taken back, so a file ends with a whole record (a pipe cannot be, and needs not).
    if (!m_file.fileName().isEmpty())
        m_file.resize(m_writtenBytes);
    m_file.close();
    m_buffer.clear();
    m_pendingRecords = 0;
}
