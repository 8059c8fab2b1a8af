#pragma once

#include "files/script_file.h"
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

    // The encoding the script is saved in: its file's, or the code page for a new script.
    ScriptEncoding encoding() const { return m_encoding; }
    void setEncoding(ScriptEncoding encoding) { m_encoding = encoding; }

    // Saves the text to `path`, in the script's encoding; a text that encoding cannot hold is saved as UTF-8 when
    // the operator agrees (and the script is UTF-8 from then on). When the save fails, tells the operator which
    // file and why. False when nothing was saved (a failure or Cancel).
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
    ScriptEncoding m_encoding = ScriptEncoding::CodePage;
};

inline constexpr char kUntitledScript[] = "Untitled.txt";
