#include "windows/communications/command_box_history.h"

#include "windows/control_names.h"

#include <QKeyEvent>
#include <QLineEdit>

namespace {

bool isCtrlR(int key, Qt::KeyboardModifiers modifiers)
{
    return key == Qt::Key_R && (modifiers & ~Qt::KeypadModifier) == Qt::ControlModifier;
}

const QString kNoMatchStyle = QStringLiteral("QLineEdit { color: #c62828; }");

} // namespace

CommandBoxHistory::CommandBoxHistory(QLineEdit *box, QWidget *searchParent, QRect searchGeometry)
    : QObject(box)
    , m_history(CommandHistory::fromSettings())
    , m_box(box)
{
    m_search = new QLineEdit(searchParent);
    nameControl(m_search, QStringLiteral("commandSearch"), QStringLiteral("Search command history"));
    m_search->setPlaceholderText(QStringLiteral("Search the commands sent"));
    m_search->setToolTip(QStringLiteral("Ctrl+R: an older match; Enter: take it; Escape: back to what was typed"));
    m_search->setGeometry(searchGeometry);
    m_search->hide();
    connect(m_search, &QLineEdit::textEdited, this, [this] { searchFrom(0); });
    m_box->installEventFilter(this);
    m_search->installEventFilter(this);
}

void CommandBoxHistory::sent(const QString &command)
{
    m_history.add(command);
    m_history.keepInSettings();
}

bool CommandBoxHistory::eventFilter(QObject *watched, QEvent *event)
{
    switch (event->type()) {
    case QEvent::ShortcutOverride: {
        const auto *key = static_cast<QKeyEvent *>(event);
        // Ctrl+R and Escape are ours here, whatever else would take them.
        if (isCtrlR(key->key(), key->modifiers()) || (watched == m_search && key->key() == Qt::Key_Escape)) {
            event->accept();
            return true;
        }
        break;
    }
    case QEvent::KeyPress: {
        const auto *key = static_cast<QKeyEvent *>(event);
        if (watched == m_box)
            return boxKey(key->key(), key->modifiers());
        if (watched == m_search)
            return searchKey(key->key(), key->modifiers());
        break;
    }
    case QEvent::FocusOut:
        // Leaving the search line takes what it found.
        if (watched == m_search && m_search->isVisible())
            endSearch(true);
        break;
    default:
        break;
    }
    return QObject::eventFilter(watched, event);
}

bool CommandBoxHistory::boxKey(int key, Qt::KeyboardModifiers modifiers)
{
    if (isCtrlR(key, modifiers)) {
        startSearch();
        return true;
    }
    if ((modifiers & ~Qt::KeypadModifier) != Qt::NoModifier)
        return false;
    std::optional<QString> shown;
    switch (key) {
    case Qt::Key_Up:
        shown = m_history.older(m_box->text());
        break;
    case Qt::Key_Down:
        shown = m_history.newer();
        break;
    case Qt::Key_Escape:
        shown = m_history.abandon();
        if (!shown)
            return false;
        break;
    default:
        return false;
    }
    if (shown)
        m_box->setText(*shown);
    return true;
}

bool CommandBoxHistory::searchKey(int key, Qt::KeyboardModifiers modifiers)
{
    if (isCtrlR(key, modifiers)) {
        searchFrom(m_match + 1);
        return true;
    }
    switch (key) {
    case Qt::Key_Return:
    case Qt::Key_Enter:
        endSearch(true);
        return true;
    case Qt::Key_Escape:
        endSearch(false);
        return true;
    default:
        return false;
    }
}

void CommandBoxHistory::startSearch()
{
    m_history.abandon();
    m_typedBeforeSearch = m_box->text();
    m_match = -1;
    m_search->clear();
    m_search->setStyleSheet(QString());
    m_search->show();
    m_search->raise();
    m_search->setFocus(Qt::ShortcutFocusReason);
}

void CommandBoxHistory::searchFrom(qsizetype from)
{
    const QString text = m_search->text();
    const qsizetype found = text.isEmpty() ? -1 : m_history.find(text, from);
    // Ctrl+R past the oldest match stays on it.
    if (found < 0 && from > 0 && m_match >= 0)
        return;
    m_match = found;
    m_search->setStyleSheet(found < 0 && !text.isEmpty() ? kNoMatchStyle : QString());
    m_box->setText(found < 0 ? m_typedBeforeSearch : m_history.entries()[found]);
}

void CommandBoxHistory::endSearch(bool take)
{
    if (!take)
        m_box->setText(m_typedBeforeSearch);
    m_search->hide();
    m_box->setFocus(Qt::OtherFocusReason);
}
