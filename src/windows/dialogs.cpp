#include "windows/dialogs.h"

#include <QFileDialog>
#include <QMessageBox>

Dialogs::Answer Dialogs::askSaveScript(QWidget *parent)
{
    QMessageBox box(QMessageBox::NoIcon, QString::fromLatin1(kProgramTitle), QStringLiteral("Script changed Save ?"),
                    QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel, parent);
    box.setDefaultButton(QMessageBox::Yes);
    switch (box.exec()) {
    case QMessageBox::Yes:
        return Answer::Yes;
    case QMessageBox::No:
        return Answer::No;
    default:
        return Answer::Cancel;
    }
}

bool Dialogs::askReplace(QWidget *parent, const QString &name)
{
    QMessageBox box(QMessageBox::Warning, QString::fromLatin1(kProgramTitle),
                    QStringLiteral("%1 already exists. Replace it?").arg(name), QMessageBox::Yes | QMessageBox::No,
                    parent);
    box.setDefaultButton(QMessageBox::No);
    return box.exec() == QMessageBox::Yes;
}

bool Dialogs::askSaveAsUtf8(QWidget *parent)
{
    QMessageBox box(QMessageBox::Question, QString::fromLatin1(kProgramTitle),
                    QStringLiteral("The script holds characters that cannot be saved in its current encoding. "
                                   "Save it as UTF-8?"),
                    QMessageBox::Yes | QMessageBox::Cancel, parent);
    box.setDefaultButton(QMessageBox::Yes);
    return box.exec() == QMessageBox::Yes;
}

QString Dialogs::openFileName(QWidget *parent, const QString &title, const QString &filter)
{
    return QFileDialog::getOpenFileName(parent, title, QString(), filter);
}

QString Dialogs::saveFileName(QWidget *parent, const QString &title, const QString &filter)
{
    return QFileDialog::getSaveFileName(parent, title, QString(), filter);
}

void Dialogs::warn(QWidget *parent, const QString &text)
{
    QMessageBox::warning(parent, QString::fromLatin1(kProgramTitle), text);
}
