#pragma once

#include "windows/child_window.h"

#include <QTimer>

class QLabel;
class QPushButton;
class QTableWidget;
class QTableWidgetItem;

// The boards window: every attached board and every board open here, with its state (open, open in the background,
// held remotely by another program, lost), when it last gave a reading, and whether it is kept open (a check box per
// board: kept open, it stays open in the background with its poll, journal and trend when the communications window
// selects another board). Channels… edits the selected board's calibration and alarm rules.
class formBoards : public ChildWindow
{
    Q_OBJECT

public:
    static constexpr View kView{"boards"};

    // Kept open beside the board's name: the two are always in view together.
    enum Column { BoardColumn, KeptOpenColumn, StateColumn, LastReadingColumn, ColumnCount };

    explicit formBoards(Workspace &workspace, QWidget *parent = nullptr);

    QTableWidget *table() const { return m_table; }
    QString message() const;
    // Lists the attached boards afresh.
    void rescan();
    // The words a board's state is shown in ("open in the background"); empty for one attached and not open.
    QString stateText(const QString &serial);
    QSize sizeHint() const override;

protected:
    void showEvent(QShowEvent *event) override;
    bool eventFilter(QObject *watched, QEvent *event) override;
    void closing() override;

private:
    void buildControls();
    void refresh();
    void updateTimes();
    void itemChanged(QTableWidgetItem *item);
    QString currentBoard() const;
    void editChannelsOfCurrent();

    QTableWidget *m_table = nullptr;
    QPushButton *m_rescan = nullptr;
    QPushButton *m_channels = nullptr;
    QLabel *m_message = nullptr;
    QStringList m_attached;
    QTimer m_clock;
    bool m_filling = false;
};
