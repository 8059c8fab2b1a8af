#include "fake_workspace.h"
#include "windows/boards/form_boards.h"
#include "windows/trend/form_trend.h"

#include <QApplication>
#include <QComboBox>
#include <QDialog>
#include <QLabel>
#include <QPushButton>
#include <QTableWidget>
#include <QTest>
#include <QTimer>

// The boards window and the trend window's board selector on a workspace of their own: every board with its state,
// one kept open from the keyboard and shown in the background, both in the trend.
class TestBoardsWindow : public QObject
{
    Q_OBJECT

    static QStringList column(formBoards *window, int column)
    {
        QStringList texts;
        for (int row = 0; row < window->table()->rowCount(); ++row)
            texts.append(window->table()->item(row, column)->text());
        return texts;
    }

private Q_SLOTS:
    void aBoardKeptOpenFromTheKeyboardGoesOnInTheBackground()
    {
        FakeWorkspace workspace({"A1B2", "C3D4"});
        BoardHost &host = workspace.host();
        host.select(0);
        host.foreground().setChannelTicked(1, true);
        host.foreground().setAnalogRequestsOn(true);
        formBoards *window = workspace.open<formBoards>();
        QTableWidget *table = window->table();
        QCOMPARE(table->accessibleName(), QStringLiteral("Boards"));
        QCOMPARE(table->accessibleDescription(), QStringLiteral("boardsTable"));
        QCOMPARE(column(window, formBoards::BoardColumn), QStringList({"A1B2", "C3D4"}));
        QCOMPARE(column(window, formBoards::StateColumn), QStringList({"open", ""}));

        table->setFocus();
        table->setCurrentCell(0, formBoards::KeptOpenColumn);
        QTest::keyClick(table, Qt::Key_Space);
        QVERIFY(host.isKeptOpen(QStringLiteral("A1B2")));
        QCOMPARE(table->item(0, formBoards::KeptOpenColumn)->checkState(), Qt::Checked);

        host.select(1);
        QCOMPARE(column(window, formBoards::StateColumn), QStringList({"open in the background", "open"}));
        workspace.driver.queue("adc 1 9\n");
        host.sessionOf(QStringLiteral("A1B2"))->poll();
        window->rescan();
        QVERIFY(!table->item(0, formBoards::LastReadingColumn)->text().isEmpty());
        QVERIFY(table->item(1, formBoards::LastReadingColumn)->text().isEmpty());

        // The trend shows the board the windows work on, and any other board it is asked for.
        formTrend *trend = workspace.open<formTrend>();
        QComboBox *boards = trend->boardChoice();
        QCOMPARE(boards->accessibleDescription(), QStringLiteral("board"));
        QCOMPARE(boards->count(), 2);
        QCOMPARE(trend->windowTitle(), QStringLiteral("Trend - C3D4"));
        trend->chooseBoard(QStringLiteral("A1B2"));
        QCOMPARE(boards->currentText(), QStringLiteral("A1B2"));
        QCOMPARE(trend->windowTitle(), QStringLiteral("Trend - A1B2"));
        QCOMPARE(trend->statistics()->item(0, formTrend::LastColumn)->text(), QStringLiteral("9"));

        // Kept open no longer (Space on any cell of the row): the board in the background is closed.
        table->setCurrentCell(0, formBoards::BoardColumn);
        QTest::keyClick(table, Qt::Key_Space);
        QCOMPARE(column(window, formBoards::StateColumn), QStringList({"", "open"}));
        QCOMPARE(trend->statusText(), QStringLiteral("No readings: no board open"));
    }

    // Channels… opens the dialog of the board selected, not the board the other windows work on.
    void channelsOfTheBoardSelected()
    {
        FakeWorkspace workspace({"A1B2", "C3D4"});
        workspace.host().select(0);
        formBoards *window = workspace.open<formBoards>();
        window->table()->setCurrentCell(1, formBoards::BoardColumn);
        QString title;
        QTimer::singleShot(0, [&title] {
            if (auto *dialog = qobject_cast<QDialog *>(QApplication::activeModalWidget())) {
                title = dialog->windowTitle();
                dialog->reject();
            }
        });
        window->findChild<QPushButton *>(QStringLiteral("channels"))->click();
        QCOMPARE(title, QStringLiteral("Channels of C3D4"));
    }

    void aBoardThatCannotBeKeptOpenIsSaid()
    {
        FakeWorkspace workspace({"A1B2"});
        workspace.driver.unopenable = {QStringLiteral("A1B2")};
        workspace.driver.openFailure = QStringLiteral("busy");
        formBoards *window = workspace.open<formBoards>();
        window->table()->item(0, formBoards::KeptOpenColumn)->setCheckState(Qt::Checked);
        QCOMPARE(window->message(), QStringLiteral("board A1B2 could not be opened: busy"));
        QCOMPARE(window->table()->item(0, formBoards::KeptOpenColumn)->checkState(), Qt::Unchecked);
        QVERIFY(!workspace.host().isKeptOpen(QStringLiteral("A1B2")));
    }
};

QTEST_MAIN(TestBoardsWindow)
#include "tst_boards_window.moc"
