// A stand-in for the vendor's D2XX library, built by the tests: it records the arguments of every call in a text
// log and answers from a small table of devices. Built twice, with 32-bit and with 64-bit DWORDs, because library
// builds differ in that width.

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <utility>
#include <vector>

#if defined(_WIN32)
#define FAKE_EXPORT extern "C" __declspec(dllexport)
#define FAKE_API __stdcall
#else
#define FAKE_EXPORT extern "C" __attribute__((visibility("default")))
#define FAKE_API
#endif

#if FAKE_DWORD_BITS == 64
using DWORD = std::uint64_t;
#else
using DWORD = std::uint32_t;
#endif
using FT_STATUS = DWORD;
using BOOL = std::int32_t;

namespace {

std::string g_log;
std::vector<std::string> g_serials;
std::string g_failing; // names of calls that fail, each followed by ';'
std::string g_received;
std::string g_receivedAt[4];               // bytes waiting for the board at that position only, before the shared ones
std::vector<std::uintptr_t> g_deadHandles; // handles of boards pulled out; they stay dead
std::vector<std::pair<std::string, std::uintptr_t>> g_opened; // every handle given out, with its board
unsigned g_generation = 0;                                    // bumped by every pull, so a board back gets new handles

bool failing(const char *name)
{
    return g_failing.find(std::string(name) + ';') != std::string::npos;
}

void setDevices(const char *serials);

// A program run in a process of its own is set up through the environment: FAKE_D2XX_DEVICES (serial numbers
// separated by commas), FAKE_D2XX_RECEIVED (bytes waiting to be read by any board; \n and \r written as such),
// FAKE_D2XX_RECEIVED_0 to _3 (bytes for the board at that position alone) and FAKE_D2XX_LOG_FILE (where every
// call is appended).
const char *g_logFile = nullptr;

void setUpFromEnvironment()
{
    static bool done = false;
    if (done)
        return;
    done = true;
    g_logFile = std::getenv("FAKE_D2XX_LOG_FILE");
    if (const char *devices = std::getenv("FAKE_D2XX_DEVICES")) {
        std::string list = devices;
        for (char &c : list) {
            if (c == ',')
                c = '\n';
        }
        setDevices(list.c_str());
    }
    const auto unescape = [](const char *text, std::string &into) {
        for (std::size_t i = 0; text[i] != 0; ++i) {
            if (text[i] == '\\' && (text[i + 1] == 'n' || text[i + 1] == 'r')) {
                into += text[i + 1] == 'n' ? '\n' : '\r';
                ++i;
            } else {
                into += text[i];
            }
        }
    };
    if (const char *received = std::getenv("FAKE_D2XX_RECEIVED"))
        unescape(received, g_received);
    for (int position = 0; position < 4; ++position) {
        const std::string name = "FAKE_D2XX_RECEIVED_" + std::to_string(position);
        if (const char *received = std::getenv(name.c_str()))
            unescape(received, g_receivedAt[position]);
    }
}

// What the board behind `handle` has waiting.
std::string &receivedFor(void *handle)
{
    std::string &own = g_receivedAt[reinterpret_cast<std::uintptr_t>(handle) & 3];
    return own.empty() ? g_received : own;
}

void logLine(const std::string &line)
{
    g_log += line;
    g_log += '\n';
    if (g_logFile) {
        if (std::FILE *file = std::fopen(g_logFile, "a")) {
            std::fprintf(file, "%s\n", line.c_str());
            std::fclose(file);
        }
    }
}

std::string hex(std::uint64_t value)
{
    char text[32];
    std::snprintf(text, sizeof text, "0x%llx", static_cast<unsigned long long>(value));
    return text;
}

std::string bytes(const void *data, DWORD size)
{
    std::string text = "[";
    const auto *p = static_cast<const unsigned char *>(data);
    for (DWORD i = 0; i < size; ++i) {
        if (i)
            text += ' ';
        text += std::to_string(p[i]);
    }
    return text + "]";
}

std::string pointer(const void *p, const char *name)
{
    return p ? name : "null";
}

// Handles are 0x1000 + position (+ 0x100 for every board pulled out since); an unknown serial gives the
// invalid handle.
void *handleFor(std::size_t position)
{
    return reinterpret_cast<void *>(static_cast<std::uintptr_t>(0x1000 + 0x100 * g_generation + position));
}

bool dead(void *handle)
{
    for (std::uintptr_t h : g_deadHandles) {
        if (h == reinterpret_cast<std::uintptr_t>(handle))
            return true;
    }
    return false;
}

} // namespace

FAKE_EXPORT FT_STATUS FAKE_API FT_ListDevices(void *arg1, void *arg2, DWORD flags)
{
    setUpFromEnvironment();
    if (flags & 0x80000000u) {
        logLine("FT_ListDevices(" + pointer(arg1, "&count") + ", " + pointer(arg2, "buffer") + ", " + hex(flags) + ")");
        if (failing("count"))
            return 4;
        *static_cast<DWORD *>(arg1) = static_cast<DWORD>(g_serials.size());
        return 0;
    }
    const auto position = reinterpret_cast<std::uintptr_t>(arg1);
    logLine("FT_ListDevices(" + std::to_string(position) + ", " + pointer(arg2, "buffer") + ", " + hex(flags) + ")");
    if (failing("position") || position >= g_serials.size())
        return 2;
    // Copies the serial as it is, with its terminating zero only when it has one within 17 bytes.
    const std::string &serial = g_serials[position];
    std::memcpy(arg2, serial.data(), serial.size());
    if (serial.size() < 17)
        static_cast<char *>(arg2)[serial.size()] = 0;
    return 0;
}

FAKE_EXPORT void *FAKE_API FT_W32_CreateFile(const char *name, DWORD access, DWORD share, void *security,
                                             DWORD creation, DWORD flags, void *templateFile)
{
    setUpFromEnvironment();
    logLine("FT_W32_CreateFile(\"" + std::string(name) + "\", " + hex(access) + ", " + std::to_string(share) + ", " +
            pointer(security, "security") + ", " + std::to_string(creation) + ", " + hex(flags) + ", " +
            pointer(templateFile, "template") + ")");
    for (std::size_t i = 0; i < g_serials.size(); ++i) {
        if (g_serials[i] == name) {
            g_opened.emplace_back(name, reinterpret_cast<std::uintptr_t>(handleFor(i)));
            return handleFor(i);
        }
    }
    return reinterpret_cast<void *>(static_cast<std::intptr_t>(-1));
}

FAKE_EXPORT BOOL FAKE_API FT_W32_CloseHandle(void *handle)
{
    setUpFromEnvironment();
    logLine("FT_W32_CloseHandle(" + hex(reinterpret_cast<std::uintptr_t>(handle)) + ")");
    return failing("close") ? 0 : 1;
}

FAKE_EXPORT BOOL FAKE_API FT_W32_WriteFile(void *handle, void *buffer, DWORD size, DWORD *written, void *overlapped)
{
    setUpFromEnvironment();
    logLine("FT_W32_WriteFile(" + hex(reinterpret_cast<std::uintptr_t>(handle)) + ", " + bytes(buffer, size) + ", " +
            std::to_string(size) + ", " + pointer(written, "&written") + ", " + pointer(overlapped, "overlapped") +
            ")");
    if (failing("write") || dead(handle))
        return 0;
    *written = size;
    return 1;
}

#ifndef FAKE_OMIT_GETSTATUS
FAKE_EXPORT FT_STATUS FAKE_API FT_GetStatus(void *handle, DWORD *rx, DWORD *tx, DWORD *events)
{
    setUpFromEnvironment();
    logLine("FT_GetStatus(" + hex(reinterpret_cast<std::uintptr_t>(handle)) + ", " + pointer(rx, "&rx") + ", " +
            pointer(tx, "&tx") + ", " + pointer(events, "&events") + ")");
    if (failing("status") || dead(handle))
        return 4; // FT_IO_ERROR
    *rx = static_cast<DWORD>(receivedFor(handle).size());
    *tx = 0;
    *events = 0;
    return 0;
}
#endif

FAKE_EXPORT BOOL FAKE_API FT_W32_ReadFile(void *handle, void *buffer, DWORD size, DWORD *read, void *overlapped)
{
    setUpFromEnvironment();
    logLine("FT_W32_ReadFile(" + hex(reinterpret_cast<std::uintptr_t>(handle)) + ", " + pointer(buffer, "buffer") +
            ", " + std::to_string(size) + ", " + pointer(read, "&read") + ", " + pointer(overlapped, "overlapped") +
            ")");
    if (failing("read") || dead(handle))
        return 0;
    std::string &received = receivedFor(handle);
    const std::size_t n = size < received.size() ? size : received.size();
    std::memcpy(buffer, received.data(), n);
    received.erase(0, n);
    *read = static_cast<DWORD>(n);
    return 1;
}

// Control of the fake, for the tests.

FAKE_EXPORT void fake_d2xx_reset()
{
    g_log.clear();
    g_serials.clear();
    g_failing.clear();
    g_received.clear();
    for (std::string &own : g_receivedAt)
        own.clear();
    g_deadHandles.clear();
    g_opened.clear();
    g_generation = 0;
}

// Pulls the board out: it is no longer listed, and every handle it had stays dead even when it comes back.
FAKE_EXPORT void fake_d2xx_unplug(const char *serial)
{
    for (const auto &[board, handle] : g_opened) {
        if (board == serial)
            g_deadHandles.push_back(handle);
    }
    for (std::size_t i = 0; i < g_serials.size(); ++i) {
        if (g_serials[i] == serial) {
            g_serials.erase(g_serials.begin() + static_cast<std::ptrdiff_t>(i));
            ++g_generation;
            return;
        }
    }
}

// Plugs a board in, listed last.
FAKE_EXPORT void fake_d2xx_plug(const char *serial)
{
    g_serials.push_back(serial);
}

// Serial numbers separated by '\n'.
FAKE_EXPORT void fake_d2xx_set_devices(const char *serials)
{
    setDevices(serials);
}

namespace {

void setDevices(const char *serials)
{
    g_serials.clear();
    std::string all = serials;
    std::size_t start = 0;
    while (start <= all.size() && !all.empty()) {
        const std::size_t end = all.find('\n', start);
        g_serials.push_back(all.substr(start, end == std::string::npos ? std::string::npos : end - start));
        if (end == std::string::npos)
            break;
        start = end + 1;
    }
}

} // namespace

// Names of calls that fail: "count", "position", "close", "write", "status", "read", separated by ';'.
FAKE_EXPORT void fake_d2xx_set_failing(const char *names)
{
    g_failing = names;
    if (!g_failing.empty() && g_failing.back() != ';')
        g_failing += ';';
}

FAKE_EXPORT void fake_d2xx_set_received(const char *data, int size)
{
    g_received.assign(data, static_cast<std::size_t>(size));
}

FAKE_EXPORT const char *fake_d2xx_log()
{
    return g_log.c_str();
}
