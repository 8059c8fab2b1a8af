#include "program.h"
#include "windows/boards/form_boards.h"
#include "windows/scripting/script_box.h"
#include "windows/test_plan/form_test_plan.h"
#include "windows/trend/form_trend.h"

// The child windows inside the main window: each View item shows, hides and brings back its window with its check
// mark and view flag, a window closed with its close box is gone until asked for again, the log writer brings back a
// closed log, a refused close changes nothing, and a maximized window that closes leaves the others as they were.
class TestViews : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void everyViewItemShowsHidesAndBringsBack_data()
    {
        QTest::addColumn<QString>("name");
        for (View view : {formCommunications::kView, formDigitalPins::kView, formAnalogLevels::kView,
                          formScripting::kView, formTrend::kView, formTestPlan::kView, formBoards::kView}) {
            const QByteArray name(view.name().data(), qsizetype(view.name().size()));
            QTest::newRow(name.constData()) << QString::fromLatin1(name);
        }
    }

    void everyViewItemShowsHidesAndBringsBack()
    {
        QFETCH(QString, name);
        Program program;
        formMain *main = program.main.get();
        const QByteArray latin = name.toLatin1();
        const View view(std::string_view(latin.constData(), std::size_t(latin.size())));
        QAction *item = main->viewItem(view);
        QVERIFY(item->isCheckable());
        const auto shows = [&](ChildWindow *window, bool shown) {
            QCOMPARE(main->existingChild(view), window);
            QCOMPARE(window->isVisible(), shown);
            QCOMPARE(item->isChecked(), shown);
            QCOMPARE(main->viewFlag(view), shown ? 1 : 0);
        };
        // The four of the layout file are open from the start; the others wait for their item.
        if (!item->isChecked()) {
            QVERIFY(!main->existingChild(view));
            item->trigger();
        }
        ChildWindow *window = main->existingChild(view);
        QVERIFY(window);
        shows(window, true);
        item->trigger(); // hidden, kept
        shows(window, false);
        item->trigger();
        shows(window, true);

        QVERIFY(main->subWindowOf(window)->close());
        QVERIFY(!item->isChecked());
        QCOMPARE(main->viewFlag(view), 0);
        Program::flushDeletes();
        QVERIFY(!main->existingChild(view));
        item->trigger(); // made afresh
        window = main->existingChild(view);
        QVERIFY(window);
        shows(window, true);
    }

    // A window that refuses its close (the script editor's Cancel) keeps its View item ticked and its flag.
    void aRefusedCloseKeepsTheItemAndTheFlag()
    {
        Program program;
        formMain *main = program.main.get();
        formScripting *editor = main->view<formScripting>();
        QTest::keyClicks(editor->scriptBox(), QStringLiteral("x"));
        program.dialogs.answers = {Dialogs::Answer::Cancel};
        QVERIFY(!main->subWindowOf(editor)->close());
        QVERIFY(main->isViewChecked(formScripting::kView));
        QCOMPARE(main->appState().viewScr, 1);
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

    void closingAMaximizedWindowLeavesTheOthersAsTheyWere()
    {
        Program program({"A1B2"});
        formTrend *trend = program.main->view<formTrend>();
        program.main->subWindowOf(trend)->showMaximized();
        program.main->subWindowOf(trend)->close();
        QVERIFY(!program.main->subWindowOf(program.com())->isMaximized());
    }

    // Steps: "max V" maximizes a view's window, "toggle V" is its View item, "restore V" restores it.
    void noWindowIsLeftMaximizedWithoutItsTitleBar_data()
    {
        QTest::addColumn<QStringList>("steps");
        QTest::newRow("trend maximized, analog off and on")
            << QStringList{"max trend", "toggle analogLevels", "toggle analogLevels"};
        QTest::newRow("trend maximized, each view off and on")
            << QStringList{"max trend",           "toggle communications", "toggle communications",
                           "toggle digitalPins",  "toggle digitalPins",    "toggle analogLevels",
                           "toggle analogLevels", "toggle scripting",      "toggle scripting"};
        QTest::newRow("trend maximized and hidden, analog on")
            << QStringList{"max trend", "toggle trend", "toggle analogLevels", "toggle analogLevels", "toggle trend"};
        QTest::newRow("scripting maximized, log off and on, restored")
            << QStringList{"max scripting", "toggle communications", "toggle communications", "restore scripting"};
        QTest::newRow("boards maximized, pins off and on")
            << QStringList{"toggle boards", "max boards", "toggle digitalPins", "toggle digitalPins"};
    }

    void noWindowIsLeftMaximizedWithoutItsTitleBar()
    {
        QFETCH(QStringList, steps);
        Program program({"A1B2"});
        formMain *main = program.main.get();
        for (const QString &step : steps) {
            const QStringList words = step.split(u' ');
            const QByteArray name = words[1].toLatin1();
            const View view(std::string_view(name.constData(), std::size_t(name.size())));
            if (words[0] == u"toggle")
                main->viewToggle(view);
            else if (words[0] == u"max")
                main->subWindowOf(main->child(view))->showMaximized();
            else
                main->subWindowOf(main->child(view))->showNormal();
            for (QMdiSubWindow *frame : main->findChildren<QMdiSubWindow *>()) {
                // A window of a fixed size has no title bar buttons to restore it from a maximized state.
                const bool fixed = frame->windowFlags().testFlag(Qt::CustomizeWindowHint) &&
                                   !frame->windowFlags().testFlag(Qt::WindowMaximizeButtonHint);
                QVERIFY2(!(frame->isVisible() && frame->isMaximized() && fixed),
                         qPrintable(step + QStringLiteral(": ") + frame->widget()->objectName() + " is maximized"));
            }
        }
    }
};

QTEST_MAIN(TestViews)
#include "tst_views.moc"
