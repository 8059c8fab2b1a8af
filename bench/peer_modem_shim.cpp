// Loaded into a peer serial terminal by the pty bench: a pseudo-terminal has no modem lines, so the terminal's
// queries of them (which make it give the port up) are answered as a plain serial port with DTR, RTS, CTS, DCD and
// DSR up would answer them. Every other call goes through untouched.
#include <cerrno>
#include <cstdarg>
#include <dlfcn.h>
#include <sys/ioctl.h>

extern "C" int ioctl(int fd, unsigned long request, ...)
{
    va_list arguments;
    va_start(arguments, request);
    void *argument = va_arg(arguments, void *);
    va_end(arguments);
    using Ioctl = int (*)(int, unsigned long, ...);
    static const auto real = reinterpret_cast<Ioctl>(dlsym(RTLD_NEXT, "ioctl"));
    const int result = real(fd, request, argument);
    const bool modemLines = request == TIOCMGET || request == TIOCMSET || request == TIOCMBIS || request == TIOCMBIC;
    if (result < 0 && errno == ENOTTY && modemLines) {
        if (request == TIOCMGET)
            *static_cast<int *>(argument) = TIOCM_DTR | TIOCM_RTS | TIOCM_CTS | TIOCM_CAR | TIOCM_DSR;
        return 0;
    }
    return result;
}
