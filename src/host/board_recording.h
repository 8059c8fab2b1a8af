#pragma once

#include "records/record_writer.h"

#include <QObject>
#include <QString>
#include <QTimer>

struct SessionEvent;

// One board's recording: every reading, pin level and gap of the board to a CSV file in the records' layout, handed
// to the file at least once a second. A write that fails stops the recording, keeping every row written, and says
// why once (failed()).
class BoardRecording : public QObject
{
    Q_OBJECT

public:
    BoardRecording() = default;

    // Creates the file (with its header) and starts; t_ms counts from `originMs`; readings are written in units too
    // when `calibration` is not the identity (for the whole file: its columns never change). False with the reason.
    bool start(const QString &path, qint64 originMs, const BoardCalibration &calibration, QString *error);
    // Writes what is waiting and closes the file.
    void stop();
    bool isRecording() const { return m_writer.isOpen(); }
    QString path() const { return m_path; }
    // Rows handed to the file so far.
    qint64 written() const { return m_writer.written(); }

    // An event of the board: kept when it is a reading, a pin level or a gap.
    void take(const SessionEvent &event);
    // Hands what is waiting to the file now.
    void flush();

Q_SIGNALS:
    // The recording to `path` stopped after `rows` rows: `error` says why.
    void failed(const QString &path, qint64 rows, const QString &error);
    // Rows were written (the count changed).
    void progressed();

private:
    RecordWriter m_writer{RecordFormat::Csv};
    QString m_path;
    QTimer m_flush;
};
