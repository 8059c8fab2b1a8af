#pragma once

#include <QByteArray>
#include <QString>

#include <cstdint>
#include <cstdio>

enum class RecordFormat { Text, Csv, Jsonl };

// The records the runner prints, one per line, in one of three formats:
//   text   1234 adc 2 137        1300 pin 5 1         1400 line hello board
//   csv    1234,adc,2,137,       1300,pin,5,1,        1400,line,,,"hello board"   (after a header line)
//   jsonl  {"t_ms":1234,"kind":"adc","channel":2,"value":137}   {"t_ms":1300,"kind":"pin","pin":5,"level":1}
//          {"t_ms":1400,"kind":"line","text":"hello board"}
// Records are collected and handed to the file by flush(), which the runner calls after every poll, so each
// appears at once without a system call per record.
class RecordWriter
{
public:
    RecordWriter(std::FILE *file, RecordFormat format);

    // The CSV header; nothing in the other formats.
    void header();
    void reading(qint64 ms, int channel, std::int32_t value);
    void pinLevel(qint64 ms, int pin, int level);
    void line(qint64 ms, const QString &text);
    // A received line that met the expectation.
    void match(qint64 ms, const QString &text);

    // Writes what was collected. False once the file refuses (a closed pipe, a full disk); nothing more is
    // written after that.
    bool flush();
    bool failed() const { return m_failed; }
    // Records collected so far (the header not counted).
    qint64 count() const { return m_count; }

private:
    void numbers(qint64 ms, const char *kind, const char *indexName, int index, const char *valueName,
                 std::int32_t value);
    void text(qint64 ms, const char *kind, const QString &text);

    std::FILE *m_file;
    RecordFormat m_format;
    QByteArray m_buffer;
    qint64 m_count = 0;
    bool m_failed = false;
};

// A field quoted as RFC 4180 has it: in double quotes, each double quote doubled.
QByteArray csvQuoted(const QString &text);
// A JSON string literal, quotes included; control characters escaped.
QByteArray jsonQuoted(const QString &text);
