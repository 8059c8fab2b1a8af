#include "fake_workspace.h"
#include "file_helpers.h"
#include "windows/scripting/form_scripting.h"
#include "windows/scripting/script_box.h"
#include "windows/twips.h"

#include <QFile>
#include <QTest>

// The script editor window on a workspace of its own: change tracking, the close prompt and its answers, the margins
// on resize.
class TestScriptingWindow : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void typingMarksTheScriptChanged()
    {
        FakeWorkspace workspace;
        formScripting *editor = workspace.open<formScripting>();
        QCOMPARE(editor->windowTitle(), QStringLiteral("Untitled.txt"));
        QVERIFY(!workspace.appState().scriptChanged);
        QTest::keyClicks(editor->scriptBox(), QStringLiteral("x"));
        QVERIFY(workspace.appState().scriptChanged);
    }

    void closePromptNoClosesWithoutWriting()
    {
        FakeWorkspace workspace;
        formScripting *editor = workspace.open<formScripting>();
        QTest::keyClicks(editor->scriptBox(), QStringLiteral("x"));
        workspace.scripted.answers = {Dialogs::Answer::No};
        QVERIFY(editor->close());
        QCOMPARE(workspace.scripted.saveQuestions, 1);
        QVERIFY(!workspace.appState().scriptChanged);
        QVERIFY(!QFile::exists(workspace.path(QStringLiteral("Untitled.txt"))));
        QCOMPARE(workspace.closed, QStringList{"scripting"});
    }

    void closePromptYesWritesTheCaptionsFile()
    {
        FakeWorkspace workspace;
        formScripting *editor = workspace.open<formScripting>();
        QTest::keyClicks(editor->scriptBox(), QStringLiteral("pin  1 output"));
        QTest::keyClick(editor->scriptBox(), Qt::Key_Return);
        QTest::keyClicks(editor->scriptBox(), QStringLiteral("id"));
        workspace.scripted.answers = {Dialogs::Answer::Yes};
        QVERIFY(editor->close());
        QCOMPARE(readFile(workspace.path(QStringLiteral("Untitled.txt"))), QByteArray("pin  1 output\r\nid"));
        QVERIFY(!workspace.appState().scriptChanged);
    }

    void closePromptCancelKeepsEverything()
    {
        FakeWorkspace workspace;
        formScripting *editor = workspace.open<formScripting>();
        QTest::keyClicks(editor->scriptBox(), QStringLiteral("x"));
        workspace.scripted.answers = {Dialogs::Answer::Cancel};
        QVERIFY(!editor->close());
        QVERIFY(editor->isVisible());
        QVERIFY(workspace.closed.isEmpty()); // its View item and flag as they were
        QVERIFY(workspace.appState().scriptChanged);
        QVERIFY(!editor->close()); // asks again
        QCOMPARE(workspace.scripted.saveQuestions, 2);
    }

    void unchangedScriptClosesWithoutAsking()
    {
        FakeWorkspace workspace;
        QVERIFY(workspace.open<formScripting>()->close());
        QCOMPARE(workspace.scripted.saveQuestions, 0);
    }

    void failedSaveOnCloseKeepsTheWindowAndText()
    {
        FakeWorkspace workspace;
        formScripting *editor = workspace.open<formScripting>();
        const QString unwritable = workspace.path(QStringLiteral("no/such/folder/script.txt"));
        editor->setWindowTitle(unwritable);
        QTest::keyClicks(editor->scriptBox(), QStringLiteral("precious"));
        workspace.scripted.answers = {Dialogs::Answer::Yes};
        QVERIFY(!editor->close());
        QCOMPARE(workspace.scripted.warnings.size(), 1);
        QVERIFY(workspace.scripted.warnings[0].contains(QDir::toNativeSeparators(unwritable)));
        QCOMPARE(editor->text(), QStringLiteral("precious"));
        QVERIFY(workspace.appState().scriptChanged);
        QVERIFY(workspace.closed.isEmpty());
    }

    void marginsFollowTheWindowSize()
    {
        FakeWorkspace workspace;
        formScripting *editor = workspace.open<formScripting>();
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
        FakeWorkspace workspace;
        formScripting *editor = workspace.open<formScripting>();
        const QString text = QStringLiteral("a\u00A0b\tc\nd");
        editor->setText(text);
        QCOMPARE(editor->text(), text);
    }
};

QTEST_MAIN(TestScriptingWindow)
#include "tst_scripting_window.moc"
