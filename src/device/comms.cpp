#include "device/comms.h"

#include "device/code_page.h"
#include "device/driver.h"

#include <algorithm>
#include <limits>

bool SendCommand(Driver &driver, std::intptr_t handle, QStringView text)
{
    const QByteArray bytes = toCodePage(text);
    const auto size =
        static_cast<std::uint32_t>(std::min<qsizetype>(bytes.size(), std::numeric_limits<std::uint32_t>::max()));
    std::uint32_t written = 0;
    return driver.writeFile(handle, bytes.constData(), size, &written);
}
