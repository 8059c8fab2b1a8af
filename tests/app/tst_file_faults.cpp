#include "file_helpers.h"
#include "files/file_saving.h"
#include "files/script_file.h"
#include "host/program_journal.h"
#include "program.h"
#include "records/journal.h"

#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QRegularExpression>

#include <csignal>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

// Files that cannot be written or should not be read: scripts say so and lose nothing, the layout goes on
// quietly at shutdown, and no file makes the program crash or hang.
class TestFileFaults : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void scriptSavesThatFailSayWhyAndKeepTheFile_data()
    {
        QTest::addColumn<QString>("target"); // relative to the test's directory when not absolute
        QTest::addColumn<bool>("fullDisk");
        QTest::newRow("folder that does not exist") << QStringLiteral("no/such/folder/s.txt") << false;
        QTest::newRow("full disk") << QStringLiteral("s.txt") << true;
#ifdef Q_OS_LINUX
        QTest::newRow("place where no file can be made") << QStringLiteral("/proc/vantrel-script.txt") << false;
        QTest::newRow("device that is always full") << QStringLiteral("/dev/full") << false;
#endif
    }

    void scriptSavesThatFailSayWhyAndKeepTheFile()
    {
        QFETCH(QString, target);
        QFETCH(bool, fullDisk);
        Program program;
        const QString path = QDir(program.directory.path()).absoluteFilePath(target);
        const bool existing = QFileInfo(path).dir().exists() && !target.startsWith(u'/');
        if (existing)
            writeFile(path, "kept\r\nbytes\xFF");
        program.main->view<formScripting>()->setText(QStringLiteral("a much longer new script\nthan what was there"));
        program.dialogs.fileNames = {path};
        {
            std::unique_ptr<FullDisk> full(fullDisk ? new FullDisk : nullptr);
            program.main->saveAs_Click();
        }
        QCOMPARE(program.dialogs.warnings.size(), 1);
        QVERIFY(program.dialogs.warnings[0].contains(QDir::toNativeSeparators(path)));
        QVERIFY(program.main->appState().scriptChanged);
        if (existing)
            QCOMPARE(readFile(path), QByteArray("kept\r\nbytes\xFF"));
        // A device stays a device: the save must not put a file in its place.
        if (target.startsWith(QLatin1String("/dev/")))
            QVERIFY(!QFileInfo(target).isFile());
        // Nothing half-written is left beside it.
        QCOMPARE(QDir(program.directory.path()).entryList(QDir::Files).size(), existing ? 1 : 0);
    }

#ifdef Q_OS_UNIX
    // A folder that lets its files be rewritten but takes no new file (no write permission on the folder). Root
    // is not held back by permissions, so as root the save runs in a child process that has dropped to nobody.
    void aFolderThatTakesNoNewFileStillLetsTheFileBeSaved()
    {
        QTemporaryDir directory;
        QVERIFY(::chmod(QFile::encodeName(directory.path()).constData(), 0755) == 0);
        const QString folder = directory.filePath(QStringLiteral("locked"));
        QVERIFY(QDir().mkdir(folder));
        const QString path = folder + QStringLiteral("/script.txt");
        writeFile(path, "old text");
        QVERIFY(::chmod(QFile::encodeName(path).constData(), 0666) == 0);
        QVERIFY(::chmod(QFile::encodeName(folder).constData(), 0555) == 0);
        const auto save = [&path] {
            return saveFileAtomically(path, QByteArray("new text\r\n"));
        };
        if (::geteuid() == 0) {
            const pid_t child = ::fork();
            if (child == 0) {
                const bool dropped = ::setgid(65534) == 0 && ::setuid(65534) == 0;
                ::_exit(dropped && !save() ? 0 : 1);
            }
            int status = -1;
            ::waitpid(child, &status, 0);
            QVERIFY(WIFEXITED(status) && WEXITSTATUS(status) == 0);
        } else {
            QCOMPARE(save(), std::nullopt);
        }
        QCOMPARE(readFile(path), QByteArray("new text\r\n"));
        QCOMPARE(QDir(folder).entryList(QDir::Files), QStringList{"script.txt"});
        ::chmod(QFile::encodeName(folder).constData(), 0755);
    }
#endif

    // A folder that permits no new entry at all (EPERM: immutable, some network shares) lets its file be rewritten in
    // place; a rewrite that fails part way (a full disk) puts the old content back.
    void anImmutableFolderStillLetsTheFileBeSaved_data()
    {
        QTest::addColumn<bool>("fullDisk");
        QTest::newRow("saved") << false;
        QTest::newRow("disk full part way") << true;
    }

    void anImmutableFolderStillLetsTheFileBeSaved()
    {
        QFETCH(bool, fullDisk);
        if (::geteuid() != 0)
            QSKIP("making a folder immutable (chattr +i) needs root");
        QTemporaryDir directory;
        const QString path = directory.filePath(QStringLiteral("script.txt"));
        writeFile(path, "old text");
        const auto chattr = [&directory](const char *flag) {
            return QProcess::execute(QStringLiteral("chattr"), {QString::fromLatin1(flag), directory.path()}) == 0;
        };
        if (!chattr("+i"))
            QSKIP("this file system or machine cannot make a folder immutable (chattr +i)");
        std::optional<QString> failure;
        {
            std::unique_ptr<FullDisk> full(fullDisk ? new FullDisk(12) : nullptr);
            failure = saveFileAtomically(path, QByteArray("a much longer new text\r\n"));
        }
        const QStringList entries = QDir(directory.path()).entryList(QDir::Files | QDir::Hidden);
        QVERIFY(chattr("-i"));
        QCOMPARE(failure.has_value(), fullDisk);
        QCOMPARE(readFile(path), fullDisk ? QByteArray("old text") : QByteArray("a much longer new text\r\n"));
        QCOMPARE(entries, QStringList{"script.txt"});
    }

    void layoutThatCannotBeWrittenDoesNotStopTheShutdown()
    {
        Program program({"A1B2"});
        program.com()->DevicesList()->setCurrentRow(0);
        program.com()->DevicesList_Click();
        const QString layout = program.path(QStringLiteral("database.ini"));
        writeFile(layout, "viewCom 1\r\n");
        {
            FullDisk full;
            // One warning naming the file; the shutdown goes on.
            QTest::ignoreMessage(QtWarningMsg,
                                 QRegularExpression(QStringLiteral("^the window layout could not be saved to .*"
                                                                   "database.ini: ")));
            QVERIFY(program.main->close());
        }
        QCOMPARE(readFile(layout), QByteArray("viewCom 1\r\n"));
        QCOMPARE(program.driver.count(DriverCall::Close), 1);
        QCOMPARE(program.main->appState().viewCom, 0);
        // The operator is told which file and why.
        QCOMPARE(program.dialogs.warnings.size(), 1);
        QVERIFY(program.dialogs.warnings[0].startsWith(QStringLiteral("The window layout could not be saved to \"")));
        QVERIFY(program.dialogs.warnings[0].contains(QStringLiteral("database.ini\"")));
    }

    // A full disk stops the journal with one line in the log and the status bar; the board is read on.
    void aJournalThatCannotBeWrittenStopsOnce()
    {
        Program program({"A1B2"});
        QTemporaryDir folder;
        setUpProgramJournal(program.main->host(), folder.path(), true);
        program.com()->DevicesList()->setCurrentRow(0);
        program.com()->DevicesList_Click();
        Journal *journal = program.main->host().journal();
        journal->flush();
        {
            FullDisk full(
                QFileInfo(folder.path() + "/A1B2/" + QDate::currentDate().toString(Qt::ISODate) + ".jsonl").size() +
                10);
            program.driver.queue("a line that does not fit in the journal\n");
            program.com()->TimerBackgound_Timer();
            journal->flush();
        }
        QTRY_VERIFY(program.log().contains(QStringLiteral("Journal stopped : ")));
        QCOMPARE(program.log().count(QStringLiteral("Journal stopped : ")), 1);
        QVERIFY(program.main->statusText().startsWith(QStringLiteral("Journal stopped : ")));
        QVERIFY(!program.main->host().isJournalKept());
        program.driver.queue("still read\n");
        program.com()->TimerBackgound_Timer();
        QVERIFY(program.log().endsWith(QStringLiteral("received : still read\r\n\r\n")));
    }

    void layoutInAFolderThatWentAway()
    {
        Program program;
        const QString folder = program.directory.path() + QStringLiteral("/gone");
        QDir().mkdir(folder);
        QDir::setCurrent(folder);
        program.main.reset();
        program.start();
        QDir::setCurrent(program.directory.path());
        QVERIFY(QDir(folder).removeRecursively());
        QVERIFY(program.main->close());
        QVERIFY(!QFile::exists(folder));
    }

    void filesThatAreNotScripts_data()
    {
        QTest::addColumn<QString>("kind");
        QTest::newRow("folder") << QStringLiteral("folder");
        QTest::newRow("pipe") << QStringLiteral("pipe");
        QTest::newRow("50 MB") << QStringLiteral("big");
    }

    void filesThatAreNotScripts()
    {
        QFETCH(QString, kind);
        Program program;
        const QString path = program.path(kind);
        if (kind == QLatin1String("folder"))
            QDir().mkdir(path);
        else if (kind == QLatin1String("pipe"))
            QCOMPARE(::mkfifo(QFile::encodeName(path).constData(), 0600), 0); // reading it would wait forever
        else
            writeFile(path, QByteArray(50 * 1024 * 1024, 'x'));
        program.main->view<formScripting>()->setText(QStringLiteral("mine"));
        program.dialogs.fileNames = {path};
        program.dialogs.answers = {Dialogs::Answer::No};
        program.main->openScript_Click();
        QCOMPARE(program.dialogs.warnings.size(), 1);
        QCOMPARE(program.main->view<formScripting>()->text(), QStringLiteral("mine"));
        QCOMPARE(program.main->view<formScripting>()->windowTitle(), QStringLiteral("Untitled.txt"));
    }

    void unreadableFileSaysWhy()
    {
        if (::geteuid() == 0)
            QSKIP("root reads files whatever their permissions");
        Program program;
        const QString path = program.path(QStringLiteral("secret.txt"));
        writeFile(path, "x");
        QFile::setPermissions(path, {});
        program.dialogs.fileNames = {path};
        program.main->openScript_Click();
        QCOMPARE(program.dialogs.warnings.size(), 1);
    }

    void zeroBytesAndLongLinesOpen()
    {
        Program program;
        const QString path = program.path(QStringLiteral("odd.txt"));
        QByteArray bytes("a\0b\r\n", 5);
        bytes += QByteArray(3 * 1024 * 1024, 'x');
        writeFile(path, bytes);
        program.dialogs.fileNames = {path};
        program.main->openScript_Click();
        QVERIFY(program.dialogs.warnings.isEmpty());
        const QString text = program.main->view<formScripting>()->text();
        QCOMPARE(text.left(4), QString::fromLatin1("a\0b\n", 4));
        QCOMPARE(text.size(), 4 + 3 * 1024 * 1024);
        QCOMPARE(scriptFileBytes(text), bytes);
    }
};

QTEST_MAIN(TestFileFaults)
#include "tst_file_faults.moc"
