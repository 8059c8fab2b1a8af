// Any bytes, cut into reads any way, through the receive tick: the driver's status and read, line assembly,
// the interpreter and the log. The first byte chooses how the rest is cut.
#include "fuzz_application.h"

#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    if (size == 0)
        return 0;
    Program &program = fuzzProgram();
    formCommunications *com = program.com();
    com->TimerBackgound()->stop();
    appState().deviceHandle = 100;
    RecordingDriver &driver = program.driver;
    driver.clearCalls();
    driver.chunks.clear();

    const qsizetype step = 1 + data[0] % 64;
    const QByteArray bytes(reinterpret_cast<const char *>(data + 1), qsizetype(size - 1));
    for (qsizetype at = 0; at < bytes.size(); at += step)
        driver.queue(bytes.mid(at, step));
    // A partial read now and then, as a slow driver gives.
    driver.readLimit = (data[0] & 0x80) ? step / 2 + 1 : -1;
    for (int tick = 0; tick < 4 * int(bytes.size()) + 4 && !driver.chunks.isEmpty(); ++tick)
        com->TimerBackgound_Timer();
    if (!driver.chunks.isEmpty())
        std::abort(); // something received was left unread
    if (com->pendingLine.size() >= 65536)
        std::abort();
    return 0;
}
