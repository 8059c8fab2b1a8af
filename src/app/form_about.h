#pragma once

#include <QDialog>
#include <QIcon>

// The program's icon, for the main window, its child windows and the About box.
QIcon programIcon();

// The About box: the program's name and version, with OK as both default and cancel button. A top-level,
// modeless dialog centred over the main window, destroyed when closed.
class formAbout : public QDialog
{
    Q_OBJECT

public:
    explicit formAbout(QWidget *parent = nullptr);

protected:
    void paintEvent(QPaintEvent *event) override;
};
