#pragma once

#include <QPlainTextEdit>

// The script editor's text control: plain text whose lines wrap at a width set by the window.
class ScriptBox : public QPlainTextEdit
{
    Q_OBJECT

public:
    explicit ScriptBox(QWidget *parent = nullptr);

    // Lines wrap this many pixels from the control's left edge (the control's "right margin").
    void setRightMargin(int pixels);
    int rightMargin() const { return m_rightMargin; }

    // The text with '\n' between lines, exactly as typed: no character is replaced.
    QString text() const;

protected:
    void resizeEvent(QResizeEvent *event) override;

private:
    void applyRightMargin();

    int m_rightMargin = -1;
};
