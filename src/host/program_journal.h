#pragma once

#include <QString>

#include <optional>

class BoardHost;

// The window program's journal, as its operator chose it: kept unless turned off (remembered in the program's
// settings, not in database.ini), its limits the settings journal/maxTotalMiB and journal/maxAgeDays.
//
// Sets up the host's journal in `folder` (the default folder when empty), kept when `keep` says so, otherwise as the
// operator last chose.
// `everyPoll`: each poll's requests journaled, not only their changes.
void setUpProgramJournal(BoardHost &host, const QString &folder, std::optional<bool> keep, bool everyPoll = false);
// Keeps the journal or not, and remembers the choice; a journal not set up yet is set up in the default folder.
void keepProgramJournal(BoardHost &host, bool keep);
// The folder the journal is kept in.
QString programJournalFolder(const BoardHost &host);
