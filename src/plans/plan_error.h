#pragma once

#include <QByteArray>
#include <QString>

// What is wrong with a TOML file (a plan, a rules file), and where: `file:line:column: message`, the message naming
// the key.
struct PlanError {
    QString file;
    int line = 0;
    int column = 0;
    QString message;

    QString text() const;
};

// Files larger than this are refused unread.
inline constexpr qint64 kMaxPlanBytes = 16 * 1024 * 1024;

// A file's bytes, or why it cannot be read (too large, unreadable), with no position.
bool readTomlBytes(const QString &path, QByteArray *text, PlanError *error);
