#pragma once

#include <QStringList>

// Figures of the whole program on the serial backend, fed through a pseudo-terminal by a writer thread as a
// fast USB serial board would feed it (Linux only). Prints pty_* figures, idle_cpu_share and tick_ms_max.
void ptyBench();

// One run at the given rate (0: as fast as the writer can), for profiling.
void ptyRateBench(double bytesPerSecond, int seconds = 20);

// The 100 KB/s CPU figure and the fastest rate with the journal off and on, side by side.
void ptyJournalBench();

// One run in a child process: RATE SECONDS journal|no-journal; prints its CPU s/MB, its journal thread's CPU s/MB
// and the MB/s it handled.
int ptyChild(const QStringList &arguments);

// The 100 KB/s CPU figure beside a peer serial terminal's (gtkterm) on the same stream, alternately.
void ptyPeerBench();
