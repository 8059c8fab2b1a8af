#include "app/desk_memory.h"
#include "app/window_arrangement.h"
#include "file_helpers.h"
#include "program.h"
#include "session/board_session.h"
#include "windows/boards/form_boards.h"
#include "windows/test_plan/form_test_plan.h"
#include "windows/trend/form_trend.h"

#include <QListWidget>
#include <QMenuBar>
#include <QScreen>
#include <QScrollBar>
#include <QSettings>

// The operator's desk in the main window: Arrange Windows places the child windows side by side, and a start puts
// back the board, its channels and monitored pins and the script file of the last exit, never its outputs.
class TestDesk : public QObject
{
    Q_OBJECT

private:
    static void expectNoOverlap(const std::vector<QRect> &places)
    {
        for (std::size_t i = 0; i < places.size(); ++i) {
            for (std::size_t j = i + 1; j < places.size(); ++j)
                QVERIFY2(!places[i].intersects(places[j]),
                         qPrintable(QStringLiteral("windows %1 and %2").arg(i).arg(j)));
        }
    }

private Q_SLOTS:
    // Before the first Program turns it on, init() would clear the user's own settings.
    void initTestCase() { QStandardPaths::setTestModeEnabled(true); }
    void init() { QSettings().remove(QStringLiteral("desk")); }

    void arrangementsNeverOverlap_data()
    {
        QTest::addColumn<QSize>("area");
        QTest::addColumn<QList<QSize>>("fixed");
        QTest::addColumn<int>("resizable");
        QTest::addColumn<QSize>("minimum"); // of the resizable ones
        QTest::addColumn<bool>("fits");     // each at least its minimum
        QTest::addColumn<bool>("inside");
        // Communications, pins and levels fixed; editor and trend resizable.
        const QList<QSize> three{QSize(520, 490), QSize(400, 300), QSize(300, 250)};
        QTest::newRow("room for all") << QSize(1500, 900) << three << 2 << QSize(240, 160) << true << true;
        QTest::newRow("fixed ones in two columns") << QSize(1500, 700) << three << 2 << QSize(240, 160) << true
                                                   << true;
        QTest::newRow("too low to stack: side by side")
            << QSize(1800, 500) << three << 2 << QSize(240, 300) << true << true;
        QTest::newRow("narrower than they want: cut to the room")
            << QSize(1200, 700) << three << 2 << QSize(400, 160) << false << true;
        QTest::newRow("too small") << QSize(600, 400) << three << 2 << QSize(240, 160) << false << false;
        // The default four in a main window at 90 % of 1600 x 1000, with a window manager's frame: no two fixed
        // ones fit one under the other, and the room beside them is narrower than the editor's smallest.
        QTest::newRow("the default four: the editor under the fixed ones")
            << QSize(1438, 835) << QList<QSize>{QSize(524, 530), QSize(526, 545), QSize(218, 368)} << 1
            << QSize(240, 160) << true << true;
    }

    void arrangementsNeverOverlap()
    {
        QFETCH(QSize, area);
        QFETCH(QList<QSize>, fixed);
        QFETCH(int, resizable);
        QFETCH(QSize, minimum);
        QFETCH(bool, fits);
        QFETCH(bool, inside);
        std::vector<WindowToPlace> windows;
        for (const QSize &size : fixed)
            windows.push_back({size, false, {}});
        for (int k = 0; k < resizable; ++k)
            windows.push_back({QSize(250, 200), true, minimum});
        const WindowArrangement arrangement = arrangeWindows(windows, area);
        expectNoOverlap(arrangement.places);
        QCOMPARE(std::all_of(arrangement.places.begin(), arrangement.places.end(),
                             [area](const QRect &place) { return QRect(QPoint(), area).contains(place); }),
                 inside);
        QCOMPARE(arrangement.needed.width() <= area.width() && arrangement.needed.height() <= area.height(), fits);
        for (qsizetype i = 0; i < fixed.size(); ++i)
            QCOMPARE(arrangement.places[std::size_t(i)].size(), fixed[i]);
        if (inside) {
            // The resizable ones get the spare room: between them, to the right and the bottom edge, and at least
            // the room beside the fixed ones.
            QRect both;
            for (std::size_t i = std::size_t(fixed.size()); i < windows.size(); ++i)
                both = both.united(arrangement.places[i]);
            QCOMPARE(both.bottomRight(), QPoint(area.width() - 1, area.height() - 1));
            int fixedRight = 0;
            for (qsizetype i = 0; i < fixed.size(); ++i)
                fixedRight = std::max(fixedRight, arrangement.places[std::size_t(i)].right() + 1);
            QVERIFY(both.width() * both.height() >= (area.width() - fixedRight) * area.height());
        }
    }

    void arrangeWindowsFromTheViewMenu_data()
    {
        QTest::addColumn<bool>("more"); // the trend, the test plan and the boards shown besides the default four
        QTest::newRow("the default four") << false;
        QTest::newRow("seven windows") << true;
    }

    void arrangeWindowsFromTheViewMenu()
    {
        QFETCH(bool, more);
        Program program;
        formMain *main = program.main.get();
        if (more) {
            for (View view : {formTrend::kView, formTestPlan::kView, formBoards::kView})
                main->showView(view);
        }
        // The default size is too small for them: first 90 % of the screen (1600 x 1000, as the test's platform
        // is set up), where the trend of seven is narrower than it wants.
        main->findChild<QAction *>(QStringLiteral("arrangeWindows"))->trigger();
        const QSize screen = main->screen()->availableGeometry().size();
        QCOMPARE(screen, QSize(1600, 1000));
        QVERIFY(main->frameGeometry().width() >= screen.width() * 9 / 10 - 1);
        QCoreApplication::processEvents(); // the workspace's scroll bars follow its windows
        QMdiArea *workspace = main->mdiArea();
        std::vector<QRect> places;
        for (QMdiSubWindow *frame : workspace->subWindowList()) {
            if (frame->isVisible()) {
                QVERIFY2(workspace->viewport()->rect().contains(frame->geometry()), qPrintable(frame->windowTitle()));
                places.push_back(frame->geometry());
            }
        }
        QVERIFY(!workspace->horizontalScrollBar()->isVisible());
        QVERIFY(!workspace->verticalScrollBar()->isVisible());
        QCOMPARE(places.size(), std::size_t(more ? 7 : 4));
        expectNoOverlap(places);
        // The layout file's windows keep their size.
        QCOMPARE(main->subWindowOf(program.com())->size().width(),
                 main->subWindowOf(program.com())->sizeHint().width());
    }

    void aStartPutsBackWhatTheLastExitLeft_data()
    {
        QTest::addColumn<QStringList>("attachedThen");
        QTest::addColumn<bool>("restored");
        QTest::newRow("the board is attached") << QStringList{"A1B2", "C3D4"} << true;
        QTest::newRow("the board is not attached") << QStringList{"A1B2"} << false;
    }

    void aStartPutsBackWhatTheLastExitLeft()
    {
        QFETCH(QStringList, attachedThen);
        QFETCH(bool, restored);
        QTemporaryDir scripts;
        const QString script = scripts.filePath(QStringLiteral("bench.txt"));
        writeFile(script, "led on\r\n");
        {
            Program evening({"A1B2", "C3D4"});
            BoardSession &session = evening.main->session();
            evening.main->host().select(1);
            session.setChannelTicked(2, true);
            session.setPinMonitored(5, true);
            session.makePinOutputAt(7, true);
            evening.main->openScriptFile(script);
            QVERIFY(evening.main->close());
        }
        {
            // A run started without restoring leaves last evening's desk for the next morning.
            Program noon({"A1B2", "C3D4"});
            noon.main->keepLastDesk();
            QVERIFY(noon.main->close());
        }
        Program morning(attachedThen);
        morning.main->restoreDesk(true);
        const BoardSession &session = morning.main->session();
        QCOMPARE(morning.main->view<formScripting>()->windowTitle(), script);
        QCOMPARE(session.serial(), restored ? QStringLiteral("C3D4") : QString());
        QCOMPARE(session.setup().isTicked(2), restored);
        QCOMPARE(session.setup().isMonitored(5), restored);
        // Outputs are never driven at start; the status line names them.
        QVERIFY(!session.setup().isOutput(7));
        const QList<QByteArray> writes = morning.driver.writes();
        QCOMPARE(writes, restored ? QList<QByteArray>{"pin  5 monitor on\n"} : QList<QByteArray>{});
        if (restored) {
            QCOMPARE(morning.main->statusText(), QStringLiteral("Outputs of last time not driven : pin 7 high"));
            QCOMPARE(morning.com()->DevicesList()->currentRow(), 1);
            QVERIFY(morning.log().contains(QStringLiteral("Device selected : C3D4\r\n")));
        }
    }

    // Steps: "select POSITION", "high PIN" (an output driving high), "tick CHANNEL", "monitor PIN".
    void onlyWhatTheBoardSelectedWasToldIsRemembered_data()
    {
        QTest::addColumn<QStringList>("evening");
        QTest::addColumn<QString>("board");
        QTest::addColumn<QList<int>>("ticked");
        QTest::addColumn<QList<int>>("monitored");
        QTest::addColumn<QList<int>>("outputs");
        QTest::addColumn<QList<QByteArray>>("sentAtStart");
        QTest::newRow("outputs of the board selected before are left out")
            << QStringList{"select 1", "high 1", "high 9", "select 0", "tick 1", "tick 2", "tick 3", "high 3",
                           "monitor 5"}
            << QStringLiteral("A1B2") << QList<int>{1, 2, 3} << QList<int>{5} << QList<int>{3}
            << QList<QByteArray>{"pin  5 monitor on\n"};
        QTest::newRow("a board told nothing is told nothing at start")
            << QStringList{"select 0", "high 4", "monitor 5", "select 1"} << QStringLiteral("C3D4") << QList<int>{}
            << QList<int>{} << QList<int>{} << QList<QByteArray>{};
    }

    void onlyWhatTheBoardSelectedWasToldIsRemembered()
    {
        QFETCH(QStringList, evening);
        QFETCH(QString, board);
        QFETCH(QList<int>, ticked);
        QFETCH(QList<int>, monitored);
        QFETCH(QList<int>, outputs);
        QFETCH(QList<QByteArray>, sentAtStart);
        {
            Program program({"A1B2", "C3D4"});
            BoardSession &session = program.main->session();
            for (const QString &step : evening) {
                const int number = step.section(u' ', 1).toInt();
                if (step.startsWith(u"select"))
                    program.main->host().select(number);
                else if (step.startsWith(u"high"))
                    session.makePinOutputAt(number, true);
                else if (step.startsWith(u"tick"))
                    session.setChannelTicked(number, true);
                else
                    session.setPinMonitored(number, true);
            }
            QVERIFY(program.main->close());
        }
        const DeskMemory memory = readDeskMemory();
        QCOMPARE(memory.board, board);
        QCOMPARE(memory.tickedChannels, ticked);
        QCOMPARE(memory.monitoredPins, monitored);
        QCOMPARE(memory.outputPins, outputs);
        Program morning({"A1B2", "C3D4"});
        morning.main->restoreDesk(false);
        QCOMPARE(morning.main->session().serial(), board);
        QCOMPARE(morning.driver.writes(), sentAtStart);
        QCOMPARE(morning.main->statusText().startsWith(QStringLiteral("Outputs of last time")), !outputs.isEmpty());
    }

    void restoreAtStartIsAChoiceKept()
    {
        Program program;
        QAction *item = program.main->findChild<QAction *>(QStringLiteral("restoreAtStart"));
        QVERIFY(item->isCheckable() && item->isChecked());
        item->trigger();
        QVERIFY(!restoreAtStart());
        item->trigger();
        QVERIFY(restoreAtStart());

        const DeskMemory edited{QStringLiteral("A1B2"), {2, 9}, {0, 18}, {3, 77}, {true, true}, QString()};
        keepDeskMemory(edited);
        // Numbers out of range, from a settings file edited by hand, are left out.
        const DeskMemory read = readDeskMemory();
        QCOMPARE(read.tickedChannels, QList<int>{2});
        QCOMPARE(read.monitoredPins, QList<int>{18});
        QCOMPARE(read.outputPins, QList<int>{3});
    }
};

QTEST_MAIN(TestDesk)
#include "tst_desk.moc"
