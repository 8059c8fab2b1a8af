#include "windows/communications/log_view.h"

#include <QAccessible>
#include <QApplication>
#include <QClipboard>
#include <QContextMenuEvent>
#include <QFile>
#include <QMenu>
#include <QScrollBar>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

class TestLogView : public QObject
{
    Q_OBJECT

private:
    static void settle() { QCoreApplication::processEvents(); }

private Q_SLOTS:
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

    // Ctrl+A belongs to the main window's Save Script As, so the menu's Select All shows no shortcut.
    void contextMenuOffersSelectAllWithoutCtrlA()
    {
        LogView view;
        view.resize(300, 200);
        view.show();
        view.appendLine(QStringLiteral("x"));
        QString selectAll;
        QTimer::singleShot(0, [&selectAll] {
            if (auto *menu = qobject_cast<QMenu *>(QApplication::activePopupWidget())) {
                for (QAction *action : menu->actions()) {
                    if (action->text().contains(QStringLiteral("Select")))
                        selectAll = action->text() + u'|' + action->shortcut().toString();
                }
                menu->close();
            }
        });
        QContextMenuEvent event(QContextMenuEvent::Keyboard, QPoint(5, 5), view.mapToGlobal(QPoint(5, 5)));
        QCoreApplication::sendEvent(&view, &event);
        QCOMPARE(selectAll, QStringLiteral("Select &All|"));
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

    void assistiveTechnologyReadsTheLog()
    {
        LogView view;
        view.setAccessibleName(QStringLiteral("Communications log"));
        view.resize(300, 200);
        view.appendLine(QStringLiteral("Device selected : A1B2"));
        view.appendLine(QStringLiteral("received : ok led on"));
        view.appendLine(QString());
        QAccessibleInterface *log = QAccessible::queryAccessibleInterface(&view);
        QVERIFY(log);
        QCOMPARE(log->role(), QAccessible::EditableText);
        QVERIFY(log->state().readOnly && log->state().multiLine);
        QCOMPARE(log->text(QAccessible::Name), QStringLiteral("Communications log"));
        QAccessibleTextInterface *text = log->textInterface();
        QVERIFY(text);
        const QString all = QStringLiteral("Device selected : A1B2\nreceived : ok led on\n\n");
        QCOMPARE(text->characterCount(), all.size());
        QCOMPARE(text->text(0, text->characterCount()), all);
        QCOMPARE(log->text(QAccessible::Value), all);
        QCOMPARE(text->text(7, 15), QStringLiteral("selected"));

        int start = -1;
        int end = -1;
        QCOMPARE(text->textAtOffset(30, QAccessible::LineBoundary, &start, &end),
                 QStringLiteral("received : ok led on\n"));
        QCOMPARE(start, 23);
        QCOMPARE(end, 44);
        QCOMPARE(text->textAtOffset(38, QAccessible::WordBoundary, &start, &end), QStringLiteral("led"));
        QCOMPARE(text->textAfterOffset(30, QAccessible::LineBoundary, &start, &end), QStringLiteral("\n"));
        QCOMPARE(text->textBeforeOffset(30, QAccessible::LineBoundary, &start, &end),
                 QStringLiteral("Device selected : A1B2\n"));

        QCOMPARE(text->selectionCount(), 0);
        view.selectAll();
        QCOMPARE(text->selectionCount(), 1);
        text->selection(0, &start, &end);
        QCOMPARE(start, 0);
        QCOMPARE(end, 44); // up to the end of the last line's text
        text->setSelection(0, 7, 15);
        QCOMPARE(view.selectedText(), QStringLiteral("selected"));
        QCOMPARE(text->cursorPosition(), 15);
        QVERIFY(text->characterRect(0).isValid());
    }

    void assistiveTechnologyCountsAfterTheOldestLinesGo()
    {
        LogView view;
        for (qsizetype i = 0; i < LogView::kMaxLines + 5; ++i)
            view.appendLine(QString::number(i % 10));
        QAccessibleTextInterface *text = QAccessible::queryAccessibleInterface(&view)->textInterface();
        QCOMPARE(text->characterCount(), int(2 * LogView::kMaxLines));
        int start = -1;
        int end = -1;
        QCOMPARE(text->textAtOffset(0, QAccessible::LineBoundary, &start, &end), QStringLiteral("5\n"));
        QCOMPARE(text->text(text->characterCount() - 4, text->characterCount()), QStringLiteral("3\n4\n"));
    }

    void appendedTextIsAnnouncedOncePerHandler()
    {
        LogView view;
        QSignalSpy announced(&view, &LogView::linesAppended);
        view.appendLine(QStringLiteral("a"));
        view.appendLine(QStringLiteral("b"));
        view.appendLine(QStringLiteral("c"));
        settle();
        view.appendLine(QStringLiteral("d"));
        for (int i = 0; i < 10'000; ++i)
            view.appendLine(QStringLiteral("flood"));
        settle();
        QCOMPARE(announced.size(), 2);
        QCOMPARE(announced[0][0].toLongLong(), 0);
        QCOMPARE(announced[0][1].toString(), QStringLiteral("a\nb\nc\n"));
        QCOMPARE(announced[1][0].toLongLong(), 6);
        QVERIFY(announced[1][1].toString().startsWith(QStringLiteral("d\nflood\n")));
        QVERIFY(announced[1][1].toString().size() <= 4096 + 1);
    }
};

QTEST_MAIN(TestLogView)
#include "tst_log_view.moc"
