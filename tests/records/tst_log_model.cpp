#include "records/log_model.h"

#include <QTest>

// The log's lines without a widget: the ring's bounds, and the offsets and positions that address it.
class TestLogModel : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void textIsEveryLineWithCrLf()
    {
        LogModel view;
        QCOMPARE(view.text(), QString());
        view.append(QStringLiteral("a"));
        view.append(QStringLiteral(""));
        view.append(QStringLiteral("b"));
        QCOMPARE(view.text(), QStringLiteral("a\r\n\r\nb\r\n"));
        QCOMPARE(view.lineCount(), 3);
    }

    void keepsTheMostRecentLinesOnly()
    {
        LogModel view;
        for (qsizetype i = 0; i < LogModel::kMaxLines + 10; ++i)
            view.append(QString::number(i));
        QCOMPARE(view.lineCount(), LogModel::kMaxLines);
        QCOMPARE(view.line(0), QStringLiteral("10"));
        QCOMPARE(view.line(LogModel::kMaxLines - 1), QString::number(LogModel::kMaxLines + 9));
    }

    void keepsMemoryBoundedForEndlessLines()
    {
        LogModel view;
        const QString piece(65536, u'x');
        const qsizetype fit = LogModel::kMaxCharacters / piece.size();
        for (qsizetype i = 0; i < fit + 5; ++i)
            view.append(piece + QString::number(i));
        QVERIFY(view.lineCount() < fit);
        QVERIFY(view.lineCount() > fit / 2);
        QCOMPARE(view.line(view.lineCount() - 1), piece + QString::number(fit + 4));
        // A single line larger than the whole bound is still kept: the newest line always stays.
        view.append(QString(LogModel::kMaxCharacters + 1, u'y'));
        QCOMPARE(view.lineCount(), 1);
    }

    void offsetsAndPositionsSurviveDroppedLines()
    {
        LogModel model(3, 1000);
        for (const char *line : {"zero", "one", "two", "three"})
            model.append(QString::fromLatin1(line));
        // "zero" went; offsets count from "one", each line followed by one '\n'.
        QCOMPARE(model.firstKeptLine(), 1);
        QCOMPARE(model.characterCount(), qint64(4 + 4 + 6));
        qint64 start = -1;
        QCOMPARE(model.lineAtOffset(5, &start), 1);
        QCOMPARE(start, 4);
        QCOMPARE(model.lineAtOffset(model.characterCount()), -1);
        QCOMPARE(model.textBetween(2, 6), QStringLiteral("e\ntw"));
        const LogModel::Position twoAt1{2, 1};
        QCOMPARE(model.offsetOf(twoAt1), 5);
        QCOMPARE(model.positionOfOffset(5), twoAt1);
        // A selection from a dropped line is cut to what is kept.
        QCOMPARE(model.textBetween(LogModel::Position{0, 2}, LogModel::Position{2, 2}), QStringLiteral("one\ntw"));
        model.append(QStringLiteral("four"));
        QCOMPARE(model.offsetOf(twoAt1), 1); // the same place, now in the oldest kept line
        QCOMPARE(model.end(), (LogModel::Position{4, 4}));
    }
};

QTEST_GUILESS_MAIN(TestLogModel)
#include "tst_log_model.moc"
