#pragma once

#include <QByteArray>
#include <QDateTime>
#include <QFile>
#include <QString>

// Recording to CSV: a header line "time,kind,index,value", then one line per analog reading or pin level,
// "2026-12-07T10:15:02.125,adc,3,137" (local time with milliseconds). Rows are collected and written by
// flush(); a write that fails (a full disk, a folder removed) stops the recording, and the file is cut back to
// the last row written whole, so every row already written is kept.
class TrendRecorder
{
public:
    ~TrendRecorder();

    // Creates the file (replacing one of that name) and writes the header; false with the system's reason.
    bool start(const QString &path, QString *error);
    void reading(const QDateTime &when, int channel, std::int32_t value);
    void pinLevel(const QDateTime &when, int pin, int level);
    // Writes what was collected; false once writing has failed (see error()).
    bool flush();
    // Flushes and closes the file.
    void stop();

    bool isRecording() const { return m_file.isOpen(); }
    QString path() const { return m_path; }
    // Rows written to the file so far.
    qint64 rows() const { return m_rows; }
    QString error() const { return m_error; }

private:
    void row(const QDateTime &when, const char *kind, int index, std::int32_t value);
    void fail(const QString &reason);

    QFile m_file;
    QString m_path;
    QByteArray m_pending;
    qint64 m_rows = 0;
    qint64 m_pendingRows = 0;
    qint64 m_writtenBytes = 0;
    QString m_error;
};

// One CSV line of a recording, with its line end.
QByteArray trendCsvLine(const QDateTime &when, const char *kind, int index, std::int32_t value);
