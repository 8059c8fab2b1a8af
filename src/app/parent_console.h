#pragma once

// Windows: the window program has no console of its own, so --help, --version and its printed messages go to the
// console it was started from, unless its output was given a pipe or a file. Elsewhere nothing to do.
void useParentConsole();
