#pragma once

#include <QString>
#include <QStringList>

#include <optional>

// The commands sent from the command box, newest first, at most kMaxEntries of them; a command equal to the newest
// is kept once. Walking it (Up and Down) starts from what is being typed, the draft, which Escape gives back.
// No widget: the command box's keys are CommandBoxHistory's.
class CommandHistory
{
public:
    static constexpr qsizetype kMaxEntries = 500;

    explicit CommandHistory(QStringList entries = {});

    const QStringList &entries() const { return m_entries; }
    // Adds a command sent, and ends any walk.
    void add(const QString &command);

    // One step to an older or a newer entry; what the box is to show, nothing at either end. Stepping newer past
    // the newest entry gives the draft back.
    std::optional<QString> older(const QString &typed);
    std::optional<QString> newer();
    // Ends a walk; the draft when one was going on.
    std::optional<QString> abandon();
    bool isWalking() const { return m_position >= 0; }

    // The index of the newest entry from `from` on (towards the older) that holds `text` (case-insensitive), or -1.
    qsizetype find(const QString &text, qsizetype from = 0) const;

    // Kept per user in the program's settings.
    static CommandHistory fromSettings();
    void keepInSettings() const;

private:
    QStringList m_entries;
    qsizetype m_position = -1; // the entry shown, -1 for the draft
    QString m_draft;
};
