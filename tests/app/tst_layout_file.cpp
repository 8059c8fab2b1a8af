#include "app/layout_file.h"

#include "file_helpers.h"
#include "program.h"
#include "windows/boards/form_boards.h"
#include "windows/test_plan/form_test_plan.h"
#include "windows/trend/form_trend.h"
#include "windows/twips.h"

#include <QMenuBar>

#include <QFile>

// The layout file: the reader, the writer, and a restart that finds the windows where they were.
class TestLayoutFile : public QObject
{
    Q_OBJECT

private:
    // A program started over the given layout file.
    static std::unique_ptr<Program> startWith(const QByteArray &layout)
    {
        auto program = std::make_unique<Program>(QStringList(), false);
        writeFile(program->path(QStringLiteral("database.ini")), layout);
        program->start();
        return program;
    }

    static QList<int> flags(const Program &program)
    {
        const AppState &s = program.main->appState();
        return {s.viewCom, s.viewDig, s.viewAna, s.viewScr};
    }

private Q_SLOTS:
    void entries_data()
    {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<QStringList>("expected"); // key=value
        QTest::newRow("CR LF lines") << QByteArray("mainTop 500\r\nviewCom 1\r\n")
                                     << QStringList{"mainTop=500", "viewCom=1"};
        QTest::newRow("CR alone and LF alone") << QByteArray("a 1\rb 2\nc 3") << QStringList{"a=1", "b=2", "c=3"};
        QTest::newRow("two spaces give an empty value") << QByteArray("mainTop  500\r\n") << QStringList{"mainTop=0"};
        QTest::newRow("trailing letters") << QByteArray("mainTop 500abc\r\n") << QStringList{"mainTop=500"};
        QTest::newRow("third token ignored") << QByteArray("mainTop 500 700\r\n") << QStringList{"mainTop=500"};
        QTest::newRow("fractions and signs")
            << QByteArray("a -0.5\r\nb +2.25\r\nc .5\r\nd -\r\n") << QStringList{"a=-0.5", "b=2.25", "c=0.5", "d=0"};
        QTest::newRow("no exponent") << QByteArray("a 1e3\r\n") << QStringList{"a=1"};
        QTest::newRow("blank lines and lines without a space")
            << QByteArray("\r\n\r\nnospace\r\nviewAna 1\r\n") << QStringList{"viewAna=1"};
        QTest::newRow("empty file") << QByteArray() << QStringList();
    }

    void entries()
    {
        QFETCH(QByteArray, bytes);
        QFETCH(QStringList, expected);
        QStringList seen;
        for (const LayoutEntry &entry : readLayoutEntries(bytes))
            seen.append(QString::fromLatin1(entry.key) + u'=' + QString::number(entry.value));
        QCOMPARE(seen, expected);
    }

    void writerWritesTheEighteenLinesByteForByte()
    {
        Program program;
        formMain *main = program.main.get();
        main->setGeometry(150, 90, 800, 600);
        main->subWindowOf(main->view<formCommunications>())->move(2, 4);
        main->subWindowOf(main->view<formDigitalPins>())->move(20, 40);
        main->viewToggle(formDigitalPins::kView); // hidden: flag 0, position kept
        main->subWindowOf(main->view<formAnalogLevels>())->close();
        main->subWindowOf(main->view<formScripting>())->setGeometry(100, 200, 300, 150);
        for (View view : {formTrend::kView, formTestPlan::kView, formBoards::kView})
            main->viewToggle(view); // shown, yet not in the file
        QVERIFY(main->close());

        const auto t = [](int pixels) {
            return QByteArray::number(pixelsToTwips(pixels));
        };
        const QRect frame = main->frameGeometry();
        const QByteArray expected =
            "mainTop " + t(frame.y()) + "\r\nmainLeft " + t(frame.x()) + "\r\nmainWidth " + t(frame.width()) +
            "\r\nmainHeight " + t(frame.height()) + "\r\nviewCom 1\r\ncomTop " + t(4) + "\r\ncomLeft " + t(2) +
            "\r\nviewDig 0\r\ndigTop " + t(40) + "\r\ndigLeft " + t(20) +
            "\r\nviewAna 0\r\nanaTop 0\r\nanaLeft 0\r\nviewScr 1\r\nscrTop " + t(200) + "\r\nscrLeft " + t(100) +
            "\r\nscrWidth " + t(300) + "\r\nscrHeight " + t(150) + "\r\n";
        QCOMPARE(readFile(program.path(QStringLiteral("database.ini"))), expected);
    }

    void negativePositionsAreWrittenWithAMinus()
    {
        Program program;
        program.main->subWindowOf(program.main->view<formCommunications>())->move(-30, -45);
        QVERIFY(program.main->close());
        const QByteArray bytes = readFile(program.path(QStringLiteral("database.ini")));
        QVERIFY(bytes.contains("\r\ncomTop -" + QByteArray::number(pixelsToTwips(45)) + "\r\n"));
        QVERIFY(bytes.contains("\r\ncomLeft -" + QByteArray::number(pixelsToTwips(30)) + "\r\n"));
    }

    void restartRestoresTheLayout()
    {
        QByteArray saved;
        QRect mainFrame;
        QPoint comAt;
        QRect editor;
        {
            Program program;
            formMain *main = program.main.get();
            main->setGeometry(60, 45, 900, 640);
            main->subWindowOf(main->view<formCommunications>())->move(30, 15);
            main->subWindowOf(main->view<formAnalogLevels>())->close();
            main->subWindowOf(main->view<formScripting>())->setGeometry(300, 90, 240, 180);
            comAt = main->subWindowOf(main->view<formCommunications>())->pos();
            editor = main->subWindowOf(main->view<formScripting>())->geometry();
            mainFrame = main->frameGeometry();
            QVERIFY(main->close());
            saved = readFile(program.path(QStringLiteral("database.ini")));
        }
        auto program = startWith(saved);
        formMain *main = program->main.get();
        QCOMPARE(main->frameGeometry(), mainFrame);
        QCOMPARE(flags(*program), QList<int>({1, 1, 0, 1}));
        QVERIFY(!main->existingView<formAnalogLevels>());
        QVERIFY(!main->isViewChecked(formAnalogLevels::kView));
        QVERIFY(main->isViewChecked(formScripting::kView));
        QCOMPARE(main->subWindowOf(main->view<formCommunications>())->pos(), comAt);
        QCOMPARE(main->subWindowOf(main->view<formScripting>())->geometry(), editor);
    }

    // A damaged file cannot put a window where it cannot be reached; a window in reach stays where it was put.
    void windowsOutOfReachComeBack()
    {
        auto program = startWith("viewCom 1\r\ncomTop -50000\r\ncomLeft 300000\r\n"
                                 "viewDig 1\r\ndigTop 300\r\ndigLeft 450\r\n");
        formMain *main = program->main.get();
        QMdiSubWindow *com = main->subWindowOf(main->view<formCommunications>());
        // Its title bar's top edge and at least 40 pixels of it inside the workspace.
        QTRY_VERIFY(com->y() >= 0);
        const QRect workspace = main->mdiArea()->viewport()->rect();
        QVERIFY(com->y() < workspace.height());
        QVERIFY(com->x() + 40 <= workspace.width());
        QCOMPARE(main->subWindowOf(main->view<formDigitalPins>())->pos(),
                 QPoint(twipsToPixels(450), twipsToPixels(300)));
    }

    void emptyFileOpensNothing()
    {
        auto program = startWith(QByteArray());
        formMain *main = program->main.get();
        QVERIFY(main->mdiArea()->subWindowList().isEmpty());
        QCOMPARE(flags(*program), QList<int>({0, 0, 0, 0}));
        QCOMPARE(main->size() - QSize(0, main->menuBar()->height()), twipsSize(12435, 8895));
        QCOMPARE(main->statusText(), QStringLiteral("Device selected : -none-"));
        QVERIFY(main->close());
        QCOMPARE(readFile(program->path(QStringLiteral("database.ini"))).count("\r\n"), 18);
    }

    void positionBeforeItsViewLineIsIgnored()
    {
        auto program = startWith("anaTop 3000\r\nviewAna 1\r\nviewDig 1\r\ndigTop 300\r\ndigLeft 600\r\n");
        formMain *main = program->main.get();
        QCOMPARE(flags(*program), QList<int>({0, 1, 1, 0}));
        QVERIFY(main->subWindowOf(main->view<formAnalogLevels>())->y() != twipsToPixels(3000));
        QCOMPARE(main->subWindowOf(main->view<formDigitalPins>())->pos(), twipsPoint(600, 300));
    }

    void viewValues_data()
    {
        QTest::addColumn<QByteArray>("value");
        QTest::addColumn<bool>("opens");
        QTest::newRow("2") << QByteArray("2") << true;
        QTest::newRow("0.5") << QByteArray("0.5") << true;
        QTest::newRow("0") << QByteArray("0") << false;
        QTest::newRow("-1") << QByteArray("-1") << false;
        QTest::newRow("word") << QByteArray("yes") << false;
    }

    void viewValues()
    {
        QFETCH(QByteArray, value);
        QFETCH(bool, opens);
        auto program = startWith("viewScr " + value + "\r\n");
        QCOMPARE(program->main->existingView<formScripting>() != nullptr, opens);
        QCOMPARE(program->main->isViewChecked(formScripting::kView), opens);
    }

    void odditiesOfTheReader()
    {
        auto program = startWith("MainTop 900\r\nmainLeft 500abc\r\nmainTop  500\r\nviewCom 1\r\nviewCom 0\r\n"
                                 "\r\ngarbage\r\nmainWidth 0\r\nmainHeight -300\r\nviewDig 1 x\r\n");
        formMain *main = program->main.get();
        QCOMPARE(main->frameGeometry().topLeft(), QPoint(twipsToPixels(500), 0));
        // Sizes of 0 and less are refused.
        QCOMPARE(main->size() - QSize(0, main->menuBar()->height()), twipsSize(12435, 8895));
        QCOMPARE(flags(*program), QList<int>({1, 1, 0, 0})); // no line sets a flag back to 0
    }

    void hiddenWindowIsWrittenClosedAndStaysClosed()
    {
        QByteArray saved;
        {
            Program program;
            program.main->viewToggle(formDigitalPins::kView);
            QVERIFY(program.main->close());
            saved = readFile(program.path(QStringLiteral("database.ini")));
        }
        QVERIFY(saved.contains("\r\nviewDig 0\r\n"));
        auto program = startWith(saved);
        QVERIFY(!program->main->existingView<formDigitalPins>());
        QCOMPARE(flags(*program), QList<int>({1, 0, 1, 1}));
    }

    void folderNamedLikeTheFileCountsAsNoFile()
    {
        Program program(QStringList(), false);
        QVERIFY(QDir(program.directory.path()).mkdir(QStringLiteral("database.ini")));
        program.start();
        QCOMPARE(flags(program), QList<int>({1, 1, 1, 1}));
        QVERIFY(program.main->close()); // the layout cannot be written; the close goes on
        QVERIFY(!program.main->isVisible());
    }
};

QTEST_MAIN(TestLayoutFile)
#include "tst_layout_file.moc"
