#include "device/demo_driver.h"
#include "fake_workspace.h"
#include "file_helpers.h"
#include "host/program_journal.h"
#include "plans/plan_reader.h"
#include "plans/plan_run.h"
#include "session/board_session.h"
#include "session/poller.h"
#include "session/wall_time.h"
#include "windows/communications/command_box_history.h"
#include "windows/communications/device_list.h"
#include "windows/communications/form_communications.h"
#include "windows/communications/log_view.h"

#include <QAction>
#include <QApplication>
#include <QFile>
#include <QLineEdit>
#include <QPushButton>
#include <QRegularExpression>
#include <QSettings>
#include <QTest>

// The communications window on a workspace of its own: device list and selection, commands, typed commands, the
// log and the receive poll.
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

    static QString log(formCommunications *window) { return window->Logbox()->text(); }

    // Keys for the command box, separated by blanks: up, down, esc, ^R, enter; anything else is typed.
    static void press(formCommunications *window, const QString &keys)
    {
        for (const QString &key : keys.split(u' ', Qt::SkipEmptyParts)) {
            QWidget *target = QApplication::focusWidget();
            if (key == u"up")
                QTest::keyClick(target, Qt::Key_Up);
            else if (key == u"down")
                QTest::keyClick(target, Qt::Key_Down);
            else if (key == u"esc")
                QTest::keyClick(target, Qt::Key_Escape);
            else if (key == u"^R")
                QTest::keyClick(target, Qt::Key_R, Qt::ControlModifier);
            else if (key == u"enter")
                QTest::keyClick(target, Qt::Key_Return);
            else
                QTest::keyClicks(target, key);
        }
        Q_UNUSED(window);
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
        FakeWorkspace workspace;
        formCommunications *window = workspace.open<formCommunications>();
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
        QCOMPARE(window->TimerBackgound(), &workspace.session().poller());

        // Tab order: log, list, Identity, Reset, Led Off, Led On, command, Re-Scan.
        window->activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(window));
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
        FakeWorkspace workspace(serials);
        workspace.driver.failCount = failCount;
        workspace.driver.failPositions = QSet<std::int32_t>(failPositions.begin(), failPositions.end());
        formCommunications *window = workspace.open<formCommunications>();
        QCOMPARE(entries(window), expected);
        QCOMPARE(window->DevicesList()->currentRow(), -1);
        QCOMPARE(workspace.driver.count(DriverCall::Create), 0);
        QCOMPARE(log(window), QString());
    }

    void selectingABoard()
    {
        FakeWorkspace workspace({"ZB99", "A1B2"});
        formCommunications *window = workspace.open<formCommunications>();
        workspace.driver.clearCalls();
        choose(window, 1);
        QCOMPARE(workspace.session().handle(), std::intptr_t(100));
        QCOMPARE(log(window), QStringLiteral("Device selected : A1B2\r\n"));
        QCOMPARE(workspace.told.status, QStringLiteral("Device selected : A1B2"));
        // The driver is asked again for the text at the chosen position; nothing was open, nothing closed.
        QCOMPARE(workspace.driver.calls.size(), size_t(2));
        QCOMPARE(workspace.driver.calls[0].kind, DriverCall::Serial);
        QCOMPARE(workspace.driver.calls[0].position, 1);
        QCOMPARE(workspace.driver.calls[1].bytes, QByteArray("A1B2"));
    }

    void selectingTheOpenBoardAgainReopensIt()
    {
        FakeWorkspace workspace({"A1B2"});
        formCommunications *window = workspace.open<formCommunications>();
        choose(window, 0);
        choose(window, 0);
        QCOMPARE(workspace.driver.closes(), QList<std::intptr_t>{100});
        QCOMPARE(workspace.session().handle(), std::intptr_t(101));
        QCOMPARE(log(window), QStringLiteral("Device selected : A1B2\r\nDevice selected : A1B2\r\n"));
    }

    void noDevicesFoundChoosesPositionZero()
    {
        {
            // A board attached since the scan is opened and selected.
            FakeWorkspace workspace;
            formCommunications *window = workspace.open<formCommunications>();
            workspace.driver.serials = {QStringLiteral("LATE")};
            choose(window, 0); // "No devices found."
            QCOMPARE(workspace.session().handle(), std::intptr_t(100));
            QCOMPARE(log(window), QStringLiteral("Device selected : LATE\r\n"));
            QCOMPARE(workspace.told.status, QStringLiteral("Device selected : LATE"));
        }
        // Still none: the failed open is said as every failed open is, and the invalid handle is never closed.
        FakeWorkspace empty;
        formCommunications *window = empty.open<formCommunications>();
        choose(window, 0);
        QCOMPARE(empty.session().handle(), kInvalidHandle);
        QCOMPARE(log(window), QStringLiteral("Device selected : \r\nDevice could not be opened : \r\n"));
        QCOMPARE(empty.told.status, QStringLiteral("Device not opened : "));
        choose(window, 0);
        QVERIFY(empty.driver.closes().isEmpty());
    }

    void aFailedOpenSaysSo()
    {
        FakeWorkspace workspace({"A1B2"});
        workspace.driver.unopenable = {QStringLiteral("A1B2")};
        formCommunications *window = workspace.open<formCommunications>();
        choose(window, 0);
        QCOMPARE(workspace.session().handle(), kInvalidHandle);
        QCOMPARE(log(window), QStringLiteral("Device selected : A1B2\r\nDevice could not be opened : A1B2\r\n"));
        QCOMPARE(workspace.told.status, QStringLiteral("Device not opened : A1B2"));
        choose(window, 0);
        QVERIFY(workspace.driver.closes().isEmpty());
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
        FakeWorkspace workspace(boards);
        formCommunications *window = workspace.open<formCommunications>();
        DeviceList *list = window->DevicesList();
        window->activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(window));
        window->Logbox()->setFocus();
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab); // into the list, as the operator does
        QCOMPARE(QApplication::focusWidget(), list);
        for (int key : keys)
            QTest::keyClick(list, Qt::Key(key));
        QString expected;
        for (const QString &board : chosen)
            expected += QStringLiteral("Device selected : ") + board + QStringLiteral("\r\n");
        QCOMPARE(log(window), expected);
        QCOMPARE(workspace.driver.count(DriverCall::Create), chosen.size());
    }

    void mouseGesturesChooseWhatEndsUpSelected()
    {
        FakeWorkspace workspace({"A1B2", "C3D4", "E5F6"});
        formCommunications *window = workspace.open<formCommunications>();
        DeviceList *list = window->DevicesList();
        const QPoint first = list->visualItemRect(list->item(0)).center();
        const QPoint third = list->visualItemRect(list->item(2)).center();
        // Pressed on one entry, released on another: the one selected at the end is chosen, once.
        QTest::mousePress(list->viewport(), Qt::LeftButton, {}, first);
        QTest::mouseMove(list->viewport(), third);
        QTest::mouseRelease(list->viewport(), Qt::LeftButton, {}, third);
        QCOMPARE(list->currentRow(), 2);
        QCOMPARE(log(window), QStringLiteral("Device selected : E5F6\r\n"));
        QCOMPARE(workspace.told.status, QStringLiteral("Device selected : E5F6"));
        // A click on the entry already selected chooses it again; a double click chooses once (its first click).
        choose(window, 2);
        QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, first);
        QTest::mouseDClick(list->viewport(), Qt::LeftButton, {}, first);
        QCOMPARE(workspace.driver.count(DriverCall::Create), 3);
        QVERIFY(log(window).endsWith(QStringLiteral("E5F6\r\nDevice selected : A1B2\r\n")));
    }

    void rescanKeepsTheOpenBoard()
    {
        FakeWorkspace workspace({"A1B2"});
        formCommunications *window = workspace.open<formCommunications>();
        choose(window, 0);
        workspace.driver.serials = QStringList{"NEW1", "A1B2"};
        workspace.driver.clearCalls();
        QTest::mouseClick(button(window, "rescanDevices"), Qt::LeftButton);
        QCOMPARE(entries(window), QStringList({"NEW1", "A1B2"}));
        QCOMPARE(workspace.session().handle(), std::intptr_t(100));
        QCOMPARE(workspace.driver.count(DriverCall::Close), 0);
        QCOMPARE(workspace.driver.count(DriverCall::Create), 0);
        QCOMPARE(workspace.told.status, QStringLiteral("Device selected : A1B2"));
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
        FakeWorkspace workspace;
        formCommunications *window = workspace.open<formCommunications>();
        QTest::mouseClick(button(window, name.constData()), Qt::LeftButton);
        QCOMPARE(workspace.driver.writes(), QList<QByteArray>{bytes});
        QCOMPARE(workspace.driver.calls.back().handle, std::intptr_t(0)); // no board selected: sent anyway
        QCOMPARE(log(window), QString());
    }

    void typedCommandsGoOutWithCrLfAndAreLogged()
    {
        FakeWorkspace workspace;
        formCommunications *window = workspace.open<formCommunications>();
        QLineEdit *command = window->command();
        command->setFocus();
        QTest::keyClicks(command, QStringLiteral("led on"));
        QTest::keyClick(command, Qt::Key_Return);
        QTest::keyClick(command, Qt::Key_Enter, Qt::KeypadModifier | Qt::ShiftModifier);
        QTest::keyClick(command, Qt::Key_Tab);
        QCOMPARE(workspace.driver.writes(), QList<QByteArray>({"led on\r\n", "led on\r\n"}));
        QCOMPARE(log(window), QStringLiteral(">led on\r\n>led on\r\n"));
        QCOMPARE(command->text(), QStringLiteral("led on"));

        command->clear();
        QTest::keyClick(command, Qt::Key_Return, Qt::ControlModifier);
        QCOMPARE(workspace.driver.writes().last(), QByteArray("\r\n"));
        QVERIFY(log(window).endsWith(QStringLiteral(">led on\r\n>\r\n")));
    }

    void theCommandBoxRemembersWhatWasSent_data()
    {
        QTest::addColumn<QString>("keys");
        QTest::addColumn<QString>("shown");
        QTest::addColumn<bool>("searching");
        // Sent before each row: id, led on, led on, reset. The history, newest first: reset, led on, id.
        QTest::newRow("up: the newest") << "up"
                                        << "reset" << false;
        QTest::newRow("a repeat is kept once") << "up up"
                                               << "led on" << false;
        QTest::newRow("up stops at the oldest") << "up up up up"
                                                << "id" << false;
        QTest::newRow("down back to what was typed") << "ab up up down down"
                                                     << "ab" << false;
        QTest::newRow("down past the draft stays") << "ab up down down"
                                                   << "ab" << false;
        QTest::newRow("escape gives the draft back") << "ab up up esc"
                                                     << "ab" << false;
        QTest::newRow("escape without a walk keeps the text") << "ab esc"
                                                              << "ab" << false;
        QTest::newRow("search finds the newest match") << "^R e"
                                                       << "reset" << true;
        QTest::newRow("ctrl+r again: an older match") << "^R e ^R"
                                                      << "led on" << true;
        QTest::newRow("no older match: stays") << "^R e ^R ^R"
                                               << "led on" << true;
        QTest::newRow("search is case-blind") << "^R LED"
                                              << "led on" << true;
        QTest::newRow("no match: what was typed") << "xy ^R zz"
                                                  << "xy" << true;
        QTest::newRow("escape ends the search") << "xy ^R id esc"
                                                << "xy" << false;
        QTest::newRow("enter takes the match, sends nothing") << "xy ^R id enter"
                                                              << "id" << false;
    }

    void theCommandBoxRemembersWhatWasSent()
    {
        QFETCH(QString, keys);
        QFETCH(QString, shown);
        QFETCH(bool, searching);
        QSettings().remove(QStringLiteral("commands/history"));
        FakeWorkspace workspace;
        formCommunications *window = workspace.open<formCommunications>();
        window->activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(window));
        QLineEdit *command = window->command();
        command->setFocus();
        for (const char *sent : {"id", "led on", "led on", "reset"}) {
            command->setText(QString::fromLatin1(sent));
            QTest::keyClick(command, Qt::Key_Return);
        }
        command->clear();
        press(window, keys);
        QCOMPARE(command->text(), shown);
        QLineEdit *search = window->commandHistory()->searchLine();
        QCOMPARE(search->isVisible(), searching);
        QCOMPARE(QApplication::focusWidget(), searching ? search : command);
        QCOMPARE(workspace.driver.count(DriverCall::Write), 4);
        QCOMPARE(search->accessibleDescription(), QStringLiteral("commandSearch"));
        QVERIFY(!search->accessibleName().isEmpty());
    }

    // Kept per user in the settings, at most 500, so the next window (or the next run) has them.
    void theHistoryOutlivesTheWindowAndIsBounded()
    {
        QSettings().remove(QStringLiteral("commands/history"));
        {
            FakeWorkspace workspace;
            formCommunications *window = workspace.open<formCommunications>();
            window->command()->setText(QStringLiteral("pin  5 output"));
            window->command_KeyDown(13);
        }
        FakeWorkspace workspace;
        formCommunications *window = workspace.open<formCommunications>();
        window->command()->clear();
        window->command()->setFocus();
        QTest::keyClick(window->command(), Qt::Key_Up);
        QCOMPARE(window->command()->text(), QStringLiteral("pin  5 output"));

        CommandHistory history;
        for (int i = 0; i < CommandHistory::kMaxEntries + 10; ++i)
            history.add(QString::number(i));
        history.add(QString());
        QCOMPARE(history.entries().size(), CommandHistory::kMaxEntries);
        QCOMPARE(history.entries().front(), QString::number(CommandHistory::kMaxEntries + 9));
        QCOMPARE(history.entries().back(), QStringLiteral("10"));
        QSettings().remove(QStringLiteral("commands/history"));
    }

    void logLinesAlwaysLandAtTheEnd()
    {
        FakeWorkspace workspace;
        formCommunications *window = workspace.open<formCommunications>();
        LogView *log = window->Logbox();
        workspace.LogLine(QStringLiteral("a"));
        workspace.LogLine(QStringLiteral("b"));
        log->selectAll();
        workspace.LogLine(QStringLiteral(""));
        workspace.LogLine(QStringLiteral("c"));
        QCOMPARE(log->text(), QStringLiteral("a\r\nb\r\n\r\nc\r\n"));
    }

    void logCanBeSavedFromItsMenu()
    {
        FakeWorkspace workspace;
        formCommunications *window = workspace.open<formCommunications>();
        workspace.LogLine(QStringLiteral("Device selected : A1B2"));
        const QString path = workspace.path(QStringLiteral("session.log"));
        workspace.scripted.fileNames = {path, workspace.path(QStringLiteral("no/such/dir/x.log"))};
        Q_EMIT window->Logbox()->saveRequested();
        QFile file(path);
        QVERIFY(file.open(QIODevice::ReadOnly));
        QCOMPARE(file.readAll(), QByteArray("Device selected : A1B2\r\n"));
        Q_EMIT window->Logbox()->saveRequested();
        QCOMPARE(workspace.scripted.warnings.size(), 1);
    }

    // "Include times" puts each line's own stamp before it; off by default, and kept as last chosen.
    void logCanBeSavedWithTimes()
    {
        QSettings().remove(QStringLiteral("log/includeTimes"));
        FakeWorkspace workspace;
        EventRecorder stamps(workspace.session());
        formCommunications *window = workspace.open<formCommunications>();
        workspace.LogLine(QStringLiteral("Device selected : A1B2"));
        workspace.LogLine(QStringLiteral(""));
        const QString path = workspace.path(QStringLiteral("timed.log"));
        workspace.scripted.fileNames = {path, path};
        workspace.scripted.optionAnswers = {true, false};
        Q_EMIT window->Logbox()->saveRequested();
        QStringList times; // of the log lines, as their events were stamped
        for (qsizetype i = 0; i < stamps.kinds.size(); ++i) {
            if (stamps.kinds[i] == SessionEvent::Kind::LogLine)
                times.append(wallTimeText(stamps.stamps[i].wallMs));
        }
        QCOMPARE(times.size(), 2);
        const QByteArray expected =
            (times[0] + QStringLiteral(" Device selected : A1B2\r\n") + times[1] + QStringLiteral(" \r\n")).toUtf8();
        QCOMPARE(readFile(path), expected);
        QVERIFY(
            QRegularExpression(QStringLiteral("^\\d{4}-\\d\\d-\\d\\dT\\d\\d:\\d\\d:\\d\\d\\.\\d{3}[+-]\\d\\d:\\d\\d "))
                .match(QString::fromUtf8(expected))
                .hasMatch());
        Q_EMIT window->Logbox()->saveRequested();
        QCOMPARE(readFile(path), QByteArray("Device selected : A1B2\r\n\r\n"));
        QCOMPARE(workspace.scripted.optionQuestions, QStringList({"Include times=0", "Include times=1"}));
        QSettings().remove(QStringLiteral("log/includeTimes"));
    }

    // The receive poll goes on while the window exists, shown or hidden, and a new window starts with no partial
    // line; closing the window ends its claim on the poll but keeps the board open.
    void thePollLivesWithTheWindow()
    {
        FakeWorkspace workspace({"A1B2"});
        formCommunications *window = workspace.open<formCommunications>();
        choose(window, 0);
        window->hide();
        workspace.driver.queue("ok\n");
        QTRY_VERIFY(workspace.driver.chunks.isEmpty());
        window->show();
        workspace.driver.queue("half a li");
        window->TimerBackgound_Timer();
        QVERIFY(window->close());
        QVERIFY(!window->TimerBackgound()->isActive());
        FakeWorkspace::flushDeletes();
        QCOMPARE(workspace.closed, QStringList{"communications"});
        QCOMPARE(workspace.driver.count(DriverCall::Close), 0);
        QCOMPARE(workspace.session().handle(), std::intptr_t(100));

        window = workspace.open<formCommunications>();
        QCOMPARE(log(window), QString());
        QCOMPARE(window->DevicesList()->count(), 1);
        QCOMPARE(workspace.session().pendingLine, QString());
        workspace.driver.queue("ne\n");
        window->TimerBackgound_Timer();
        QCOMPARE(log(window), QStringLiteral("received : ne\r\n\r\n"));
    }

    // The log's context menu keeps the journal or not, and remembers it in the program's settings.
    void keepJournalFromTheLogsMenu()
    {
        FakeWorkspace workspace({"A1B2"});
        QTemporaryDir folder;
        setUpProgramJournal(workspace.host(), folder.path(), true);
        formCommunications *window = workspace.open<formCommunications>();
        auto *keep = window->findChild<QAction *>(QStringLiteral("keepJournal"));
        QVERIFY(keep && window->findChild<QAction *>(QStringLiteral("openJournalFolder")));
        QCOMPARE(keep->text(), QStringLiteral("Keep &Journal"));
        Q_EMIT window->Logbox()->contextMenuShown();
        QVERIFY(keep->isChecked());
        keep->trigger();
        QVERIFY(!workspace.host().isJournalKept());
        QCOMPARE(QSettings().value(QStringLiteral("journal/keep")).toBool(), false);
        keep->trigger();
        QVERIFY(workspace.host().isJournalKept());
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
        FakeWorkspace workspace(demo);
        formCommunications *window = workspace.open<formCommunications>();
        window->DevicesList()->setCurrentRow(0);
        window->DevicesList_Click();
        if (!windowClosesDuringTheRun) {
            window->close();
            FakeWorkspace::flushDeletes();
        }
        auto plan = readPlanText("[[step]]\nadc = 1\nsamples = 5\ntimeout_ms = 1000\n", QStringLiteral("p.toml"));
        PlanRun run(workspace.session(), std::get<TestPlan>(std::move(plan)));
        run.start();
        if (windowClosesDuringTheRun)
            window->close();
        else
            workspace.open<formCommunications>();
        QTRY_VERIFY_WITH_TIMEOUT(run.isFinished(), 3000);
        QCOMPARE(run.verdictLine(), QStringLiteral("PASS: 1 of 1 steps passed"));
        // Once the run is over, the poll goes on only for a window that is still there.
        QCOMPARE(workspace.session().poller().isActive(), !windowClosesDuringTheRun);
    }
};

QTEST_MAIN(TestCommunications)
#include "tst_communications.moc"
