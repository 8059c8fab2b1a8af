#include "windows/communications/log_view.h"

#include <QApplication>
#include <QClipboard>
#include <QFile>
#include <QScrollBar>
#include <QTemporaryDir>
#include <QTest>

class TestLogView : public QObject
{
    Q_OBJECT

private:
    static void settle() { QCoreApplication::processEvents(); }

private Q_SLOTS:
    void textIsEveryLineWithCrLf()
    {
        LogView view;
        QCOMPARE(view.text(), QString());
        view.appendLine(QStringLiteral("a"));
        view.appendLine(QStringLiteral(""));
        view.appendLine(QStringLiteral("b"));
        QCOMPARE(view.text(), QStringLiteral("a\r\n\r\nb\r\n"));
        QCOMPARE(view.lineCount(), 3);
    }

    void keepsTheMostRecentLinesOnly()
    {
        LogView view;
        for (qsizetype i = 0; i < LogView::kMaxLines + 10; ++i)
            view.appendLine(QString::number(i));
        QCOMPARE(view.lineCount(), LogView::kMaxLines);
        QCOMPARE(view.line(0), QStringLiteral("10"));
        QCOMPARE(view.line(LogView::kMaxLines - 1), QString::number(LogView::kMaxLines + 9));
    }

    void keepsMemoryBoundedForEndlessLines()
    {
        LogView view;
        const QString piece(65536, u'x');
        const qsizetype fit = LogView::kMaxCharacters / piece.size();
        for (qsizetype i = 0; i < fit + 5; ++i)
            view.appendLine(piece + QString::number(i));
        QVERIFY(view.lineCount() < fit);
        QVERIFY(view.lineCount() > fit / 2);
        QCOMPARE(view.line(view.lineCount() - 1), piece + QString::number(fit + 4));
        // A single line larger than the whole bound is still kept: the newest line always stays.
        view.appendLine(QString(LogView::kMaxCharacters + 1, u'y'));
        QCOMPARE(view.lineCount(), 1);
    }

    void followsTheEndUntilScrolledAway()
    {
        LogView view;
        view.resize(300, 200);
        view.show();
        for (int i = 0; i < 100; ++i)
            view.appendLine(QString::number(i));
        settle();
        QScrollBar *bar = view.verticalScrollBar();
        QVERIFY(bar->maximum() > 0);
        QCOMPARE(bar->value(), bar->maximum());

        bar->setValue(10);
        QVERIFY(!view.isFollowingEnd());
        view.appendLine(QStringLiteral("more"));
        settle();
        QCOMPARE(bar->value(), 10);

        bar->setValue(bar->maximum());
        QVERIFY(view.isFollowingEnd());
        view.appendLine(QStringLiteral("again"));
        settle();
        QCOMPARE(bar->value(), bar->maximum());
    }

    void selectionAcrossLinesIsCopied()
    {
        LogView view;
        view.resize(400, 300);
        view.show();
        view.appendLine(QStringLiteral("first line"));
        view.appendLine(QStringLiteral("second line"));
        view.appendLine(QStringLiteral("third"));
        settle();
        const int h = view.fontMetrics().lineSpacing();
        const auto x = [&](const char *text) {
            return 3 + view.fontMetrics().horizontalAdvance(QString::fromLatin1(text));
        };
        QWidget *viewport = view.viewport();
        QTest::mousePress(viewport, Qt::LeftButton, {}, QPoint(x("first "), h / 2));
        QTest::mouseMove(viewport, QPoint(x("second"), h + h / 2));
        QTest::mouseRelease(viewport, Qt::LeftButton, {}, QPoint(x("second"), h + h / 2));
        QCOMPARE(view.selectedText(), QStringLiteral("line\nsecond"));
        view.copy();
        QCOMPARE(QGuiApplication::clipboard()->text(), QStringLiteral("line\nsecond"));

        view.selectAll();
        QCOMPARE(view.selectedText(), QStringLiteral("first line\nsecond line\nthird"));
    }

    void savesEveryLine()
    {
        QTemporaryDir dir;
        LogView view;
        view.appendLine(QStringLiteral("a"));
        view.appendLine(QStringLiteral("received : \u00E9"));
        QString error;
        QVERIFY(view.saveTo(dir.filePath(QStringLiteral("log.txt")), &error));
        QFile file(dir.filePath(QStringLiteral("log.txt")));
        QVERIFY(file.open(QIODevice::ReadOnly));
        QCOMPARE(file.readAll(), QByteArray("a\r\nreceived : \xC3\xA9\r\n"));
        QVERIFY(!view.saveTo(dir.filePath(QStringLiteral("missing/log.txt")), &error));
        QVERIFY(!error.isEmpty());
    }
};

QTEST_MAIN(TestLogView)
#include "tst_log_view.moc"
