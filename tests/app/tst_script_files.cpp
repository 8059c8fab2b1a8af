#include "file_helpers.h"
#include "program.h"
#include "windows/scripting/script_box.h"

#include <QFile>

// The main window's File menu: scripts opened and saved (Open, Save, Save As) byte for byte, and Send Script.
class TestScriptFiles : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void openReplacesTheTextAndShowsTheEditor()
    {
        Program program;
        formMain *main = program.main.get();
        main->subWindowOf(main->view<formScripting>())->close();
        Program::flushDeletes();
        const QString path = program.path(QStringLiteral("script.txt"));
        writeFile(path, "pin  3 output\r\nid");
        program.dialogs.fileNames = {path};
        main->openScript_Click();
        QCOMPARE(program.dialogs.dialogTitles, QStringList{"Open"});
        QCOMPARE(program.dialogs.dialogFilters, QStringList{"Text Files (*.txt)"});
        formScripting *editor = main->existingView<formScripting>();
        QVERIFY(editor && editor->isVisible());
        QCOMPARE(editor->text(), QStringLiteral("pin  3 output\nid"));
        QCOMPARE(editor->windowTitle(), path);
        QVERIFY(!main->appState().scriptChanged);
        QVERIFY(main->isViewChecked(formScripting::kView));
        QCOMPARE(main->appState().viewScr, 1);

        // Closing at once does not ask.
        QVERIFY(main->subWindowOf(editor)->close());
        QCOMPARE(program.dialogs.saveQuestions, 0);
    }

    void openWhileHiddenShowsTheSameWindow()
    {
        Program program;
        formMain *main = program.main.get();
        main->viewToggle(formScripting::kView);
        formScripting *editor = main->view<formScripting>();
        const QString path = program.path(QStringLiteral("s.txt"));
        writeFile(path, "x");
        program.dialogs.fileNames = {path};
        main->openScript_Click();
        QCOMPARE(main->view<formScripting>(), editor);
        QVERIFY(editor->isVisible());
        QVERIFY(main->isViewChecked(formScripting::kView));
    }

    void cancelledOrEmptyDialogChangesNothing()
    {
        Program program;
        formMain *main = program.main.get();
        const QString path = program.path(QStringLiteral("first.txt"));
        writeFile(path, "first");
        program.dialogs.fileNames = {path};
        main->openScript_Click();
        QTest::keyClicks(main->view<formScripting>()->scriptBox(), QStringLiteral("!"));
        main->openScript_Click(); // cancelled
        program.dialogs.fileNames = {QString()};
        main->saveAs_Click(); // empty name
        QCOMPARE(main->view<formScripting>()->windowTitle(), path);
        QCOMPARE(main->view<formScripting>()->text(), QStringLiteral("!first"));
        QVERIFY(main->appState().scriptChanged);
        QCOMPARE(readFile(path), QByteArray("first"));
    }

    void unreadableFilesWarnAndChangeNothing_data()
    {
        QTest::addColumn<QString>("name");
        QTest::newRow("missing") << QStringLiteral("missing.txt");
        QTest::newRow("folder") << QStringLiteral("folder");
    }

    void unreadableFilesWarnAndChangeNothing()
    {
        QFETCH(QString, name);
        Program program;
        QDir(program.directory.path()).mkdir(QStringLiteral("folder"));
        formScripting *editor = program.main->view<formScripting>();
        QTest::keyClicks(editor->scriptBox(), QStringLiteral("kept"));
        program.dialogs.fileNames = {program.path(name)};
        program.dialogs.answers = {Dialogs::Answer::No}; // drop the edits, as far as the dialog is concerned
        program.main->openScript_Click();
        QCOMPARE(program.dialogs.warnings.size(), 1);
        QVERIFY(program.dialogs.warnings[0].contains(QDir::toNativeSeparators(program.path(name))));
        QCOMPARE(editor->text(), QStringLiteral("kept"));
        QCOMPARE(editor->windowTitle(), QStringLiteral("Untitled.txt"));
        QVERIFY(program.main->appState().scriptChanged);
    }

    void saveBeforeAnyOpenWritesUntitled()
    {
        Program program;
        formMain *main = program.main.get();
        main->subWindowOf(main->view<formScripting>())->close();
        Program::flushDeletes();
        main->saveScript_Click();
        QCOMPARE(readFile(program.path(QStringLiteral("Untitled.txt"))), QByteArray());
        QVERIFY(main->existingView<formScripting>()->isVisible());
        QVERIFY(!main->isViewChecked(formScripting::kView));
        QCOMPARE(main->appState().viewScr, 0);

        QTest::keyClicks(main->view<formScripting>()->scriptBox(), QStringLiteral("id"));
        main->saveScript_Click();
        QCOMPARE(readFile(program.path(QStringLiteral("Untitled.txt"))), QByteArray("id"));
        QVERIFY(!main->appState().scriptChanged);
    }

    void saveAsWritesACopyAndKeepsTheCaption()
    {
        Program program;
        formMain *main = program.main.get();
        QTest::keyClicks(main->view<formScripting>()->scriptBox(), QStringLiteral("v1"));
        const QString copy = program.path(QStringLiteral("copy.txt"));
        writeFile(copy, "old contents");
        program.dialogs.fileNames = {copy};
        main->saveAs_Click();
        QCOMPARE(program.dialogs.dialogTitles, QStringList{"Save As"});
        QCOMPARE(readFile(copy), QByteArray("v1"));
        QCOMPARE(main->view<formScripting>()->windowTitle(), QStringLiteral("Untitled.txt"));
        QVERIFY(!main->appState().scriptChanged);

        QTest::keyClicks(main->view<formScripting>()->scriptBox(), QStringLiteral("+"));
        main->saveScript_Click();
        QCOMPARE(readFile(program.path(QStringLiteral("Untitled.txt"))), QByteArray("v1+"));
        QCOMPARE(readFile(copy), QByteArray("v1"));
    }

    void failedSaveKeepsTheFileThatWasThere()
    {
        Program program;
        formMain *main = program.main.get();
        // The temporary file beside this name would be longer than a file name may be, so the save fails.
        const QString path = program.path(QString(250, u'n'));
        writeFile(path, "every byte\r\n\x01\xFF");
        main->view<formScripting>()->setText(QStringLiteral("new"));
        program.dialogs.fileNames = {path};
        main->saveAs_Click();
        QCOMPARE(program.dialogs.warnings.size(), 1);
        QCOMPARE(readFile(path), QByteArray("every byte\r\n\x01\xFF"));
        QVERIFY(main->appState().scriptChanged);
    }

    void savedAndOpenedAgainLineForLine()
    {
        Program program;
        formMain *main = program.main.get();
        const QString text = QString::fromLatin1("pin  1 output\n\npin  1 set\xA0\n\xE9t\xE9\n");
        main->view<formScripting>()->setText(text);
        const QString path = program.path(QStringLiteral("round.txt"));
        program.dialogs.fileNames = {path, path};
        main->saveAs_Click();
        main->view<formScripting>()->setText(QString());
        program.dialogs.answers = {Dialogs::Answer::No};
        main->openScript_Click();
        QCOMPARE(main->view<formScripting>()->text(), text);
    }

    // Opened and saved without edits, a file comes back byte for byte in the encoding it had.
    void scriptsKeepTheirEncoding_data()
    {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<QString>("text");
        QTest::newRow("UTF-8") << QByteArray("caf\xC3\xA9 \xE2\x80\x93 \xE2\x82\xAC \xF0\x9F\x98\x80\r\nid")
                               << QStringLiteral("caf\u00E9 \u2013 \u20AC \U0001F600\nid");
        QTest::newRow("UTF-8 with a byte order mark")
            << QByteArray("\xEF\xBB\xBFled on \xC3\xA9") << QStringLiteral("led on \u00E9");
        QTest::newRow("Latin-1") << QByteArray("caf\xE9\r\nna\xEFve \xA0")
                                 << QString::fromLatin1("caf\xE9\nna\xEFve \xA0");
        QTest::newRow("ASCII") << QByteArray("id\r\nreset") << QStringLiteral("id\nreset");
    }

    void scriptsKeepTheirEncoding()
    {
        QFETCH(QByteArray, bytes);
        QFETCH(QString, text);
        Program program;
        const QString path = program.path(QStringLiteral("kept.txt"));
        writeFile(path, bytes);
        program.main->openScriptFile(path);
        QCOMPARE(program.main->view<formScripting>()->text(), text);
        program.main->saveScript_Click();
        QCOMPARE(readFile(path), bytes);
        QCOMPARE(program.dialogs.utf8Questions, 0);
    }

    // A character the 8-bit file cannot hold is never saved as '?' in silence.
    void charactersTheCodePageLacksAreAskedAbout()
    {
        Program program;
        formMain *main = program.main.get();
        main->view<formScripting>()->setText(QStringLiteral("led on \u2192 \u2713"));
        const QString path = program.path(QStringLiteral("Untitled.txt"));
        main->saveScript_Click(); // Cancel: file and flag untouched
        QCOMPARE(program.dialogs.utf8Questions, 1);
        QVERIFY(!QFile::exists(path));
        QVERIFY(main->appState().scriptChanged);
        program.dialogs.utf8Answers = {true};
        main->saveScript_Click();
        QCOMPARE(readFile(path), QByteArray("led on \xE2\x86\x92 \xE2\x9C\x93"));
        QVERIFY(!main->appState().scriptChanged);
        // UTF-8 from then on: no more questions.
        main->saveScript_Click();
        QCOMPARE(program.dialogs.utf8Questions, 2);
        // Sent, the board gets 8-bit text, and the log says what could not go as typed.
        main->runScript_Click();
        QCOMPARE(program.driver.writes().last(), QByteArray("led on ? ?\r\n"));
        QCOMPARE(program.log(),
                 QStringLiteral("Not sent as typed : 2 characters outside the board's character set\r\n"));
    }

    void sendScript_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QByteArray>("bytes");
        QTest::newRow("empty") << QString() << QByteArray("\r\n");
        QTest::newRow("two lines") << QStringLiteral("A\nB") << QByteArray("A\r\nB\r\n");
        QTest::newRow("trailing line break") << QStringLiteral("A\n") << QByteArray("A\r\n\r\n");
    }

    void sendScript()
    {
        QFETCH(QString, text);
        QFETCH(QByteArray, bytes);
        Program program;
        program.main->view<formScripting>()->setText(text);
        program.main->appState().scriptChanged = true;
        program.main->runScript_Click();
        QCOMPARE(program.driver.writes(), QList<QByteArray>{bytes});
        QVERIFY(program.main->appState().scriptChanged);
        QCOMPARE(program.log(), QString());
    }

    void sendScriptBeforeTheEditorExists()
    {
        Program program;
        formMain *main = program.main.get();
        main->subWindowOf(main->view<formScripting>())->close();
        Program::flushDeletes();
        main->findChild<QAction *>(QStringLiteral("runScript"))->trigger();
        QCOMPARE(program.driver.writes(), QList<QByteArray>{"\r\n"});
        QVERIFY(main->existingView<formScripting>()->isVisible());
        QVERIFY(!main->isViewChecked(formScripting::kView));
        QCOMPARE(main->appState().viewScr, 0);
    }
};

QTEST_MAIN(TestScriptFiles)
#include "tst_script_files.moc"
