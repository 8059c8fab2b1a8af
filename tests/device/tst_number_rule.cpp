#include "device/number_rule.h"

#include <QTest>

#include <limits>

Q_DECLARE_METATYPE(std::optional<std::int32_t>)

class TestNumberRule : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void numbers_data()
    {
        QTest::addColumn<QString>("word");
        QTest::addColumn<std::optional<std::int32_t>>("expected");
        const auto row = [](const char *word, std::optional<std::int32_t> value) {
            QTest::newRow(word) << QString::fromUtf8(word) << value;
        };
        const std::optional<std::int32_t> tooBig;
        constexpr std::int32_t max = std::numeric_limits<std::int32_t>::max();
        constexpr std::int32_t min = std::numeric_limits<std::int32_t>::min();

        // Plain and signed integers.
        row("", 0);
        row("0", 0);
        row("17", 17);
        row("-17", -17);
        row("+5", 5);
        row("0000000000001", 1);
        row("1234567890", 1234567890);
        // Rounding: half to even.
        row("0.5", 0);
        row("1.5", 2);
        row("2.5", 2);
        row("3.5", 4);
        row("-2.5", -2);
        row("-0.5", 0);
        row(".6", 1);
        row("2.4999", 2);
        // The longest leading number; the rest is ignored.
        row("12xyz", 12);
        row("1.2.3", 1);
        row("5-3", 5);
        row("high", 0);
        row("--1", 0);
        row("-", 0);
        row(".", 0);
        row("x12", 0);
        row("\xD9\xA1", 0); // an Arabic-Indic digit is no digit
        // Tabs are skipped wherever they are.
        row("1\t2", 12);
        row("\t7", 7);
        row("-\t3", -3);
        // Exponents with E or D.
        row("1e3", 1000);
        row("1E3", 1000);
        row("1d2", 100);
        row("25D-1", 2);
        row("1.5e1", 15);
        row("1e", 1);
        row("1e+", 1);
        row("1ex", 1);
        row("100000000000000000000e-20", 1);
        row("1e-400", 0);
        // Hexadecimal and octal: 16-bit signed when they fit 16 bits.
        row("&HFF", 255);
        row("&hff", 255);
        row("&HFFFF", -1);
        row("&H8000", -32768);
        row("&H7FFF", 32767);
        row("&H10000", 65536);
        row("&HFFFFFFFF", -1);
        row("&H7FFFFFFF", max);
        row("&H0000000000FF", 255);
        row("&H1FG", 31);
        row("&O17", 15);
        row("&o17", 15);
        row("&O177777", -1);
        row("&O8", 0);
        row("&H", 0);
        row("&X1", 0);
        row("&", 0);
        row("-&H1", 0);
        // The 32-bit limits.
        row("2147483647", max);
        row("-2147483648", min);
        row("2147483647.4", max);
        row("2147483648", tooBig);
        row("-2147483649", tooBig);
        row("2147483647.5", tooBig);
        row("9999999999", tooBig);
        row("1e400", tooBig);
        row("&H100000000", tooBig);
        row("&O40000000000", tooBig);
    }

    void numbers()
    {
        QFETCH(QString, word);
        QFETCH(std::optional<std::int32_t>, expected);
        QCOMPARE(reportNumber(word), expected);
    }

    void veryLongWordsAreFine()
    {
        QCOMPARE(reportNumber(QString(100000, u'0') + u'7'), std::optional<std::int32_t>(7));
        QCOMPARE(reportNumber(QStringLiteral("0.") + QString(500, u'0') + u'1'), std::optional<std::int32_t>(0));
        QCOMPARE(reportNumber(QString(500, u'9')), std::optional<std::int32_t>());
        QCOMPARE(reportNumber(QStringLiteral("&H") + QString(100, u'0') + QStringLiteral("1")),
                 std::optional<std::int32_t>(1));
    }
};

QTEST_GUILESS_MAIN(TestNumberRule)
#include "tst_number_rule.moc"
