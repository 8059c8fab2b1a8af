#include "device/demo_driver.h"
#include "host/program_journal.h"
#include "plans/plan_reader.h"
#include "plans/plan_run.h"
#include "program.h"

#include "windows/communications/device_list.h"
#include <QAction>
#include <QSettings>

#include <QApplication>
#include <QFile>
#include <QLineEdit>
#include <QPushButton>
#include <QSignalSpy>

// The communications window: device list and selection, commands, typed commands and the log writer.
class TestCommunications : public QObject
{
    Q_OBJECT

private:
    static QPushButton *button(formCommunications *window, const char *name)
    {
        return window->findChild<QPushButton *>(QString::fromLatin1(name));
    }

    static QStringList entries(formCommunications *window)
    {
        QStringList texts;
        for (int i = 0; i < window->DevicesList()->count(); ++i)
            texts.append(window->DevicesList()->item(i)->text());
        return texts;
    }

    static void choose(formCommunications *window, int row)
    {
        DeviceList *list = window->DevicesList();
        const QRect rect = list->visualItemRect(list->item(row));
        QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, rect.center());
    }

private Q_SLOTS:
    void controlsCarryTheirTexts()
    {
        Program program;
        formCommunications *window = program.com();
        QCOMPARE(window->windowTitle(), QStringLiteral("Communications"));
        const QList<QPair<const char *, const char *>> captions{{"rescanDevices", "Re-Scan Devices"},
                                                                {"LedOn", "Led On"},
                                                                {"LedOff", "Led Off"},
                                                                {"IdRequest", "Identity"},
                                                                {"Reset", "Reset"}};
        for (const auto &[name, caption] : captions) {
            QPushButton *b = button(window, name);
            QVERIFY(b);
            QCOMPARE(b->text(), QString::fromLatin1(caption));
            QCOMPARE(b->accessibleDescription(), QString::fromLatin1(name));
        }
        QCOMPARE(window->DevicesList()->toolTip(), QStringLiteral("Select a device to talk to"));
        QCOMPARE(window->DevicesList()->accessibleDescription(), QStringLiteral("DevicesList"));
        QCOMPARE(window->Logbox()->accessibleName(), QStringLiteral("Communications log"));
        QCOMPARE(window->TimerBackgound()->interval(), 100);
        QVERIFY(window->TimerBackgound()->isActive());
        // The session's own poller, which polls for every client holding a lease.
        QCOMPARE(window->TimerBackgound(), &program.main->session().poller());

        // Tab order: log, list, Identity, Reset, Led Off, Led On, command, Re-Scan.
        program.main->activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(program.main.get()));
        window->Logbox()->setFocus();
        QStringList order{QApplication::focusWidget()->objectName()};
        for (int i = 0; i < 7; ++i) {
            QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
            order.append(QApplication::focusWidget()->objectName());
        }
        QCOMPARE(order, QStringList({"Logbox", "DevicesList", "IdRequest", "Reset", "LedOff", "LedOn", "command",
                                     "rescanDevices"}));
    }

    void scanListsTheDriversDevices_data()
    {
        QTest::addColumn<QStringList>("serials");
        QTest::addColumn<bool>("failCount");
        QTest::addColumn<QList<int>>("failPositions");
        QTest::addColumn<QStringList>("expected");
        QTest::newRow("no board") << QStringList() << false << QList<int>() << QStringList{"No devices found."};
        QTest::newRow("two boards in driver order")
            << QStringList{"ZB99", "A1B2"} << false << QList<int>() << QStringList{"ZB99", "A1B2"};
        QTest::newRow("count fails") << QStringList{"A1B2"} << true << QList<int>() << QStringList{"No devices found."};
        QTest::newRow("one position fails")
            << QStringList{"A1B2", "C3D4"} << false << QList<int>{0} << QStringList{"", "C3D4"};
    }

    void scanListsTheDriversDevices()
    {
        QFETCH(QStringList, serials);
        QFETCH(bool, failCount);
        QFETCH(QList<int>, failPositions);
        QFETCH(QStringList, expected);
        Program program(serials, false);
        program.driver.failCount = failCount;
        program.driver.failPositions = QSet<std::int32_t>(failPositions.begin(), failPositions.end());
        program.start();
        formCommunications *window = program.com();
        QCOMPARE(entries(window), expected);
        QCOMPARE(window->DevicesList()->currentRow(), -1);
        QCOMPARE(program.driver.count(DriverCall::Create), 0);
        QCOMPARE(program.log(), QString());
    }

    void selectingABoard()
    {
        Program program({"ZB99", "A1B2"});
        formCommunications *window = program.com();
        program.driver.clearCalls();
        choose(window, 1);
        QCOMPARE(program.main->session().handle(), std::intptr_t(100));
        QCOMPARE(program.log(), QStringLiteral("Device selected : A1B2\r\n"));
        QCOMPARE(program.main->statusText(), QStringLiteral("Device selected : A1B2"));
        // The driver is asked again for the text at the chosen position; nothing was open, nothing closed.
        QCOMPARE(program.driver.calls.size(), size_t(2));
        QCOMPARE(program.driver.calls[0].kind, DriverCall::Serial);
        QCOMPARE(program.driver.calls[0].position, 1);
        QCOMPARE(program.driver.calls[1].bytes, QByteArray("A1B2"));
    }

    void selectingTheOpenBoardAgainReopensIt()
    {
        Program program({"A1B2"});
        formCommunications *window = program.com();
        choose(window, 0);
        choose(window, 0);
        QCOMPARE(program.driver.closes(), QList<std::intptr_t>{100});
        QCOMPARE(program.main->session().handle(), std::intptr_t(101));
        QCOMPARE(program.log(), QStringLiteral("Device selected : A1B2\r\nDevice selected : A1B2\r\n"));
    }

    void noDevicesFoundChoosesPositionZero()
    {
        {
            // A board attached since the scan is opened and selected.
            Program program;
            formCommunications *window = program.com();
            program.driver.serials = {QStringLiteral("LATE")};
            choose(window, 0); // "No devices found."
            QCOMPARE(program.main->session().handle(), std::intptr_t(100));
            QCOMPARE(program.log(), QStringLiteral("Device selected : LATE\r\n"));
            QCOMPARE(program.main->statusText(), QStringLiteral("Device selected : LATE"));
        }
        // Still none: the failed open is said as every failed open is, and the invalid handle is never closed.
        Program empty;
        choose(empty.com(), 0);
        QCOMPARE(empty.main->session().handle(), kInvalidHandle);
        QCOMPARE(empty.log(), QStringLiteral("Device selected : \r\nDevice could not be opened : \r\n"));
        QCOMPARE(empty.main->statusText(), QStringLiteral("Device not opened : "));
        choose(empty.com(), 0);
        QVERIFY(empty.driver.closes().isEmpty());
    }

    void aFailedOpenSaysSo()
    {
        Program program({"A1B2"});
        program.driver.unopenable = {QStringLiteral("A1B2")};
        choose(program.com(), 0);
        QCOMPARE(program.main->session().handle(), kInvalidHandle);
        QCOMPARE(program.log(), QStringLiteral("Device selected : A1B2\r\nDevice could not be opened : A1B2\r\n"));
        QCOMPARE(program.main->statusText(), QStringLiteral("Device not opened : A1B2"));
        choose(program.com(), 0);
        QVERIFY(program.driver.closes().isEmpty());
    }

    void keyboardChoosesLikeAListBox_data()
    {
        QTest::addColumn<QStringList>("boards");
        QTest::addColumn<QList<int>>("keys");
        QTest::addColumn<QStringList>("chosen");
        const QStringList two{"A1B2", "C3D4"};
        QTest::newRow("first Down opens the first") << two << QList<int>{Qt::Key_Down} << QStringList{"A1B2"};
        QTest::newRow("then Down the second")
            << two << QList<int>{Qt::Key_Down, Qt::Key_Down, Qt::Key_Down} << QStringList{"A1B2", "C3D4"};
        QTest::newRow("one board, Down") << QStringList{"A1B2"} << QList<int>{Qt::Key_Down} << QStringList{"A1B2"};
        QTest::newRow("Up") << two << QList<int>{Qt::Key_Up} << QStringList{"A1B2"};
        QTest::newRow("Home") << two << QList<int>{Qt::Key_Home, Qt::Key_Home} << QStringList{"A1B2"};
        QTest::newRow("End") << two << QList<int>{Qt::Key_End} << QStringList{"C3D4"};
        QTest::newRow("Space") << two << QList<int>{Qt::Key_Space, Qt::Key_Space} << QStringList{"A1B2"};
        QTest::newRow("Tab only") << two << QList<int>{} << QStringList{};
    }

    void keyboardChoosesLikeAListBox()
    {
        QFETCH(QStringList, boards);
        QFETCH(QList<int>, keys);
        QFETCH(QStringList, chosen);
        Program program(boards);
        DeviceList *list = program.com()->DevicesList();
        program.main->activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(program.main.get()));
        program.com()->Logbox()->setFocus();
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab); // into the list, as the operator does
        QCOMPARE(QApplication::focusWidget(), list);
        for (int key : keys)
            QTest::keyClick(list, Qt::Key(key));
        QString expected;
        for (const QString &board : chosen)
            expected += QStringLiteral("Device selected : ") + board + QStringLiteral("\r\n");
        QCOMPARE(program.log(), expected);
        QCOMPARE(program.driver.count(DriverCall::Create), chosen.size());
    }

    void mouseGesturesChooseWhatEndsUpSelected()
    {
        Program program({"A1B2", "C3D4", "E5F6"});
        DeviceList *list = program.com()->DevicesList();
        const QPoint first = list->visualItemRect(list->item(0)).center();
        const QPoint third = list->visualItemRect(list->item(2)).center();
        // Pressed on one entry, released on another: the one selected at the end is chosen, once.
        QTest::mousePress(list->viewport(), Qt::LeftButton, {}, first);
        QTest::mouseMove(list->viewport(), third);
        QTest::mouseRelease(list->viewport(), Qt::LeftButton, {}, third);
        QCOMPARE(list->currentRow(), 2);
        QCOMPARE(program.log(), QStringLiteral("Device selected : E5F6\r\n"));
        QCOMPARE(program.main->statusText(), QStringLiteral("Device selected : E5F6"));
        // A click on the entry already selected chooses it again; a double click chooses once (its first click).
        choose(program.com(), 2);
        QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, first);
        QTest::mouseDClick(list->viewport(), Qt::LeftButton, {}, first);
        QCOMPARE(program.driver.count(DriverCall::Create), 3);
        QVERIFY(program.log().endsWith(QStringLiteral("E5F6\r\nDevice selected : A1B2\r\n")));
    }

    void rescanKeepsTheOpenBoard()
    {
        Program program({"A1B2"});
        formCommunications *window = program.com();
        choose(window, 0);
        program.driver.serials = QStringList{"NEW1", "A1B2"};
        program.driver.clearCalls();
        QTest::mouseClick(button(window, "rescanDevices"), Qt::LeftButton);
        QCOMPARE(entries(window), QStringList({"NEW1", "A1B2"}));
        QCOMPARE(program.main->session().handle(), std::intptr_t(100));
        QCOMPARE(program.driver.count(DriverCall::Close), 0);
        QCOMPARE(program.driver.count(DriverCall::Create), 0);
        QCOMPARE(program.main->statusText(), QStringLiteral("Device selected : A1B2"));
    }

    void buttonsSendTheirOwnTerminators_data()
    {
        QTest::addColumn<QByteArray>("name");
        QTest::addColumn<QByteArray>("bytes");
        QTest::newRow("Identity") << QByteArray("IdRequest") << QByteArray("id\r\n");
        QTest::newRow("Led On") << QByteArray("LedOn") << QByteArray("led on\n");
        QTest::newRow("Led Off") << QByteArray("LedOff") << QByteArray("led off\n");
        QTest::newRow("Reset") << QByteArray("Reset") << QByteArray("reset\r\n");
    }

    void buttonsSendTheirOwnTerminators()
    {
        QFETCH(QByteArray, name);
        QFETCH(QByteArray, bytes);
        Program program;
        QTest::mouseClick(button(program.com(), name.constData()), Qt::LeftButton);
        QCOMPARE(program.driver.writes(), QList<QByteArray>{bytes});
        QCOMPARE(program.driver.calls.back().handle, std::intptr_t(0)); // no board selected: sent anyway
        QCOMPARE(program.log(), QString());
    }

    void typedCommandsGoOutWithCrLfAndAreLogged()
    {
        Program program;
        QLineEdit *command = program.com()->command();
        command->setFocus();
        QTest::keyClicks(command, QStringLiteral("led on"));
        QTest::keyClick(command, Qt::Key_Return);
        QTest::keyClick(command, Qt::Key_Enter, Qt::KeypadModifier | Qt::ShiftModifier);
        QTest::keyClick(command, Qt::Key_Tab);
        QCOMPARE(program.driver.writes(), QList<QByteArray>({"led on\r\n", "led on\r\n"}));
        QCOMPARE(program.log(), QStringLiteral(">led on\r\n>led on\r\n"));
        QCOMPARE(command->text(), QStringLiteral("led on"));

        command->clear();
        QTest::keyClick(command, Qt::Key_Return, Qt::ControlModifier);
        QCOMPARE(program.driver.writes().last(), QByteArray("\r\n"));
        QVERIFY(program.log().endsWith(QStringLiteral(">led on\r\n>\r\n")));
    }

    void logLinesAlwaysLandAtTheEnd()
    {
        Program program;
        LogView *log = program.com()->Logbox();
        program.main->LogLine(QStringLiteral("a"));
        program.main->LogLine(QStringLiteral("b"));
        log->selectAll();
        program.main->LogLine(QStringLiteral(""));
        program.main->LogLine(QStringLiteral("c"));
        QCOMPARE(log->text(), QStringLiteral("a\r\nb\r\n\r\nc\r\n"));
    }

    void logSurvivesHidingAndIsFreshAfterClosing()
    {
        Program program({"A1B2"});
        program.main->LogLine(QStringLiteral("before"));
        program.main->viewToggle(formCommunications::kView); // hide
        program.main->LogLine(QStringLiteral("while hidden"));
        QVERIFY(!program.main->isViewChecked(formCommunications::kView));
        program.main->viewToggle(formCommunications::kView); // show the same window
        QCOMPARE(program.log(), QStringLiteral("before\r\nwhile hidden\r\n"));

        formCommunications *first = program.com();
        program.main->subWindowOf(first)->close();
        QVERIFY(!program.main->isViewChecked(formCommunications::kView));
        QCOMPARE(program.main->appState().viewCom, 0);
        program.driver.clearCalls();
        // A line logged now brings a new window back, its list rescanned and its log holding just that line.
        program.main->LogLine(QStringLiteral("pin  3 output"));
        Program::flushDeletes();
        formCommunications *second = program.com();
        QVERIFY(second != first);
        QVERIFY(second->isVisible());
        QCOMPARE(program.log(), QStringLiteral("pin  3 output\r\n"));
        QCOMPARE(program.driver.count(DriverCall::Count), 1);
        QVERIFY(!program.main->isViewChecked(formCommunications::kView));
        QCOMPARE(program.main->appState().viewCom, 0);
    }

    void logCanBeSavedFromItsMenu()
    {
        Program program;
        program.main->LogLine(QStringLiteral("Device selected : A1B2"));
        const QString path = program.path(QStringLiteral("session.log"));
        program.dialogs.fileNames = {path, program.path(QStringLiteral("no/such/dir/x.log"))};
        Q_EMIT program.com()->Logbox()->saveRequested();
        QFile file(path);
        QVERIFY(file.open(QIODevice::ReadOnly));
        QCOMPARE(file.readAll(), QByteArray("Device selected : A1B2\r\n"));
        Q_EMIT program.com()->Logbox()->saveRequested();
        QCOMPARE(program.dialogs.warnings.size(), 1);
    }

    void closingKeepsTheBoardOpen()
    {
        Program program({"A1B2"});
        choose(program.com(), 0);
        program.main->subWindowOf(program.com())->close();
        Program::flushDeletes();
        QCOMPARE(program.driver.count(DriverCall::Close), 0);
        QCOMPARE(program.main->session().handle(), std::intptr_t(100));
        program.main->viewToggle(formCommunications::kView);
        QCOMPARE(program.log(), QString());
        QCOMPARE(program.com()->DevicesList()->count(), 1);
        QCOMPARE(program.main->appState().viewCom, 1);
    }
    // The log's context menu keeps the journal or not, and remembers it in the program's settings.
    void keepJournalFromTheLogsMenu()
    {
        Program program({"A1B2"});
        QTemporaryDir folder;
        setUpProgramJournal(program.main->host(), folder.path(), true);
        formCommunications *window = program.com();
        auto *keep = window->findChild<QAction *>(QStringLiteral("keepJournal"));
        QVERIFY(keep && window->findChild<QAction *>(QStringLiteral("openJournalFolder")));
        QCOMPARE(keep->text(), QStringLiteral("Keep &Journal"));
        Q_EMIT window->Logbox()->contextMenuShown();
        QVERIFY(keep->isChecked());
        keep->trigger();
        QVERIFY(!program.main->host().isJournalKept());
        QCOMPARE(QSettings().value(QStringLiteral("journal/keep")).toBool(), false);
        keep->trigger();
        QVERIFY(program.main->host().isJournalKept());
        QCOMPARE(QSettings().value(QStringLiteral("journal/keep")).toBool(), true);
    }

    // The window and a plan run each hold their own claim on the poll: neither ends the other's.
    void thePollOutlivesEitherClient_data()
    {
        QTest::addColumn<bool>("windowClosesDuringTheRun");
        QTest::newRow("the window closes during a run") << true;
        QTest::newRow("the window opens during a run") << false;
    }

    void thePollOutlivesEitherClient()
    {
        QFETCH(bool, windowClosesDuringTheRun);
        DemoDriver demo;
        Program program(demo);
        program.com()->DevicesList()->setCurrentRow(0);
        program.com()->DevicesList_Click();
        if (!windowClosesDuringTheRun) {
            program.main->subWindowOf(program.com())->close();
            Program::flushDeletes();
        }
        auto plan = readPlanText("[[step]]\nadc = 1\nsamples = 5\ntimeout_ms = 1000\n", QStringLiteral("p.toml"));
        PlanRun run(program.main->session(), std::get<TestPlan>(std::move(plan)));
        run.start();
        if (windowClosesDuringTheRun)
            program.main->subWindowOf(program.com())->close();
        else
            program.main->showView(formCommunications::kView);
        QTRY_VERIFY_WITH_TIMEOUT(run.isFinished(), 3000);
        QCOMPARE(run.verdictLine(), QStringLiteral("PASS: 1 of 1 steps passed"));
        // (A line logged after the close brings the window back, as the log writer does.)
        if (!windowClosesDuringTheRun)
            QVERIFY(program.main->session().poller().isActive());
    }
};

QTEST_MAIN(TestCommunications)
#include "tst_communications.moc"
