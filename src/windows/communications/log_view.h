#pragma once

#include "records/log_model.h"

#include <QAbstractScrollArea>
#include <QString>
#include <QTimer>

#include <optional>

class QAction;
class QRect;

// The communications log: a read-only view of a LogModel, the most recent lines, at most kMaxLines of them and at
// most kMaxCharacters characters in all (a board that never ends a line sends 65,536-character lines). Appending
// is O(1) and paints nothing by itself; the view catches up once, after the handler that appended returns, and
// only the visible lines are laid out and painted. It follows the end of the log unless the operator has
// scrolled away, and offers what a log view should: mouse and keyboard selection, Copy, Select All and a
// context menu with "Save Log As...".
class LogView : public QAbstractScrollArea
{
    Q_OBJECT

public:
    static constexpr qsizetype kMaxLines = LogModel::kMaxLines;
    static constexpr qsizetype kMaxCharacters = LogModel::kMaxCharacters;

    explicit LogView(QWidget *parent = nullptr);

    // Adds one line at the end, logged at `wallMs` (milliseconds since 1970 UTC; now when not given); the oldest
    // lines go when the bounds are passed. The text is shared, not copied.
    void appendLine(const QString &line, std::optional<qint64> wallMs = std::nullopt);

    const LogModel &model() const { return m_model; }
    qsizetype lineCount() const { return m_model.lineCount(); }
    const QString &line(qsizetype index) const { return m_model.line(index); }
    // Every kept line followed by CR LF.
    QString text() const { return m_model.text(); }

    bool hasSelection() const;
    QString selectedText() const;
    void selectAll();
    void copy() const;
    // True while new lines scroll into view.
    bool isFollowingEnd() const { return m_follow; }

    // An action of the window's own, shown in the log's context menu after "Save Log As...".
    void addContextAction(QAction *action);

    // Writes every kept line followed by CR LF, each after its time when `withTimes`; on failure returns false and
    // sets *error.
    bool saveTo(const QString &path, QString *error, bool withTimes = false) const;

    // The log as assistive technology reads it: the kept lines, each followed by '\n', addressed by character
    // offsets from the start of the oldest kept line.
    qint64 characterCount() const { return m_model.characterCount(); }
    QString textBetween(qint64 start, qint64 end) const { return m_model.textBetween(start, end); }
    // The kept line holding `offset` (its '\n' included), with its first offset; -1 past the end.
    qsizetype lineAtOffset(qint64 offset, qint64 *lineStart = nullptr) const
    {
        return m_model.lineAtOffset(offset, lineStart);
    }
    qint64 offsetOfLine(qsizetype index) const { return m_model.offsetOfLine(index); }
    qint64 cursorOffset() const;
    // The selection as offsets, start <= end; equal when nothing is selected.
    void selectionOffsets(qint64 *start, qint64 *end) const;
    void setSelectionOffsets(qint64 anchor, qint64 cursor);
    // Where the character at `offset` is drawn, in viewport coordinates; the offset drawn at a point.
    QRect characterRect(qint64 offset) const;
    qint64 offsetAt(QPoint viewportPoint) const;
    // Scrolls the line holding `offset` into view.
    void scrollToOffset(qint64 offset);

Q_SIGNALS:
    // The operator chose "Save Log As..." from the context menu.
    void saveRequested();
    // The context menu is about to be shown (its actions can be brought up to date).
    void contextMenuShown();
    // Once after each handler that appended lines: where they start and (at most its first 4,096 characters)
    // what they say, '\n' after each. Assistive technology is told the same.
    void linesAppended(qint64 position, const QString &text);

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
    using Position = LogModel::Position;

    void announceAppended();
    void scheduleSync();
    void syncScrollBars();
    qint64 firstKeptLine() const { return m_model.firstKeptLine(); }
    int visibleRows() const;
    Position positionAt(QPoint point) const;
    int xOfColumn(const QString &text, qsizetype column) const;
    qsizetype columnAtX(const QString &text, int x) const;
    void autoScroll();
    void setCursorPosition(Position position, bool extend);

    LogModel m_model;
    QString m_unannounced;         // appended since the last announcement
    qint64 m_unannouncedStart = 0; // ... from this line start on (characters since the first line ever)
    qint64 m_droppedSynced = 0;    // lines dropped from the front as the scroll bars last knew it

    Position m_anchor;
    Position m_cursor;
    bool m_selecting = false;
    bool m_follow = true;
    bool m_syncPending = false;
    bool m_syncing = false;
    QTimer m_autoScroll;
    QList<QAction *> m_contextActions;
    QPoint m_lastMouse;
    int m_lineHeight = 1;
    int m_charWidth = 1;
};
