#include "windows/control_names.h"

#include <QPushButton>
#include <QWidget>

void nameControl(QWidget *control, const QString &name, const QString &accessibleName)
{
    control->setObjectName(name);
    control->setAccessibleDescription(name);
    if (!accessibleName.isEmpty())
        control->setAccessibleName(accessibleName);
}

QString arrayName(const char *array, int index)
{
    return QString::fromLatin1(array) + u'_' + QString::number(index);
}

QPushButton *makeNamedButton(const QString &caption, const char *name, QWidget *parent)
{
    auto *button = new QPushButton(caption, parent);
    nameControl(button, QString::fromLatin1(name));
    button->setAutoDefault(false);
    return button;
}
