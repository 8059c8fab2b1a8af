#include "plans/toml_fields.h"

#include <QFile>

#include <algorithm>
#include <cmath>

QString PlanError::text() const
{
    if (line <= 0)
        return QStringLiteral("%1: %2").arg(file, message);
    return QStringLiteral("%1:%2:%3: %4").arg(file, QString::number(line), QString::number(column), message);
}

bool readTomlBytes(const QString &path, QByteArray *text, PlanError *error)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        *error = PlanError{path, 0, 0, QStringLiteral("cannot be read: %1").arg(file.errorString())};
        return false;
    }
    if (file.size() > kMaxPlanBytes) {
        *error = PlanError{path, 0, 0, QStringLiteral("is larger than %1 MiB").arg(kMaxPlanBytes / (1024 * 1024))};
        return false;
    }
    *text = file.read(kMaxPlanBytes + 1);
    if (file.error() != QFileDevice::NoError) {
        *error = PlanError{path, 0, 0, QStringLiteral("cannot be read: %1").arg(file.errorString())};
        return false;
    }
    return true;
}

QString qtText(std::string_view text)
{
    return QString::fromUtf8(text.data(), qsizetype(text.size()));
}

std::vector<std::pair<const toml::key *, const toml::node *>> inFileOrder(const toml::table &table)
{
    std::vector<std::pair<const toml::key *, const toml::node *>> entries;
    for (const auto &[key, node] : table)
        entries.emplace_back(&key, &node);
    std::sort(entries.begin(), entries.end(), [](const auto &a, const auto &b) {
        const toml::source_position &x = a.first->source().begin;
        const toml::source_position &y = b.first->source().begin;
        return std::pair(x.line, x.column) < std::pair(y.line, y.column);
    });
    return entries;
}

void TomlFields::fail(const toml::source_region &where, const QString &message) const
{
    throw TomlFailure{PlanError{m_file, int(where.begin.line), int(where.begin.column), message}};
}

QString TomlFields::string(const toml::key &key, const toml::node &node) const
{
    if (!node.is_string())
        fail(key.source(), m_prefix + QStringLiteral("\"%1\" must be a string").arg(qtText(key.str())));
    return qtText(node.as_string()->get());
}

qint64 TomlFields::integer(const toml::key &key, const toml::node &node, qint64 low, qint64 high) const
{
    if (!node.is_integer())
        fail(key.source(), m_prefix + QStringLiteral("\"%1\" must be a whole number").arg(qtText(key.str())));
    const qint64 value = node.as_integer()->get();
    if (value < low || value > high)
        fail(key.source(), m_prefix + QStringLiteral("\"%1\" is %2; it must be %3 to %4")
                                          .arg(qtText(key.str()))
                                          .arg(value)
                                          .arg(low)
                                          .arg(high));
    return value;
}

double TomlFields::decimal(const toml::key &key, const toml::node &node) const
{
    if (node.is_integer())
        return double(node.as_integer()->get());
    if (!node.is_floating_point() || !std::isfinite(node.as_floating_point()->get()))
        fail(key.source(), m_prefix + QStringLiteral("\"%1\" must be a number").arg(qtText(key.str())));
    return node.as_floating_point()->get();
}

bool TomlFields::level(const toml::key &key, const toml::node &node) const
{
    if (node.is_boolean())
        return node.as_boolean()->get();
    if (!node.is_integer() || (node.as_integer()->get() != 0 && node.as_integer()->get() != 1))
        fail(key.source(), m_prefix + QStringLiteral("\"%1\" must be 0 or 1").arg(qtText(key.str())));
    return node.as_integer()->get() == 1;
}

bool TomlFields::boolean(const toml::key &key, const toml::node &node) const
{
    if (!node.is_boolean())
        fail(key.source(), m_prefix + QStringLiteral("\"%1\" must be true or false").arg(qtText(key.str())));
    return node.as_boolean()->get();
}
