#pragma once

#include "windows/dialogs.h"

#include <QList>
#include <QStringList>

// Answers the program's questions from a script and remembers what was asked.
class ScriptedDialogs : public Dialogs
{
public:
    QList<Answer> answers;      // for askSaveScript, in order; Cancel when none is left
    QList<bool> replaceAnswers; // for askReplace, in order; No when none is left
    QStringList replaceQuestions;
    QList<bool> utf8Answers; // for askSaveAsUtf8, in order; Cancel when none is left
    int utf8Questions = 0;
    QStringList fileNames; // for the open and save dialogs, in order; cancelled when none is left
    int saveQuestions = 0;
    QStringList dialogTitles;
    QStringList dialogFilters;
    QStringList warnings;
    QList<bool> optionAnswers; // for the check box of saveFileNameWithOption, in order; left as shown when none is left
    QStringList optionQuestions; // "CAPTION=SHOWN" for each check box shown

    Answer askSaveScript(QWidget *) override
    {
        ++saveQuestions;
        return answers.isEmpty() ? Answer::Cancel : answers.takeFirst();
    }

    bool askReplace(QWidget *, const QString &name) override
    {
        replaceQuestions.append(name);
        return !replaceAnswers.isEmpty() && replaceAnswers.takeFirst();
    }

    bool askSaveAsUtf8(QWidget *) override
    {
        ++utf8Questions;
        return !utf8Answers.isEmpty() && utf8Answers.takeFirst();
    }

    QString openFileName(QWidget *, const QString &title, const QString &filter) override
    {
        return chosen(title, filter);
    }

    QString saveFileName(QWidget *, const QString &title, const QString &filter) override
    {
        return chosen(title, filter);
    }

    QString saveFileNameWithOption(QWidget *, const QString &title, const QString &filter, const QString &optionCaption,
                                   bool *option) override
    {
        optionQuestions.append(optionCaption + u'=' + (*option ? u'1' : u'0'));
        const QString name = chosen(title, filter);
        if (!name.isEmpty() && !optionAnswers.isEmpty())
            *option = optionAnswers.takeFirst();
        return name;
    }

    void warn(QWidget *, const QString &text) override { warnings.append(text); }

private:
    QString chosen(const QString &title, const QString &filter)
    {
        dialogTitles.append(title);
        dialogFilters.append(filter);
        return fileNames.isEmpty() ? QString() : fileNames.takeFirst();
    }
};
