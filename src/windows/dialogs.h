#pragma once

#include <QString>

class QWidget;

// The questions the program asks the operator, behind one seam so that tests can answer them.
class Dialogs
{
public:
    virtual ~Dialogs() = default;

    enum class Answer { Yes, No, Cancel };

    // "Script changed Save ?" with Yes, No and Cancel, Yes the default, titled with the program's title.
    virtual Answer askSaveScript(QWidget *parent);

    // "NAME already exists. Replace it?" with Yes and No, No the default. True for Yes.
    virtual bool askReplace(QWidget *parent, const QString &name);

    // "The script holds characters that cannot be saved in its current encoding. Save it as UTF-8?" with Yes and
    // Cancel, Yes the default. True for Yes.
    virtual bool askSaveAsUtf8(QWidget *parent);

    // The file chosen in an open or save dialog with this title and filter ("Text Files (*.txt)"); empty when
    // cancelled. The save dialog asks before replacing a file, as the platform's save dialogs do.
    virtual QString openFileName(QWidget *parent, const QString &title, const QString &filter);
    virtual QString saveFileName(QWidget *parent, const QString &title, const QString &filter);
    // A save dialog with one check box (`optionCaption`) that starts as *option and is read back into it when a file
    // is chosen.
    virtual QString saveFileNameWithOption(QWidget *parent, const QString &title, const QString &filter,
                                           const QString &optionCaption, bool *option);

    // A warning the operator must acknowledge.
    virtual void warn(QWidget *parent, const QString &text);
};

inline constexpr char kProgramTitle[] = "Vantrel Control";
