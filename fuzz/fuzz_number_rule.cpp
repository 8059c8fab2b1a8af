// The number rule on any word: never crashes, and tabs anywhere never change the value.
#include "device/number_rule.h"

#include <QString>

#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QByteArray bytes(reinterpret_cast<const char *>(data), qsizetype(size));
    for (const QString &word : {QString::fromLatin1(bytes), QString::fromUtf8(bytes)}) {
        const std::optional<std::int32_t> value = reportNumber(word);
        QString tabbed = word;
        tabbed.insert(word.size() / 2, u'\t');
        if (reportNumber(tabbed) != value)
            std::abort();
    }
    return 0;
}
