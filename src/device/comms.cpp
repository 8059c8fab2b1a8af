#include "device/comms.h"

#include "device/code_page.h"
#include "device/driver.h"
#include "state/app_state.h"

#include <algorithm>
#include <limits>

void SendCommand(Driver &driver, QStringView text)
{
    const QByteArray bytes = toCodePage(text);
    const auto size =
        static_cast<std::uint32_t>(std::min<qsizetype>(bytes.size(), std::numeric_limits<std::uint32_t>::max()));
    std::uint32_t written = 0;
    driver.writeFile(appState().deviceHandle, bytes.constData(), size, &written);
}
