#pragma once

// Figures of the whole program on the serial backend, fed through a pseudo-terminal by a writer thread as a
// fast USB serial board would feed it (Linux only). Prints pty_* figures, idle_cpu_share and tick_ms_max.
void ptyBench();

// One run at the given rate (0: as fast as the writer can), for profiling.
void ptyRateBench(double bytesPerSecond, int seconds = 20);

// The 100 KB/s CPU figure with the journal off and on, alternately.
void ptyJournalBench();

// The 100 KB/s CPU figure beside a peer serial terminal's (gtkterm) on the same stream, alternately.
void ptyPeerBench();
