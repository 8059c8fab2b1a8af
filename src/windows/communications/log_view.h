#pragma once

#include <QAbstractScrollArea>
#include <QString>
#include <QTimer>

#include <deque>

// The communications log: a read-only view over the most recent lines, at most kMaxLines of them and at most
// kMaxCharacters characters in all (a board that never ends a line sends 65,536-character lines). Appending is
// O(1) and paints nothing by itself; the view catches up once, after the handler that appended returns, and
// only the visible lines are laid out and painted. It follows the end of the log unless the operator has
// scrolled away, and offers what a log view should: mouse and keyboard selection, Copy, Select All and a
// context menu with "Save Log As...".
class LogView : public QAbstractScrollArea
{
    Q_OBJECT

public:
    static constexpr qsizetype kMaxLines = 200'000;
    static constexpr qsizetype kMaxCharacters = 32 * 1024 * 1024;

    explicit LogView(QWidget *parent = nullptr);

    // Adds one line at the end; the oldest lines go when the bounds are passed. The text is shared, not copied.
    void appendLine(const QString &line);

    qsizetype lineCount() const { return m_count; }
    const QString &line(qsizetype index) const;
    // Every kept line followed by CR LF.
    QString text() const;

    bool hasSelection() const;
    QString selectedText() const;
    void selectAll();
    void copy() const;
    // True while new lines scroll into view.
    bool isFollowingEnd() const { return m_follow; }

    // Writes every kept line followed by CR LF; on failure returns false and sets *error.
    bool saveTo(const QString &path, QString *error) const;

Q_SIGNALS:
    // The operator chose "Save Log As..." from the context menu.
    void saveRequested();

protected:
    void paintEvent(QPaintEvent *event) override;
    void resizeEvent(QResizeEvent *event) override;
    void mousePressEvent(QMouseEvent *event) override;
    void mouseMoveEvent(QMouseEvent *event) override;
    void mouseReleaseEvent(QMouseEvent *event) override;
    void mouseDoubleClickEvent(QMouseEvent *event) override;
    void keyPressEvent(QKeyEvent *event) override;
    void contextMenuEvent(QContextMenuEvent *event) override;

private:
    // A place in the log: `line` counts every line ever appended, so it survives the ring dropping old ones.
    struct Position {
        qint64 line = 0;
        qsizetype column = 0;
        auto operator<=>(const Position &) const = default;
    };

    void scheduleSync();
    void syncScrollBars();
    qint64 firstKeptLine() const { return m_dropped; }
    int visibleRows() const;
    Position positionAt(QPoint point) const;
    int xOfColumn(const QString &text, qsizetype column) const;
    qsizetype columnAtX(const QString &text, int x) const;
    void autoScroll();
    void setCursorPosition(Position position, bool extend);

    std::deque<QString> m_lines;
    qsizetype m_count = 0;
    qsizetype m_characters = 0;
    qint64 m_dropped = 0;       // lines dropped from the front so far
    qint64 m_droppedSynced = 0; // ... as the scroll bars last knew it
    qsizetype m_widestColumns = 0;

    Position m_anchor;
    Position m_cursor;
    bool m_selecting = false;
    bool m_follow = true;
    bool m_syncPending = false;
    bool m_syncing = false;
    QTimer m_autoScroll;
    QPoint m_lastMouse;
    int m_lineHeight = 1;
    int m_charWidth = 1;
};
