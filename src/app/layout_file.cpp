#include "app/layout_file.h"

#include <charconv>
#include <limits>

const LayoutKey *findLayoutKey(QByteArrayView name)
{
    for (const LayoutKey &key : kLayoutKeys) {
        if (name == QByteArrayView(key.name))
            return &key;
    }
    return nullptr;
}

QList<LayoutEntry> readLayoutEntries(QByteArrayView bytes)
{
    QList<LayoutEntry> entries;
    qsizetype start = 0;
    while (start < bytes.size()) {
        qsizetype end = start;
        while (end < bytes.size() && bytes[end] != '\r' && bytes[end] != '\n')
            ++end;
        const QByteArrayView line = bytes.sliced(start, end - start);
        start = end + 1;
        if (end + 1 < bytes.size() && bytes[end] == '\r' && bytes[end + 1] == '\n')
            ++start;

        const qsizetype firstSpace = line.indexOf(' ');
        if (firstSpace < 0)
            continue;
        const qsizetype secondSpace = line.indexOf(' ', firstSpace + 1);
        const QByteArrayView valueToken =
            line.sliced(firstSpace + 1, (secondSpace < 0 ? line.size() : secondSpace) - firstSpace - 1);
        entries.append({line.first(firstSpace).toByteArray(), layoutNumber(valueToken)});
    }
    return entries;
}

double layoutNumber(QByteArrayView token)
{
    qsizetype end = 0;
    if (end < token.size() && (token[end] == '+' || token[end] == '-'))
        ++end;
    int digits = 0;
    bool wholePart = false; // a non-zero digit before the point
    while (end < token.size() && token[end] >= '0' && token[end] <= '9') {
        wholePart = wholePart || token[end] != '0';
        ++end;
        ++digits;
    }
    if (end < token.size() && token[end] == '.') {
        ++end;
        while (end < token.size() && token[end] >= '0' && token[end] <= '9') {
            ++end;
            ++digits;
        }
    }
    if (digits == 0)
        return 0;
    const char *first = token.data() + (token[0] == '+' ? 1 : 0);
    double value = 0;
    const auto result = std::from_chars(first, token.data() + end, value);
    if (result.ec == std::errc::result_out_of_range) {
        // Beyond a double: a whole part means too large for anything, a fraction means nothing at all.
        if (!wholePart)
            return 0;
        return token[0] == '-' ? -std::numeric_limits<double>::infinity() : std::numeric_limits<double>::infinity();
    }
    return result.ec == std::errc() ? value : 0;
}

QByteArray layoutFileBytes(const std::array<qint64, kLayoutKeys.size()> &values)
{
    QByteArray bytes;
    for (std::size_t i = 0; i < kLayoutKeys.size(); ++i)
        bytes += QByteArray(kLayoutKeys[i].name) + ' ' + QByteArray::number(values[i]) + "\r\n";
    return bytes;
}
