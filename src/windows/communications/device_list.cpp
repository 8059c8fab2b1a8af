#include "windows/communications/device_list.h"

#include <QKeyEvent>
#include <QMouseEvent>

DeviceList::DeviceList(QWidget *parent)
    : QListWidget(parent)
{
    setSelectionMode(QAbstractItemView::SingleSelection);
    setSortingEnabled(false);
}

int DeviceList::selectedRow() const
{
    const QList<QListWidgetItem *> selected = selectedItems();
    return selected.isEmpty() ? -1 : row(selected.first());
}

void DeviceList::choose(int row)
{
    setCurrentRow(row, QItemSelectionModel::ClearAndSelect);
    Q_EMIT entryChosen();
}

void DeviceList::keyPressEvent(QKeyEvent *event)
{
    const int before = selectedRow();
    if (count() > 0 && before < 0 && event->modifiers() == Qt::NoModifier) {
        // Nothing chosen yet: the first move chooses the first entry (End the last), as a list box does.
        switch (event->key()) {
        case Qt::Key_Down:
        case Qt::Key_Up:
        case Qt::Key_Home:
        case Qt::Key_PageDown:
        case Qt::Key_PageUp:
            choose(0);
            return;
        case Qt::Key_End:
            choose(count() - 1);
            return;
        case Qt::Key_Space:
            choose(std::max(0, currentRow()));
            return;
        default:
            break;
        }
    }
    QListWidget::keyPressEvent(event);
    const int after = selectedRow();
    if (after >= 0 && after != before)
        Q_EMIT entryChosen();
}

void DeviceList::mousePressEvent(QMouseEvent *event)
{
    m_selectedAtPress = selectedRow();
    m_pressed = event->button() == Qt::LeftButton;
    m_doubleClick = false;
    QListWidget::mousePressEvent(event);
}

void DeviceList::mouseDoubleClickEvent(QMouseEvent *event)
{
    // The first click of the two already chose the entry.
    m_doubleClick = true;
    QListWidget::mouseDoubleClickEvent(event);
}

void DeviceList::mouseReleaseEvent(QMouseEvent *event)
{
    QListWidget::mouseReleaseEvent(event);
    if (event->button() != Qt::LeftButton || !m_pressed)
        return;
    m_pressed = false;
    if (m_doubleClick)
        return;
    // Whatever the gesture left selected is the choice: a click on an entry (also the one already selected),
    // or a press on one entry and a release on another.
    const int after = selectedRow();
    const bool onEntry = itemAt(event->position().toPoint()) != nullptr;
    if (after >= 0 && (after != m_selectedAtPress || onEntry))
        Q_EMIT entryChosen();
}
