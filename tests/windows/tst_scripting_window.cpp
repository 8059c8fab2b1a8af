#include "file_helpers.h"
#include "program.h"
#include "windows/scripting/form_scripting.h"
#include "windows/scripting/script_box.h"
#include "windows/twips.h"

#include <QFile>

// The script editor window: change tracking, the close prompt and its answers, the margins on resize.
class TestScriptingWindow : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void typingMarksTheScriptChanged()
    {
        Program program;
        formScripting *editor = program.main->view<formScripting>();
        QCOMPARE(editor->windowTitle(), QStringLiteral("Untitled.txt"));
        QVERIFY(!program.main->appState().scriptChanged);
        QTest::keyClicks(editor->scriptBox(), QStringLiteral("x"));
        QVERIFY(program.main->appState().scriptChanged);
    }

    void closePromptNoClosesWithoutWriting()
    {
        Program program;
        formScripting *editor = program.main->view<formScripting>();
        QTest::keyClicks(editor->scriptBox(), QStringLiteral("x"));
        program.dialogs.answers = {Dialogs::Answer::No};
        QVERIFY(program.main->subWindowOf(editor)->close());
        QCOMPARE(program.dialogs.saveQuestions, 1);
        QVERIFY(!program.main->appState().scriptChanged);
        QVERIFY(!QFile::exists(program.path(QStringLiteral("Untitled.txt"))));
        QVERIFY(!program.main->isViewChecked(formScripting::kView));
        QCOMPARE(program.main->appState().viewScr, 0);
    }

    void closePromptYesWritesTheCaptionsFile()
    {
        Program program;
        formScripting *editor = program.main->view<formScripting>();
        QTest::keyClicks(editor->scriptBox(), QStringLiteral("pin  1 output"));
        QTest::keyClick(editor->scriptBox(), Qt::Key_Return);
        QTest::keyClicks(editor->scriptBox(), QStringLiteral("id"));
        program.dialogs.answers = {Dialogs::Answer::Yes};
        QVERIFY(program.main->subWindowOf(editor)->close());
        QCOMPARE(readFile(program.path(QStringLiteral("Untitled.txt"))), QByteArray("pin  1 output\r\nid"));
        QVERIFY(!program.main->appState().scriptChanged);
    }

    void closePromptCancelKeepsEverything()
    {
        Program program;
        formScripting *editor = program.main->view<formScripting>();
        QTest::keyClicks(editor->scriptBox(), QStringLiteral("x"));
        program.dialogs.answers = {Dialogs::Answer::Cancel};
        QVERIFY(!program.main->subWindowOf(editor)->close());
        QVERIFY(editor->isVisible());
        QVERIFY(program.main->isViewChecked(formScripting::kView));
        QCOMPARE(program.main->appState().viewScr, 1);
        QVERIFY(program.main->appState().scriptChanged);
        QVERIFY(!program.main->subWindowOf(editor)->close()); // asks again
        QCOMPARE(program.dialogs.saveQuestions, 2);
    }

    void unchangedScriptClosesWithoutAsking()
    {
        Program program;
        QVERIFY(program.main->subWindowOf(program.main->view<formScripting>())->close());
        QCOMPARE(program.dialogs.saveQuestions, 0);
    }

    void failedSaveOnCloseKeepsTheWindowAndText()
    {
        Program program;
        formScripting *editor = program.main->view<formScripting>();
        const QString unwritable = program.path(QStringLiteral("no/such/folder/script.txt"));
        editor->setWindowTitle(unwritable);
        QTest::keyClicks(editor->scriptBox(), QStringLiteral("precious"));
        program.dialogs.answers = {Dialogs::Answer::Yes};
        QVERIFY(!program.main->subWindowOf(editor)->close());
        QCOMPARE(program.dialogs.warnings.size(), 1);
        QVERIFY(program.dialogs.warnings[0].contains(QDir::toNativeSeparators(unwritable)));
        QCOMPARE(editor->text(), QStringLiteral("precious"));
        QVERIFY(program.main->appState().scriptChanged);
        QVERIFY(program.main->isViewChecked(formScripting::kView));
    }

    void marginsFollowTheWindowSize()
    {
        Program program;
        formScripting *editor = program.main->view<formScripting>();
        const int margin = twipsToPixels(100);
        editor->resize(300, 200);
        QCOMPARE(editor->scriptBox()->geometry(), QRect(margin, margin, 300 - 2 * margin, 200 - 2 * margin));
        QCOMPARE(editor->scriptBox()->rightMargin(), 300 - 2 * margin - twipsToPixels(400));

        // Smaller than the margins: the editor stays as it was.
        const QRect before = editor->scriptBox()->geometry();
        editor->setMinimumSize(0, 0);
        editor->resize(2 * margin - 1, 150);
        QCOMPARE(editor->scriptBox()->geometry(), before);
    }

    void textKeepsEveryCharacter()
    {
        Program program;
        formScripting *editor = program.main->view<formScripting>();
        const QString text = QStringLiteral("a\u00A0b\tc\nd");
        editor->setText(text);
        QCOMPARE(editor->text(), text);
    }
};

QTEST_MAIN(TestScriptingWindow)
#include "tst_scripting_window.moc"
