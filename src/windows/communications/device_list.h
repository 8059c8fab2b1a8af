#pragma once

#include <QListWidget>

// The device list: a plain list box that reports each choice the operator makes, once, whether made with the
// mouse (a click, also on the entry already selected, or a press on one entry and a release on another) or
// with the keyboard (arrows, Home, End, Page keys; the first of them, or Space, also chooses when nothing is
// selected yet). Changes made from code are not choices.
class DeviceList : public QListWidget
{
    Q_OBJECT

public:
    explicit DeviceList(QWidget *parent = nullptr);

Q_SIGNALS:
    void entryChosen();

protected:
    void keyPressEvent(QKeyEvent *event) override;
    void mousePressEvent(QMouseEvent *event) override;
    void mouseReleaseEvent(QMouseEvent *event) override;
    void mouseDoubleClickEvent(QMouseEvent *event) override;

private:
    int selectedRow() const;
    void choose(int row);

    int m_selectedAtPress = -1;
    bool m_pressed = false;
    bool m_doubleClick = false;
};
