#pragma once

#include "windows/communications/command_history.h"

#include <QObject>
#include <QRect>

class QLineEdit;

// The command box's history keys. Up and Down walk the commands sent from it (newest first); Escape gives back what
// was being typed. Ctrl+R opens a search line under the box: as it is typed, the newest command holding its text is
// put in the box; Ctrl+R again finds the next older one, Enter takes it (the box keeps it; nothing is sent), Escape
// gives back what was typed. Enter in the box itself is left to the box's own handler.
class CommandBoxHistory : public QObject
{
    Q_OBJECT

public:
    // The search line is a child of `searchParent` at `searchGeometry`, hidden until Ctrl+R.
    CommandBoxHistory(QLineEdit *box, QWidget *searchParent, QRect searchGeometry);

    // A command was sent from the box: it goes into the history and the settings.
    void sent(const QString &command);

    const CommandHistory &history() const { return m_history; }
    QLineEdit *searchLine() const { return m_search; }

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    bool boxKey(int key, Qt::KeyboardModifiers modifiers);
    bool searchKey(int key, Qt::KeyboardModifiers modifiers);
    void startSearch();
    // Looks for the search text from entry `from` on and shows what it finds.
    void searchFrom(qsizetype from);
    void endSearch(bool take);

    CommandHistory m_history;
    QLineEdit *m_box = nullptr;
    QLineEdit *m_search = nullptr;
    QString m_typedBeforeSearch;
    qsizetype m_match = -1;
};
