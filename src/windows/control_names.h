#pragma once

#include <QString>

class QPushButton;
class QWidget;

// Gives a control its name as object name and as accessible description (screen readers and GUI test robots
// see the accessible interface, not object names), and a human accessible name when it has no caption.
void nameControl(QWidget *control, const QString &name, const QString &accessibleName = {});

// The name of element `index` of a control array: "pin_led_5".
QString arrayName(const char *array, int index);

// A push button named as nameControl() names it, which Enter in its window does not press.
QPushButton *makeNamedButton(const QString &caption, const char *name, QWidget *parent);
