// Batch mode: the program's own start-up and effects without a window, a
// list of keys and pointer steps replayed on pictures, the results written as
// a save writes them.
#pragma once

// Whether the command line asks for batch mode (--keys, --list or --help);
// without them the program opens its window as always.
bool batchRequested(int argc, const char* const* argv);

// Runs batch mode and returns the exit status: 0 done, 1 failed (one line on
// stderr says why), 2 a usage error.
int batchMain(int argc, const char* const* argv);
