#include "app/form_about.h"
#include "app/options.h"
#include "program.h"
#include "windows/analog_levels/form_analog_levels.h"
#include "windows/communications/device_list.h"
#include "windows/digital_pins/form_digital_pins.h"
#include "windows/scripting/form_scripting.h"
#include "windows/scripting/script_box.h"
#include "windows/twips.h"

#include <QCheckBox>
#include <QLabel>
#include <QMenuBar>
#include <QPushButton>
#include <QRegularExpression>
#include <QStatusBar>

// A driver that notes what the program looked like when the board was closed.
class ShutdownDriver : public RecordingDriver
{
public:
    int viewComAtClose = -1;
    formMain *main = nullptr;
    bool closeHandle(std::intptr_t handle) override
    {
        viewComAtClose = main->appState().viewCom;
        return RecordingDriver::closeHandle(handle);
    }
};

// The main window: menus, status bar, the load step, the View toggles, the close step and the About box.
class TestMainWindow : public QObject
{
    Q_OBJECT

private:
    static QStringList menuItems(formMain *main, const char *menuName)
    {
        QStringList items;
        const QMenu *menu = main->menuBar()->findChild<QMenu *>(QString::fromLatin1(menuName));
        for (const QAction *action : menu->actions()) {
            items.append(action->objectName() + u'|' + (action->isSeparator() ? QStringLiteral("-") : action->text()) +
                         u'|' + action->shortcut().toString());
        }
        return items;
    }

private Q_SLOTS:
    void menusAndStatusBar()
    {
        Program program;
        formMain *main = program.main.get();
        QCOMPARE(main->windowTitle(), QStringLiteral("Vantrel Control"));
        QStringList menus;
        for (const QAction *action : main->menuBar()->actions())
            menus.append(action->text());
        QCOMPARE(menus, QStringList({"&File", "&View", "&Help"}));
        QCOMPARE(menuItems(main, "file"),
                 QStringList({"openScript|&Open Script|Ctrl+O", "saveScript|&Save Script|Ctrl+S",
                              "saveAs|Save Script &As|Ctrl+A", "s0|-|", "runScript|Sen&d Script|Ctrl+D", "s1|-|",
                              "quit|&Quit|Ctrl+Q"}));
        QCOMPARE(menuItems(main, "view"),
                 QStringList({"communications|&Communications|Ctrl+K", "digitalPins|&Digital Pins|Ctrl+P",
                              "analogLevels|&Analog Levels|Ctrl+L", "scripting|&Scripting|", "s2|-|",
                              "trend|&Trend|Ctrl+T", "testPlan|Test &Plan|", "boards|&Boards|Ctrl+B", "s3|-|",
                              "arrangeWindows|Arra&nge Windows|", "restoreAtStart|&Restore at start|", "s4|-|",
                              "replay|&Replay|", "alarms|A&larms|"}));
        QCOMPARE(menuItems(main, "help"), QStringList({"about|&About Vantrel Control|"}));
        for (View view :
             {formCommunications::kView, formDigitalPins::kView, formAnalogLevels::kView, formScripting::kView})
            QVERIFY(main->viewItem(view)->isCheckable());

        QStatusBar *bar = main->statusBar();
        QCOMPARE(bar->objectName(), QStringLiteral("statusBar"));
        const auto *clock = bar->findChild<QLabel *>(QStringLiteral("statusPanel2"));
        const auto *date = bar->findChild<QLabel *>(QStringLiteral("statusPanel3"));
        // Hours and minutes, no seconds.
        QVERIFY2(QRegularExpression(QStringLiteral("^\\d{1,2}[:.]\\d\\d( ?[AaPp]\\.?[Mm]\\.?)?$"))
                     .match(clock->text())
                     .hasMatch(),
                 qPrintable(clock->text()));
        QCOMPARE(date->text(), QLocale().toString(QDate::currentDate(), QLocale::ShortFormat));
    }

    void loadOpensAllFourInOrder()
    {
        Program program;
        formMain *main = program.main.get();
        QStringList created;
        for (QMdiSubWindow *frame : main->mdiArea()->subWindowList(QMdiArea::CreationOrder))
            created.append(frame->widget()->objectName());
        QCOMPARE(created, QStringList({"formCommunications", "formDigitalPins", "formAnalogLevels", "formScripting"}));
        for (View view :
             {formCommunications::kView, formDigitalPins::kView, formAnalogLevels::kView, formScripting::kView})
            QVERIFY(main->isViewChecked(view));
        const AppState &state = main->appState();
        QCOMPARE(QList<int>({state.viewCom, state.viewDig, state.viewAna, state.viewScr}), QList<int>({1, 1, 1, 1}));
        QCOMPARE(main->statusText(), QStringLiteral("Device selected : -none-"));
        QCOMPARE(main->mdiArea()->activeSubWindow()->widget()->objectName(), QStringLiteral("formScripting"));
        QCOMPARE(program.driver.count(DriverCall::Create), 0);
    }

    void viewToggleStates()
    {
        Program program;
        formMain *main = program.main.get();
        formAnalogLevels *analog = main->view<formAnalogLevels>();
        analog->CheckADC(2)->setChecked(true);

        main->viewToggle(formAnalogLevels::kView); // shown -> hidden
        QVERIFY(!analog->isVisible());
        QVERIFY(!main->isViewChecked(formAnalogLevels::kView));
        QCOMPARE(main->appState().viewAna, 0);

        main->viewToggle(formAnalogLevels::kView); // hidden -> shown, the same window
        QCOMPARE(main->view<formAnalogLevels>(), analog);
        QVERIFY(analog->isVisible());
        QVERIFY(analog->CheckADC(2)->isChecked());
        QCOMPARE(main->appState().viewAna, 1);

        main->subWindowOf(analog)->close(); // shown -> absent
        Program::flushDeletes();
        QVERIFY(!main->isViewChecked(formAnalogLevels::kView));
        QCOMPARE(main->appState().viewAna, 0);
        QVERIFY(!main->existingView<formAnalogLevels>());

        main->viewToggle(formAnalogLevels::kView); // absent -> shown, created afresh
        analog = main->view<formAnalogLevels>();
        QVERIFY(!analog->CheckADC(2)->isChecked());
        QVERIFY(main->isViewChecked(formAnalogLevels::kView));
        QCOMPARE(main->appState().viewAna, 1);
    }

    void windowsCreatedByOtherCodeLeaveTheirViewItemUnchecked()
    {
        Program program;
        formMain *main = program.main.get();
        main->subWindowOf(main->view<formDigitalPins>())->close();
        main->subWindowOf(main->view<formAnalogLevels>())->close();
        Program::flushDeletes();
        QVERIFY(main->view<formDigitalPins>()->isVisible());
        QVERIFY(main->view<formAnalogLevels>()->isVisible());
        QVERIFY(!main->isViewChecked(formDigitalPins::kView));
        QVERIFY(!main->isViewChecked(formAnalogLevels::kView));
        QCOMPARE(main->appState().viewDig, 0);
        QCOMPARE(main->appState().viewAna, 0);
    }

    void quitClosesTheBoardBeforeAnyWindow()
    {
        QTemporaryDir dir;
        QDir::setCurrent(dir.path());
        ShutdownDriver driver;
        driver.serials = {"A1B2"};
        ScriptedDialogs dialogs;
        formMain main(driver, dialogs);
        driver.main = &main;
        main.show();
        main.view<formCommunications>()->DevicesList()->setCurrentRow(0);
        main.view<formCommunications>()->DevicesList_Click();
        main.findChild<QAction *>(QStringLiteral("quit"))->trigger();
        QVERIFY(!main.isVisible());
        QCOMPARE(driver.closes(), QList<std::intptr_t>{100});
        QCOMPARE(driver.viewComAtClose, 1);
        QCOMPARE(main.appState().viewCom, 0); // then the child windows closed
        QCOMPARE(main.session().handle(), std::intptr_t(100));
    }

    void invalidHandleIsNotClosedAtExit()
    {
        Program program({"A1B2"});
        program.driver.unopenable = {QStringLiteral("A1B2")};
        program.main->session().selectDevice(0);
        QCOMPARE(program.main->session().handle(), kInvalidHandle);
        QVERIFY(program.main->close());
        QCOMPARE(program.driver.count(DriverCall::Close), 0);
    }

    void cancelAtTheScriptQuestionLeavesEverythingRunning()
    {
        Program program({"A1B2"});
        formMain *main = program.main.get();
        main->view<formCommunications>()->DevicesList()->setCurrentRow(0);
        main->view<formCommunications>()->DevicesList_Click();
        QTest::keyClicks(main->view<formScripting>()->scriptBox(), QStringLiteral("unsaved"));
        program.dialogs.answers = {Dialogs::Answer::Cancel};
        QVERIFY(!main->close());
        QVERIFY(main->isVisible());
        QCOMPARE(program.driver.count(DriverCall::Close), 0);
        QCOMPARE(main->mdiArea()->subWindowList().size(), 4);
        QCOMPARE(main->appState().viewCom, 1);
        QVERIFY(main->view<formCommunications>()->TimerBackgound()->isActive());
        QVERIFY(!QFile::exists(program.path(QStringLiteral("database.ini"))));

        // Answering No the next time closes without asking twice.
        program.dialogs.answers = {Dialogs::Answer::No};
        QVERIFY(main->close());
        QCOMPARE(program.dialogs.saveQuestions, 2);
        QCOMPARE(program.driver.count(DriverCall::Close), 1);
    }

    void aboutBoxIsOneModelessBox()
    {
        Program program;
        formMain *main = program.main.get();
        main->about_Click();
        QPointer<formAbout> box = main->aboutBox();
        QVERIFY(box && box->isVisible());
        QVERIFY(!box->isModal());
        QVERIFY(box->isWindow());
        QCOMPARE(box->windowTitle(), QStringLiteral("About Vantrel Control"));
        QCOMPARE(box->findChild<QLabel *>(QStringLiteral("Label1"))->text(),
                 QStringLiteral("Vantrel Test And Demo Application"));
        QCOMPARE(box->findChild<QLabel *>(QStringLiteral("lblVersion"))->text(), QStringLiteral("Version 3.0"));
        QVERIFY(box->findChild<QPushButton *>(QStringLiteral("cmdOK"))->isDefault());
        QVERIFY(!box->findChild<QLabel *>(QStringLiteral("picIcon"))->pixmap().isNull());
        QVERIFY(!main->windowIcon().pixmap(32, 32).isNull());
        main->about_Click();
        QCOMPARE(main->aboutBox(), box.data());
        QCOMPARE(main->findChildren<formAbout *>().size(), 1);

        QTest::keyClick(box, Qt::Key_Escape);
        Program::flushDeletes();
        QVERIFY(!box);
        main->about_Click();
        box = main->aboutBox();
        QTest::keyClick(box->findChild<QPushButton *>(QStringLiteral("cmdOK")), Qt::Key_Return);
        Program::flushDeletes();
        QVERIFY(!box);
    }

    void menuShortcutsWinWhereverTheFocusIs_data()
    {
        QTest::addColumn<QString>("focus");
        QTest::newRow("script editor") << "scriptBox";
        QTest::newRow("command box") << "command";
        QTest::newRow("log") << "Logbox";
    }

    void menuShortcutsWinWhereverTheFocusIs()
    {
        QFETCH(QString, focus);
        Program program;
        formMain *main = program.main.get();
        main->activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(main));
        QWidget *box = main->findChild<QWidget *>(focus);
        QVERIFY(box);
        QWidget *form = box;
        while (form && !qobject_cast<QMdiSubWindow *>(form->parentWidget()))
            form = form->parentWidget();
        main->mdiArea()->setActiveSubWindow(main->subWindowOf(form));
        box->setFocus();
        QTRY_COMPARE(QApplication::focusWidget(), box);
        QTest::keyClick(box, Qt::Key_A, Qt::ControlModifier);
        QCOMPARE(program.dialogs.dialogTitles, QStringList{"Save As"}); // not Select All
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_K, Qt::ControlModifier);
        QVERIFY(!main->isViewChecked(formCommunications::kView)); // not the line edit's delete-to-end
    }

    void firstSizeIsTheClientAreaBelowTheMenuBar()
    {
        Program program;
        formMain *main = program.main.get();
        QCOMPARE(main->width(), twipsToPixels(12435));
        QCOMPARE(main->height() - main->menuBar()->height(), twipsToPixels(8895));
    }

    void aScriptNamedOnTheCommandLineOpensInTheEditor()
    {
        Program program;
        const QString path = program.path(QStringLiteral("bench.txt"));
        QFile file(path);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write("pin  1 output\r\nid");
        file.close();
        program.main->viewToggle(formScripting::kView); // hidden, as "Open with" may find it
        program.main->openScriptFile(path);
        QCOMPARE(program.main->view<formScripting>()->text(), QStringLiteral("pin  1 output\nid"));
        QCOMPARE(program.main->view<formScripting>()->windowTitle(), path);
        QVERIFY(program.main->isViewChecked(formScripting::kView));
        QVERIFY(!program.main->appState().scriptChanged);

        // One that is not there (a stale shortcut) is said as Open says it; the program runs on.
        const QString missing = program.path(QStringLiteral("gone.txt"));
        const ParsedOptions parsed = parseOptions({"vantrel-control", missing});
        QVERIFY(!parsed.exitCode);
        QCOMPARE(parsed.options.script, missing);
        program.main->openScriptFile(parsed.options.script);
        QCOMPARE(program.dialogs.warnings.size(), 1);
        QVERIFY(program.dialogs.warnings[0].startsWith(
            QStringLiteral("The script \"%1\" could not be opened.").arg(QDir::toNativeSeparators(missing))));
        QCOMPARE(program.main->view<formScripting>()->windowTitle(), path);
    }
};

QTEST_MAIN(TestMainWindow)
#include "tst_main_window.moc"
