#include "event_recorder.h"
#include "file_helpers.h"
#include "recording_driver.h"
#include "records/record_writer.h"

#include <QTemporaryDir>
#include <QTest>

// The one record schema, in each format, from the session's own events. The test runs in a zone five and a half
// hours east of UTC (TZ is set by CMake), so the offset's minutes show.
class TestRecordWriter : public QObject
{
    Q_OBJECT

private:
    // A session on board DEMO0001 whose events are stamped at monotonic 1500 ms and wall 2026-12-07T04:45:02.125Z.
    struct Board {
        Board()
        {
            driver.serials = {QStringLiteral("DEMO0001")};
            session.selectDevice(0);
            subscription = session.events().subscribe([this](const SessionEvent &event) { events.append(event); });
        }
        RecordingDriver driver;
        BoardSession session{driver, [] { return 1500; },
                             [] {
                                 return 1796618702125;
                             }};
        QList<SessionEvent> events; // valid while the event's text is (numbers only, or constant texts)
        EventStream::Subscription subscription;
    };

    static QByteArray write(RecordFormat format, const std::function<void(RecordWriter &, Board &)> &produce,
                            const BoardCalibration &calibration = {})
    {
        QTemporaryDir directory;
        const QString path = directory.filePath(QStringLiteral("records"));
        RecordWriter writer(format);
        writer.setOrigin(1000);
        writer.setCalibration(calibration);
        QString error;
        if (!writer.open(path, &error))
            qFatal("cannot open: %s", qPrintable(error));
        writer.header();
        Board board;
        produce(writer, board);
        writer.close();
        return readFile(path);
    }

private Q_SLOTS:
    void oneSchemaInEveryFormat_data()
    {
        QTest::addColumn<int>("format");
        QTest::addColumn<QByteArray>("expected");
        QTest::newRow("csv") << int(RecordFormat::Csv)
                             << QByteArray("time,t_ms,board,kind,channel,pin,value,level,text\n"
                                           "2026-12-07T10:15:02.125+05:30,500,DEMO0001,adc,3,,137,,\n"
                                           "2026-12-07T10:15:02.125+05:30,500,DEMO0001,pin,,12,,1,\n"
                                           "2026-12-07T10:15:02.125+05:30,500,DEMO0001,line,,,,,\"ok, \"\"done\"\"\"\n"
                                           "2026-12-07T10:15:02.125+05:30,500,DEMO0001,match,,,,,firmware 3.0\n"
                                           "2026-12-07T10:15:02.125+05:30,500,DEMO0001,lost,,,,,\n"
                                           "2026-12-07T10:15:02.125+05:30,500,DEMO0001,gap,,,,,polling stopped "
                                           "(communications window)\n"
                                           "2026-12-07T10:15:02.125+05:30,500,DEMO0001,gap,3,,,,channel unticked\n");
        QTest::newRow("jsonl")
            << int(RecordFormat::Jsonl)
            << QByteArray(
                   "{\"time\":\"2026-12-07T10:15:02.125+05:30\",\"t_ms\":500,\"board\":\"DEMO0001\",\"kind\":\"adc\","
                   "\"channel\":3,\"value\":137}\n"
                   "{\"time\":\"2026-12-07T10:15:02.125+05:30\",\"t_ms\":500,\"board\":\"DEMO0001\",\"kind\":\"pin\","
                   "\"pin\":12,\"level\":1}\n"
                   "{\"time\":\"2026-12-07T10:15:02.125+05:30\",\"t_ms\":500,\"board\":\"DEMO0001\",\"kind\":"
                   "\"line\",\"text\":\"ok, \\\"done\\\"\"}\n"
                   "{\"time\":\"2026-12-07T10:15:02.125+05:30\",\"t_ms\":500,\"board\":\"DEMO0001\",\"kind\":"
                   "\"match\",\"text\":\"firmware 3.0\"}\n"
                   "{\"time\":\"2026-12-07T10:15:02.125+05:30\",\"t_ms\":500,\"board\":\"DEMO0001\",\"kind\":"
                   "\"lost\"}\n"
                   "{\"time\":\"2026-12-07T10:15:02.125+05:30\",\"t_ms\":500,\"board\":\"DEMO0001\",\"kind\":\"gap\","
                   "\"text\":\"polling stopped (communications window)\"}\n"
                   "{\"time\":\"2026-12-07T10:15:02.125+05:30\",\"t_ms\":500,\"board\":\"DEMO0001\",\"kind\":\"gap\","
                   "\"channel\":3,\"text\":\"channel unticked\"}\n");
        QTest::newRow("text")
            << int(RecordFormat::Text)
            << QByteArray("500 adc 3 137\n500 pin 12 1\n500 line ok, \"done\"\n"
                          "500 match firmware 3.0\n500 lost\n500 gap polling stopped (communications window)\n"
                          "500 gap 3 channel unticked\n");
    }

    void oneSchemaInEveryFormat()
    {
        QFETCH(int, format);
        QFETCH(QByteArray, expected);
        const QByteArray written = write(RecordFormat(format), [](RecordWriter &writer, Board &board) {
            board.session.setChannelTicked(3, true);
            board.driver.queue("adc 3 137\npin 12 1\nok, \"done\"\nfirmware 3.0\n");
            board.events.clear();
            board.session.poll();
            int lines = 0;
            SessionEvent line;
            for (const SessionEvent &event : std::as_const(board.events)) {
                // Line events are recorded while they are being handed out; here their texts are gone.
                if (event.kind == SessionEvent::Kind::Reading || event.kind == SessionEvent::Kind::PinLevel)
                    QVERIFY(writer.record(event));
                if (event.kind == SessionEvent::Kind::LineReceived) {
                    line = event;
                    ++lines;
                }
            }
            QCOMPARE(lines, 4);
            const QString ok = QStringLiteral("ok, \"done\"");
            line.text = ok;
            QVERIFY(writer.record(line));
            const QString firmware = QStringLiteral("firmware 3.0");
            line.text = firmware;
            writer.match(line);
            SessionEvent lost = line;
            lost.kind = SessionEvent::Kind::Lost;
            QVERIFY(writer.record(lost));
            SessionEvent gap = line;
            gap.kind = SessionEvent::Kind::Gap;
            gap.text = u"polling stopped";
            gap.detail = u"communications window";
            QVERIFY(writer.record(gap));
            gap.index = 3;
            gap.text = u"channel unticked";
            gap.detail = {};
            QVERIFY(writer.record(gap));
            // Events without a record of their own.
            lost.kind = SessionEvent::Kind::LogLine;
            QVERIFY(!writer.record(lost));
            lost.kind = SessionEvent::Kind::SetupChanged;
            QVERIFY(!writer.record(lost));
        });
        QCOMPARE(written, expected);
    }

    // Records made once per stamp and board are made again for another board with the same stamp.
    void readingsInUnitsInEveryFormat_data()
    {
        QTest::addColumn<double>("scale");
        QTest::addColumn<double>("offset");
        QTest::addColumn<int>("decimals");
        QTest::addColumn<QString>("unit");
        QTest::addColumn<int>("count");
        QTest::addColumn<QString>("shown");
        QTest::addColumn<QByteArray>("scaled"); // as records write the number
        QTest::newRow("5 V supply") << 0.025 << 0.0 << 2 << "V" << 200 << "5.00 V" << QByteArray("5.00");
        QTest::newRow("sagging") << 0.025 << 0.0 << 2 << "V" << 50 << "1.25 V" << QByteArray("1.25");
        QTest::newRow("offset, negative") << 0.5 << -40.0 << 1 << "°C" << 20 << "-30.0 °C" << QByteArray("-30.0");
        QTest::newRow("percent, no decimals") << 100.0 / 255 << 0.0 << 0 << "%" << 128 << "50 %" << QByteArray("50");
        QTest::newRow("no unit") << 2.0 << 1.0 << 0 << "" << 10 << "21" << QByteArray("21");
        QTest::newRow("the identity") << 1.0 << 0.0 << 0 << "" << 137 << "137" << QByteArray();
    }

    void readingsInUnitsInEveryFormat()
    {
        QFETCH(double, scale);
        QFETCH(double, offset);
        QFETCH(int, decimals);
        QFETCH(QString, unit);
        QFETCH(int, count);
        QFETCH(QString, shown);
        QFETCH(QByteArray, scaled);
        BoardCalibration calibration;
        calibration.channel(3) = ChannelCalibration{QString(), unit, scale, offset, decimals};
        QCOMPARE(calibration.channel(3).text(count), shown);
        const auto recorded = [&](RecordFormat format) {
            return write(
                format,
                [&](RecordWriter &writer, Board &board) {
                    SessionEvent reading;
                    reading.kind = SessionEvent::Kind::Reading;
                    reading.source = &board.session;
                    reading.stamp = {1500, 1796618702125};
                    reading.index = 3;
                    reading.value = count;
                    writer.record(reading);
                    reading.kind = SessionEvent::Kind::PinLevel;
                    reading.index = 12;
                    reading.value = 1;
                    writer.record(reading);
                },
                calibration);
        };
        const QByteArray csv = recorded(RecordFormat::Csv);
        const QByteArray jsonl = recorded(RecordFormat::Jsonl);
        const QByteArray text = recorded(RecordFormat::Text);
        if (scaled.isEmpty()) { // nothing changes without a calibration
            QVERIFY(csv.startsWith("time,t_ms,board,kind,channel,pin,value,level,text\n"));
            QVERIFY(csv.contains(",adc,3,,137,,\n"));
            QVERIFY(!jsonl.contains("scaled"));
            QCOMPARE(text, QByteArray("500 adc 3 137\n500 pin 12 1\n"));
            return;
        }
        QVERIFY(csv.startsWith("time,t_ms,board,kind,channel,pin,value,level,text,scaled,unit\n"));
        // The columns there were stay as they were; the new ones come after, empty where a kind has none.
        QVERIFY2(csv.contains(",adc,3,," + QByteArray::number(count) + ",,," + scaled + "," + unit.toUtf8() + "\n"),
                 csv);
        QVERIFY2(csv.contains(",pin,,12,,1,,,\n"), csv);
        QVERIFY2(jsonl.contains("\"value\":" + QByteArray::number(count) + ",\"scaled\":" + scaled + ",\"unit\":\"" +
                                unit.toUtf8() + "\"}\n"),
                 jsonl);
        QVERIFY2(text.startsWith("500 adc 3 " + QByteArray::number(count) + " " + shown.toUtf8() + "\n"), text);
    }

    void twoBoardsWithOneStamp()
    {
        RecordingDriver driver;
        driver.serials = {QStringLiteral("FT0001"), QStringLiteral("FT0002")};
        BoardSession first{driver, [] { return 1500; },
                           [] {
                               return 1796618702125;
                           }};
        BoardSession second{driver, [] { return 1500; },
                            [] {
                                return 1796618702125;
                            }};
        first.selectDevice(0);
        second.selectDevice(1);
        QTemporaryDir directory;
        RecordWriter writer(RecordFormat::Jsonl);
        QString error;
        QVERIFY(writer.open(directory.filePath("two.jsonl"), &error));
        SessionEvent reading;
        reading.kind = SessionEvent::Kind::Reading;
        reading.stamp = {1500, 1796618702125};
        for (BoardSession *session : {&first, &second, &first}) {
            reading.source = session;
            writer.record(reading);
        }
        writer.close();
        const QList<QByteArray> lines = readFile(directory.filePath("two.jsonl")).split('\n');
        QVERIFY(lines[0].contains("\"board\":\"FT0001\""));
        QVERIFY(lines[1].contains("\"board\":\"FT0002\""));
        QVERIFY(lines[2].contains("\"board\":\"FT0001\""));
    }

#ifdef VANTREL_TEST_FILE_SIZE_LIMIT
    void aFullDiskStopsTheWriterAndKeepsWholeRecords()
    {
        QTemporaryDir directory;
        const QString path = directory.filePath(QStringLiteral("readings.csv"));
        RecordWriter writer(RecordFormat::Csv);
        QString error;
        QVERIFY(writer.open(path, &error));
        Board board;
        SessionEvent reading;
        reading.kind = SessionEvent::Kind::Reading;
        reading.source = &board.session;
        reading.index = 1;
        reading.value = 100;
        QVERIFY(writer.record(reading));
        QVERIFY(writer.flush());
        const QByteArray kept = readFile(path);
        {
            FullDisk full(kept.size() + 20); // room for part of one more record only
            writer.record(reading);
            writer.record(reading);
            QVERIFY(!writer.flush());
        }
        QVERIFY(writer.failed());
        QVERIFY(!writer.isOpen());
        QVERIFY(!writer.error().isEmpty());
        QCOMPARE(writer.written(), 1);
        QCOMPARE(readFile(path), kept);
        writer.record(reading); // nothing more is written
        QVERIFY(!writer.flush());
        QCOMPARE(readFile(path), kept);
    }
#endif

    void aFileThatCannotBeMadeIsSaid()
    {
        RecordWriter writer;
        QString error;
        QVERIFY(!writer.open(QStringLiteral("/no/such/folder/readings.csv"), &error));
        QVERIFY(!error.isEmpty());
        QVERIFY(!writer.isOpen());
    }
};

QTEST_GUILESS_MAIN(TestRecordWriter)
#include "tst_record_writer.moc"
