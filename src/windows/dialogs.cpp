#include "windows/dialogs.h"

#include <QCheckBox>
#include <QFileDialog>
#include <QGridLayout>
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

QString Dialogs::saveFileNameWithOption(QWidget *parent, const QString &title, const QString &filter,
                                        const QString &optionCaption, bool *option)
{
    // The platform's own dialog takes no extra control: Qt's takes it in a row of its own under the file type.
    QFileDialog dialog(parent, title, QString(), filter);
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    dialog.setOption(QFileDialog::DontUseNativeDialog);
    auto *box = new QCheckBox(optionCaption, &dialog);
    box->setObjectName(QStringLiteral("dialogOption"));
    box->setAccessibleDescription(box->objectName());
    box->setChecked(*option);
    if (auto *grid = qobject_cast<QGridLayout *>(dialog.layout()))
        grid->addWidget(box, grid->rowCount(), 0, 1, grid->columnCount());
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty())
        return QString();
    *option = box->isChecked();
    return dialog.selectedFiles().constFirst();
}

void Dialogs::warn(QWidget *parent, const QString &text)
{
    QMessageBox::warning(parent, QString::fromLatin1(kProgramTitle), text);
}
