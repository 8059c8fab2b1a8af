#pragma once

#include "windows/child_window.h"

class ScriptBox;

// The script editor: one plain text control filling the window. The caption is the path of the script file
// ("Untitled.txt" until a file is opened), which Save and the close prompt write to.
class formScripting : public ChildWindow
{
    Q_OBJECT

public:
    static constexpr View kView{"scripting"};

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
    // Saves the text to the file the caption names, as Save does. A file there that this run never read or
    // wrote (an "Untitled.txt" of someone else's) is replaced only when the operator says so; false otherwise.
    bool saveToCaption();

    // The unsaved-changes question: true when the window may close (nothing unsaved, No, or Yes and saved),
    // false on Cancel or when the save failed. Answers Yes and No clear scriptChanged, so it is asked once.
    bool confirmClose();

    void Form_Resize();

    // The design size of the window's client area.
    QSize sizeHint() const override;

protected:
    void resizeEvent(QResizeEvent *event) override;
    bool queryClose() override { return confirmClose(); }

private:
    void scriptBox_Change();

    ScriptBox *m_scriptBox = nullptr;
};

inline constexpr char kUntitledScript[] = "Untitled.txt";
