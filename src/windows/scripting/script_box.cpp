#include "windows/scripting/script_box.h"

#include <QScrollBar>
#include <QTextDocument>

ScriptBox::ScriptBox(QWidget *parent)
    : QPlainTextEdit(parent)
{
    setLineWrapMode(QPlainTextEdit::WidgetWidth);
    setTabChangesFocus(false);
    // The strip right of the wrap width looks like the rest of the page.
    setBackgroundRole(QPalette::Base);
    setAutoFillBackground(true);
}

QString ScriptBox::text() const
{
    // toPlainText() would turn no-break spaces into spaces; the raw text keeps every character.
    QString text = document()->toRawText();
    for (QChar &c : text) {
        if (c == QChar::ParagraphSeparator || c == QChar::LineSeparator)
            c = u'\n';
    }
    return text;
}

void ScriptBox::setRightMargin(int pixels)
{
    m_rightMargin = pixels;
    applyRightMargin();
}

void ScriptBox::resizeEvent(QResizeEvent *event)
{
    QPlainTextEdit::resizeEvent(event);
    applyRightMargin();
}

void ScriptBox::applyRightMargin()
{
    if (m_rightMargin < 0)
        return;
    // The text area ends at the wrap width; what is left of the control beside it stays blank.
    const int scrollBar = verticalScrollBar()->isVisible() ? verticalScrollBar()->width() : 0;
    const int gap = width() - 2 * frameWidth() - scrollBar - m_rightMargin;
    const QMargins wanted(0, 0, std::max(0, gap), 0);
    if (viewportMargins() != wanted)
        setViewportMargins(wanted);
}
