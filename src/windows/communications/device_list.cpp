#include "windows/communications/device_list.h"

#include <QKeyEvent>

DeviceList::DeviceList(QWidget *parent)
    : QListWidget(parent)
{
    setSelectionMode(QAbstractItemView::SingleSelection);
    setSortingEnabled(false);
    connect(this, &QListWidget::itemClicked, this, &DeviceList::entryChosen);
}

void DeviceList::keyPressEvent(QKeyEvent *event)
{
    const int before = currentRow();
    const bool wasSelected = currentItem() && currentItem()->isSelected();
    QListWidget::keyPressEvent(event);
    const bool isSelected = currentItem() && currentItem()->isSelected();
    if (isSelected && (currentRow() != before || !wasSelected))
        Q_EMIT entryChosen();
}
