#pragma once

// Sets the process up for the runner's output. POSIX: a reader that goes away or a file over its size limit is a
// failed write (exit code 5), not a signal that kills the process. Windows: a console shows the UTF-8 the runner
// writes (standard output and error are in text mode there, so each line ends in CR LF, as a Windows tool's does).
void prepareConsole();
