#include "plans/plan_reader.h"
#include "plans/plan_run.h"

#include "file_helpers.h"

#include <QTemporaryDir>
#include <QTest>

// Plan files: what a good plan holds, and every kind of error, with the place it names.
class TestPlanReader : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void aPlanAsTheReadmeShowsIt()
    {
        const QByteArray text = "name = \"Fixture check\"\nboard = \"DEMO0002\"\n\n"
                                "[[step]]\nname = \"Identity\"\nsend = \"id\"\nexpect = 'firmware 3\\.\\d'\n"
                                "timeout_ms = 1000\n\n"
                                "[[step]]\nname = \"Pin 1 drives pin 10\"\nset_pin = 1\nlevel = 1\nexpect_pin = 10\n"
                                "expect_level = true\ntimeout_ms = 500\n\n"
                                "[[step]]\nadc = 8\nmin = 180\nmax = 220\nsamples = 10\nmean_min = 190.5\n\n"
                                "[[step]]\nname = \"Settle\"\nwait_ms = 200\n";
        const auto read = readPlanText(text, QStringLiteral("fixture.toml"));
        if (const auto *error = std::get_if<PlanError>(&read))
            QFAIL(qPrintable(error->text()));
        const TestPlan &plan = std::get<TestPlan>(read);
        QCOMPARE(plan.name, QStringLiteral("Fixture check"));
        QCOMPARE(plan.board, QStringLiteral("DEMO0002"));
        QCOMPARE(plan.sha256.size(), 64);
        QCOMPARE(plan.steps.size(), std::size_t(4));
        const PlanStep &line = plan.steps[0];
        QCOMPARE(line.kind, PlanStep::Kind::Line);
        QCOMPARE(line.line, 4);
        QCOMPARE(*line.send, QStringLiteral("id"));
        QVERIFY(line.expect->match(QStringLiteral("firmware 3.0")).hasMatch());
        QCOMPARE(line.timeoutMs, 1000);
        const PlanStep &pin = plan.steps[1];
        QCOMPARE(pin.kind, PlanStep::Kind::Pin);
        QCOMPARE(std::tuple(pin.setPin, pin.level, pin.expectPin, pin.expectLevel), std::tuple(1, true, 10, true));
        const PlanStep &analog = plan.steps[2];
        QCOMPARE(analog.kind, PlanStep::Kind::Analog);
        QCOMPARE(analog.name, QStringLiteral("Step 3"));
        QCOMPARE(std::tuple(analog.channel, analog.min, analog.max, analog.samples), std::tuple(8, 180, 220, 10));
        QCOMPARE(*analog.meanMin, 190.5);
        QVERIFY(!analog.meanMax);
        QCOMPARE(analog.timeoutMs, 3000); // time for every reading
        QCOMPARE(plan.steps[3].kind, PlanStep::Kind::Wait);
        QCOMPARE(plan.steps[3].waitMs, 200);
    }

    void errorsNameThePlaceAndTheKey_data()
    {
        QTest::addColumn<QByteArray>("text");
        QTest::addColumn<QString>("error");
        const QByteArray step = "[[step]]\n";
        QTest::newRow("toml syntax") << QByteArray("name = \n") << "p.toml:1:";
        QTest::newRow("unknown top key") << QByteArray("nmae = 'x'\n" + step + "wait_ms = 1\n")
                                         << "p.toml:1:1: unknown key \"nmae\"";
        QTest::newRow("no steps") << QByteArray("name = 'x'\n") << "p.toml:1:1: the plan has no [[step]]";
        QTest::newRow("step not a table array") << QByteArray("step = 3\n") << "p.toml:1:1: \"step\" must be";
        QTest::newRow("unknown step key")
            << QByteArray(step + "wait_ms = 1\nsamples_ = 3\n") << "p.toml:3:1: step 1: unknown key \"samples_\"";
        QTest::newRow("wrong type") << QByteArray(step + "send = 5\n")
                                    << "p.toml:2:1: step 1: \"send\" must be a string";
        QTest::newRow("pin 19") << QByteArray(step + "set_pin = 19\nlevel = 1\n")
                                << "p.toml:2:1: step 1: \"set_pin\" is 19; it must be 1 to 18";
        QTest::newRow("pin 0") << QByteArray(step + "expect_pin = 0\nexpect_level = 1\n")
                               << "p.toml:2:1: step 1: \"expect_pin\" is 0; it must be 1 to 18";
        QTest::newRow("channel 9") << QByteArray(step + "wait_ms = 1\n" + step + "  adc = 9\n")
                                   << "p.toml:4:3: step 2: \"adc\" is 9; it must be 1 to 8";
        QTest::newRow("level 2") << QByteArray(step + "set_pin = 3\nlevel = 2\n")
                                 << "p.toml:3:1: step 1: \"level\" must be 0 or 1";
        QTest::newRow("bad regex") << QByteArray(step + "expect = 'a(b'\n")
                                   << "p.toml:2:1: step 1: \"expect\" is not a regular expression";
        QTest::newRow("min above max") << QByteArray(step + "adc = 1\nmin = 9\nmax = 3\n")
                                       << "p.toml:4:1: step 1: \"min\" (9) is greater than \"max\" (3)";
        QTest::newRow("min above the default max") << QByteArray(step + "adc = 1\nmin = 300\n")
                                                   << "p.toml:3:1: step 1: \"min\" (300) is greater than \"max\" (255)";
        QTest::newRow("mean limits") << QByteArray(step + "adc = 1\nmean_min = 9\nmean_max = 3.5\n")
                                     << "p.toml:4:1: step 1: \"mean_min\" (9) is greater than \"mean_max\" (3.5)";
        QTest::newRow("no action") << QByteArray(step + "name = 'x'\ntimeout_ms = 5\n")
                                   << "p.toml:1:1: step 1: the step does nothing";
        QTest::newRow("two kinds") << QByteArray(step + "send = 'id'\nadc = 2\n")
                                   << "p.toml:3:1: step 1: \"adc\" cannot be combined with \"send\" in one step";
        QTest::newRow("level alone") << QByteArray(step + "level = 1\nexpect_pin = 2\nexpect_level = 0\n")
                                     << "p.toml:2:1: step 1: \"level\" needs \"set_pin\"";
        QTest::newRow("expect_pin alone")
            << QByteArray(step + "expect_pin = 2\n") << "p.toml:2:1: step 1: \"expect_pin\" needs \"expect_level\"";
        QTest::newRow("limit without adc") << QByteArray(step + "wait_ms = 2\nmax = 3\n")
                                           << "p.toml:3:1: step 1: \"max\" cannot be combined with \"wait_ms\"";
        QTest::newRow("timeout with wait") << QByteArray(step + "wait_ms = 2\ntimeout_ms = 3\n")
                                           << "p.toml:3:1: step 1: \"timeout_ms\" does not go with \"wait_ms\"";
        QTest::newRow("timeout zero") << QByteArray(step + "send = 'a'\ntimeout_ms = 0\n")
                                      << "p.toml:3:1: step 1: \"timeout_ms\" is 0; it must be 1 to 3600000";
        QTest::newRow("units the wrong way round") << QByteArray(step + "adc = 1\nunit = 'V'\nmin = 5\nmax = 4.5\n")
                                                   << "p.toml:5:1: step 1: \"min\" (5) is greater than \"max\" (4.5)";
        QTest::newRow("unit without adc") << QByteArray(step + "wait_ms = 1\nunit = 'V'\n") << "p.toml:3:1: step 1: \"unit\" cannot be combined with \"wait_ms\" in one step";
        QTest::newRow("empty unit") << QByteArray(step + "adc = 1\nunit = ''\n")
                                    << "p.toml:3:1: step 1: \"unit\" must be 1 to 16 characters";
        QTest::newRow("not utf-8") << QByteArray("name = '\xff'\n" + step + "wait_ms = 1\n") << "p.toml:1:";
    }

    void limitsInAUnit()
    {
        const auto read = readPlanText("[[step]]\nadc = 8\nmin = 4.75\nmax = 5.25\nmean_min = 4.9\nunit = \"V\"\n",
                                       QStringLiteral("u.toml"));
        if (const auto *error = std::get_if<PlanError>(&read))
            QFAIL(qPrintable(error->text()));
        const PlanStep &step = std::get<TestPlan>(read).steps.front();
        QCOMPARE(std::tuple(step.unit, step.minValue, step.maxValue, *step.meanMin),
                 std::tuple(QStringLiteral("V"), 4.75, 5.25, 4.9));
        QCOMPARE(stepExpectation(step),
                 QStringLiteral("5 readings of channel 8 in [4.75 V, 5.25 V], mean in [4.9, inf]"));
        BoardCalibration calibration;
        QVERIFY(unitMismatch(std::get<TestPlan>(read), calibration)
                    .contains("the limits are in V, but channel 8 reads "
                              "in counts"));
        calibration.channel(8).unit = QStringLiteral("V");
        QVERIFY(unitMismatch(std::get<TestPlan>(read), calibration).isEmpty());
    }

    void errorsNameThePlaceAndTheKey()
    {
        QFETCH(QByteArray, text);
        QFETCH(QString, error);
        const auto read = readPlanText(text, QStringLiteral("p.toml"));
        QVERIFY(std::holds_alternative<PlanError>(read));
        const QString said = std::get<PlanError>(read).text();
        QVERIFY2(said.startsWith(error), qPrintable(said));
    }

    void filesThatCannotBeRead()
    {
        QTemporaryDir dir;
        QCOMPARE(std::get<PlanError>(readPlanFile(dir.filePath("none.toml"))).line, 0);
        const QString big = dir.filePath("big.toml");
        writeFile(big, QByteArray(kMaxPlanBytes + 1, '#'));
        QVERIFY(std::get<PlanError>(readPlanFile(big)).message.contains(QStringLiteral("larger than")));
    }
};

QTEST_GUILESS_MAIN(TestPlanReader)
#include "tst_plan_reader.moc"
