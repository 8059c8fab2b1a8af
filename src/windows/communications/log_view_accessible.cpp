#include "windows/communications/log_view_accessible.h"

#include "windows/communications/log_view.h"

#include <QAccessibleWidget>
#include <QScrollBar>

namespace {

class LogViewAccessible : public QAccessibleWidget, public QAccessibleTextInterface
{
public:
    explicit LogViewAccessible(LogView *view)
        : QAccessibleWidget(view, QAccessible::EditableText)
    {}

    LogView *view() const { return static_cast<LogView *>(widget()); }

    void *interface_cast(QAccessible::InterfaceType type) override
    {
        if (type == QAccessible::TextInterface)
            return static_cast<QAccessibleTextInterface *>(this);
        return QAccessibleWidget::interface_cast(type);
    }

    QAccessible::State state() const override
    {
        QAccessible::State state = QAccessibleWidget::state();
        state.readOnly = true;
        state.multiLine = true;
        state.selectableText = true;
        state.editable = false;
        return state;
    }

    QString text(QAccessible::Text t) const override
    {
        if (t == QAccessible::Value)
            return view()->textBetween(0, view()->characterCount());
        return QAccessibleWidget::text(t);
    }

    // QAccessibleTextInterface

    void selection(int selectionIndex, int *startOffset, int *endOffset) const override
    {
        *startOffset = *endOffset = 0;
        if (selectionIndex != 0)
            return;
        qint64 start = 0;
        qint64 end = 0;
        view()->selectionOffsets(&start, &end);
        *startOffset = int(start);
        *endOffset = int(end);
    }

    int selectionCount() const override { return view()->hasSelection() ? 1 : 0; }
    void addSelection(int startOffset, int endOffset) override { view()->setSelectionOffsets(startOffset, endOffset); }
    void removeSelection(int) override { view()->setSelectionOffsets(view()->cursorOffset(), view()->cursorOffset()); }
    void setSelection(int, int startOffset, int endOffset) override
    {
        view()->setSelectionOffsets(startOffset, endOffset);
    }
    int cursorPosition() const override { return int(view()->cursorOffset()); }
    void setCursorPosition(int position) override { view()->setSelectionOffsets(position, position); }
    QString text(int startOffset, int endOffset) const override { return view()->textBetween(startOffset, endOffset); }
    int characterCount() const override { return int(std::min<qint64>(view()->characterCount(), INT_MAX)); }

    QString textAtOffset(int offset, QAccessible::TextBoundaryType type, int *startOffset,
                         int *endOffset) const override
    {
        const auto [start, end] = boundaryAt(offset, type);
        *startOffset = int(start);
        *endOffset = int(end);
        return view()->textBetween(start, end);
    }

    QString textBeforeOffset(int offset, QAccessible::TextBoundaryType type, int *startOffset,
                             int *endOffset) const override
    {
        const qint64 start = boundaryAt(offset, type).first;
        if (start <= 0) {
            *startOffset = *endOffset = 0;
            return {};
        }
        return textAtOffset(int(start - 1), type, startOffset, endOffset);
    }

    QString textAfterOffset(int offset, QAccessible::TextBoundaryType type, int *startOffset,
                            int *endOffset) const override
    {
        const qint64 end = boundaryAt(offset, type).second;
        if (end >= view()->characterCount()) {
            *startOffset = *endOffset = characterCount();
            return {};
        }
        return textAtOffset(int(end), type, startOffset, endOffset);
    }

    QRect characterRect(int offset) const override
    {
        const QRect rect = view()->characterRect(offset);
        if (rect.isNull())
            return {};
        return QRect(view()->viewport()->mapToGlobal(rect.topLeft()), rect.size());
    }

    int offsetAtPoint(const QPoint &point) const override
    {
        return int(view()->offsetAt(view()->viewport()->mapFromGlobal(point)));
    }

    void scrollToSubstring(int startIndex, int) override { view()->scrollToOffset(startIndex); }
    QString attributes(int offset, int *startOffset, int *endOffset) const override
    {
        *startOffset = *endOffset = offset;
        return {};
    }

private:
    // The piece of text of the given kind around `offset`: a character, a word (a run of non-blanks, or of
    // blanks), or a line with its line end; sentences and paragraphs are lines here.
    std::pair<qint64, qint64> boundaryAt(qint64 offset, QAccessible::TextBoundaryType type) const
    {
        const qint64 count = view()->characterCount();
        if (type == QAccessible::NoBoundary)
            return {0, count};
        offset = std::clamp<qint64>(offset, 0, count);
        qint64 lineStart = 0;
        const qsizetype index = view()->lineAtOffset(offset, &lineStart);
        if (index < 0)
            return {count, count};
        const QString &line = view()->line(index);
        const qint64 lineEnd = lineStart + line.size() + 1;
        switch (type) {
        case QAccessible::CharBoundary:
            return {offset, offset + 1};
        case QAccessible::WordBoundary: {
            qsizetype column = qsizetype(offset - lineStart);
            if (column >= line.size())
                return {lineStart + line.size(), lineEnd};
            const bool blank = line[column].isSpace();
            qsizetype from = column;
            qsizetype to = column;
            while (from > 0 && line[from - 1].isSpace() == blank)
                --from;
            while (to < line.size() && line[to].isSpace() == blank)
                ++to;
            return {lineStart + from, lineStart + to};
        }
        default:
            return {lineStart, lineEnd};
        }
    }
};

QAccessibleInterface *logViewFactory(const QString &className, QObject *object)
{
    if (className == QLatin1String("LogView") && object && object->isWidgetType())
        return new LogViewAccessible(static_cast<LogView *>(object));
    return nullptr;
}

} // namespace

void installLogViewAccessibility()
{
    static const bool installed = [] {
        QAccessible::installFactory(logViewFactory);
        return true;
    }();
    Q_UNUSED(installed);
}
