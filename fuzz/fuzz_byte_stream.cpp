// Any bytes, cut into reads any way, through the session's poll: the driver's status and read, line assembly
// and the interpreter. The first byte chooses how the rest is cut and which channels are ticked.
#include "fuzz_session.h"

#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    if (size == 0)
        return 0;
    FuzzSession &fuzz = fuzzSession();
    RecordingDriver &driver = fuzz.driver;
    driver.clearCalls();
    driver.chunks.clear();
    fuzz.session.setAnalogRequestsOn((data[0] & 0x40) != 0);
    for (int channel : {1, 3, 8})
        fuzz.session.setChannelTicked(channel, (data[0] & 0x20) != 0);

    const qsizetype step = 1 + data[0] % 64;
    const QByteArray bytes(reinterpret_cast<const char *>(data + 1), qsizetype(size - 1));
    for (qsizetype at = 0; at < bytes.size(); at += step)
        driver.queue(bytes.mid(at, step));
    // A partial read now and then, as a slow driver gives.
    driver.readLimit = (data[0] & 0x80) ? step / 2 + 1 : -1;
    for (int poll = 0; poll < 4 * int(bytes.size()) + 4 && !driver.chunks.isEmpty(); ++poll)
        fuzz.session.poll();
    if (!driver.chunks.isEmpty())
        std::abort(); // something received was left unread
    if (fuzz.session.pendingLine.size() >= 65536)
        std::abort();
    return 0;
}
