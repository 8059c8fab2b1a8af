#include "windows/communications/command_history.h"

#include <QSettings>

namespace {

const QString kSettingsKey = QStringLiteral("commands/history");

} // namespace

CommandHistory::CommandHistory(QStringList entries)
    : m_entries(std::move(entries))
{
    // Settings edited by hand may hold more.
    if (m_entries.size() > kMaxEntries)
        m_entries.resize(kMaxEntries);
}

void CommandHistory::add(const QString &command)
{
    abandon();
    if (command.isEmpty() || (!m_entries.isEmpty() && m_entries.front() == command))
        return;
    m_entries.prepend(command);
    if (m_entries.size() > kMaxEntries)
        m_entries.removeLast();
}

std::optional<QString> CommandHistory::older(const QString &typed)
{
    if (m_position + 1 >= m_entries.size())
        return std::nullopt;
    if (m_position < 0)
        m_draft = typed;
    return m_entries[++m_position];
}

std::optional<QString> CommandHistory::newer()
{
    if (m_position < 0)
        return std::nullopt;
    if (--m_position < 0)
        return m_draft;
    return m_entries[m_position];
}

std::optional<QString> CommandHistory::abandon()
{
    if (m_position < 0)
        return std::nullopt;
    m_position = -1;
    return std::exchange(m_draft, QString());
}

qsizetype CommandHistory::find(const QString &text, qsizetype from) const
{
    for (qsizetype i = std::max<qsizetype>(0, from); i < m_entries.size(); ++i) {
        if (m_entries[i].contains(text, Qt::CaseInsensitive))
            return i;
    }
    return -1;
}

CommandHistory CommandHistory::fromSettings()
{
    return CommandHistory(QSettings().value(kSettingsKey).toStringList());
}

void CommandHistory::keepInSettings() const
{
    QSettings().setValue(kSettingsKey, m_entries);
}
