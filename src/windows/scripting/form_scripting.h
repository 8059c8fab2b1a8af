#pragma once

#include <QWidget>

class ScriptBox;
class Workspace;

// The script editor: one plain text control filling the window. The caption is the path of the script file
// ("Untitled.txt" until a file is opened), which Save and the close prompt write to.
class formScripting : public QWidget
{
    Q_OBJECT

public:
    explicit formScripting(Workspace &workspace, QWidget *parent = nullptr);

    ScriptBox *scriptBox() const { return m_scriptBox; }

    // The editor text, '\n' between lines.
    QString text() const;
    // Replaces the whole text (this counts as a change of the text). A text with a line longer than
    // kLongestWrappedLine is shown unwrapped: wrapping such a line takes the editor seconds.
    void setText(const QString &editorText);
    static constexpr qsizetype kLongestWrappedLine = 8192;

    // Saves the text to `path`; when that fails, tells the operator which file and why, and returns false.
    bool saveTo(const QString &path);

    // The unsaved-changes question: true when the window may close (nothing unsaved, No, or Yes and saved),
    // false on Cancel or when the save failed. Answers Yes and No clear scriptChanged, so it is asked once.
    bool confirmClose();

    bool isClosing() const { return m_closing; }

    void Form_Resize();

    // The design size of the window's client area.
    QSize sizeHint() const override;

protected:
    void resizeEvent(QResizeEvent *event) override;
    void closeEvent(QCloseEvent *event) override;

private:
    void scriptBox_Change();

    Workspace &m_workspace;
    ScriptBox *m_scriptBox = nullptr;
    bool m_closing = false;
};

inline constexpr char kUntitledScript[] = "Untitled.txt";
