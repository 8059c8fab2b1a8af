#pragma once

#include "plans/plan_error.h"

#include <QString>

#include <toml++/toml.h>

#include <string_view>
#include <utility>
#include <vector>

QString qtText(std::string_view text);

// A table's entries in the order they stand in the file (a table itself keeps them by name).
std::vector<std::pair<const toml::key *, const toml::node *>> inFileOrder(const toml::table &table);

// Thrown by TomlFields::fail(); caught where the file is read.
struct TomlFailure {
    PlanError error;
};

// Reads typed values of one file's keys, failing at the first fault with the key's position. `prefix` names the
// table being read ("step 3: ") in every message.
class TomlFields
{
public:
    explicit TomlFields(QString file)
        : m_file(std::move(file))
    {}

    [[noreturn]] void fail(const toml::source_region &where, const QString &message) const;
    QString string(const toml::key &key, const toml::node &node) const;
    qint64 integer(const toml::key &key, const toml::node &node, qint64 low, qint64 high) const;
    // Any finite number, whole or not.
    double decimal(const toml::key &key, const toml::node &node) const;
    // 0 or 1, or false or true.
    bool level(const toml::key &key, const toml::node &node) const;
    bool boolean(const toml::key &key, const toml::node &node) const;

protected:
    QString m_file;
    QString m_prefix;
};
