#pragma once

#include <QListWidget>

// The device list: a plain list box that reports a choice made with the mouse (also of the entry already
// selected) or with the keyboard, once per choice.
class DeviceList : public QListWidget
{
    Q_OBJECT

public:
    explicit DeviceList(QWidget *parent = nullptr);

Q_SIGNALS:
    void entryChosen();

protected:
    void keyPressEvent(QKeyEvent *event) override;
};
