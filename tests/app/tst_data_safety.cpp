#include "app/ending.h"
#include "file_helpers.h"
#include "program.h"
#include "session/stop_signals.h"
#include "windows/scripting/script_box.h"

#include <QApplication>
#include <QFileDialog>
#include <QMessageBox>
#include <QProcess>
#include <QPushButton>
#include <QScrollBar>
#include <QSettings>
#include <QTimer>

#include <csignal>

// Nothing the operator typed or kept is lost without being asked, and an end by signal is a clean close.
class TestDataSafety : public QObject
{
    Q_OBJECT

private:
    static void type(Program &program, const QString &text)
    {
        QTest::keyClicks(program.main->view<formScripting>()->scriptBox(), text);
    }

private Q_SLOTS:
    void openAsksBeforeDroppingChanges_data()
    {
        QTest::addColumn<int>("answer");
        QTest::addColumn<bool>("opened");
        QTest::addColumn<QByteArray>("untitled"); // what Untitled.txt holds afterwards
        QTest::newRow("Cancel: stop before the dialog")
            << int(Dialogs::Answer::Cancel) << false << QByteArray("<missing>");
        QTest::newRow("No: drop the edits") << int(Dialogs::Answer::No) << true << QByteArray("<missing>");
        QTest::newRow("Yes: save, then open") << int(Dialogs::Answer::Yes) << true << QByteArray("typed");
    }

    void openAsksBeforeDroppingChanges()
    {
        QFETCH(int, answer);
        QFETCH(bool, opened);
        QFETCH(QByteArray, untitled);
        Program program;
        const QString other = program.path(QStringLiteral("other.txt"));
        writeFile(other, "other");
        type(program, QStringLiteral("typed"));
        program.dialogs.answers = {Dialogs::Answer(answer)};
        program.dialogs.fileNames = {other};
        program.main->openScript_Click();
        QCOMPARE(program.dialogs.saveQuestions, 1);
        QCOMPARE(program.dialogs.dialogTitles.size(), opened ? 1 : 0);
        QCOMPARE(program.main->view<formScripting>()->text(),
                 opened ? QStringLiteral("other") : QStringLiteral("typed"));
        QCOMPARE(program.main->appState().scriptChanged, !opened);
        QCOMPARE(readFile(program.path(QStringLiteral("Untitled.txt"))), untitled);
    }

    void aFailedSaveStopsTheOpen()
    {
        Program program;
        type(program, QStringLiteral("typed"));
        program.main->view<formScripting>()->setWindowTitle(program.path(QStringLiteral("gone/x.txt")));
        program.dialogs.answers = {Dialogs::Answer::Yes};
        program.main->openScript_Click();
        QCOMPARE(program.dialogs.warnings.size(), 1);
        QVERIFY(program.dialogs.dialogTitles.isEmpty());
        QCOMPARE(program.main->view<formScripting>()->text(), QStringLiteral("typed"));
    }

    void saveNeverReplacesAFileItDidNotWrite()
    {
        Program program;
        const QString note = program.path(QStringLiteral("Untitled.txt"));
        writeFile(note, "a 17-byte note!\r\n");
        type(program, QStringLiteral("new"));

        program.main->saveScript_Click(); // No
        QCOMPARE(program.dialogs.replaceQuestions, QStringList{"Untitled.txt"});
        QCOMPARE(readFile(note), QByteArray("a 17-byte note!\r\n"));
        QVERIFY(program.main->appState().scriptChanged);

        // The close prompt's Yes goes the same way: declined, the window stays.
        program.dialogs.answers = {Dialogs::Answer::Yes};
        QVERIFY(!program.main->subWindowOf(program.main->view<formScripting>())->close());
        QCOMPARE(readFile(note), QByteArray("a 17-byte note!\r\n"));

        program.dialogs.replaceAnswers = {true};
        program.main->saveScript_Click();
        QCOMPARE(readFile(note), QByteArray("new"));
        QVERIFY(!program.main->appState().scriptChanged);
        // Written by this run now: Save writes without asking.
        type(program, QStringLiteral("er"));
        program.main->saveScript_Click();
        QCOMPARE(readFile(note), QByteArray("newer"));
        QCOMPARE(program.dialogs.replaceQuestions.size(), 3);
    }

    void theRealQuestions()
    {
        Program program;
        Dialogs real;
        QStringList seen;
        const auto answer = [&seen](QMessageBox::StandardButton button) {
            QTimer::singleShot(0, [&seen, button] {
                auto *box = qobject_cast<QMessageBox *>(QApplication::activeModalWidget());
                if (!box)
                    return;
                QStringList buttons;
                for (QAbstractButton *b : box->buttons())
                    buttons.append(b->text().remove(u'&'));
                buttons.sort();
                seen.append(box->windowTitle() + u'|' + box->text() + u'|' + buttons.join(u',') + u'|' +
                            box->defaultButton()->text().remove(u'&'));
                box->button(button)->click();
            });
        };
        answer(QMessageBox::No);
        QVERIFY(!real.askReplace(program.main.get(), QStringLiteral("Untitled.txt")));
        answer(QMessageBox::Cancel);
        QCOMPARE(real.askSaveScript(program.main.get()), Dialogs::Answer::Cancel);
        QCOMPARE(seen, QStringList({"Vantrel Control|Untitled.txt already exists. Replace it?|No,Yes|No",
                                    "Vantrel Control|Script changed Save ?|Cancel,No,Yes|Yes"}));

        // Save As asks before replacing a file, as the platform's save dialog does.
        bool confirms = false;
        QTimer::singleShot(0, [&confirms] {
            if (auto *dialog = qobject_cast<QFileDialog *>(QApplication::activeModalWidget())) {
                confirms = !dialog->testOption(QFileDialog::DontConfirmOverwrite);
                dialog->reject();
            }
        });
        QCOMPARE(real.saveFileName(program.main.get(), QStringLiteral("Save As"), QStringLiteral("Text Files (*.txt)")),
                 QString());
        QVERIFY(confirms);
    }

#ifdef VANTREL_TEST_POSIX_SIGNALS
    void aSignalEndsCleanlyAndKeepsTheScript()
    {
        auto program = std::make_unique<Program>(QStringList{"A1B2"});
        program->com()->DevicesList()->setCurrentRow(0);
        program->com()->DevicesList_Click();
        program->main->view<formScripting>()->setText(QStringLiteral("unsaved\nlines"));
        StopSignals stop;
        endWithoutQuestionsWhenAsked(*program->main, stop);
        QTest::ignoreMessage(QtWarningMsg, QRegularExpression(QStringLiteral("^the unsaved script was written to .*"
                                                                             "Untitled.txt.recovered$")));
        ::raise(SIGTERM);
        QTRY_VERIFY(!program->main->isVisible());
        QCOMPARE(program->dialogs.saveQuestions, 0);
        QCOMPARE(program->driver.closes(), QList<std::intptr_t>{100});
        QCOMPARE(readFile(program->path(QStringLiteral("database.ini"))).count("\r\n"), 18);
        QCOMPARE(readFile(program->path(QStringLiteral("Untitled.txt.recovered"))), QByteArray("unsaved\r\nlines"));
        QVERIFY(!QFile::exists(program->path(QStringLiteral("Untitled.txt"))));

        // The next start says where it is, once.
        program->main.reset();
        program->start();
        QVERIFY(program->log().contains(QStringLiteral("Unsaved script recovered : ")));
        QVERIFY(program->log().contains(QStringLiteral("Untitled.txt.recovered\r\n")));
        program->main.reset();
        program->start();
        QVERIFY(!program->log().contains(QStringLiteral("recovered")));
    }

    // Ended by a signal, the program asks nothing, even when the script's own folder and the layout file refuse
    // to be written: the script goes to the program's data folder, the layout's failure is only printed.
    void aSignalEndNeverAsks()
    {
        Program program({"A1B2"});
        QVERIFY(QDir(program.directory.path()).mkdir(QStringLiteral("database.ini"))); // cannot be written
        formScripting *editor = program.main->view<formScripting>();
        editor->setWindowTitle(QStringLiteral("/proc/no-such-folder/job.txt"));
        editor->setText(QStringLiteral("keep me"));
        QVERIFY(program.main->appState().scriptChanged);
        QTest::ignoreMessage(QtWarningMsg, QRegularExpression(QStringLiteral("^the unsaved script was written to .*"
                                                                             "/recovered/job.txt.recovered$")));
        QTest::ignoreMessage(QtWarningMsg, QRegularExpression(QStringLiteral("^the window layout could not be saved")));
        program.main->endWithoutQuestions();
        QTRY_VERIFY(!program.main->isVisible());
        QCOMPARE(program.dialogs.saveQuestions, 0);
        QVERIFY(program.dialogs.warnings.isEmpty());
        const QString kept = QStandardPaths::writableLocation(QStandardPaths::AppDataLocation) +
                             QStringLiteral("/recovered/job.txt.recovered");
        QCOMPARE(readFile(kept), QByteArray("keep me"));
        QFile::remove(kept);
    }

    void theProgramEndsCleanlyOnSigterm()
    {
        QTemporaryDir directory;
        QProcess process;
        process.setWorkingDirectory(directory.path());
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
        process.setProcessEnvironment(environment);
        process.start(QStringLiteral(VANTREL_CONTROL), {QStringLiteral("--demo")});
        QVERIFY(process.waitForStarted());
        QTest::qWait(1000);
        process.terminate();
        QVERIFY(process.waitForFinished(10'000));
        QCOMPARE(process.exitStatus(), QProcess::NormalExit);
        QCOMPARE(process.exitCode(), 0);
        QCOMPARE(readFile(directory.filePath(QStringLiteral("database.ini"))).count("\r\n"), 18);
    }

#endif

    void childWindowsOutsideTheWorkspaceCanBeScrolledTo()
    {
        Program program;
        QMdiArea *area = program.main->mdiArea();
        QVERIFY(!area->verticalScrollBar()->isVisible());
        program.main->subWindowOf(program.main->view<formDigitalPins>())->move(40, area->viewport()->height() + 300);
        QTRY_VERIFY(area->verticalScrollBar()->isVisible());
        QVERIFY(area->verticalScrollBar()->maximum() >= 300);
    }
};

QTEST_MAIN(TestDataSafety)
#include "tst_data_safety.moc"
