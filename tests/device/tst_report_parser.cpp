#include "device/line_assembly.h"
#include "device/report.h"

#include <QTest>

#include <tuple>

// Word splitting, the report protocol and line assembly: the pure parts of the receive path.
class TestReportParser : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void wordsSplitAtEveryBlank_data()
    {
        QTest::addColumn<QString>("line");
        QTest::addColumn<QStringList>("words");
        QTest::newRow("three words") << QStringLiteral("pin 3 1") << QStringList{"pin", "3", "1"};
        QTest::newRow("two blanks give an empty word") << QStringLiteral("pin  3") << QStringList{"pin", "", "3"};
        QTest::newRow("leading blank") << QStringLiteral(" pin") << QStringList{"", "pin"};
        QTest::newRow("trailing blank") << QStringLiteral("adc ") << QStringList{"adc", ""};
        QTest::newRow("tabs do not split") << QStringLiteral("a\tb c") << QStringList{"a\tb", "c"};
        QTest::newRow("only the first five are kept")
            << QStringLiteral("a b c d e f g") << QStringList{"a", "b", "c", "d", "e"};
        QTest::newRow("one blank") << QStringLiteral(" ") << QStringList{"", ""};
    }

    void wordsSplitAtEveryBlank()
    {
        QFETCH(QString, line);
        QFETCH(QStringList, words);
        const ReportWords split = splitReportWords(line);
        QStringList texts;
        for (int i = 0; i < split.count; ++i)
            texts.append(split[i].toString());
        QCOMPARE(texts, words);
    }

    void reports_data()
    {
        using Kind = Report::Kind;
        QTest::addColumn<QString>("line");
        QTest::addColumn<Kind>("kind");
        QTest::addColumn<bool>("applicable");
        QTest::addColumn<int>("first");  // pin, channel or count
        QTest::addColumn<int>("second"); // state or value

        QTest::newRow("pin low") << QStringLiteral("pin 5 0") << Kind::Pin << true << 5 << 0;
        QTest::newRow("pin high") << QStringLiteral("pin 5 1") << Kind::Pin << true << 5 << 1;
        QTest::newRow("pin state 2") << QStringLiteral("pin 5 2") << Kind::Pin << true << 5 << 2;
        QTest::newRow("pin state -1") << QStringLiteral("pin 5 -1") << Kind::Pin << true << 5 << -1;
        QTest::newRow("pin state 0.5") << QStringLiteral("pin 5 0.5") << Kind::Pin << true << 5 << 0;
        QTest::newRow("pin state 1.5") << QStringLiteral("pin 5 1.5") << Kind::Pin << true << 5 << 2;
        QTest::newRow("pin state word") << QStringLiteral("pin 5 high") << Kind::Pin << true << 5 << 0;
        QTest::newRow("extra words ignored") << QStringLiteral("pin 18 1 x y") << Kind::Pin << true << 18 << 1;
        QTest::newRow("pin 0") << QStringLiteral("pin 0 1") << Kind::Pin << false << 0 << 0;
        QTest::newRow("pin 19") << QStringLiteral("pin 19 1") << Kind::Pin << false << 0 << 0;
        QTest::newRow("pin -3") << QStringLiteral("pin -3 1") << Kind::Pin << false << 0 << 0;
        QTest::newRow("pin missing state") << QStringLiteral("pin 5") << Kind::Pin << false << 0 << 0;
        QTest::newRow("pin huge state") << QStringLiteral("pin 5 1e20") << Kind::Pin << false << 0 << 0;
        // Word 1 is empty, so the pin is 0.
        QTest::newRow("pin two blanks") << QStringLiteral("pin  5 1") << Kind::Pin << false << 0 << 0;
        QTest::newRow("PIN") << QStringLiteral("PIN 5 1") << Kind::Other << false << 0 << 0;
        QTest::newRow("leading blank") << QStringLiteral(" pin 5 1") << Kind::Other << false << 0 << 0;
        QTest::newRow("adc") << QStringLiteral("adc 3 200") << Kind::Analog << true << 3 << 200;
        QTest::newRow("adc 12xyz") << QStringLiteral("adc 3 12xyz") << Kind::Analog << true << 3 << 12;
        QTest::newRow("adc above range") << QStringLiteral("adc 3 300") << Kind::Analog << true << 3 << 300;
        QTest::newRow("adc negative") << QStringLiteral("adc 3 -5") << Kind::Analog << true << 3 << -5;
        QTest::newRow("exactly adc") << QStringLiteral("adc") << Kind::Other << false << 0 << 0;
        QTest::newRow("adc and a blank") << QStringLiteral("adc ") << Kind::Analog << false << 0 << 0;
        QTest::newRow("adc missing value") << QStringLiteral("adc 3") << Kind::Analog << false << 0 << 0;
        QTest::newRow("adc channel 0") << QStringLiteral("adc 0 1") << Kind::Analog << false << 0 << 0;
        QTest::newRow("adc channel 9") << QStringLiteral("adc 9 1") << Kind::Analog << false << 0 << 0;
        QTest::newRow("adc huge value") << QStringLiteral("adc 3 99999999999") << Kind::Analog << false << 0 << 0;
        QTest::newRow("debounce") << QStringLiteral("debounce 4 count reset 17") << Kind::Debounce << true << 17 << 0;
        QTest::newRow("debounce other words")
            << QStringLiteral("debounce 4 count set 17") << Kind::Debounce << false << 0 << 0;
        QTest::newRow("debounce short") << QStringLiteral("debounce 4 count reset") << Kind::Debounce << false << 0
                                        << 0;
        QTest::newRow("empty") << QString() << Kind::Empty << false << 0 << 0;
        QTest::newRow("other") << QStringLiteral("ok led on") << Kind::Other << false << 0 << 0;
    }

    void reports()
    {
        QFETCH(QString, line);
        QFETCH(Report::Kind, kind);
        QFETCH(bool, applicable);
        QFETCH(int, first);
        QFETCH(int, second);
        const Report report = parseReport(line);
        QCOMPARE(report.kind, kind);
        QCOMPARE(report.applicable, applicable);
        if (!applicable)
            return;
        switch (kind) {
        case Report::Kind::Pin:
            QCOMPARE(report.pin, first);
            QCOMPARE(report.state, second);
            break;
        case Report::Kind::Analog:
            QCOMPARE(report.channel, first);
            QCOMPARE(report.value, second);
            break;
        default:
            QCOMPARE(report.count, first);
        }
    }

    // Read from its bytes: the commonest lines, and those that name no report; each exactly as the full rule reads it.
    void reportsToldFromTheirBytes()
    {
        const QList<QByteArray> told =
            QByteArray(
                "pin 1 0|pin 18 1|adc 1 0|adc 8 255|adc 3 999999999|ok led on|pinx 3 1|PIN 3 1|pin\t3 1| pin 3 1|"
                "\xFF\xE9 adc 3|x")
                .split('|');
        // Anything else, down to the empty line at the end.
        const QList<QByteArray> others =
            QByteArray("pin 5 2|pin 05 1|pin 19 1|pin 0 1|pin 5|pin|adc|adc 03 7|adc 3 007|adc 9 1|adc 3 1000000000|"
                       "adc 3 -5|adc 3 |adc 3 1 |adc  3 1|adc 3 12xyz|pin 3 1\r|adc 123 1|debounce 4 count reset 1|")
                .split('|');
        for (const QByteArray &line : told) {
            const std::optional<Report> fast = parseReportBytes(line);
            QVERIFY2(fast, line.constData());
            const Report full = parseReport(QString::fromLatin1(line));
            QCOMPARE(fast->kind, full.kind);
            QCOMPARE(std::tuple(fast->applicable, fast->pin, fast->state, fast->channel, fast->value),
                     std::tuple(full.applicable, full.pin, full.state, full.channel, full.value));
        }
        for (const QByteArray &line : others)
            QVERIFY2(!parseReportBytes(line), line.constData());
    }

    void lineAssembly_data()
    {
        QTest::addColumn<QList<QByteArray>>("reads");
        QTest::addColumn<QStringList>("lines"); // what the pending line held at each line end
        QTest::newRow("CR LF ends twice") << QList<QByteArray>{"pin 3 1\r\n"} << QStringList{"pin 3 1", ""};
        QTest::newRow("split across reads") << QList<QByteArray>{"adc 2 1", "00\n"} << QStringList{"adc 2 100"};
        QTest::newRow("lone LF") << QList<QByteArray>{"\n"} << QStringList{""};
        QTest::newRow("CR alone") << QList<QByteArray>{"a\rb\r"} << QStringList{"a", "b"};
        QTest::newRow("no end yet") << QList<QByteArray>{"abc"} << QStringList{};
        QTest::newRow("zero and 8-bit bytes")
            << QList<QByteArray>{QByteArray("a\0\xFF", 3) + "\n"} << QStringList{QString::fromLatin1("a\0\xFF", 3)};
    }

    void lineAssembly()
    {
        QFETCH(QList<QByteArray>, reads);
        QFETCH(QStringList, lines);
        QString pending;
        QStringList seen;
        for (const QByteArray &read : reads) {
            assembleLines(pending, read.constData(), read.size(), [&] {
                seen.append(pending);
                pending.clear();
            });
        }
        QCOMPARE(seen, lines);
    }

    void endlessLineIsHandedOnInPieces()
    {
        QString pending;
        QList<qsizetype> pieces;
        const QByteArray run(kMaxPendingLine * 2 + 10, 'x');
        // Fed in odd-sized reads, as a board would deliver it.
        for (qsizetype at = 0; at < run.size(); at += 7777) {
            assembleLines(pending, run.constData() + at, std::min<qsizetype>(7777, run.size() - at), [&] {
                pieces.append(pending.size());
                pending.clear();
            });
        }
        QCOMPARE(pieces, QList<qsizetype>({kMaxPendingLine, kMaxPendingLine}));
        QCOMPARE(pending.size(), 10);
    }
};

QTEST_GUILESS_MAIN(TestReportParser)
#include "tst_report_parser.moc"
