#include "cli/records.h"

RecordWriter::RecordWriter(std::FILE *file, RecordFormat format)
    : m_file(file)
    , m_format(format)
{}

QByteArray csvQuoted(const QString &text)
{
    QByteArray field = text.toUtf8();
    field.replace('"', "\"\"");
    field.prepend('"');
    field.append('"');
    return field;
}

QByteArray jsonQuoted(const QString &text)
{
    const QByteArray utf8 = text.toUtf8();
    QByteArray out;
    out.reserve(utf8.size() + 2);
    out.append('"');
    for (const char c : utf8) {
        const auto byte = static_cast<unsigned char>(c);
        if (c == '"' || c == '\\') {
            out.append('\\').append(c);
        } else if (byte < 0x20 || byte == 0x7F) {
            char escape[8];
            std::snprintf(escape, sizeof escape, "\\u%04x", byte);
            out.append(escape);
        } else {
            out.append(c);
        }
    }
    out.append('"');
    return out;
}

void RecordWriter::header()
{
    if (m_format == RecordFormat::Csv)
        m_buffer.append("t_ms,kind,index,value,text\n");
}

void RecordWriter::numbers(qint64 ms, const char *kind, const char *indexName, int index, const char *valueName,
                           std::int32_t value)
{
    ++m_count;
    switch (m_format) {
    case RecordFormat::Text:
        m_buffer.append(QByteArray::number(ms)).append(' ').append(kind).append(' ');
        m_buffer.append(QByteArray::number(index)).append(' ').append(QByteArray::number(value)).append('\n');
        break;
    case RecordFormat::Csv:
        m_buffer.append(QByteArray::number(ms)).append(',').append(kind).append(',');
        m_buffer.append(QByteArray::number(index)).append(',').append(QByteArray::number(value)).append(",\n");
        break;
    case RecordFormat::Jsonl:
        m_buffer.append("{\"t_ms\":").append(QByteArray::number(ms)).append(",\"kind\":\"").append(kind);
        m_buffer.append("\",\"").append(indexName).append("\":").append(QByteArray::number(index));
        m_buffer.append(",\"").append(valueName).append("\":").append(QByteArray::number(value)).append("}\n");
        break;
    }
}

void RecordWriter::text(qint64 ms, const char *kind, const QString &text)
{
    ++m_count;
    switch (m_format) {
    case RecordFormat::Text:
        m_buffer.append(QByteArray::number(ms)).append(' ').append(kind).append(' ').append(text.toUtf8());
        m_buffer.append('\n');
        break;
    case RecordFormat::Csv:
        m_buffer.append(QByteArray::number(ms)).append(',').append(kind).append(",,,").append(csvQuoted(text));
        m_buffer.append('\n');
        break;
    case RecordFormat::Jsonl:
        m_buffer.append("{\"t_ms\":").append(QByteArray::number(ms)).append(",\"kind\":\"").append(kind);
        m_buffer.append("\",\"text\":").append(jsonQuoted(text)).append("}\n");
        break;
    }
}

void RecordWriter::reading(qint64 ms, int channel, std::int32_t value)
{
    numbers(ms, "adc", "channel", channel, "value", value);
}

void RecordWriter::pinLevel(qint64 ms, int pin, int level)
{
    numbers(ms, "pin", "pin", pin, "level", level);
}

void RecordWriter::line(qint64 ms, const QString &text)
{
    this->text(ms, "line", text);
}

void RecordWriter::match(qint64 ms, const QString &text)
{
    this->text(ms, "match", text);
}

bool RecordWriter::flush()
{
    if (m_failed) {
        m_buffer.clear();
        return false;
    }
    if (m_buffer.isEmpty())
        return true;
    const auto size = std::size_t(m_buffer.size());
    const std::size_t written = std::fwrite(m_buffer.constData(), 1, size, m_file);
    m_buffer.resize(0); // keeps its room for the next poll's records
    if (written != size || std::fflush(m_file) != 0 || std::ferror(m_file))
        m_failed = true;
    return !m_failed;
}
