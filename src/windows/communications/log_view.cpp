#include "windows/communications/log_view.h"

#include "files/file_saving.h"
#include "windows/communications/log_view_accessible.h"

#include <QAccessible>
#include <QApplication>
#include <QClipboard>
#include <QContextMenuEvent>
#include <QDateTime>
#include <QFontDatabase>
#include <QMenu>
#include <QPainter>
#include <QScrollBar>

#include <algorithm>

namespace {

constexpr int kMargin = 3;
// Lines up to this length are measured exactly; longer ones as monospaced text, so a huge line costs no more
// to paint than the part of it on screen.
constexpr qsizetype kExactMeasureLimit = 512;
// At most this much appended text is handed to assistive technology at once, so a streaming board cannot flood
// the accessibility bus.
constexpr qsizetype kMaxAnnounced = 4096;

} // namespace

LogView::LogView(QWidget *parent)
    : QAbstractScrollArea(parent)
{
    installLogViewAccessibility();
    QFont font = QFontDatabase::systemFont(QFontDatabase::FixedFont);
    setFont(font);
    m_lineHeight = std::max(1, fontMetrics().lineSpacing());
    m_charWidth = std::max(1, fontMetrics().horizontalAdvance(u'M'));
    setFocusPolicy(Qt::StrongFocus);
    viewport()->setCursor(Qt::IBeamCursor);
    viewport()->setBackgroundRole(QPalette::Base);
    viewport()->setAutoFillBackground(true);
    setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    // The scroll bars move with every line that arrives; painted opaque, they repaint alone, without the frames
    // and title bar around them.
    verticalScrollBar()->setAutoFillBackground(true);
    horizontalScrollBar()->setAutoFillBackground(true);
    m_autoScroll.setInterval(50);
    connect(&m_autoScroll, &QTimer::timeout, this, &LogView::autoScroll);
    connect(verticalScrollBar(), &QScrollBar::valueChanged, this, [this](int value) {
        if (!m_syncing)
            m_follow = value >= verticalScrollBar()->maximum();
        viewport()->update();
    });
    connect(horizontalScrollBar(), &QScrollBar::valueChanged, viewport(), qOverload<>(&QWidget::update));
}

void LogView::appendLine(const QString &text, std::optional<qint64> wallMs)
{
    if (m_unannounced.isEmpty())
        m_unannouncedStart = m_model.nextLineStart();
    m_model.append(text, wallMs.value_or(QDateTime::currentMSecsSinceEpoch()));
    if (m_unannounced.size() < kMaxAnnounced) {
        m_unannounced += QStringView(text).left(kMaxAnnounced - m_unannounced.size());
        m_unannounced += u'\n';
    }
    scheduleSync();
}

void LogView::scheduleSync()
{
    if (m_syncPending)
        return;
    m_syncPending = true;
    QMetaObject::invokeMethod(this, &LogView::syncScrollBars, Qt::QueuedConnection);
}

void LogView::syncScrollBars()
{
    m_syncPending = false;
    announceAppended();
    m_syncing = true;
    QScrollBar *vertical = verticalScrollBar();
    const int kept = int(std::min<qsizetype>(lineCount(), INT_MAX));
    const int oldValue = vertical->value();
    vertical->setRange(0, std::max(0, kept - visibleRows()));
    vertical->setPageStep(visibleRows());
    if (m_follow) {
        vertical->setValue(vertical->maximum());
    } else {
        // Lines dropped from the front move what the operator is looking at up; keep it in view.
        vertical->setValue(int(std::max<qint64>(0, oldValue - (firstKeptLine() - m_droppedSynced))));
    }
    m_droppedSynced = firstKeptLine();

    QScrollBar *horizontal = horizontalScrollBar();
    const qint64 widest = qint64(m_model.widestLine()) * m_charWidth + 2 * kMargin;
    horizontal->setRange(0, int(std::clamp<qint64>(widest - viewport()->width(), 0, INT_MAX / 2)));
    horizontal->setPageStep(viewport()->width());
    horizontal->setSingleStep(m_charWidth * 4);
    m_syncing = false;
    viewport()->update();
}

int LogView::visibleRows() const
{
    return std::max(1, viewport()->height() / m_lineHeight);
}

bool LogView::saveTo(const QString &path, QString *error, bool withTimes) const
{
    const QString content = withTimes ? m_model.textWithTimes() : text();
    const std::optional<QString> failure = saveFileAtomically(path, content.toUtf8());
    if (failure)
        *error = *failure;
    return !failure;
}

void LogView::announceAppended()
{
    if (m_unannounced.isEmpty())
        return;
    // Once per handler, whatever it appended.
    const QString text = std::exchange(m_unannounced, QString());
    const qint64 position = m_model.offsetOfAbsoluteStart(m_unannouncedStart);
    Q_EMIT linesAppended(position, text);
    if (QAccessible::isActive()) {
        QAccessibleTextInsertEvent event(this, int(std::min<qint64>(position, INT_MAX)), text);
        QAccessible::updateAccessibility(&event);
    }
}

qint64 LogView::cursorOffset() const
{
    return m_model.offsetOf(m_cursor);
}

void LogView::selectionOffsets(qint64 *start, qint64 *end) const
{
    *start = m_model.offsetOf(std::min(m_anchor, m_cursor));
    *end = m_model.offsetOf(std::max(m_anchor, m_cursor));
}

void LogView::setSelectionOffsets(qint64 anchor, qint64 cursor)
{
    m_anchor = m_model.positionOfOffset(anchor);
    setCursorPosition(m_model.positionOfOffset(cursor), true);
}

QRect LogView::characterRect(qint64 offset) const
{
    qint64 start = 0;
    const qsizetype index = lineAtOffset(offset, &start);
    if (index < 0)
        return {};
    const QString &text = line(index);
    const qsizetype column = qsizetype(offset - start);
    const int x = kMargin - horizontalScrollBar()->value() + xOfColumn(text, column);
    const int y = int(qint64(index) - verticalScrollBar()->value()) * m_lineHeight;
    const int width = column < text.size() ? xOfColumn(text, column + 1) - xOfColumn(text, column) : m_charWidth;
    return {x, y, std::max(1, width), m_lineHeight};
}

qint64 LogView::offsetAt(QPoint viewportPoint) const
{
    return m_model.offsetOf(positionAt(viewportPoint));
}

void LogView::scrollToOffset(qint64 offset)
{
    const qsizetype index = lineAtOffset(offset);
    if (index < 0)
        return;
    QScrollBar *vertical = verticalScrollBar();
    if (index < vertical->value() || index >= vertical->value() + visibleRows())
        vertical->setValue(int(std::min<qsizetype>(index, INT_MAX)));
}

bool LogView::hasSelection() const
{
    return m_anchor != m_cursor;
}

QString LogView::selectedText() const
{
    if (!hasSelection())
        return {};
    return m_model.textBetween(std::min(m_anchor, m_cursor), std::max(m_anchor, m_cursor));
}

void LogView::selectAll()
{
    if (lineCount() == 0)
        return;
    m_anchor = {firstKeptLine(), 0};
    m_cursor = m_model.end();
    viewport()->update();
}

void LogView::copy() const
{
    if (hasSelection())
        QGuiApplication::clipboard()->setText(selectedText());
}

int LogView::xOfColumn(const QString &text, qsizetype column) const
{
    column = std::min(column, text.size());
    if (text.size() <= kExactMeasureLimit)
        return fontMetrics().horizontalAdvance(text.left(column));
    return int(std::min<qint64>(qint64(column) * m_charWidth, INT_MAX / 2));
}

qsizetype LogView::columnAtX(const QString &text, int x) const
{
    if (x <= 0)
        return 0;
    if (text.size() > kExactMeasureLimit)
        return std::min<qsizetype>(text.size(), (x + m_charWidth / 2) / m_charWidth);
    // The column whose left edge is nearest to x.
    qsizetype low = 0;
    qsizetype high = text.size();
    while (low < high) {
        const qsizetype mid = (low + high + 1) / 2;
        if (xOfColumn(text, mid) <= x)
            low = mid;
        else
            high = mid - 1;
    }
    if (low < text.size()) {
        const int left = xOfColumn(text, low);
        const int right = xOfColumn(text, low + 1);
        if (x - left > right - x)
            ++low;
    }
    return low;
}

LogView::Position LogView::positionAt(QPoint point) const
{
    if (lineCount() == 0)
        return {firstKeptLine(), 0};
    const qint64 row = qint64(verticalScrollBar()->value()) + (point.y() < 0 ? -1 : point.y() / m_lineHeight);
    const qsizetype index = qsizetype(std::clamp<qint64>(row, 0, lineCount() - 1));
    const QString &text = line(index);
    const int x = point.x() + horizontalScrollBar()->value() - kMargin;
    return {firstKeptLine() + index, columnAtX(text, x)};
}

void LogView::paintEvent(QPaintEvent *)
{
    QPainter painter(viewport());
    const int first = verticalScrollBar()->value();
    const int xOffset = kMargin - horizontalScrollBar()->value();
    const int ascent = fontMetrics().ascent();
    const Position from = std::min(m_anchor, m_cursor);
    const Position to = std::max(m_anchor, m_cursor);
    const bool selection = hasSelection();
    const QPalette &pal = palette();
    const int width = viewport()->width();

    for (int row = 0; row <= visibleRows(); ++row) {
        const qsizetype index = qsizetype(first) + row;
        if (index >= lineCount())
            break;
        const QString &text = line(index);
        const int y = row * m_lineHeight;
        const qint64 absolute = firstKeptLine() + index;

        if (selection && absolute >= from.line && absolute <= to.line) {
            const qsizetype start = absolute == from.line ? from.column : 0;
            const int left = xOffset + xOfColumn(text, start);
            const int right = absolute == to.line ? xOffset + xOfColumn(text, to.column)
                                                  : xOffset + xOfColumn(text, text.size()) + m_charWidth;
            painter.fillRect(QRect(left, y, std::max(0, right - left), m_lineHeight), pal.highlight());
        }

        painter.setPen(pal.color(QPalette::Text));
        if (text.size() <= kExactMeasureLimit) {
            painter.drawText(xOffset, y + ascent, text);
        } else {
            // Only the part of a long line that is on screen.
            const qsizetype firstColumn = std::max<qsizetype>(0, (-xOffset) / m_charWidth);
            const qsizetype columns = width / m_charWidth + 2;
            painter.drawText(xOffset + int(firstColumn * m_charWidth), y + ascent, text.mid(firstColumn, columns));
        }
    }
}

void LogView::resizeEvent(QResizeEvent *event)
{
    QAbstractScrollArea::resizeEvent(event);
    syncScrollBars();
}

void LogView::setCursorPosition(Position position, bool extend)
{
    m_cursor = position;
    if (!extend)
        m_anchor = position;
    viewport()->update();
}

void LogView::mousePressEvent(QMouseEvent *event)
{
    if (event->button() != Qt::LeftButton) {
        QAbstractScrollArea::mousePressEvent(event);
        return;
    }
    setCursorPosition(positionAt(event->position().toPoint()), event->modifiers() & Qt::ShiftModifier);
    m_selecting = true;
    m_lastMouse = event->position().toPoint();
}

void LogView::mouseMoveEvent(QMouseEvent *event)
{
    if (!m_selecting)
        return;
    m_lastMouse = event->position().toPoint();
    setCursorPosition(positionAt(m_lastMouse), true);
    const bool outside = m_lastMouse.y() < 0 || m_lastMouse.y() >= viewport()->height();
    if (outside && !m_autoScroll.isActive())
        m_autoScroll.start();
    else if (!outside)
        m_autoScroll.stop();
}

void LogView::mouseReleaseEvent(QMouseEvent *event)
{
    if (event->button() != Qt::LeftButton)
        return;
    m_selecting = false;
    m_autoScroll.stop();
    QClipboard *clipboard = QGuiApplication::clipboard();
    if (hasSelection() && clipboard->supportsSelection())
        clipboard->setText(selectedText(), QClipboard::Selection);
}

void LogView::mouseDoubleClickEvent(QMouseEvent *event)
{
    if (event->button() != Qt::LeftButton || lineCount() == 0)
        return;
    // Selects the word under the mouse: the run of non-blank characters.
    const Position at = positionAt(event->position().toPoint());
    const QString &text = line(qsizetype(at.line - firstKeptLine()));
    qsizetype start = std::min(at.column, text.size());
    qsizetype end = start;
    while (start > 0 && !text[start - 1].isSpace())
        --start;
    while (end < text.size() && !text[end].isSpace())
        ++end;
    m_anchor = {at.line, start};
    m_cursor = {at.line, end};
    viewport()->update();
}

void LogView::autoScroll()
{
    QScrollBar *vertical = verticalScrollBar();
    vertical->setValue(vertical->value() + (m_lastMouse.y() < 0 ? -1 : 1));
    setCursorPosition(positionAt(m_lastMouse), true);
}

void LogView::keyPressEvent(QKeyEvent *event)
{
    if (event == QKeySequence::Copy) {
        copy();
        return;
    }
    QScrollBar *vertical = verticalScrollBar();
    QScrollBar *horizontal = horizontalScrollBar();
    switch (event->key()) {
    case Qt::Key_Up:
        vertical->triggerAction(QAbstractSlider::SliderSingleStepSub);
        break;
    case Qt::Key_Down:
        vertical->triggerAction(QAbstractSlider::SliderSingleStepAdd);
        break;
    case Qt::Key_PageUp:
        vertical->triggerAction(QAbstractSlider::SliderPageStepSub);
        break;
    case Qt::Key_PageDown:
        vertical->triggerAction(QAbstractSlider::SliderPageStepAdd);
        break;
    case Qt::Key_Home:
        vertical->triggerAction(QAbstractSlider::SliderToMinimum);
        break;
    case Qt::Key_End:
        vertical->triggerAction(QAbstractSlider::SliderToMaximum);
        break;
    case Qt::Key_Left:
        horizontal->triggerAction(QAbstractSlider::SliderSingleStepSub);
        break;
    case Qt::Key_Right:
        horizontal->triggerAction(QAbstractSlider::SliderSingleStepAdd);
        break;
    default:
        QAbstractScrollArea::keyPressEvent(event);
    }
}

void LogView::contextMenuEvent(QContextMenuEvent *event)
{
    QMenu menu(this);
    QAction *copyAction = menu.addAction(tr("&Copy"), this, &LogView::copy);
    copyAction->setShortcut(QKeySequence::Copy);
    copyAction->setEnabled(hasSelection());
    // No shortcut shown: Ctrl+A belongs to Save Script As in this program.
    QAction *selectAllAction = menu.addAction(tr("Select &All"), this, &LogView::selectAll);
    selectAllAction->setEnabled(lineCount() > 0);
    menu.addSeparator();
    menu.addAction(tr("&Save Log As\u2026"), this, &LogView::saveRequested);
    Q_EMIT contextMenuShown();
    if (!m_contextActions.isEmpty()) {
        menu.addSeparator();
        menu.addActions(m_contextActions);
    }
    menu.exec(event->globalPos());
}

void LogView::addContextAction(QAction *action)
{
    m_contextActions.append(action);
}
